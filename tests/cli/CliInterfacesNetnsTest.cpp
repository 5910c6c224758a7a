// Discovery on every interface, end to end with real limited broadcasts: a "laptop" namespace
// with two veth interfaces on two subnets, a network namespace behind each (a bridge and a
// simulator on the device port bound to 0.0.0.0), and one device namespace joined to both
// bridges. The laptop's default route leads to the first subnet only, so the second one is
// reached only by sending on every interface. Nothing here has a way out of the namespaces.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/Socket.h"
#include "protocol/Frame.h"
#include "support/ChildProcess.h"
#include "support/NetworkNamespaces.h"
#include "support/PcapngReader.h"
#include "support/TempDir.h"

namespace {

using namespace velkaro;
using namespace velkaro::testing;
using std::chrono::milliseconds;

const std::string kCli = VELKARO_CLI_PATH;
const std::string kSim = VELKARO_SIM_PROGRAM;

// The simulators: MAC prefix of their devices, where they run.
constexpr const char* kFirstNetMacs = "02.00.00.01.";
constexpr const char* kSecondNetMacs = "02.00.00.02.";
constexpr const char* kBothNetsMacs = "02.00.00.03.";

class CliInterfacesNetns : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = TNetworkNamespaces::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    laptop = ns.Add("lap");
    if (laptop.empty()) GTEST_SKIP() << "cannot create a network namespace here";
  }

  // The laptop's first interface "l1" (10.97.1.1/24, default route) leads to net1; with
  // `twoNets` its second one "l2" (10.97.2.1/24) leads to net2, and the namespace "both" is
  // joined to both bridges.
  void Build(bool twoNets) {
    net1 = ns.Add("n1");
    ASSERT_FALSE(net1.empty());
    ASSERT_TRUE(ns.Bridge(net1, "br", "10.97.1.2/24") &&
                ns.Veth(laptop, "l1", "10.97.1.1/24", net1, "up1", "") &&
                ns.Enslave(net1, "up1", "br") &&
                ns.Ip(laptop, {"route", "add", "default", "dev", "l1"}))
        << ns.Failures();
    if (!twoNets) return;
    net2 = ns.Add("n2");
    both = ns.Add("bo");
    ASSERT_FALSE(net2.empty() || both.empty());
    ASSERT_TRUE(
        ns.Bridge(net2, "br", "10.97.2.2/24") &&
        ns.Veth(laptop, "l2", "10.97.2.1/24", net2, "up2", "") && ns.Enslave(net2, "up2", "br") &&
        ns.Veth(both, "d1", "10.97.1.3/24", net1, "p3", "") && ns.Enslave(net1, "p3", "br") &&
        ns.Veth(both, "d2", "10.97.2.3/24", net2, "p3", "") && ns.Enslave(net2, "p3", "br"))
        << ns.Failures();
  }

  // A simulator on the device port, bound to 0.0.0.0, in `where`.
  void StartSim(const std::string& where, const std::string& macBase, int count) {
    auto& sim = sims.emplace_back(std::make_unique<TChildProcess>(TNetworkNamespaces::In(
        where, {kSim, "--bind", "0.0.0.0", "--port", "52389", "--count", std::to_string(count),
                "--mac-base", macBase, "--models", "zel1,zel4", "--lan-ips"})));
    ASSERT_TRUE(sim->Started());
    ASSERT_TRUE(sim->WaitForOutput("listening on 0.0.0.0:52389", milliseconds(5000)))
        << sim->Output();
  }

  TProgramRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), kCli);
    return RunProgram(TNetworkNamespaces::In(laptop, args), std::chrono::seconds(30));
  }

  // MAC -> interface of every device a JSON scan listed; a MAC listed twice fails the test.
  std::map<std::string, std::string> Scan(std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--json", "scan"});
    const TProgramRun run = Cli(extra);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::map<std::string, std::string> found;
    for (const auto& device : nlohmann::json::parse(run.out)) {
      const std::string mac = device.at("mac");
      EXPECT_TRUE(found.emplace(mac, device.at("interface")).second) << mac << " listed twice";
    }
    return found;
  }

  TNetworkNamespaces ns;
  std::string laptop, net1, net2, both;
  std::vector<std::unique_ptr<TChildProcess>> sims;
};

