// Windows implementation of protocol/AtomicFile.h: UTF-8 names in, wide API calls out; the
// replacement is ReplaceFileW (keeps the old file's attributes and security) or, for a new file,
// MoveFileExW with write-through.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <random>
#include <utility>

#include "platform/AtomicFile.h"
#include "platform/FileLockWait.h"
#include "platform/WindowsText.h"

namespace velkaro {

namespace {

// Windows error codes with the system's own text; kept apart from the errno-valued categories,
// whose numbers mean other things.
class TWindowsErrorCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }
  std::string message(int error) const override {
    return WindowsErrorText(static_cast<unsigned long>(error));
  }
};

const std::error_category& WindowsCategory() {
  static const TWindowsErrorCategory category;
  return category;
}

// Errors that callers tell apart keep their errno meaning; others carry the Windows code and text.
[[noreturn]] void Fail(DWORD error, const std::string& what) {
  int code = 0;
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      code = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      code = EACCES;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      code = ENOSPC;
      break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      code = EWOULDBLOCK;
      break;
    default:
      throw std::system_error(static_cast<int>(error), WindowsCategory(), what);
  }
  throw std::system_error(code, std::generic_category(), what);
}

[[noreturn]] void FailErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) FailErrno(EILSEQ, utf8 + " is not a UTF-8 file name");
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

class THandle {
 public:
  explicit THandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~THandle() { Close(); }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  void Reset(HANDLE h) {
    Close();
    h_ = h;
  }
  bool Close() {
    const bool ok = !valid() || ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

// Shares everything, delete included, so that a holder never stops the rename over the name.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash + 1);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  std::string folder = Folder(path);
  if (folder == ".") folder = "";
  return folder + "." + BaseName(path).substr(0, 128) + ".tmp" +
         std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(seed % 100000);
}

// Refuses what is not an ordinary file: folders and devices.
void CheckRegular(HANDLE h, const std::string& name) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info))
    FailErrno(EINVAL, name);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) FailErrno(EISDIR, name);
}

struct TFileId {
  DWORD volume = 0, high = 0, low = 0;
  bool operator==(const TFileId&) const = default;
};

bool IdOf(HANDLE h, TFileId& id) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) return false;
  id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

bool IdOfName(const std::string& name, TFileId& id) {
  const THandle h(::CreateFileW(Wide(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return h.valid() && IdOf(h.get(), id);
}

std::uint64_t SizeOf(HANDLE h, const std::string& name) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h, &size)) Fail(::GetLastError(), "size of " + name);
  return static_cast<std::uint64_t>(size.QuadPart);
}

// Content of an open file from its start; a file that shrank meanwhile gives fewer bytes.
std::string ReadOpenFile(HANDLE h, std::size_t maxSize, const std::string& name) {
  CheckRegular(h, name);
  const std::uint64_t size = SizeOf(h, name);
  if (size > maxSize) FailErrno(EFBIG, "size of " + name);
  std::string content(static_cast<std::size_t>(size), '\0');
  std::size_t done = 0;
  while (done < content.size()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(done);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(done) >> 32);
    const std::size_t left = content.size() - done;
    const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!::ReadFile(h, content.data() + done, chunk, &got, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      Fail(::GetLastError(), "read " + name);
    }
    if (got == 0) break;
    done += got;
  }
  content.resize(done);
  return content;
}

void WriteAll(HANDLE h, std::string_view content, const std::string& name) {
  std::size_t done = 0;
  while (done < content.size()) {
    const std::size_t left = content.size() - done;
    const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!::WriteFile(h, content.data() + done, chunk, &written, nullptr))
      Fail(::GetLastError(), "write " + name);
    if (written == 0) FailErrno(EIO, "write " + name);
    done += written;
  }
}

// Most Windows programs open a file without sharing its deletion, and while one of them reads
// it the name cannot be replaced: such a refusal is tried again for about two seconds.
constexpr int kReplaceTries = 200;
constexpr DWORD kReplaceRetryMs = 10;

bool HeldByAReader(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
         error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

// The lock sits on one byte far beyond any real end of file: Windows locks are mandatory, so
// locking the content itself would stop other programs from merely reading the file.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

}  // namespace

// Windows has no symbolic-link checks of the kernel kind to mirror; names are used as given.
std::string ResolveFileName(const std::string& fileName) {
  return fileName;
}

