// velkaro-cli metrics end to end against the simulator: what it reports of each device, a device
// silent at its read, promtool's verdict, and the --output file that a reader never sees half
// written.
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "CliSimFixture.h"
#include "platform/AtomicFile.h"
#include "support/TempDir.h"

namespace velkaro::cli::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class CliMetricsTest : public CliSimTest {
 protected:
  velkaro::testing::TTempDir dir;
};

std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The series of one family: label text (as written) -> value.
std::map<std::string, std::string> Series(const std::string& text, const std::string& family) {
  std::map<std::string, std::string> out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(family + "{", 0) != 0) continue;
    const auto close = line.rfind("} ");
    out[line.substr(family.size() + 1, close - family.size() - 1)] = line.substr(close + 2);
  }
  return out;
}

std::string Labels(const TZEL& d, const std::string& model) {
  return "name=\"" + d.values.AsText(7) + "\",ip=\"" + IpToText(d.values.AsUInt(2)) + "\",mac=\"" +
         MacToText(d.MAC) + "\",model=\"" + model + "\",interface=\"\"";
}

std::string Value(const TZEL& d, int tag) {
  return std::to_string(d.values.AsUInt(tag));
}

// A whole file as the run writes it: the first family first, the run's duration last.
bool Whole(const std::string& text) {
  static const std::string head = "# HELP velkaro_device_up ";
  const auto last = text.rfind("\nvelkaro_run_duration_seconds ");
  return text.compare(0, head.size(), head) == 0 && last != std::string::npos &&
         text.back() == '\n' && text.find('\n', last + 1) == text.size() - 1;
}

