#include "CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace velkaro::cli::testing {

namespace {

struct TPipe {
  int fd[2] = {-1, -1};
  TPipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  }
  ~TPipe() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  void CloseWrite() {
    close(fd[1]);
    fd[1] = -1;
  }
};

}  // namespace

TCliRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                   std::chrono::milliseconds timeout, bool stderrOnTerminal) {
  using Clock = std::chrono::steady_clock;
  TPipe out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  std::string terminal;
  if (stderrOnTerminal) {
    // The child opens the terminal's far end as its stderr; we read from the near end.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !ptsname(master)) {
      if (master >= 0) close(master);
      throw std::runtime_error("no pseudo-terminal");
    }
    terminal = ptsname(master);
    close(err.fd[0]);
    err.fd[0] = master;
    posix_spawn_file_actions_addopen(&actions, 2, terminal.c_str(), O_RDWR | O_NOCTTY, 0);
  } else {
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
  }

  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  const auto start = Clock::now();
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  out.CloseWrite();
  err.CloseWrite();

  TCliRun run;
  pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  while (open > 0) {
    const auto left =
        timeout - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (left.count() <= 0) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    const int n = poll(fds, 2, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      const ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        // A terminal's near end reports EIO once the child has closed the far end.
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.duration = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

}  // namespace velkaro::cli::testing