std::string ReadWholeFile(const std::string& fileName, std::size_t maxSize, bool& exists) {
  exists = false;
  const THandle h(::CreateFileW(Wide(fileName).c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    Fail(error, "open " + fileName);
  }
  std::string content = ReadOpenFile(h.get(), maxSize, fileName);
  exists = true;
  return content;
}

void ReplaceFileContent(const std::string& fileName, std::string_view content) {
  if (fileName.empty()) FailErrno(ENOENT, "empty file name");
  const std::string path = ResolveFileName(fileName);
  const std::wstring widePath = Wide(path);

  const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) Fail(error, "attributes of " + path);
  } else {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) FailErrno(EISDIR, path);
    // Replacing would bypass the protection of a read-only file, so refuse explicitly.
    if (attributes & FILE_ATTRIBUTE_READONLY) FailErrno(EACCES, path + " is read-only");
  }

  std::string temp;
  std::wstring wideTemp;
  THandle file;
  for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
    temp = TemporaryName(path);
    wideTemp = Wide(temp);
    file.Reset(::CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
      Fail(::GetLastError(), "create a temporary file next to " + path);
  }
  if (!file.valid()) FailErrno(EEXIST, "create a temporary file next to " + path);

  try {
    WriteAll(file.get(), content, temp);
    if (!::FlushFileBuffers(file.get())) Fail(::GetLastError(), "flush " + temp);
    if (!file.Close()) Fail(::GetLastError(), "close " + temp);
    for (int attempt = 1;; ++attempt) {
      if (exists && ::ReplaceFileW(widePath.c_str(), wideTemp.c_str(), nullptr,
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        break;
      if (::MoveFileExW(wideTemp.c_str(), widePath.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        break;
      const DWORD error = ::GetLastError();
      if (!HeldByAReader(error) || attempt >= kReplaceTries) Fail(error, "replace " + path);
      ::Sleep(kReplaceRetryMs);
    }
  } catch (...) {
    file.Close();
    ::DeleteFileW(wideTemp.c_str());
    throw;
  }
}

TFileLock::TFileLock(const std::string& fileName, int timeoutMs) {
  if (fileName.empty()) FailErrno(ENOENT, "empty file name");
  path_ = ResolveFileName(fileName);
  const std::wstring wide = Wide(fileName);
  THandle h;
  bool created = false;
  TFileLockSteps steps;
  steps.open = [&] {
    h.Close();
    const HANDLE raw = ::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = ::GetLastError();
    h.Reset(raw);
    if (!h.valid()) {
      if (::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY &&
          ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES)
        FailErrno(EISDIR, fileName);
      Fail(error, "open " + fileName);
    }
    created = error != ERROR_ALREADY_EXISTS;
    CheckRegular(h.get(), fileName);
    return true;
  };
  steps.tryLock = [&] {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (::LockFileEx(h.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
      return true;
    const DWORD error = ::GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) Fail(error, "lock " + fileName);
    return false;
  };
  steps.stillNamed = [&] {
    TFileId opened, named;
    return IdOf(h.get(), opened) && IdOfName(path_, named) && opened == named;
  };
  WaitForFileLock(fileName, timeoutMs, steps);
  handle_ = h.Release();
  created_ = created;
}

TFileLock::~TFileLock() {
  if (!handle_) return;
  const HANDLE h = static_cast<HANDLE>(handle_);
  // A file created only to carry the lock goes again unless a replacement filled it.
  TFileId opened, named;
  const bool remove = created_ && IdOf(h, opened) && IdOfName(path_, named) && opened == named &&
                      SizeOf(h, path_) == 0;
  ::CloseHandle(h);  // also releases the lock
  if (remove) ::DeleteFileW(Wide(path_).c_str());
}

std::string TFileLock::Read(std::size_t maxSize) const {
  return ReadOpenFile(static_cast<HANDLE>(handle_), maxSize, path_);
}

void TFileLock::Replace(std::string_view content) {
  TFileId opened, named;
  if (!IdOf(static_cast<HANDLE>(handle_), opened)) Fail(::GetLastError(), "stat " + path_);
  if (!IdOfName(path_, named)) Fail(::GetLastError(), "stat " + path_);
  if (!(opened == named)) FailErrno(EAGAIN, path_ + " was replaced by another program");
  ReplaceFileContent(path_, content);
  created_ = false;
}

}  // namespace velkaro
