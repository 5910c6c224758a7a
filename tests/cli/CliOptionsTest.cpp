#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/CliExitCode.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {
namespace {

struct TParsed {
  TParseResult result;
  std::string out;
  std::string err;
};

TParsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "velkaro-cli");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  TParsed p;
  p.result = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), out, err,
                              [] { return std::string("velkaro-cli 9.8.7.6"); });
  p.out = out.str();
  p.err = err.str();
  return p;
}

// A usage error: exit 2, exactly one line on stderr, nothing on stdout.
void ExpectUsageError(const TParsed& p, const std::string& mention) {
  EXPECT_FALSE(p.result.options.has_value());
  EXPECT_EQ(p.result.exitCode, kExitUsage);
  EXPECT_TRUE(p.out.empty()) << p.out;
  ASSERT_FALSE(p.err.empty());
  EXPECT_EQ(p.err.find('\n'), p.err.size() - 1) << p.err;
  EXPECT_NE(p.err.find(mention), std::string::npos) << p.err;
}

TEST(CliOptions, ScanWithDefaults) {
  const TParsed p = Parse({"scan"});
  ASSERT_TRUE(p.result.options);
  const TCliOptions& o = *p.result.options;
  EXPECT_EQ(o.command, TCommandKind::Scan);
  EXPECT_EQ(o.target.address, 0xFFFFFFFFu);
  EXPECT_EQ(o.target.port, 52389);
  EXPECT_FALSE(o.json);
  EXPECT_EQ(o.rounds, 10);
  EXPECT_TRUE(p.out.empty());
  EXPECT_TRUE(p.err.empty());
}

TEST(CliOptions, MetricsTagsAndNames) {
  const TParsed metrics = Parse({"--target", "127.0.0.1:4000", "--rounds", "2", "metrics",
                                 "--output", "m.prom", "--parallel", "3"});
  ASSERT_TRUE(metrics.result.options) << metrics.err;
  EXPECT_EQ(metrics.result.options->command, TCommandKind::Metrics);
  EXPECT_EQ(metrics.result.options->file, "m.prom");
  EXPECT_EQ(metrics.result.options->parallel, 3);
  EXPECT_EQ(metrics.result.options->rounds, 2);
  const TParsed plain = Parse({"metrics"});
  ASSERT_TRUE(plain.result.options);
  EXPECT_EQ(plain.result.options->file, "");  // stdout
  EXPECT_EQ(plain.result.options->parallel, 8);
  ExpectUsageError(Parse({"metrics", "--parallel", "65"}), "--parallel");
  ExpectUsageError(Parse({"metrics", "--output"}), "--output");
  ExpectUsageError(Parse({"metrics", "extra"}), "extra");

  const TParsed tags = Parse({"tags", "0x08000100"});
  ASSERT_TRUE(tags.result.options) << tags.err;
  EXPECT_EQ(tags.result.options->command, TCommandKind::Tags);
  EXPECT_EQ(tags.result.options->model, 0x08000100u);
  ExpectUsageError(Parse({"tags", "zel9"}), "unknown model 'zel9'");

  const TParsed read = Parse({"read", "--names", "10.0.0.1"});
  ASSERT_TRUE(read.result.options);
  EXPECT_TRUE(read.result.options->names);
  EXPECT_FALSE(Parse({"read", "10.0.0.1"}).result.options->names);
  const TParsed set = Parse({"set", "10.0.0.1", "name=Rack 3", "7=x"});
  ASSERT_TRUE(set.result.options);
  EXPECT_EQ(set.result.options->assignments, (std::vector<std::string>{"name=Rack 3", "7=x"}));
}

TEST(CliOptions, GlobalOptionsBeforeOrAfterTheCommand) {
  for (const auto& args : {std::vector<std::string>{"--target", "127.0.0.1:4000", "--json",
                                                    "--rounds", "3", "read", "10.0.0.1"},
                           std::vector<std::string>{"read", "10.0.0.1", "--json", "--rounds", "3",
                                                    "--target", "127.0.0.1:4000"}}) {
    const TParsed p = Parse(args);
    ASSERT_TRUE(p.result.options) << p.err;
    const TCliOptions& o = *p.result.options;
    EXPECT_EQ(o.command, TCommandKind::Read);
    EXPECT_EQ(o.device, "10.0.0.1");
    EXPECT_EQ(o.target.address, 0x7F000001u);
    EXPECT_EQ(o.target.port, 4000);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.rounds, 3);
  }
}

TEST(CliOptions, TargetWithoutPortKeepsTheDevicePort) {
  const TParsed p = Parse({"--target", "192.168.10.255", "scan"});
  ASSERT_TRUE(p.result.options);
  EXPECT_EQ(p.result.options->target.address, 0xC0A80AFFu);
  EXPECT_EQ(p.result.options->target.port, 52389);
}

