#include "support/TftpdProcess.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "protocol/Socket.h"

namespace velkaro::testing {

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

std::uint16_t FreeUdpPort() {
  TUdpSocket probe;
  probe.Bind(kLoopback, 0);
  return probe.LocalPort();
}

// True once somebody holds the port (our bind is refused).
bool PortTaken(std::uint16_t port) {
  try {
    TUdpSocket probe;
    probe.Bind(kLoopback, port);
    return false;
  } catch (const TSocketError& e) {
    return e.SystemError() == EADDRINUSE;
  }
}

std::string UserName() {
  if (geteuid() == 0) return "root";
  const passwd* pw = getpwuid(geteuid());
  return pw ? pw->pw_name : "nobody";
}

}  // namespace

std::string TTftpdProcess::ServerPath() {
  for (const char* p : {"/usr/sbin/in.tftpd", "/sbin/in.tftpd", "/usr/local/sbin/in.tftpd"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

TTftpdProcess::TTftpdProcess(TOptions options) {
  const std::string server = ServerPath();
  if (server.empty())
    throw std::runtime_error("in.tftpd (tftpd-hpa) is not installed; run scripts/install-deps.sh");
  char root[] = "/tmp/velkaro-tftpd-XXXXXX";
  if (!mkdtemp(root)) throw std::runtime_error("cannot create a temporary TFTP root");
  root_ = root;
  chmod(root_.c_str(), 0777);
  // A port found free can be taken by someone else before the server binds it; try again then.
  for (int attempt = 0; attempt < 5; ++attempt)
    if (Launch(options, server)) return;
  Stop();
  throw std::runtime_error("in.tftpd did not start on 127.0.0.1");
}

bool TTftpdProcess::Launch(const TOptions& options, const std::string& server) {
  port_ = FreeUdpPort();
  std::vector<std::string> args = {
      server, "-L", "-c", "-s", "-p", "-a", "127.0.0.1:" + std::to_string(port_), "-u", UserName()};
  if (options.refuseBlockSize) args.insert(args.end(), {"-r", "blksize"});
  args.push_back(root_);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Own process group, so that the transfer processes it forks die with it; and gone when the
    // test process dies, whatever the way.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
      dup2(devNull, STDIN_FILENO);
      dup2(devNull, STDOUT_FILENO);
      dup2(devNull, STDERR_FILENO);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  setpgid(pid, pid);
  pid_ = pid;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    if (PortTaken(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Stop();
  return false;
}

void TTftpdProcess::Stop() {
  if (pid_ > 0) {
    kill(-pid_, SIGTERM);
    kill(pid_, SIGTERM);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
      int status = 0;
      gone = waitpid(pid_, &status, WNOHANG) == pid_;
      if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!gone) {
      kill(-pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    // Transfer processes left in the group end with the group's kill.
    kill(-pid_, SIGKILL);
    pid_ = -1;
  }
}

TTftpdProcess::~TTftpdProcess() {
  Stop();
  if (!root_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
}

}  // namespace velkaro::testing
