// velkaro-cli doctor: in this machine's own namespace only against the simulator on 127.0.0.1
// (--target), and with its real interface scan only inside namespaces the test makes and always
// deletes.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "cli/CliSimFixture.h"
#include "sim/TftpServer.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace velkaro::cli::testing {
namespace {

using nlohmann::json;
using velkaro::testing::RunProgram;
using velkaro::testing::TChildOptions;
using velkaro::testing::TChildProcess;

// The checks of one run in order, as {check, status}; the detail of each by check.
struct TDoctorRun {
  int exitCode = -1;
  std::vector<std::pair<std::string, std::string>> statuses;
  std::map<std::string, json> lines;
};

TDoctorRun Parse(const TCliRun& run) {
  TDoctorRun out;
  out.exitCode = run.exitCode;
  const json doc = json::parse(run.out);
  for (const json& line : doc) {
    out.statuses.emplace_back(line.at("check"), line.at("status"));
    out.lines[line.at("check")] = line;
  }
  return out;
}

bool AnyFailed(const TDoctorRun& run) {
  for (const auto& [check, status] : run.statuses)
    if (status == "fail") return true;
  return false;
}

class CliDoctorTest : public CliSimTest {
 protected:
  std::string ScanCheck() const { return "scan " + Target(); }
};

TEST_F(CliDoctorTest, ChecksRunInOrderAndTheScanCountsTheDevicesOfTheTarget) {
  StartSim();
  const TDoctorRun run = Parse(Cli({"doctor", "--json"}));
  ASSERT_EQ(run.statuses.size(), 4u);
  EXPECT_EQ(run.statuses[0].first, "interfaces");
  EXPECT_EQ(run.statuses[1], std::make_pair(std::string("self-test"), std::string("ok")));
  EXPECT_EQ(run.statuses[2], std::make_pair(ScanCheck(), std::string("ok")));
  EXPECT_EQ(run.statuses[3].first, "firewall");
  EXPECT_EQ(run.lines.at(ScanCheck()).at("detail"), "3 devices answered " + Target());
  // This machine's own firewall may say anything; the exit code must follow it.
  EXPECT_EQ(run.exitCode, AnyFailed(run) ? 1 : 0);

  const TCliRun text = Cli({"doctor"});
  std::istringstream lines(text.out);
  std::size_t n = 0;
  for (std::string line; std::getline(lines, line); ++n) {
    const auto& [check, status] = run.statuses.at(n);
    EXPECT_EQ(line.rfind(status, 0), 0u) << line;
    EXPECT_NE(line.find(check + ": "), std::string::npos) << line;
  }
  EXPECT_EQ(n, run.statuses.size());
}

TEST_F(CliDoctorTest, NoReplyFailsTheScanWithTheFirewallHint) {
  StartSim().SetSilent(true);
  const TDoctorRun run = Parse(Cli({"doctor", "--json"}));
  EXPECT_EQ(run.exitCode, 1);
  const json& scan = run.lines.at(ScanCheck());
  EXPECT_EQ(scan.at("status"), "fail");
  EXPECT_NE(scan.at("hint").get<std::string>().find("UDP replies from port 52389"),
            std::string::npos);
  EXPECT_EQ(run.lines.at("self-test").at("status"), "ok");  // the program itself is fine
}

TEST_F(CliDoctorTest, TheUpgradeCheckExpectsAnErrorForAnEmptyNameAndUploadsNothing) {
  sim::TSimOptions options;
  options.loopbackIps = true;  // the first device is 127.0.0.2
  StartSim(options);
  sim::TTftpServer tftp(0x7F000002, 0, "/");
  tftp.Start();
  const std::string port = std::to_string(tftp.Port());

  TDoctorRun run =
      Parse(Cli({"doctor", "--json", "--upgrade-check", "127.0.0.2", "--tftp-port", port}));
  const json& answered = run.lines.at("upgrade");
  EXPECT_EQ(answered.at("status"), "ok") << answered.dump();
  EXPECT_NE(answered.at("detail").get<std::string>().find("error 2"), std::string::npos);
  EXPECT_EQ(tftp.RequestCount(), 1u);
  EXPECT_EQ(tftp.LastTransfer().dataPackets, 0u);
  EXPECT_TRUE(tftp.LastTransfer().image.empty());

  tftp.Stop();  // nothing answers on that port now
  run = Parse(Cli({"doctor", "--json", "--upgrade-check", "127.0.0.2", "--tftp-port", port}));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.lines.at("upgrade").at("status"), "fail");

  run = Parse(Cli({"doctor", "--json", "--upgrade-check", "10.9.9.9", "--tftp-port", port}));
  EXPECT_EQ(run.lines.at("upgrade").at("status"), "fail");
  EXPECT_NE(run.lines.at("upgrade").at("detail").get<std::string>().find("not found"),
            std::string::npos);
}