TEST_F(CliInterfacesNetns, EveryDeviceOnceWithItsInterfaceAndReachedThere) {
  Build(true);
  // The same IP addresses behind both interfaces: the devices differ by their MAC only.
  StartSim(net1, "020000010000", 3);
  StartSim(net2, "020000020000", 3);
  StartSim(both, "020000030000", 1);

  const auto found = Scan();
  ASSERT_EQ(found.size(), 7u);
  for (const auto& [mac, link] : found) {
    const bool right = mac.starts_with(kFirstNetMacs)    ? link == "l1"
                       : mac.starts_with(kSecondNetMacs) ? link == "l2"
                       : mac.starts_with(kBothNetsMacs)  ? link == "l1" || link == "l2"
                                                         : false;
    EXPECT_TRUE(right) << mac << " on '" << link << "'";
  }

  // A device behind the interface without the default route, read and written in a row.
  const std::string device = std::string(kSecondNetMacs) + "00.02";
  for (int i = 0; i < 20; ++i) {
    const std::string name = "Second-" + std::to_string(i);
    const TProgramRun set = Cli({"set", device, "7=" + name});
    ASSERT_EQ(set.exitCode, 0) << "set " << i << ": " << set.err;
    const TProgramRun read = Cli({"read", device});
    ASSERT_EQ(read.exitCode, 0) << "read " << i << ": " << read.err;
    EXPECT_NE(read.out.find("\n7=" + name + "\n"), std::string::npos) << read.out;
  }

  // Only the second interface: its devices and the one on both, all through l2.
  const auto second = Scan({"--interface", "l2"});
  ASSERT_EQ(second.size(), 4u);
  for (const auto& [mac, link] : second) {
    EXPECT_FALSE(mac.starts_with(kFirstNetMacs)) << mac;
    EXPECT_EQ(link, "l2") << mac;
  }
  EXPECT_EQ(Scan({"--interface", "l1", "--interface", "l2"}).size(), 7u);

  const TProgramRun text = Cli({"scan"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("MAC Address        Interface"), std::string::npos) << text.out;

  const TProgramRun unknown = Cli({"--interface", "wlan9", "scan"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("Unknown interface 'wlan9'; usable: l1, l2"), std::string::npos)
      << unknown.err;
}

TEST_F(CliInterfacesNetns, SilenceNamesTheInterfacesTriedAndTheFirewall) {
  Build(false);
  const velkaro::testing::TTempDir dir;
  const std::string log = (dir.Path() / "scan.pcapng").string();
  const TProgramRun run = Cli({"--rounds", "2", "--log", log, "scan"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("No device answered on l1 (10.97.1.1); a firewall must let UDP "
                         "replies from port 52389 in"),
            std::string::npos)
      << run.err;
  // The packet log names the interface each request left through.
  const auto file = velkaro::testing::ReadPcapng(velkaro::testing::ReadBytes(log));
  ASSERT_EQ(file.packets.size(), 2u);
  for (const auto& packet : file.packets) {
    ASSERT_LT(packet.interfaceId, file.interfaceNames.size());
    EXPECT_EQ(file.interfaceNames[packet.interfaceId], "l1");
  }
}

TEST_F(CliInterfacesNetns, NoUsableInterfaceExitsOne) {
  // Only a loopback: nothing to send on.
  const TProgramRun run = Cli({"scan"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("No usable network interface"), std::string::npos) << run.err;
}

// Receives the first datagram to the device port in `where`, bound as a device would be.
class TRecorder {
 public:
  explicit TRecorder(const std::string& where) {
    thread_ = std::thread([this, where] {
      if (!where.empty() && !TNetworkNamespaces::EnterOnThisThread(where)) return;
      TUdpSocket socket;
      socket.SetReuseAddress();
      socket.Bind(where.empty() ? 0x7F000001u : 0u, where.empty() ? 0 : kDevicePort);
      port_ = socket.LocalPort();
      ready_ = true;
      TBytes buffer(kMaxDatagramForTest);
      if (!socket.WaitReadable(milliseconds(10000))) return;
      const TDatagramInfo info = socket.ReceiveFrom(buffer);
      bytes_.assign(buffer.begin(), buffer.begin() + static_cast<long>(info.copied));
      sender_ = info.address;
    });
    for (int i = 0; i < 500 && !ready_; ++i) std::this_thread::sleep_for(milliseconds(10));
  }
  ~TRecorder() {
    if (thread_.joinable()) thread_.join();
  }
  std::uint16_t Port() const { return port_; }
  // Waits for the datagram (or the recorder's own time limit).
  const TBytes& Bytes() {
    if (thread_.joinable()) thread_.join();
    return bytes_;
  }
  std::uint32_t Sender() const { return sender_; }

 private:
  static constexpr std::size_t kMaxDatagramForTest = 8192;
  std::thread thread_;
  std::atomic<bool> ready_{false};
  std::atomic<std::uint16_t> port_{0};
  TBytes bytes_;
  std::uint32_t sender_ = 0;
};

TEST_F(CliInterfacesNetns, OneInterfaceSendsTheBytesOfAnExplicitTarget) {
  Build(false);
  // The request as the program sends it to an explicit target, recorded on the loopback.
  TRecorder recorded("");
  ASSERT_NE(recorded.Port(), 0);
  const TProgramRun viaTarget = RunProgram(
      {kCli, "--target", "127.0.0.1:" + std::to_string(recorded.Port()), "--rounds", "1", "scan"},
      std::chrono::seconds(30));
  EXPECT_EQ(viaTarget.exitCode, 0) << viaTarget.err;

  TRecorder onLink(net1);
  ASSERT_NE(onLink.Port(), 0);
  const TProgramRun viaInterface = Cli({"--rounds", "1", "scan"});
  EXPECT_EQ(viaInterface.exitCode, 0) << viaInterface.err;

  ASSERT_EQ(recorded.Bytes().size(), 27u);
  EXPECT_EQ(onLink.Bytes(), recorded.Bytes());
  EXPECT_EQ(IpToText(onLink.Sender()), "10.97.1.1");
}

}  // namespace
