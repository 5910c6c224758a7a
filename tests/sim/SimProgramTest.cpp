// The velkaro-sim program: options, readiness line, serving and stopping on a signal.
#include <gtest/gtest.h>

#include <regex>

#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "support/ChildProcess.h"
#include "support/Loopback.h"

using namespace velkaro;
using namespace velkaro::testing;
using std::chrono::milliseconds;

namespace {

const std::string kSim = VELKARO_SIM_PROGRAM;

int RunToEnd(const std::vector<std::string>& args, std::string& output) {
  TChildProcess p(args);
  if (!p.Started()) return -1;
  const int code = p.Finish(milliseconds(5000));
  output = p.Output();
  return code;
}

TEST(SimProgram, HelpDescribesTheOptions) {
  std::string out;
  ASSERT_EQ(RunToEnd({kSim, "--help"}, out), 0);
  for (const char* option :
       {"--bind",      "--port",           "--count",     "--models",         "--mac-base",
        "--delay",     "--spacing",        "--silent",    "--duplicates",     "--duplicate-gap",
        "--malformed", "--tftp-port",      "--drop-rate", "--seed",           "--lan-ips",
        "--reboot-ms", "--abort-at-block", "--no-return", "--double-trigger", "--log-limit"})
    EXPECT_NE(out.find(option), std::string::npos) << option;
}

TEST(SimProgram, BadArgumentsAreRefusedClearly) {
  std::string out;
  EXPECT_EQ(RunToEnd({kSim, "--frobnicate"}, out), 2);
  EXPECT_NE(out.find("unknown option '--frobnicate'"), std::string::npos) << out;
  EXPECT_EQ(RunToEnd({kSim, "--port", "70000"}, out), 2);
  EXPECT_NE(out.find("--port"), std::string::npos) << out;
  EXPECT_EQ(RunToEnd({kSim, "--models", "zel1,zel9"}, out), 2);
  EXPECT_NE(out.find("zel9"), std::string::npos) << out;
  EXPECT_EQ(RunToEnd({kSim, "--count"}, out), 2);
  EXPECT_NE(out.find("--count"), std::string::npos) << out;
  EXPECT_NE(out.find("missing"), std::string::npos) << out;
  EXPECT_EQ(RunToEnd({kSim, "--bind", "1.2.3"}, out), 2);
  EXPECT_NE(out.find("not a dotted IPv4 address"), std::string::npos) << out;
  EXPECT_EQ(RunToEnd({kSim, "--malformed=weird"}, out), 2);
  EXPECT_NE(out.find("weird"), std::string::npos) << out;
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--drop-rate", "1.5"}, "--drop-rate"},
      {{"--drop-rate", "x"}, "--drop-rate"},
      {{"--reboot-ms", "-1"}, "--reboot-ms"},
      {{"--abort-at-block", "0"}, "block number"},
      {{"--abort-at-block", "3:"}, "block number"},
      {{"--abort-at-block", "3:1,x"}, "block number"},
      {{"--no-return=1,,2"}, "device indexes"},
      {{"--double-trigger=3"}, "device index 3 does not exist"},
      {{"--count", "5", "--abort-at-block", "2:5"}, "device index 5 does not exist"},
      {{"--log-limit", "0"}, "--log-limit"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{kSim};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(RunToEnd(args, out), 2) << c.args.front();
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
  EXPECT_EQ(RunToEnd({kSim, "--mac-base", "12345678901234"}, out), 2);
  EXPECT_NE(out.find("48-bit"), std::string::npos) << out;
}

TEST(SimProgram, LoopbackAddressesAreListed) {
  TChildProcess p({kSim, "--port", "0", "--count", "3", "--loopback-ips", "--drop-rate", "0.5",
                   "--seed", "9", "--no-return=1", "--abort-at-block", "2:0,2"});
  ASSERT_TRUE(p.Started());
  ASSERT_TRUE(p.WaitForOutput("127.0.0.4", milliseconds(5000))) << p.Output();
  EXPECT_NE(p.Output().find("  127.0.0.2  "), std::string::npos) << p.Output();
  EXPECT_NE(p.Output().find("  127.0.0.3  "), std::string::npos) << p.Output();
  EXPECT_EQ(p.Finish(milliseconds(3000), SIGTERM), 0);
}

TEST(SimProgram, ServesUntilTerminated) {
  TChildProcess p({kSim, "--port", "0", "--count", "4", "--models", "zel4,zel8"});
  ASSERT_TRUE(p.Started());
  ASSERT_TRUE(p.WaitForOutput("\n", milliseconds(5000))) << p.Output();
  std::smatch m;
  const std::string out = p.Output();
  ASSERT_TRUE(
      std::regex_search(out, m, std::regex("4 devices listening on 127\\.0\\.0\\.1:(\\d+)")))
      << out;
  const auto port = static_cast<std::uint16_t>(std::stoi(m[1]));

  TSession session;
  session.settings.target = {kLoopback, port};
  std::vector<std::string> errors;
  for (const TExchangeError& e : Discover(session.settings, MergeInto(session)).errors)
    errors.push_back(e.Message());
  ASSERT_EQ(session.DeviceList.size(), 4u);
  EXPECT_EQ(session.DeviceList[0].ModelCode(), kModelZel4);
  EXPECT_EQ(session.DeviceList[1].ModelCode(), kModelZel8);
  EXPECT_TRUE(errors.empty());

  EXPECT_EQ(p.Finish(milliseconds(3000), SIGTERM), 0);
  EXPECT_NE(p.Output().find("stopped after 1 requests"), std::string::npos) << p.Output();
}

}  // namespace