// Two namespaces joined by a veth pair: the "laptop" running doctor and the "rack" running the
// simulator on the real port. Deleted with everything in them when the object goes.
class TNamespacePair {
 public:
  TNamespacePair() {
    const std::string id = std::to_string(::getpid());
    laptop_ = "vkdiag" + id + "a";
    rack_ = "vkdiag" + id + "b";
    link_ = "vkd" + id + "x";
    const std::string peer = "vkd" + id + "y";
    ready_ = Ip({"netns", "add", laptop_}) && Ip({"netns", "add", rack_}) &&
             Ip({"link", "add", link_, "type", "veth", "peer", "name", peer}) &&
             Ip({"link", "set", link_, "netns", laptop_}) &&
             Ip({"link", "set", peer, "netns", rack_}) &&
             Ip({"-n", laptop_, "addr", "add", "10.231.7.1/24", "broadcast", "10.231.7.255", "dev",
                 link_}) &&
             Ip({"-n", rack_, "addr", "add", "10.231.7.2/24", "dev", peer}) &&
             Ip({"-n", laptop_, "link", "set", link_, "up"}) &&
             Ip({"-n", rack_, "link", "set", peer, "up"}) &&
             Ip({"-n", laptop_, "link", "set", "lo", "up"}) &&
             Ip({"-n", rack_, "link", "set", "lo", "up"});
  }
  ~TNamespacePair() {
    Ip({"netns", "del", laptop_});  // takes the veth pair with it
    Ip({"netns", "del", rack_});
  }
  TNamespacePair(const TNamespacePair&) = delete;
  TNamespacePair& operator=(const TNamespacePair&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Link() const { return link_; }
  std::vector<std::string> InLaptop(std::vector<std::string> args) const {
    args.insert(args.begin(), {"ip", "netns", "exec", laptop_});
    return args;
  }
  std::vector<std::string> InRack(std::vector<std::string> args) const {
    args.insert(args.begin(), {"ip", "netns", "exec", rack_});
    return args;
  }

 private:
  static bool Ip(std::vector<std::string> args) {
    args.insert(args.begin(), "ip");
    return RunProgram(args, std::chrono::seconds(10)).exitCode == 0;
  }
  std::string laptop_, rack_, link_;
  bool ready_ = false;
};

TEST_F(CliDoctorTest, InANamespaceWithOneInterfaceAllIsOkUntilAFirewallDropsTheReplies) {
  if (::geteuid() != 0) GTEST_SKIP() << "network namespaces need root";
  TNamespacePair ns;
  if (!ns.Ready()) GTEST_SKIP() << "the kernel refused the namespaces or the veth pair";
  TChildProcess rack(ns.InRack({VELKARO_SIM_PATH, "--bind", "0.0.0.0"}),
                     {TChildOptions::Stderr::Merged, true});
  ASSERT_TRUE(rack.WaitForOutput("listening on", std::chrono::seconds(10))) << rack.Output();
  const auto doctor = ns.InLaptop({VELKARO_CLI_PATH, "doctor", "--json"});
  const std::string scan = "scan " + ns.Link();

  TDoctorRun run = Parse(RunProgram(doctor, std::chrono::seconds(60)));
  const std::vector<std::pair<std::string, std::string>> allOk = {
      {"interfaces", "ok"}, {"self-test", "ok"}, {scan, "ok"}, {"firewall", "ok"}};
  EXPECT_EQ(run.statuses, allOk);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.lines.at(scan).at("detail"), "3 devices answered 10.231.7.255:52389");

  const std::vector<std::vector<std::string>> dropReplies = {
      {"nft", "add", "table", "inet", "vk"},
      {"nft", "add", "chain", "inet", "vk", "input", "{ type filter hook input priority 0; }"},
      {"nft", "add", "rule", "inet", "vk", "input", "udp", "sport", "52389", "drop"}};
  for (const auto& command : dropReplies)
    if (RunProgram(ns.InLaptop(command), std::chrono::seconds(10)).exitCode != 0)
      GTEST_SKIP() << "nft is missing or the kernel refused the rule";
  run = Parse(RunProgram(doctor, std::chrono::seconds(60)));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.lines.at(scan).at("status"), "fail");
  const json& firewall = run.lines.at("firewall");
  EXPECT_EQ(firewall.at("status"), "fail");
  EXPECT_NE(firewall.at("detail").get<std::string>().find(
                "table inet vk, chain input: udp sport 52389 drop"),
            std::string::npos)
      << firewall.dump();
  EXPECT_EQ(run.lines.at("self-test").at("status"), "ok");
}

// Fake firewall programs first in PATH: one that never ends (with a child holding its output
// open), and one whose rule comment holds terminal escapes.
class CliDoctorFakeFirewallTest : public CliDoctorTest {
 protected:
  void Fake(const std::string& name, const std::string& script) {
    const std::string file = dir.File(name);
    std::ofstream(file) << "#!/bin/sh\n" << script;
    ::chmod(file.c_str(), 0755);
  }
  velkaro::testing::TScopedEnv Path() {
    const char* old = std::getenv("PATH");
    return velkaro::testing::TScopedEnv("PATH", dir.Path().string() + ":" + (old ? old : ""));
  }
  velkaro::testing::TTempDir dir;
};

TEST_F(CliDoctorFakeFirewallTest, AListingThatNeverEndsIsStoppedAndSaidSo) {
  StartSim();
  Fake("nft", "sleep 600 &\nsleep 600\n");
  Fake("iptables", "sleep 600\n");
  const auto path = Path();
  const auto started = std::chrono::steady_clock::now();
  const TDoctorRun run = Parse(Cli({"doctor", "--json"}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(25));
  const json& firewall = run.lines.at("firewall");
  EXPECT_EQ(firewall.at("status"), "warn");
  EXPECT_NE(firewall.at("detail").get<std::string>().find("nft did not end within 5 s"),
            std::string::npos)
      << firewall.dump();
}

TEST_F(CliDoctorFakeFirewallTest, EscapesInARuleReachTheOutputEscaped) {
  StartSim();
  Fake("nft",
       "printf 'table inet filter {\\n\\tchain input {\\n\\t\\ttype filter hook input priority "
       "filter; policy accept;\\n\\t\\tudp sport 52389 drop comment \"\\033]0;owned\\007\"\\n"
       "\\t}\\n}\\n'\n");
  const auto path = Path();
  const TCliRun text = Cli({"doctor"});
  EXPECT_NE(text.out.find("udp sport 52389 drop"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find('\x1b'), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find('\x07'), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\\e]0;owned\\x07"), std::string::npos) << text.out;
}

}  // namespace
}  // namespace velkaro::cli::testing
