// End to end with a real limited broadcast: two network namespaces joined by a veth pair, the
// simulator in one, a client using the default destination 255.255.255.255:52389 in the other.
// Nothing leaves the pair: neither namespace has any other interface than its loopback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "support/ChildProcess.h"

using namespace velkaro::testing;
using std::chrono::milliseconds;

namespace {

const std::string kSim = VELKARO_SIM_PROGRAM;
const std::string kClient = VELKARO_BROADCAST_CLIENT;

struct TRun {
  int code;
  std::string output;
};

TRun RunCommand(const std::vector<std::string>& args, milliseconds timeout = milliseconds(10000)) {
  TChildProcess p(args);
  if (!p.Started()) return {-1, "could not start " + args[0]};
  const int code = p.Finish(timeout);
  return {code, p.Output()};
}

bool IpToolUsable() {
  return RunCommand({"ip", "netns", "list"}).code == 0;
}

// Deletes the namespaces (and with them the veth pair) whatever happens to the test.
class TNamespaces {
 public:
  TNamespaces() {
    const std::string id = std::to_string(getpid());
    client = "velkaro-cli-" + id;
    device = "velkaro-dev-" + id;
    clientLink = "vkc" + id;
    deviceLink = "vkd" + id;
    Remove();
  }
  ~TNamespaces() { Remove(); }
  TNamespaces(const TNamespaces&) = delete;
  TNamespaces& operator=(const TNamespaces&) = delete;

  void Remove() {
    RunCommand({"ip", "netns", "del", client});
    RunCommand({"ip", "netns", "del", device});
  }

  std::string client, device, clientLink, deviceLink;
};

TEST(BroadcastNetns, DiscoverReadWriteWithARealLimitedBroadcast) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create network namespaces";
  if (!IpToolUsable()) GTEST_SKIP() << "the 'ip' tool with netns support is missing";

  TNamespaces ns;
  const TRun add = RunCommand({"ip", "netns", "add", ns.client});
  if (add.code != 0)
    GTEST_SKIP() << "cannot create a network namespace here (" << add.output << ")";
  const std::vector<std::vector<std::string>> setup = {
      {"ip", "netns", "add", ns.device},
      // Created inside the namespaces: the pair never shows up on this machine's interfaces.
      {"ip", "-n", ns.client, "link", "add", ns.clientLink, "type", "veth", "peer", "name",
       ns.deviceLink, "netns", ns.device},
      {"ip", "-n", ns.client, "addr", "add", "10.231.77.1/24", "dev", ns.clientLink},
      {"ip", "-n", ns.device, "addr", "add", "10.231.77.2/24", "dev", ns.deviceLink},
      {"ip", "-n", ns.client, "link", "set", "lo", "up"},
      {"ip", "-n", ns.device, "link", "set", "lo", "up"},
      {"ip", "-n", ns.client, "link", "set", ns.clientLink, "up"},
      {"ip", "-n", ns.device, "link", "set", ns.deviceLink, "up"},
      {"ip", "-n", ns.client, "route", "add", "default", "dev", ns.clientLink},
  };
  for (const auto& step : setup) {
    const TRun r = RunCommand(step);
    ASSERT_EQ(r.code, 0) << step[3] << " " << step[4] << ": " << r.output;
  }

  TChildProcess sim({"ip", "netns", "exec", ns.device, kSim, "--bind", "0.0.0.0", "--port", "52389",
                     "--models", "zel1,zel4,zel8", "--lan-ips"});
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(sim.WaitForOutput("listening on 0.0.0.0:52389", milliseconds(5000))) << sim.Output();

  const TRun client = RunCommand({"ip", "netns", "exec", ns.client, kClient, "--netns", ns.client},
                                 milliseconds(20000));
  EXPECT_EQ(client.code, 0) << client.output;
  const std::string& out = client.output;
  EXPECT_NE(out.find("target 255.255.255.255:52389\n"), std::string::npos) << out;
  // Three answers from the device side of the pair, to the one broadcast.
  std::size_t replies = 0;
  const std::regex replyLine("reply (\\S+)");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), replyLine);
       it != std::sregex_iterator(); ++it) {
    ++replies;
    EXPECT_EQ((*it)[1], "10.231.77.2:52389");
  }
  EXPECT_EQ(replies, 3u) << out;
  EXPECT_NE(out.find("device Switch 001|ZEL1|10.0.0.2|02.00.5E.00.00.01\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("device Switch 002|ZEL4|10.0.0.3|02.00.5E.00.00.02\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("device Rack 003|ZEL8|10.0.0.4|02.00.5E.00.00.03\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("read 0 T slots=35\n"), std::string::npos) << out;
  EXPECT_NE(out.find("read 1 T slots=75\n"), std::string::npos) << out;
  EXPECT_NE(out.find("read 2 FFFFT slots=246\n"), std::string::npos) << out;
  EXPECT_NE(out.find("write acks=1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("port 8080\n"), std::string::npos) << out;
  EXPECT_NE(out.find("done errors=0"), std::string::npos) << out;

  EXPECT_EQ(sim.Finish(milliseconds(3000), SIGTERM), 0) << sim.Output();
}

// The client will not broadcast from anywhere but the namespace it was told.
TEST(BroadcastNetns, ClientRefusesToRunOutsideItsNamespace) {
  const TRun r = RunCommand({kClient, "--netns", "velkaro-no-such-namespace"}, milliseconds(5000));
  EXPECT_EQ(r.code, 3) << r.output;
  EXPECT_NE(r.output.find("refusing"), std::string::npos) << r.output;
  EXPECT_EQ(RunCommand({kClient}, milliseconds(5000)).code, 2);
}

}  // namespace
