// A scratch folder under /tmp, removed with everything in it: one a test, or
// one a fuzz target for its whole run (libFuzzer ends runs by exit).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace cli {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "corvalis-cli") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }
  // Replaces NAME with these bytes; its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    if (!(std::ofstream(File(name), std::ios::binary) << bytes)) std::abort();
    return File(name);
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

}  // namespace cli
