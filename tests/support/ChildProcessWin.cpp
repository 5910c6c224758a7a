// Windows implementation of support/ChildProcess.h: CreateProcessW with the output on anonymous
// pipes, read by polling (those pipes know no waiting with a time-out). Windows has no signals:
// SIGINT and SIGTERM set a Velkaro program's stop event (platform/StopRequest.h), anything else
// ends the child with TerminateProcess and the exit code 128 + signal, as a shell reports a child
// killed by one. There is no pseudo-terminal either: Stderr::Terminal is a pipe.
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>

#include "platform/StopRequest.h"
#include "support/ChildProcess.h"

namespace velkaro::testing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartAttempts = 4;

// The process handle of each running child, kept beside the object so that the shared header
// stays as it is; a handle is a 32-bit value and the pipe ends fit the header's int fields.
std::mutex processesMutex;
std::map<const TChildProcess*, HANDLE> processes;

HANDLE ProcessOf(const TChildProcess* child) {
  const std::lock_guard lock(processesMutex);
  const auto it = processes.find(child);
  return it == processes.end() ? nullptr : it->second;
}

int ToInt(HANDLE h) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(h));
}

HANDLE ToHandle(int value) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(value));
}

void CloseEnd(int& end) {
  if (end >= 0) ::CloseHandle(ToHandle(end));
  end = -1;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

// One argument quoted so that the child's C runtime splits it back unchanged.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

long long MsLeft(Clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

}  // namespace

TChildProcess::TChildProcess(const std::vector<std::string>& args, TChildOptions options)
    : ownGroup_(options.ownGroup) {
  using Stderr = TChildOptions::Stderr;
  if (args.empty()) return;
  std::wstring commandLine;
  for (const std::string& arg : args)
    commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(Wide(arg));

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  const bool discard = options.stderrTo == Stderr::Discard;
  const bool separate =
      options.stderrTo == Stderr::Separate || options.stderrTo == Stderr::Terminal;
  HANDLE nul =
      ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  if (!discard && !::CreatePipe(&outRead, &outWrite, &inherit, 0)) {
    ::CloseHandle(nul);
    return;
  }
  if (separate && !::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    ::CloseHandle(outRead);
    ::CloseHandle(outWrite);
    ::CloseHandle(nul);
    return;
  }
  // Only the child's ends are inherited.
  if (outRead) ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  if (errRead) ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = discard ? nul : outWrite;
  startup.hStdError = discard ? nul : separate ? errWrite : outWrite;
  PROCESS_INFORMATION info{};
  const DWORD flags = CREATE_NO_WINDOW | (options.ownGroup ? CREATE_NEW_PROCESS_GROUP : 0);
  // Under Wine a start has been seen to fail once in a CI run while the same program started
  // hundreds of times around it; a few more tries, each failure told on stderr with its code.
  // A program that is not there or no program at all fails at once.
  bool started = false;
  for (int attempt = 1; attempt <= kStartAttempts && !started; ++attempt) {
    started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                               nullptr, &startup, &info);
    if (started) break;
    startError_ = static_cast<int>(::GetLastError());
    std::fprintf(stderr, "CreateProcessW failed with error %d (try %d of %d): %s\n", startError_,
                 attempt, kStartAttempts, args.front().c_str());
    if (startError_ == ERROR_FILE_NOT_FOUND || startError_ == ERROR_PATH_NOT_FOUND) break;
    ::Sleep(200);
  }
  if (outWrite) ::CloseHandle(outWrite);
  if (errWrite) ::CloseHandle(errWrite);
  ::CloseHandle(nul);
  out_ = outRead ? ToInt(outRead) : -1;
  err_ = errRead ? ToInt(errRead) : -1;
  if (!started) {
    CloseEnd(out_);
    CloseEnd(err_);
    return;
  }
  ::CloseHandle(info.hThread);
  pid_ = static_cast<pid_t>(info.dwProcessId);
  const std::lock_guard lock(processesMutex);
  processes[this] = info.hProcess;
}

TChildProcess::~TChildProcess() {
  if (const HANDLE process = ProcessOf(this)) {
    if (!exited_) {
      ::TerminateProcess(process, 137);
      ::WaitForSingleObject(process, 5000);
    }
    ::CloseHandle(process);
    const std::lock_guard lock(processesMutex);
    processes.erase(this);
  }
  CloseEnd(out_);
  CloseEnd(err_);
}

bool TChildProcess::ReadSome(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int* ends[2] = {&out_, &err_};
  std::string* sinks[2] = {&output_, &errors_};
  for (;;) {
    if (out_ < 0 && err_ < 0) return false;
    bool got = false;
    for (int i = 0; i < 2; ++i) {
      if (*ends[i] < 0) continue;
      DWORD available = 0;
      if (!::PeekNamedPipe(ToHandle(*ends[i]), nullptr, 0, nullptr, &available, nullptr)) {
        CloseEnd(*ends[i]);  // the child closed its end
        continue;
      }
      if (available == 0) continue;
      char buf[4096];
      DWORD r = 0;
      if (::ReadFile(ToHandle(*ends[i]), buf, available < sizeof buf ? available : sizeof buf, &r,
                     nullptr) &&
          r > 0) {
        sinks[i]->append(buf, r);
        got = true;
      } else {
        CloseEnd(*ends[i]);
      }
    }
    if (got) return true;
    if (MsLeft(deadline) <= 0) return false;
    ::Sleep(2);
  }
}

// A Velkaro program that takes stop requests (velkaro-sim) gets its stop event, the Windows
// stand-in for SIGINT and SIGTERM, and ends by itself; any other signal, or a program without
// that event, ends by TerminateProcess.
void TChildProcess::Signal(int signal) {
  const HANDLE process = ProcessOf(this);
  if (!process) return;
  if (signal == SIGINT || signal == SIGTERM) {
    const std::string name = StopEventName(static_cast<unsigned long>(pid_));
    if (const HANDLE stop = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
      ::SetEvent(stop);
      ::CloseHandle(stop);
      return;
    }
  }
  ::TerminateProcess(process, static_cast<UINT>(128 + signal));
}

// Windows tells no exit by signal apart; a status of 128 + n counts as such an end, and so does
// an exception status (0xC0000005 for an access violation), with which a crashed program ends.
void TChildProcess::Reap(int status) {
  exited_ = true;
  exitCode_ = status;
  const bool exception = (static_cast<unsigned>(status) & 0xC0000000u) == 0xC0000000u;
  exitedNormally_ = !exception && (status < 128 || status > 128 + 64);
}

bool TChildProcess::Running() {
  const HANDLE process = ProcessOf(this);
  if (!process || exited_) return false;
  if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return true;
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  Reap(static_cast<int>(code));
  return false;
}

int TChildProcess::Finish(std::chrono::milliseconds timeout, int signal) {
  const HANDLE process = ProcessOf(this);
  if (!process) return -1;
  if (exited_) return exitCode_;
  if (signal != 0) Signal(signal);
  const auto deadline = Clock::now() + timeout;
  bool killed = false;
  while (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
    if (Clock::now() >= deadline) {
      ::TerminateProcess(process, 137);
      ::WaitForSingleObject(process, 5000);
      killed = true;
      break;
    }
    // Keeps a chatty child from blocking on a full pipe.
    ReadSome(10);
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  return Concluded(static_cast<int>(code), killed);
}

}  // namespace velkaro::testing
