// Whole-file replacement that never leaves a half-written file: the new bytes go to a temporary
// file in the same folder, which is then renamed over the original. AtomicFilePosix.cpp or
// AtomicFileWin.cpp (Windows: UTF-8 names, ReplaceFileW/MoveFileExW) implements it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

namespace velkaro {

// The file a name stands for: a symbolic link is followed so that the link itself survives
// replacement; other names are returned unchanged. Throws std::system_error for a dangling link
// and, with EACCES, for a link that the kernel's protected_symlinks rule forbids following (a link
// in a sticky world-writable folder owned by neither the caller nor the folder's owner), whatever
// the running kernel's setting.
std::string ResolveFileName(const std::string& fileName);

// Exclusive advisory lock (flock) on the file a name stands for, held for the object's lifetime,
// so that concurrent savers of one file serialise their read, edit and replacement. The name is
// opened as given, so the kernel's own checks on links apply, and what was opened must be the
// file the resolved name designates. A missing file is created empty to carry the lock and removed
// again when the lock ends with it still empty and in place. Throws std::system_error, with
// EWOULDBLOCK when another holder keeps the lock longer than `timeoutMs`.
class TFileLock {
 public:
  explicit TFileLock(const std::string& fileName, int timeoutMs = 30000);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

  // The resolved name: where the replacement goes.
  const std::string& Path() const { return path_; }
  // Whole content of the locked file; EFBIG beyond maxSize.
  std::string Read(std::size_t maxSize) const;
  // ReplaceFileContent on the locked file, after checking that its name still designates it.
  void Replace(std::string_view content);

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;  // HANDLE
#else
  int fd_ = -1;
#endif
  bool created_ = false;
};

// Whole content of an existing regular file; an empty text with exists = false when there is no
// such file (or its folder is missing). Throws std::system_error when the name is not a regular
// file, cannot be read or holds more than maxSize bytes.
std::string ReadWholeFile(const std::string& fileName, std::size_t maxSize, bool& exists);

// Makes `fileName` hold exactly `content`. Afterwards the file holds either all of its old bytes
// or all of the new ones, and no temporary file is left. An existing file keeps its permission
// bits (and, where allowed, its owner); a new one gets 0666 less the umask. A file without any
// write permission bit counts as read-only even for a privileged user. Throws std::system_error.
void ReplaceFileContent(const std::string& fileName, std::string_view content);

}  // namespace velkaro