TEST(CliOptions, BadTargetsAreUsageErrors) {
  ExpectUsageError(Parse({"--target", "10.0.0", "scan"}), "10.0.0");
  ExpectUsageError(Parse({"--target", "10.0.0.1:0", "scan"}), "port");
  ExpectUsageError(Parse({"--target", "10.0.0.1:65536", "scan"}), "port");
  ExpectUsageError(Parse({"--target", "", "scan"}), "address");
  ExpectUsageError(Parse({"--target", "host.example:52389", "scan"}), "host.example");
}

TEST(CliOptions, RoundsMustBePositive) {
  ExpectUsageError(Parse({"--rounds", "0", "scan"}), "rounds");
  ExpectUsageError(Parse({"--rounds", "-1", "scan"}), "rounds");
  ExpectUsageError(Parse({"--rounds", "abc", "scan"}), "rounds");
  ExpectUsageError(Parse({"--rounds", "1001", "scan"}), "rounds");
  const TParsed p = Parse({"--rounds", "1", "scan"});
  ASSERT_TRUE(p.result.options);
  EXPECT_EQ(p.result.options->rounds, 1);
}

TEST(CliOptions, WatchTakesSecondsWithDefaults) {
  TParsed p = Parse({"watch"});
  ASSERT_TRUE(p.result.options);
  EXPECT_EQ(p.result.options->command, TCommandKind::Watch);
  EXPECT_EQ(p.result.options->interval, 1.0);
  EXPECT_EQ(p.result.options->missingAfter, 10.0);
  EXPECT_EQ(p.result.options->duration, 0.0);
  p = Parse({"--json", "watch", "--interval", "0.1", "--missing-after", "1.5", "--duration", "30"});
  ASSERT_TRUE(p.result.options) << p.err;
  EXPECT_TRUE(p.result.options->json);
  EXPECT_EQ(p.result.options->interval, 0.1);
  EXPECT_EQ(p.result.options->missingAfter, 1.5);
  EXPECT_EQ(p.result.options->duration, 30.0);
}

TEST(CliOptions, BadWatchSecondsAreUsageErrors) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{"watch", "--interval", "0.09"}, "--interval"},
      {{"watch", "--interval", "0"}, "--interval"},
      {{"watch", "--interval", "-1"}, "--interval"},
      {{"watch", "--interval", "abc"}, "--interval"},
      {{"watch", "--interval", "nan"}, "--interval"},
      {{"watch", "--interval", "inf"}, "--interval"},
      {{"watch", "--interval", "1s"}, "--interval"},
      {{"watch", "--missing-after", "0"}, "--missing-after"},
      {{"watch", "--missing-after", "-2"}, "--missing-after"},
      {{"watch", "--missing-after", "1e400"}, "--missing-after"},
      {{"watch", "--duration", "-1"}, "--duration"},
      {{"watch", "--duration", ""}, "--duration"},
      {{"watch", "--rate", "1"}, "--rate"},
      {{"watch", "extra"}, "extra"},
  };
  for (const auto& [args, mention] : rows) ExpectUsageError(Parse(args), mention);
}

TEST(CliOptions, CsvIsForScanAloneAndNotWithJson) {
  const TParsed p = Parse({"--csv", "scan"});
  ASSERT_TRUE(p.result.options);
  EXPECT_TRUE(p.result.options->csv);
  EXPECT_FALSE(p.result.options->json);
  EXPECT_TRUE(Parse({"scan", "--csv"}).result.options);
  ExpectUsageError(Parse({"--csv", "--json", "scan"}), "--csv");
  ExpectUsageError(Parse({"--csv", "watch"}), "--csv");
  ExpectUsageError(Parse({"--csv", "read", "10.0.0.1"}), "--csv");
  ExpectUsageError(Parse({"--csv", "doctor"}), "--csv");
}

TEST(CliOptions, CommandIsRequiredAndKnown) {
  ExpectUsageError(Parse({}), "A command is required");
  ExpectUsageError(Parse({"--json"}), "A command is required");
  ExpectUsageError(Parse({"frobnicate"}), "Unknown command 'frobnicate'");
  ExpectUsageError(Parse({"scan", "read", "10.0.0.1"}), "read");
}

TEST(CliOptions, CommandArguments) {
  ExpectUsageError(Parse({"read"}), "DEVICE");
  ExpectUsageError(Parse({"set", "10.0.0.1"}), "TAG=VALUE");
  ExpectUsageError(Parse({"save", "10.0.0.1"}), "FILE");
  ExpectUsageError(Parse({"upgrade", "10.0.0.1"}), "FILE");
  ExpectUsageError(Parse({"scan", "extra"}), "extra");
  ExpectUsageError(Parse({"read", "10.0.0.1", "extra"}), "extra");
}

TEST(CliOptions, SetKeepsEveryAssignmentAsGiven) {
  const TParsed p = Parse({"set", "00:1a:2b:3c:4d:5e", "7=Rack 3", "8=a=b", "9="});
  ASSERT_TRUE(p.result.options) << p.err;
  const TCliOptions& o = *p.result.options;
  EXPECT_EQ(o.command, TCommandKind::Set);
  EXPECT_EQ(o.device, "00:1a:2b:3c:4d:5e");
  EXPECT_EQ(o.assignments, (std::vector<std::string>{"7=Rack 3", "8=a=b", "9="}));
}

