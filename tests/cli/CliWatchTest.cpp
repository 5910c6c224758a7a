// velkaro-cli watch end to end: the built program as a child process against the simulator on
// 127.0.0.1, devices silenced, renamed and lost on the way while it runs.
#include <csignal>
#include <cstdio>
#include <functional>
#include <regex>

#include "CliSimFixture.h"

namespace velkaro::cli::testing {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;
using std::chrono::seconds;
using velkaro::testing::TChildOptions;
using velkaro::testing::TChildProcess;

// The whole lines of `out`, each a JSON object (a broken or half line throws).
std::vector<json> Events(const std::string& out) {
  std::vector<json> events;
  std::size_t at = 0;
  for (std::size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
    events.push_back(json::parse(out.substr(at, end - at)));
  return events;
}

std::size_t CountOf(const std::vector<json>& events, const std::string& kind,
                    const std::string& mac = {}) {
  return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const json& e) {
    return e.at("event") == kind && (mac.empty() || e.at("device").at("mac") == mac);
  }));
}

// The events of one device, in their order.
std::vector<std::string> KindsOf(const std::vector<json>& events, const std::string& mac) {
  std::vector<std::string> kinds;
  for (const json& e : events)
    if (e.at("device").at("mac") == mac) kinds.push_back(e.at("event"));
  return kinds;
}

// Milliseconds since the epoch of "2026-12-09T21:04:05.123Z"; -1 when it is not of that form.
long long TimeMs(const std::string& text) {
  static const std::regex form(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  if (!std::regex_match(text, form)) return -1;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &y, &mo, &d, &h, &mi, &s, &ms);
  using namespace std::chrono;
  const sys_days day{year{y} / month{static_cast<unsigned>(mo)} / static_cast<unsigned>(d)};
  return duration_cast<milliseconds>(day.time_since_epoch()).count() +
         ((h * 60LL + mi) * 60 + s) * 1000 + ms;
}

long long NowMs() {
  return std::chrono::duration_cast<milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class CliWatchTest : public CliSimTest {
 protected:
  // velkaro-cli --target <simulator> ARGS... left running, stderr apart.
  std::unique_ptr<TChildProcess> Watch(std::vector<std::string> args) {
    args.insert(args.begin(), {VELKARO_CLI_PATH, "--target", Target()});
    auto child =
        std::make_unique<TChildProcess>(args, TChildOptions{TChildOptions::Stderr::Separate});
    EXPECT_TRUE(child->Started());
    return child;
  }

  // Reads the child's output until `done` holds for its events; false after `timeout` or when
  // the child ended without it.
  static bool WaitFor(TChildProcess& child,
                      const std::function<bool(const std::vector<json>&)>& done,
                      milliseconds timeout = seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done(Events(child.Output()))) {
      if (std::chrono::steady_clock::now() >= deadline || !child.Running()) return false;
      child.WaitForOutput("\x01", milliseconds(100));  // reads what came; the byte never does
    }
    return true;
  }
  static bool WaitForCount(TChildProcess& child, const std::string& kind, std::size_t count,
                           milliseconds timeout = seconds(20)) {
    return WaitFor(
        child, [&](const std::vector<json>& e) { return CountOf(e, kind) >= count; }, timeout);
  }

  // A few more discovery rounds: time for an event that should not come to come.
  void MoreRounds(std::size_t rounds) const {
    EXPECT_TRUE(sim->WaitForRequests(sim->RequestCount() + rounds, seconds(20)));
  }

  std::string Mac(std::size_t device) const { return MacText(sim->Snapshot(device)); }
};

