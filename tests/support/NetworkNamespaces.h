// Network namespaces made by a test and always deleted with it: the place where requests to the
// limited broadcast on real (virtual) interfaces may go. Nothing in them reaches the machine's
// own interfaces: they hold only veth pairs and bridges among themselves.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace velkaro::testing {

class TNetworkNamespaces {
 public:
  // Why namespaces cannot be made here (not root, no 'ip' tool), or empty when they can.
  static std::string Unavailable() {
    if (::geteuid() != 0) return "needs root to create network namespaces";
    if (Run({"ip", "netns", "list"}).exitCode != 0)
      return "the 'ip' tool with netns support is missing";
    return {};
  }

  TNetworkNamespaces() {
    static std::atomic<int> serial{0};
    prefix_ = "vk" + std::to_string(::getpid()) + "x" + std::to_string(serial++);
  }
  ~TNetworkNamespaces() {
    for (const std::string& ns : made_) Run({"ip", "netns", "del", ns});
  }
  TNetworkNamespaces(const TNetworkNamespaces&) = delete;
  TNetworkNamespaces& operator=(const TNetworkNamespaces&) = delete;

  // A new namespace with its loopback up; its name is unique to this run. Empty on failure.
  std::string Add(const std::string& role) {
    const std::string name = prefix_ + role;
    if (Run({"ip", "netns", "add", name}).exitCode != 0) return {};
    made_.push_back(name);
    if (!Ip(name, {"link", "set", "lo", "up"})) return {};
    return name;
  }

  // `ip -n NS ARGS...`; false (with the output in Failures()) when it failed.
  bool Ip(const std::string& ns, std::vector<std::string> args) {
    args.insert(args.begin(), {"ip", "-n", ns});
    const TProgramRun r = Run(args);
    if (r.exitCode == 0) return true;
    std::string line;
    for (const std::string& a : args) line += a + " ";
    failures_ += line + ": " + r.out + r.err + "\n";
    return false;
  }

  // Names go after the keywords "name" and "dev": 'ip' takes a bare word such as "br" for the
  // abbreviation of one of its own keywords.
  // A veth pair from `a` to `b`, made inside `a` so it never appears on the machine itself;
  // each end gets `addressA`/`addressB` (CIDR, may be empty) and is set up.
  bool Veth(const std::string& a, const std::string& linkA, const std::string& addressA,
            const std::string& b, const std::string& linkB, const std::string& addressB) {
    return Ip(a,
              {"link", "add", "name", linkA, "type", "veth", "peer", "name", linkB, "netns", b}) &&
           (addressA.empty() || Ip(a, {"addr", "add", addressA, "dev", linkA})) &&
           (addressB.empty() || Ip(b, {"addr", "add", addressB, "dev", linkB})) &&
           Ip(a, {"link", "set", "dev", linkA, "up"}) && Ip(b, {"link", "set", "dev", linkB, "up"});
  }

  // A bridge in `ns` with `address` (CIDR, may be empty), up.
  bool Bridge(const std::string& ns, const std::string& name, const std::string& address) {
    return Ip(ns, {"link", "add", "name", name, "type", "bridge"}) &&
           (address.empty() || Ip(ns, {"addr", "add", address, "dev", name})) &&
           Ip(ns, {"link", "set", "dev", name, "up"});
  }
  bool Enslave(const std::string& ns, const std::string& link, const std::string& bridge) {
    return Ip(ns, {"link", "set", "dev", link, "master", bridge});
  }

  // The command line that runs `args` inside `ns`.
  static std::vector<std::string> In(const std::string& ns, std::vector<std::string> args) {
    args.insert(args.begin(), {"ip", "netns", "exec", ns});
    return args;
  }

  // Moves the calling thread into `ns`: sockets it opens afterwards live there. False on failure.
  static bool EnterOnThisThread(const std::string& ns) {
    const int fd = ::open(("/var/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return ok;
  }

  const std::string& Failures() const { return failures_; }

 private:
  static TProgramRun Run(const std::vector<std::string>& args) {
    try {
      return RunProgram(args, std::chrono::seconds(10));
    } catch (const std::exception& e) {
      TProgramRun r;
      r.err = e.what();
      return r;
    }
  }

  std::string prefix_;
  std::vector<std::string> made_;
  std::string failures_;
};

}  // namespace velkaro::testing
