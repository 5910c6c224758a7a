#include "support/TftpdProcess.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "support/Loopback.h"

namespace velkaro::testing {

namespace {

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
  std::filesystem::permissions(root_.Path(), std::filesystem::perms::all);
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
  args.push_back(Root());
  // Own process group, so that the transfer processes it forks end with it.
  server_ = std::make_unique<TChildProcess>(
      args, TChildOptions{TChildOptions::Stderr::Discard, /*ownGroup=*/true});
  if (!server_->Started()) throw std::runtime_error("cannot start " + server);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!server_->Running()) {
      server_.reset();
      return false;
    }
    if (PortTaken(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Stop();
  return false;
}

void TTftpdProcess::Stop() {
  if (server_) server_->Finish(std::chrono::seconds(1), SIGTERM);
  server_.reset();  // kills what is left of the group
}

TTftpdProcess::~TTftpdProcess() {
  Stop();
}

}  // namespace velkaro::testing