TEST(CliOptions, SaveAndUpgrade) {
  TParsed p = Parse({"save", "10.0.0.1", "out.cfg"});
  ASSERT_TRUE(p.result.options);
  EXPECT_EQ(p.result.options->command, TCommandKind::Save);
  EXPECT_EQ(p.result.options->file, "out.cfg");

  p = Parse({"upgrade", "10.0.0.1", "fw.bin"});
  ASSERT_TRUE(p.result.options);
  EXPECT_EQ(p.result.options->command, TCommandKind::Upgrade);
  EXPECT_EQ(p.result.options->devices, (std::vector<std::string>{"10.0.0.1"}));
  EXPECT_EQ(p.result.options->file, "fw.bin");
  EXPECT_EQ(p.result.options->tftpPort, 69);
  EXPECT_EQ(p.result.options->parallel, 4);
  EXPECT_EQ(p.result.options->returnTimeout, 90);

  p = Parse({"upgrade", "10.0.0.1", "fw.bin", "--tftp-port", "6969"});
  ASSERT_TRUE(p.result.options);
  EXPECT_EQ(p.result.options->tftpPort, 6969);

  ExpectUsageError(Parse({"upgrade", "10.0.0.1", "fw.bin", "--tftp-port", "0"}), "tftp-port");
  ExpectUsageError(Parse({"upgrade", "10.0.0.1", "fw.bin", "--tftp-port", "65536"}), "tftp-port");
  // Many devices, or a whole model, or all; the image is always the last word.
  struct TCase {
    std::vector<std::string> args;
    std::vector<std::string> devices;
    std::string file;
    bool all;
  };
  for (const TCase& c : std::vector<TCase>{
           {{"upgrade", "10.0.0.1", "10.0.0.2", "00:1a:2b:3c:4d:5e", "fw.bin"},
            {"10.0.0.1", "10.0.0.2", "00:1a:2b:3c:4d:5e"},
            "fw.bin",
            false},
           {{"upgrade", "--model", "zel4", "fw.bin", "--parallel", "2"}, {}, "fw.bin", false},
           {{"upgrade", "--all", "fw.bin", "--canary", "--stop-after", "1"}, {}, "fw.bin", true}}) {
    p = Parse(c.args);
    ASSERT_TRUE(p.result.options) << p.err;
    EXPECT_EQ(p.result.options->devices, c.devices);
    EXPECT_EQ(p.result.options->file, c.file);
    EXPECT_EQ(p.result.options->all, c.all);
  }
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"upgrade", "fw.bin"},
           {"upgrade", "10.0.0.1", "fw.bin", "--all"},
           {"upgrade", "--all", "--model", "zel1", "fw.bin"},
           {"upgrade", "10.0.0.1", "fw.bin", "--parallel", "0"},
           {"upgrade", "10.0.0.1", "fw.bin", "--return-timeout", "-1"},
           {"upgrade", "10.0.0.1", "fw.bin", "--stop-after", "0"},
           {"upgrade", "--model", "zel9", "fw.bin"}}) {
    EXPECT_EQ(Parse(bad).result.exitCode, 2) << bad.back();
  }
  // The TFTP port belongs to upgrade only.
  ExpectUsageError(Parse({"read", "10.0.0.1", "--tftp-port", "70"}), "tftp-port");
}

TEST(CliOptions, HelpForTheToolAndEachCommand) {
  TParsed p = Parse({"--help"});
  EXPECT_FALSE(p.result.options);
  EXPECT_EQ(p.result.exitCode, 0);
  for (const char* word : {"scan", "watch", "read", "set", "save", "upgrade", "--target", "--json",
                           "--csv", "--rounds", "--version", "Exit codes"}) {
    EXPECT_NE(p.out.find(word), std::string::npos) << word;
  }
  EXPECT_TRUE(p.err.empty());

  const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
      {"scan", {}},
      {"watch", {"--interval", "--missing-after", "--duration", "SIGTERM"}},
      {"read", {"DEVICE"}},
      {"set", {"DEVICE", "TAG=VALUE"}},
      {"save", {"DEVICE", "FILE"}},
      {"upgrade",
       {"DEVICE", "FILE", "--tftp-port", "--parallel", "--return-timeout", "--canary",
        "--stop-after", "--model", "--all", "--force"}}};
  for (const auto& [command, words] : commands) {
    p = Parse({command, "--help"});
    EXPECT_EQ(p.result.exitCode, 0) << command;
    EXPECT_NE(p.out.find(command), std::string::npos) << p.out;
    for (const auto& w : words) EXPECT_NE(p.out.find(w), std::string::npos) << command << " " << w;
  }
}

TEST(CliOptions, VersionPrintsTheGivenText) {
  const TParsed p = Parse({"--version"});
  EXPECT_FALSE(p.result.options);
  EXPECT_EQ(p.result.exitCode, 0);
  EXPECT_EQ(p.out, "velkaro-cli 9.8.7.6\n");
}

}  // namespace
}  // namespace velkaro::cli