// One run per output form; --duration ends each with exit 0.
TEST_F(CliWatchTest, ThreeDevicesAppearOnceEach) {
  StartSim();
  for (const bool asJson : {true, false}) {
    SCOPED_TRACE(asJson ? "json" : "text");
    const std::size_t before = sim->RequestCount();
    const long long start = NowMs();
    std::vector<std::string> args = {"watch", "--interval", "0.2", "--duration", "2"};
    if (asJson) args.insert(args.begin(), "--json");
    const TCliRun run = Cli(args);
    const long long end = NowMs();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_GE(sim->RequestCount() - before, 3u);  // discovery again and again
    std::vector<std::string> lines;
    for (std::size_t at = 0, e; (e = run.out.find('\n', at)) != std::string::npos; at = e + 1)
      lines.push_back(run.out.substr(at, e - at));
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(run.out.back(), '\n');
    for (std::size_t i = 0; i < 3; ++i) {
      const TZEL d = sim->Snapshot(i);
      std::string time;
      if (asJson) {
        const json e = json::parse(lines[i]);
        EXPECT_EQ(e.size(), 3u);
        EXPECT_EQ(e.at("event"), "appeared");
        time = e.at("time");
        const json& o = e.at("device");
        EXPECT_EQ(o.at("name"), d.values.AsText(7));
        EXPECT_EQ(o.at("type"), d.values.AsText(5));
        EXPECT_EQ(o.at("ip"), IpText(d));
        EXPECT_EQ(o.at("mac"), MacText(d));
        EXPECT_EQ(o.at("interface"), "");
        EXPECT_EQ(o.at("port"), d.values.AsUInt(4));
        EXPECT_EQ(o.at("model"), d.ModelCode());
      } else {
        time = lines[i].substr(0, lines[i].find(' '));
        EXPECT_EQ(lines[i],
                  time + " appeared " + IpText(d) + " " + MacText(d) + " " + d.values.AsText(7));
      }
      const long long at = TimeMs(time);
      EXPECT_GE(at, start - 1000) << time;  // the clock's time of the run, in UTC
      EXPECT_LE(at, end + 1000) << time;
    }
  }
}

TEST_F(CliWatchTest, SilencedDeviceGoesMissingOnceAndComesBackOnce) {
  StartSim();
  auto watch = Watch({"--json", "watch", "--interval", "0.2", "--missing-after", "1.5"});
  ASSERT_TRUE(WaitForCount(*watch, "appeared", 3)) << watch->Output() << watch->ErrorOutput();
  sim->SilenceDevice(1);
  ASSERT_TRUE(WaitForCount(*watch, "missing", 1)) << watch->Output();
  sim->ResumeDevice(1);
  ASSERT_TRUE(WaitForCount(*watch, "back", 1)) << watch->Output();
  MoreRounds(5);
  EXPECT_EQ(watch->Finish(seconds(10), SIGTERM), 0) << watch->ErrorOutput();

  const std::vector<json> events = Events(watch->Output());
  EXPECT_EQ(KindsOf(events, Mac(0)), std::vector<std::string>{"appeared"});
  EXPECT_EQ(KindsOf(events, Mac(1)), (std::vector<std::string>{"appeared", "missing", "back"}));
  EXPECT_EQ(KindsOf(events, Mac(2)), std::vector<std::string>{"appeared"});
  EXPECT_EQ(events.size(), 5u);
  // Missing counts from the last answer: never sooner than the missing time after the first.
  long long appeared = 0, missing = 0, back = 0;
  for (const json& e : events) {
    if (e.at("device").at("mac") != Mac(1)) continue;
    const long long at = TimeMs(e.at("time"));
    (e.at("event") == "appeared" ? appeared : e.at("event") == "missing" ? missing : back) = at;
  }
  EXPECT_GE(missing - appeared, 1500);
  EXPECT_GT(back, missing);
  EXPECT_EQ(watch->ErrorOutput(), "");
}

