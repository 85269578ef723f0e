// Writing a file so that readers never see it half written: the bytes go to a
// temporary file in the same folder, which is renamed over the target only
// once it is complete and on disk. Failures throw MediaError naming the target.
#pragma once

#include <string>

namespace cli {

class AtomicFile {
 public:
  enum class Replace { kAllowed, kRefused };

  // Creates the temporary file next to `target`. With Replace::kRefused an
  // existing target is an error now and again at Commit().
  AtomicFile(std::string target, Replace replace);
  ~AtomicFile();  // removes the temporary unless committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  const std::string& Target() const { return target_; }
  const std::string& TemporaryPath() const { return temporary_; }

  // Flushes the temporary to disk and renames it to the target.
  void Commit();
  // Removes the temporary; the target is left as it was.
  void Discard();

 private:
  std::string target_;
  std::string temporary_;
  Replace replace_;
  bool open_ = false;
};

// Replaces `target` with `bytes` atomically.
void WriteFileAtomically(const std::string& target, const std::string& bytes);

// The error text for an existing output that may not be replaced.
std::string AlreadyExistsMessage(const std::string& target);

}  // namespace cli
