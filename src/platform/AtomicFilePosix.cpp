#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>

#include "platform/FileLockWait.h"

namespace velkaro {

namespace {

[[noreturn]] void Fail(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports the result: a delayed write error may only show here.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Hidden name next to the target, unique for this process and call.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  std::string base = BaseName(path).substr(0, 128);
  std::string folder = Folder(path);
  if (folder != "/") folder += '/';
  return folder + "." + base + ".tmp" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++) + "-" + std::to_string(seed % 100000);
}

void WriteAll(int fd, std::string_view content, const std::string& name) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno, "write " + name);
    if (n == 0) Fail(EIO, "write " + name);
    done += static_cast<std::size_t>(n);
  }
}

// Content of an open regular file of `size` bytes; a file that shrank meanwhile gives fewer.
std::string ReadOpenFile(int fd, const struct stat& st, std::size_t maxSize,
                         const std::string& name) {
  if (!S_ISREG(st.st_mode)) Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, name);
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxSize)
    Fail(EFBIG, "size of " + name);
  std::string content(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n =
        ::pread(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno, "read " + name);
    if (n == 0) break;  // shrank meanwhile
    done += static_cast<std::size_t>(n);
  }
  content.resize(done);
  return content;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The kernel's fs.protected_symlinks rule: in a sticky world-writable folder a link is followed
// only by its owner or when the folder's owner also owns the link. Applied here whatever the
// running kernel is set to, so that a planted link never redirects a privileged save.
void CheckLinkMayBeFollowed(const std::string& link, const struct stat& linkStat) {
  struct stat folder {};
  if (::stat(Folder(link).c_str(), &folder) != 0) Fail(errno, "stat folder of " + link);
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  if (shared && linkStat.st_uid != ::geteuid() && linkStat.st_uid != folder.st_uid)
    Fail(EACCES, "follow link " + link + " in a shared sticky folder");
}

}  // namespace

std::string ResolveFileName(const std::string& fileName) {
  struct stat st {};
  if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return fileName;
  // Every link of the chain is checked; realpath below gives up on loops itself.
  std::string link = fileName;
  for (int hop = 0; hop < 40 && ::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hop) {
    CheckLinkMayBeFollowed(link, st);
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
    if (n < 0) Fail(errno, "read link " + link);
    target.resize(static_cast<std::size_t>(n));
    link = target.starts_with('/') ? target : Folder(link) + "/" + target;
  }
  char* resolved = ::realpath(fileName.c_str(), nullptr);
  if (!resolved) Fail(errno, "follow link " + fileName);
  std::string out(resolved);
  std::free(resolved);
  return out;
}

std::string ReadWholeFile(const std::string& fileName, std::size_t maxSize, bool& exists) {
  exists = false;
  // Non-blocking so that a FIFO cannot hang the open; it is refused below.
  const TFd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    Fail(errno, "open " + fileName);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) Fail(errno, "stat " + fileName);
  std::string content = ReadOpenFile(fd.get(), st, maxSize, fileName);
  exists = true;
  return content;
}

void ReplaceFileContent(const std::string& fileName, std::string_view content) {
  if (fileName.empty()) Fail(ENOENT, "empty file name");
  const std::string path = ResolveFileName(fileName);

  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) Fail(errno, "stat " + path);
  if (exists) {
    if (!S_ISREG(st.st_mode)) Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
    // Renaming would bypass the protection of a read-only file, so refuse explicitly.
    if ((st.st_mode & 0222) == 0) Fail(EACCES, path + " is read-only");
    if (::access(path.c_str(), W_OK) != 0) Fail(errno, path);
  }

  std::string temp;
  int raw = -1;
  for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
    temp = TemporaryName(path);
    // A saved configuration holds passwords: a new file is its owner's alone. An existing one
    // keeps its own bits below.
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (raw < 0 && errno != EEXIST) Fail(errno, "create a temporary file next to " + path);
  }
  if (raw < 0) Fail(EEXIST, "create a temporary file next to " + path);

  TFd fd(raw);
  try {
    WriteAll(fd.get(), content, temp);
    if (exists) {
      // Keeping the owner needs privileges; without them the file becomes the writer's. The
      // owner goes first because changing it may clear set-id bits.
      const int ownerKept = ::fchown(fd.get(), st.st_uid, st.st_gid);
      (void)ownerKept;
      if (::fchmod(fd.get(), st.st_mode & 07777) != 0) Fail(errno, "chmod " + temp);
    }
    if (::fsync(fd.get()) != 0) Fail(errno, "sync " + temp);
    if (fd.Close() != 0) Fail(errno, "close " + temp);
    if (::rename(temp.c_str(), path.c_str()) != 0) Fail(errno, "rename " + temp);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }

  // Makes the rename itself durable; the data is already safe either way.
  const TFd folder(::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
}

TFileLock::TFileLock(const std::string& fileName, int timeoutMs) {
  if (fileName.empty()) Fail(ENOENT, "empty file name");
  path_ = ResolveFileName(fileName);
  std::optional<TFd> fd;
  bool created = false;
  struct stat opened {};
  TFileLockSteps steps;
  steps.open = [&] {
    fd.reset();
    // Non-blocking so that a FIFO cannot hang the open; it is refused below.
    int raw = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    created = false;
    if (raw < 0 && errno == ENOENT) {
      // O_EXCL never follows a link, so a dangling one cannot create a file elsewhere.
      raw = ::open(fileName.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
      created = raw >= 0;
      if (raw < 0 && errno == EEXIST) return false;
    }
    if (raw < 0) Fail(errno, "open " + fileName);
    fd.emplace(raw);
    if (::fstat(fd->get(), &opened) != 0) Fail(errno, "stat " + fileName);
    if (!S_ISREG(opened.st_mode)) Fail(S_ISDIR(opened.st_mode) ? EISDIR : EINVAL, fileName);
    return true;
  };
  steps.tryLock = [&] {
    if (::flock(fd->get(), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) Fail(errno, "lock " + fileName);
    return false;
  };
  steps.stillNamed = [&] {
    struct stat named {};
    return ::stat(path_.c_str(), &named) == 0 && SameFile(named, opened);
  };
  WaitForFileLock(fileName, timeoutMs, steps);
  fd_ = fd->Release();
  created_ = created;
}

TFileLock::~TFileLock() {
  if (fd_ < 0) return;
  // A file created only to carry the lock goes again unless a replacement filled it.
  struct stat opened {};
  struct stat named {};
  if (created_ && ::fstat(fd_, &opened) == 0 && opened.st_size == 0 &&
      ::stat(path_.c_str(), &named) == 0 && SameFile(named, opened))
    ::unlink(path_.c_str());
  ::close(fd_);  // also releases the lock
}

std::string TFileLock::Read(std::size_t maxSize) const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail(errno, "stat " + path_);
  return ReadOpenFile(fd_, st, maxSize, path_);
}

void TFileLock::Replace(std::string_view content) {
  struct stat opened {};
  struct stat named {};
  if (::fstat(fd_, &opened) != 0) Fail(errno, "stat " + path_);
  if (::stat(path_.c_str(), &named) != 0) Fail(errno, "stat " + path_);
  if (!SameFile(opened, named)) Fail(EAGAIN, path_ + " was replaced by another program");
  ReplaceFileContent(path_, content);
  created_ = false;
}

}  // namespace velkaro