// Two watches of the same devices, one in each form: the same one change, edited while the
// device was silent so that no round sees half of it.
TEST_F(CliWatchTest, RenamedDeviceGivesOneChangeWithItsFields) {
  StartSim();
  auto asJson = Watch({"--json", "watch", "--interval", "0.2"});
  auto asText = Watch({"watch", "--interval", "0.2"});
  ASSERT_TRUE(WaitForCount(*asJson, "appeared", 3)) << asJson->Output();
  const TZEL old = sim->Snapshot(2);
  ASSERT_TRUE(asText->WaitForOutput(MacText(old), seconds(20))) << asText->Output();
  sim->SilenceDevice(2);
  sim->SetValue(2, 7, std::string("Renamed"));
  sim->SetValue(2, 2, std::uint32_t{0x7F000009});
  sim->ResumeDevice(2);
  ASSERT_TRUE(WaitForCount(*asJson, "changed", 1)) << asJson->Output();
  ASSERT_TRUE(asText->WaitForOutput(" changed ", seconds(20))) << asText->Output();
  MoreRounds(5);
  EXPECT_EQ(asJson->Finish(seconds(10), SIGTERM), 0);
  EXPECT_EQ(asText->Finish(seconds(10), SIGTERM), 0);

  const std::vector<json> events = Events(asJson->Output());
  ASSERT_EQ(events.size(), 4u) << asJson->Output();
  const json& change = events[3];
  EXPECT_EQ(change.at("event"), "changed");
  EXPECT_EQ(change.at("device").at("mac"), MacText(old));
  EXPECT_EQ(change.at("device").at("name"), "Renamed");
  EXPECT_EQ(change.at("device").at("ip"), "127.0.0.9");
  EXPECT_EQ(change.at("changes").dump(),
            json::parse(R"({"name": {"from": ")" + old.values.AsText(7) +
                        R"(", "to": "Renamed"}, "ip": {"from": ")" + IpText(old) +
                        R"(", "to": "127.0.0.9"}})")
                .dump());

  const std::string& text = asText->Output();
  const std::size_t at = text.find(" changed ");
  const std::size_t lineStart = text.rfind('\n', at) + 1;
  const std::string line = text.substr(lineStart, text.find('\n', at) - lineStart);
  EXPECT_EQ(line.substr(line.find(' ')), " changed 127.0.0.9 " + MacText(old) +
                                             " Renamed name: " + old.values.AsText(7) +
                                             " -> Renamed ip: " + IpText(old) + " -> 127.0.0.9");
  EXPECT_EQ(text.find(" changed ", at + 1), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

// A lossy network over about 30 s: answers lost now and then, never ten rounds in a row, so no
// device that kept answering is missing.
TEST_F(CliWatchTest, LostAnswersMakeNoDeviceMissing) {
  sim::TSimOptions options;
  options.count = 10;
  options.dropRate = 0.05;
  options.seed = 11;
  StartSim(options);
  const TCliRun run = velkaro::testing::RunProgram(
      {VELKARO_CLI_PATH, "--target", Target(), "--json", "watch", "--interval", "0.5",
       "--missing-after", "5", "--duration", "30"},
      seconds(90));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<json> events = Events(run.out);
  EXPECT_EQ(CountOf(events, "appeared"), 10u);
  EXPECT_EQ(CountOf(events, "missing"), 0u) << run.out;
  EXPECT_EQ(CountOf(events, "back"), 0u);
  EXPECT_EQ(CountOf(events, "changed"), 0u);
  EXPECT_EQ(events.size(), 10u);
  // The losses happened: a round of every device, and single answers.
  EXPECT_GT(sim->DroppedRequests(), 0u);
  EXPECT_GT(sim->DroppedReplies(), 10u);
}

TEST_F(CliWatchTest, StopSignalEndsWithExitZeroAfterAWholeLine) {
  sim::TSimOptions options;
  options.count = 300;
  StartSim(options);
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    auto watch = Watch({"--json", "watch", "--interval", "0.1"});
    ASSERT_TRUE(WaitForCount(*watch, "appeared", 1)) << watch->ErrorOutput();
    EXPECT_EQ(watch->Finish(seconds(10), signal), 0);
    EXPECT_TRUE(watch->ExitedNormally());
    const std::string& out = watch->Output();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n');
    std::vector<json> events;
    ASSERT_NO_THROW(events = Events(out));
    EXPECT_LE(events.size(), 300u);
    EXPECT_EQ(events.size(), CountOf(events, "appeared"));
  }
}

TEST_F(CliWatchTest, BadOptionsAreUsageErrorsAndSendNothing) {
  StartSim();
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{"watch", "--interval", "0.05"}, "--interval"},
      {{"watch", "--interval", "-1"}, "--interval"},
      {{"watch", "--missing-after", "-1"}, "--missing-after"},
      {{"watch", "--missing-after", "soon"}, "--missing-after"},
      {{"watch", "--duration", "-3"}, "--duration"},
      {{"watch", "--every", "1"}, "--every"},
      {{"--csv", "watch"}, "--csv"},
      {{"--csv", "--json", "scan"}, "--csv"},
  };
  for (const auto& [args, mention] : rows) ExpectUsageError(Cli(args), mention);
  EXPECT_EQ(sim->RequestCount(), 0u);
}

}  // namespace
}  // namespace velkaro::cli::testing
