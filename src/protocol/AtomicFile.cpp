#include "protocol/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>

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

}  // namespace

std::string ResolveFileName(const std::string& fileName) {
  struct stat st {};
  if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return fileName;
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
  if (!S_ISREG(st.st_mode)) Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, fileName);
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxSize)
    Fail(EFBIG, "size of " + fileName);
  exists = true;
  std::string content(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::read(fd.get(), content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno, "read " + fileName);
    if (n == 0) break;  // shrank meanwhile
    done += static_cast<std::size_t>(n);
  }
  content.resize(done);
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
    // 0666 lets the umask decide for new files; existing ones get their own bits below.
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
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

}  // namespace velkaro