// Four devices; the last answers the discovery but not its read.
TEST_F(CliMetricsTest, EveryDeviceWithItsCountersAndASilentOneDown) {
  sim::TSimOptions o;
  o.models = {kModelZel1, kModelZel4, kModelZel8, kModelZel4};
  StartSim(o);
  // Reads go one at a time in answer order; the silence comes with the first read request.
  switcher = std::thread([this] {
    if (sim->WaitForRequests(2, std::chrono::seconds(20))) sim->SilenceDevice(3);
  });
  const TCliRun run = Cli({"--rounds", "1", "metrics", "--parallel", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const TZEL d1 = sim->Snapshot(0), d4 = sim->Snapshot(1), d8 = sim->Snapshot(2),
             silent = sim->Snapshot(3);
  EXPECT_NE(run.err.find(IpText(silent) + " (" + MacText(silent) + "): Device not responding"),
            std::string::npos)
      << run.err;

  EXPECT_EQ(Series(run.out, "velkaro_device_up"),
            (std::map<std::string, std::string>{{Labels(d1, "zel1"), "1"},
                                                {Labels(d4, "zel4"), "1"},
                                                {Labels(d8, "zel8"), "1"},
                                                {Labels(silent, "zel4"), "0"}}));
  // The simulated rack has chained devices 1 and 2 activated.
  ASSERT_EQ(d8.values.AsUInt(40) & 1, 1u);
  ASSERT_EQ(d8.values.AsUInt(140) & 1, 1u);
  ASSERT_EQ(d8.values.AsUInt(240) & 1, 0u);
  std::map<std::string, std::string> powerUps{{Labels(d1, "zel1"), Value(d1, 71)},
                                              {Labels(d4, "zel4"), Value(d4, 81)}};
  std::map<std::string, std::string> switchings{
      {Labels(d1, "zel1") + ",socket=\"1\"", Value(d1, 72)}};
  for (int s = 1; s <= 4; ++s)
    switchings[Labels(d4, "zel4") + ",socket=\"" + std::to_string(s) + "\""] = Value(d4, 81 + s);
  for (int d = 0; d < 2; ++d) {
    const std::string device = ",device=\"" + std::to_string(d + 1) + "\"";
    powerUps[Labels(d8, "zel8") + device] = Value(d8, 100 * d + 81);
    for (int s = 1; s <= 8; ++s)
      switchings[Labels(d8, "zel8") + device + ",socket=\"" + std::to_string(s) + "\""] =
          Value(d8, 100 * d + 81 + s);
  }
  EXPECT_EQ(Series(run.out, "velkaro_power_ups_total"), powerUps);
  EXPECT_EQ(Series(run.out, "velkaro_socket_switchings_total"), switchings);
  EXPECT_TRUE(Whole(run.out)) << run.out;
  EXPECT_EQ(Count(TCommand::Write), 0u);
}

// Reads run several at once; each device's series still carry its own values.
TEST_F(CliMetricsTest, ManyDevicesReadInParallel) {
  sim::TSimOptions o;
  o.models = {kModelZel1, kModelZel4, kModelZel8};
  o.count = 12;
  StartSim(o);
  const TCliRun run = Cli({"--rounds", "1", "metrics", "--parallel", "4"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const auto up = Series(run.out, "velkaro_device_up");
  const auto powerUps = Series(run.out, "velkaro_power_ups_total");
  EXPECT_EQ(up.size(), 12u);
  EXPECT_EQ(powerUps.size(), 4u + 4u + 4u * 2u);  // each rack unit: two chained devices
  for (std::size_t i = 0; i < 12; ++i) {
    const TZEL d = sim->Snapshot(i);
    const std::string model = i % 3 == 0 ? "zel1" : i % 3 == 1 ? "zel4" : "zel8";
    EXPECT_EQ(up.at(Labels(d, model)), "1");
    const int tag = i % 3 == 0 ? 71 : 81;
    EXPECT_EQ(powerUps.at(Labels(d, model) + (i % 3 == 2 ? ",device=\"1\"" : "")), Value(d, tag));
  }
  EXPECT_EQ(Series(run.out, "velkaro_socket_switchings_total").size(), 4u + 16u + 4u * 16u);
}

TEST_F(CliMetricsTest, DeviceTextsEscapedInTheOutput) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  StartSim(o);
  sim->SetValue(0, 7, std::string("Rack \"A\\B\"\nend"));
  const TCliRun run = Cli({"--rounds", "1", "metrics"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(R"(velkaro_device_up{name="Rack \"A\\B\"\nend",)"), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("\nend"), std::string::npos);  // no raw line feed inside a sample
}

// promtool, Prometheus' own checker, accepts the text of devices up and down, escapes included.
TEST_F(CliMetricsTest, PromtoolAcceptsTheOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "promtool runs on the Linux build";
#else
  const std::string promtool = VELKARO_PROMTOOL;
  if (promtool.empty() || promtool.ends_with("NOTFOUND")) {
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true") FAIL() << "promtool (Debian package prometheus) missing";
    GTEST_SKIP() << "promtool not installed (Debian package prometheus)";
  }
  sim::TSimOptions o;
  o.models = {kModelZel8, kModelZel1, kModelZel4};
  StartSim(o);
  sim->SetValue(1, 7, std::string("Say \"hi\" \\ there\nnext line"));
  switcher = std::thread([this] {
    if (sim->WaitForRequests(2, std::chrono::seconds(20))) sim->SilenceDevice(2);
  });
  const std::string file = dir.File("velkaro.prom");
  const TCliRun run = Cli({"--rounds", "1", "metrics", "--parallel", "1", "--output", file});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string text = ReadText(file);
  EXPECT_NE(text.find("} 0\n"), std::string::npos) << text;  // the silent one
  const TCliRun check = velkaro::testing::RunProgram(
      {"/bin/sh", "-c", "\"$0\" check metrics < \"$1\"", promtool, file});
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err << "\n" << text;
  EXPECT_EQ(check.out + check.err, "");  // not even a lint remark
#endif
}

#ifndef _WIN32
// node_exporter runs as a user of its own: a new file is 0644 whatever the umask.
TEST_F(CliMetricsTest, OutputFileReadableByEveryone) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  StartSim(o);
  const std::string file = dir.File("velkaro.prom");
  const mode_t saved = ::umask(077);
  const TCliRun run = Cli({"--rounds", "1", "metrics", "--output", file});
  ::umask(saved);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_TRUE(Whole(ReadText(file)));
  for (const auto& entry : fs::directory_iterator(dir.Path()))  // no temporary file left
    EXPECT_EQ(entry.path().filename(), "velkaro.prom");
}
#endif

TEST_F(CliMetricsTest, BadOutputIsRefusedBeforeAnythingIsSent) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  StartSim(o);
  ExpectUsageError(Cli({"metrics", "--output", dir.File("no/such/folder.prom")}),
                   "folder '" + dir.File("no/such") + "' not found");
  ExpectUsageError(Cli({"metrics", "--output", dir.Path().string()}), "it is a folder");
  ExpectUsageError(Cli({"metrics", "--output", ""}), "--output");
  ExpectUsageError(Cli({"metrics", "--parallel", "0"}), "--parallel");
  EXPECT_EQ(sim->RequestCount(), 0u);
}

// 200 runs replace the file while a reader opens it again and again: every read finds a whole
// file, old or new. Eight writers at once keep it to a few seconds.
TEST_F(CliMetricsTest, ReaderNeverSeesAPartialFile) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  StartSim(o);
  const std::string file = dir.File("velkaro.prom");
  constexpr int kWriters = 8;
  constexpr int kRunsEach = 25;
  // Seconds on Linux; the limit leaves room for slow process starts (Wine).
  const auto deadline = Clock::now() + std::chrono::seconds(150);
  std::atomic<int> runs{0}, failedRuns{0}, writersDone{0};
  std::mutex failureMutex;
  std::string firstFailure;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&] {
      for (int i = 0; i < kRunsEach && Clock::now() < deadline; ++i) {
        const TCliRun run = Cli({"--rounds", "1", "metrics", "--output", file});
        ++runs;
        if (run.exitCode != 0 && failedRuns++ == 0) {
          const std::lock_guard lock(failureMutex);
          firstFailure = run.err;
        }
      }
      ++writersDone;
    });
  }
  int reads = 0, partial = 0;
  std::string firstPartial;
  while (writersDone < kWriters && Clock::now() < deadline) {
    // Opened as the program's own reads are, so that on Windows the writers the test starts
    // meanwhile inherit no handle to it (one would keep the name from being replaced).
    bool exists = false;
    std::string text;
    try {
      text = ReadWholeFile(file, 1 << 20, exists);
    } catch (const std::system_error&) {
      exists = false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));  // leave the writers a core
    if (!exists) continue;                                        // before the first run ended
    ++reads;
    if (!Whole(text) && partial++ == 0) firstPartial = text;
  }
  for (std::thread& t : writers) t.join();
  EXPECT_EQ(runs, kWriters * kRunsEach);
  EXPECT_EQ(failedRuns, 0) << "first: " << firstFailure;
  EXPECT_EQ(partial, 0) << "of " << reads << " reads, first:\n" << firstPartial;
  EXPECT_GT(reads, 100);
  EXPECT_TRUE(Whole(ReadText(file)));
}

}  // namespace
}  // namespace velkaro::cli::testing
