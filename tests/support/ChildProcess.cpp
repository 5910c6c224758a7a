#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace velkaro::testing {

namespace {

using Clock = std::chrono::steady_clock;

// Found here, before the fork: the child may only make async-signal-safe calls.
std::string ResolveProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

TChildProcess::TChildProcess(const std::vector<std::string>& args, TChildOptions options)
    : ownGroup_(options.ownGroup) {
  using Stderr = TChildOptions::Stderr;
  if (args.empty()) return;
  const std::string program = ResolveProgram(args[0]);
  if (program.empty()) return;
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);

  int outPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  int terminal = -1;
  char terminalName[128] = {};
  const bool discard = options.stderrTo == Stderr::Discard;
  if (!discard && pipe2(outPipe, O_CLOEXEC) != 0) return;
  if (options.stderrTo == Stderr::Separate && pipe2(errPipe, O_CLOEXEC) != 0) {
    CloseFd(outPipe[0]);
    CloseFd(outPipe[1]);
    return;
  }
  if (options.stderrTo == Stderr::Terminal) {
    // The child opens the terminal's far end as its stderr; we read from the near end.
    terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0 ||
        ptsname_r(terminal, terminalName, sizeof terminalName) != 0) {
      CloseFd(terminal);
      CloseFd(outPipe[0]);
      CloseFd(outPipe[1]);
      return;
    }
  }

  const pid_t pid = fork();
  if (pid == 0) {
    if (options.ownGroup) {
      setpgid(0, 0);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
    }
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, STDIN_FILENO);
    dup2(discard ? devNull : outPipe[1], STDOUT_FILENO);
    switch (options.stderrTo) {
      case Stderr::Merged:
        dup2(outPipe[1], STDERR_FILENO);
        break;
      case Stderr::Separate:
        dup2(errPipe[1], STDERR_FILENO);
        break;
      case Stderr::Discard:
        dup2(devNull, STDERR_FILENO);
        break;
      case Stderr::Terminal: {
        const int far = open(terminalName, O_RDWR | O_NOCTTY);
        dup2(far, STDERR_FILENO);
        break;
      }
    }
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  if (options.ownGroup && pid > 0) setpgid(pid, pid);  // no race with the first signal
  pid_ = pid > 0 ? pid : -1;
  if (pid < 0) startError_ = errno;
  CloseFd(outPipe[1]);
  CloseFd(errPipe[1]);
  out_ = outPipe[0];
  err_ = options.stderrTo == Stderr::Terminal ? terminal : errPipe[0];
  if (pid_ < 0) {
    CloseFd(out_);
    CloseFd(err_);
  }
}

TChildProcess::~TChildProcess() {
  if (pid_ > 0 && !exited_) {
    Signal(SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (pid_ > 0 && ownGroup_) kill(-pid_, SIGKILL);  // what the program forked
  CloseFd(out_);
  CloseFd(err_);
}

bool TChildProcess::ReadSome(int timeoutMs) {
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  if (out_ < 0 && err_ < 0) return false;
  const int n = poll(fds, 2, timeoutMs);
  if (n <= 0) return false;
  bool got = false;
  int* ends[2] = {&out_, &err_};
  std::string* sinks[2] = {&output_, &errors_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buf[4096];
    const ssize_t r = read(fds[i].fd, buf, sizeof buf);
    if (r > 0) {
      sinks[i]->append(buf, static_cast<std::size_t>(r));
      got = true;
    } else if (r == 0 || errno != EINTR) {
      // A terminal's near end reports EIO once the child has closed the far end.
      CloseFd(*ends[i]);
    }
  }
  return got;
}

void TChildProcess::Signal(int signal) {
  if (pid_ <= 0) return;
  if (ownGroup_) kill(-pid_, signal);
  kill(pid_, signal);
}

void TChildProcess::Reap(int status) {
  exited_ = true;
  exitedNormally_ = WIFEXITED(status);
  if (WIFEXITED(status))
    exitCode_ = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    exitCode_ = 128 + WTERMSIG(status);
}

bool TChildProcess::Running() {
  if (pid_ <= 0 || exited_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  Reap(status);
  return false;
}

int TChildProcess::Finish(std::chrono::milliseconds timeout, int signal) {
  if (pid_ <= 0) return -1;
  if (exited_) return exitCode_;
  if (signal != 0) Signal(signal);
  const auto deadline = Clock::now() + timeout;
  int status = 0;
  bool killed = false;
  for (;;) {
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (r < 0 && errno != EINTR) break;
    if (Clock::now() >= deadline) {
      Signal(SIGKILL);
      waitpid(pid_, &status, 0);
      killed = true;
      break;
    }
    // Keeps a chatty child from blocking on a full pipe; sleeps 10 ms when it has nothing.
    if (!ReadSome(10)) usleep(10000);
  }
  return Concluded(status, killed);
}

}  // namespace velkaro::testing
