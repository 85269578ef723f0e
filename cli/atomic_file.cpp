#include "cli/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/media_error.h"

namespace cli {
namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

std::string FolderOf(const std::string& path) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// Unique within the process by the counter and across processes by the pid;
// the leading dot keeps half-written files out of ordinary listings.
std::string TemporaryNameFor(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path path(target);
  std::string name = "." + path.filename().string() + "." + std::to_string(getpid()) + "." +
                     std::to_string(counter++) + ".part";
  return (path.parent_path() / name).string();
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string AlreadyExistsMessage(const std::string& target) {
  return target + ": already exists (use -y to overwrite)";
}

AtomicFile::AtomicFile(std::string target, Replace replace)
    : target_(std::move(target)), replace_(replace) {
  if (replace_ == Replace::kRefused && Exists(target_))
    throw MediaError(AlreadyExistsMessage(target_));
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = TemporaryNameFor(target_);
    // Mode 0666 lets the umask decide, as for any file the user creates.
    int fd = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      open_ = true;
      return;
    }
    if (errno != EEXIST) {
      throw FileError(target_,
                      "cannot create a file in " + FolderOf(target_) + ": " + ErrnoText(errno));
    }
  }
  throw FileError(target_, "cannot create a temporary file in " + FolderOf(target_));
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  if (!open_) return;
  open_ = false;
  std::remove(temporary_.c_str());
}

void AtomicFile::Commit() {
  if (!open_) throw FileError(target_, "nothing to commit (already finished or discarded)");
  int fd = open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) {
    int error = errno;
    if (fd >= 0) close(fd);
    Discard();
    throw FileError(target_, "cannot write: " + ErrnoText(error));
  }
  close(fd);
  int result = replace_ == Replace::kRefused ? renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD,
                                                         target_.c_str(), RENAME_NOREPLACE)
                                             : std::rename(temporary_.c_str(), target_.c_str());
  if (result != 0 && replace_ == Replace::kRefused && errno == EINVAL) {
    // A file system without no-replace renames: a hard link fails on an
    // existing target just the same.
    result = link(temporary_.c_str(), target_.c_str());
    if (result == 0) std::remove(temporary_.c_str());
  }
  if (result != 0) {
    int error = errno;
    Discard();
    if (error == EEXIST) throw MediaError(AlreadyExistsMessage(target_));
    throw FileError(target_, "cannot rename the finished file into place: " + ErrnoText(error));
  }
  open_ = false;
}

void WriteFileAtomically(const std::string& target, const std::string& bytes) {
  AtomicFile file(target, AtomicFile::Replace::kAllowed);
  std::FILE* stream = std::fopen(file.TemporaryPath().c_str(), "wb");
  if (!stream) throw FileError(target, "cannot write: " + ErrnoText(errno));
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  int error = errno;
  if (std::fclose(stream) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) throw FileError(target, "cannot write: " + ErrnoText(error));
  file.Commit();
}

}  // namespace cli
