// velkaro-cli set and save end to end against the simulator: values reach the device, bad values
// never leave the program, and the .cfg bytes are exact.
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "CliSimFixture.h"
#include "platform/Utf8Path.h"
#include "support/TempDir.h"

namespace velkaro::cli::testing {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

class CliSetTest : public CliSimTest {
 protected:
  // The tags of every write request the simulator received, one set per request.
  std::vector<std::set<int>> WrittenTags() const {
    std::vector<std::set<int>> out;
    for (const auto& r : sim->Requests()) {
      if (r.data.size() <= kCommandOffset ||
          r.data[kCommandOffset] != static_cast<std::uint8_t>(TCommand::Write))
        continue;
      std::set<int> tags;
      WalkReplyItems(r.data, [&tags](const TReplyItem& item) {
        if (item.tag != kListEnd) tags.insert(item.tag);
      });
      out.push_back(std::move(tags));
    }
    return out;
  }
};

class CliSaveTest : public CliSimTest {
 protected:
  velkaro::testing::TTempDir scratch;
  const fs::path& dir = scratch.Path();
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every slot of the two records is equal except those of `changed`.
void ExpectOnlyChanged(const TZEL& before, const TZEL& after, const std::vector<int>& changed) {
  for (int tag = 1; tag <= 999; ++tag) {
    if (std::find(changed.begin(), changed.end(), tag) != changed.end()) continue;
    EXPECT_EQ(before.values.Get(tag), after.values.Get(tag)) << "tag " << tag;
  }
}

// The .cfg section of a one-outlet device, built from its record with the file's own rules
// (types of the one-outlet list: IPv4, text, or a decimal number).
std::string Zel1Section(const TZEL& d) {
  const std::vector<int> ipv4 = {1, 2, 3, 20, 30, 32, 34, 36};
  const std::vector<int> text = {5, 7, 8, 9, 11, 12, 40, 41, 42};
  const std::vector<int> keys = {1,  2,  3,  4,  5,  6,  7,  8,  9,  11, 12, 13,
                                 20, 21, 22, 23, 24, 25, 26, 30, 31, 32, 33, 34,
                                 35, 36, 37, 40, 41, 42, 50, 70, 71, 72};
  std::string s = "[" + d.values.AsText(5) + "  " + d.values.AsText(12) + "]\r\n";
  for (int tag : keys) {
    std::string value;
    if (std::find(ipv4.begin(), ipv4.end(), tag) != ipv4.end()) {
      value = IpToText(d.values.AsUInt(tag));
    } else if (std::find(text.begin(), text.end(), tag) != text.end()) {
      value = d.values.AsText(tag);
    } else {
      value = std::to_string(d.values.AsUInt(tag));
    }
    s += std::to_string(tag) + "=" + value + "\r\n";
  }
  return s;
}

TEST_F(CliSetTest, ValuesReachTheDeviceAndNothingElseChanges) {
  StartSim();
  const TZEL before = sim->Snapshot(0);
  const TZEL neighbour = sim->Snapshot(1);
  const TCliRun run = Cli({"--rounds", "2", "set", IpText(before), "7=Rack 3 = left", "4=8080",
                           "50=30", "1=255.255.0.0", "8="});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  const TZEL after = sim->Snapshot(0);
  EXPECT_EQ(after.values.AsText(7), "Rack 3 = left");
  EXPECT_EQ(after.values.AsUInt(4), 8080u);
  EXPECT_EQ(after.values.AsUInt(50), 30u);
  EXPECT_EQ(after.values.AsUInt(1), 0xFFFF0000u);
  EXPECT_EQ(after.values.AsText(8), "");
  ExpectOnlyChanged(before, after, {1, 4, 7, 8, 50});
  ExpectOnlyChanged(neighbour, sim->Snapshot(1), {});
  EXPECT_EQ(Count(TCommand::Discover), 1u);
  EXPECT_EQ(Count(TCommand::Read), 1u);
  EXPECT_EQ(Count(TCommand::Write), 1u);
}

TEST_F(CliSetTest, RackByMacWritesOnlyTheBatchesOfItsTagsWithJson) {
  StartSim();
  const TZEL before = sim->Snapshot(2);
  const TCliRun run = Cli({"--json", "--rounds", "2", "set", MacText(before), "139=Unit 2",
                           "472=255", "20=10.20.30.0"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["device"]["mac"], MacText(before));
  EXPECT_EQ(doc["values"], json::parse(R"({"139":"Unit 2","472":255,"20":"10.20.30.0"})"));
  const TZEL after = sim->Snapshot(2);
  EXPECT_EQ(after.values.AsText(139), "Unit 2");
  EXPECT_EQ(after.values.AsUInt(472), 255u);
  EXPECT_EQ(after.values.AsUInt(20), 0x0A141E00u);
  ExpectOnlyChanged(before, after, {20, 139, 472});
  EXPECT_EQ(Count(TCommand::Read), 5u);
  // Tags 1-99, 100-199 and 400-499; the batches holding none of the three are not sent.
  EXPECT_EQ(Count(TCommand::Write), 3u);
}

// A setting changed by someone else between set's read and its write is not written back.
TEST_F(CliSetTest, OnlyTheNamedTagsAreWritten) {
  StartSim();
  const TZEL before = sim->Snapshot(0);
  const TCliRun run = Cli({"--rounds", "2", "set", IpText(before), "web_port=8081"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto writes = WrittenTags();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0], std::set<int>{4});
}

TEST_F(CliSetTest, UnparsableValuesSendNothing) {
  StartSim();
  const std::string ip = IpText(sim->Snapshot(0));
  TCliRun run = Cli({"set", ip, "7=ok", "4=70000"});
  ExpectUsageError(run, "Bad value '70000' for tag 4: expected a whole number from 0 to 65535");
  ExpectUsageError(Cli({"set", ip, "2=10.0.0"}), "'10.0.0' for tag 2");
  ExpectUsageError(Cli({"set", ip, "6=-1"}), "0 to 255");
  ExpectUsageError(Cli({"set", ip, "7=" + std::string(256, 'x')}), "255 bytes");
  ExpectUsageError(Cli({"set", ip, "7"}), "TAG=VALUE");
  ExpectUsageError(Cli({"set", ip, "x7=1"}), "'x7'");
  ExpectUsageError(Cli({"set", ip, "7=a", "7=b"}), "more than once");
  EXPECT_EQ(sim->RequestCount(), 0u);
}

// Texts are typed in UTF-8 and stored as Windows-1252 bytes; a character without a byte is
// named with its tag, and nothing is sent.
TEST_F(CliSetTest, TextsGoAsWindows1252Bytes) {
  StartSim();
  const std::string ip = IpText(sim->Snapshot(0));
  ExpectUsageError(Cli({"set", ip, "7=Caf\xC3\xA9 \xCE\xA9"}),
                   "for tag 7: '\xCE\xA9' (U+03A9) cannot be stored on the device "
                   "(Windows-1252 characters only)");
#ifndef _WIN32
  // Windows hands arguments over in UTF-16: a stray byte cannot reach the program there.
  ExpectUsageError(Cli({"set", ip, "7=Caf\xE9"}), "for tag 7: the byte \\xE9 is not UTF-8 text");
#endif
  EXPECT_EQ(sim->RequestCount(), 0u);
  const TCliRun run = Cli({"--json", "--rounds", "1", "set", ip, "7=Caf\xC3\xA9 \xE2\x82\xAC"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(sim->Snapshot(0).values.AsText(7), "\x43\x61\x66\xE9\x20\x80");
  EXPECT_EQ(json::parse(run.out)["values"]["7"], "Caf\xC3\xA9 \xE2\x82\xAC");
}

TEST_F(CliSetTest, ReadOnlyAndUnknownTagsSendNothing) {
  StartSim();
  const std::string ip = IpText(sim->Snapshot(0));
  ExpectUsageError(Cli({"set", ip, "13=1"}), "Tag 13 is read-only");
  ExpectUsageError(Cli({"set", ip, "10=00.00.00.00.00.01"}), "Tag 10 is read-only");
  ExpectUsageError(Cli({"set", ip, "76=1"}), "Unknown tag 76");
  ExpectUsageError(Cli({"set", ip, "0=1"}), "1 to 999");
  EXPECT_EQ(sim->RequestCount(), 0u);
}

TEST_F(CliSetTest, TagOfAnotherModelIsRejectedBeforeReadingTheDevice) {
  StartSim();
  const TZEL before = sim->Snapshot(0);  // one outlet: no tag 139
  ExpectUsageError(Cli({"--rounds", "1", "set", IpText(before), "139=x"}),
                   "Unknown tag 139: the device model 0x01010100 has no such parameter");
  // Tag 72 is a writable byte of the rack but a read-only counter here.
  ExpectUsageError(Cli({"--rounds", "1", "set", IpText(before), "72=0"}), "Tag 72 is read-only");
  EXPECT_EQ(Count(TCommand::Discover), 2u);
  EXPECT_EQ(Count(TCommand::Read), 0u);
  EXPECT_EQ(Count(TCommand::Write), 0u);
  ExpectOnlyChanged(before, sim->Snapshot(0), {});
}

TEST_F(CliSetTest, NoAcknowledgement) {
  StartSim();
  const TZEL before = sim->Snapshot(1);
  SilenceAfter(2);  // discovery and read answered, the write is not
  const TCliRun run = Cli({"--rounds", "1", "set", IpText(before), "7=new"});
  ExpectFailure(run, "Device not responding\n");
  EXPECT_EQ(Count(TCommand::Write), 1u + kWriteResends);  // sent again twice, then given up
  ExpectOnlyChanged(before, sim->Snapshot(1), {});
}

TEST_F(CliSetTest, SilentReadWritesNothing) {
  StartSim();
  const TZEL before = sim->Snapshot(0);
  SilenceAfter(1);
  ExpectFailure(Cli({"--rounds", "1", "set", IpText(before), "7=new"}), "Device not responding\n");
  EXPECT_EQ(Count(TCommand::Write), 0u);
  ExpectOnlyChanged(before, sim->Snapshot(0), {});
}

// The read is answered by the device, but with broken items: the settings it did not report are
// never written (they would go out as zeros), nor is the name cut short by the datagram's end.
TEST_F(CliSetTest, ValuesTheReadMissedAreNeverWritten) {
  StartSim();
  const TZEL before = sim->Snapshot(0);
  MalformAfter(1, sim::TMalformKind::BadItems);
  const TCliRun run = Cli({"--rounds", "1", "set", IpText(before), "3=127.0.0.1"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_GE(Count(TCommand::Write), 1u);
  ExpectOnlyChanged(before, sim->Snapshot(0), {3});
}

TEST_F(CliSetTest, UnreportedTagIsAUsageErrorAndNothingIsWritten) {
  StartSim();
  const TZEL before = sim->Snapshot(0);
  MalformAfter(1, sim::TMalformKind::BadItems);
  const TCliRun run = Cli({"--rounds", "1", "set", IpText(before), "20=127.0.0.9"});
  ExpectUsageError(run, "does not report tag 20");
  EXPECT_EQ(Count(TCommand::Write), 0u);
  ExpectOnlyChanged(before, sim->Snapshot(0), {});
}

TEST_F(CliSetTest, UnknownDevice) {
  StartSim();
  ExpectFailure(Cli({"--rounds", "1", "set", "02:00:5e:00:00:99", "7=x"}),
                "Device 02:00:5e:00:00:99 not found");
  EXPECT_EQ(Count(TCommand::Write), 0u);
}

TEST_F(CliSaveTest, ExactFileBytes) {
  StartSim();
  const TZEL d = sim->Snapshot(0);
  const fs::path file = dir / "switch.cfg";
  const TCliRun run = Cli({"--rounds", "1", "save", IpText(d), file.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  const std::string bytes = ReadFile(file);
  EXPECT_EQ(bytes, Zel1Section(d));
  EXPECT_EQ(bytes.rfind("[ZEL1  SN5E000001]\r\n1=255.255.255.0\r\n", 0), 0u) << bytes;
  EXPECT_NE(bytes.find("\r\n13=16843008\r\n"), std::string::npos);
  EXPECT_EQ(Count(TCommand::Read), 1u);
}

// Folder and file names beyond ASCII (and beyond any ANSI code page) arrive as UTF-8 and name
// the same file for the save, a second save over it and a restore read from it.
TEST_F(CliSaveTest, NamesBeyondAsciiAreSavedReplacedAndRestoredFrom) {
  StartSim();
  const TZEL d = sim->Snapshot(0);
  const fs::path folder = dir / Utf8Path("B\xC3\xBCro \xCE\xA9");
  fs::create_directory(folder);
  const fs::path file = folder / Utf8Path("Schrank \xC3\xA9t\xC3\xA9 \xE2\x82\xAC.cfg");
  const std::string name = Utf8Text(file);
  for (int save = 0; save < 2; ++save) {
    const TCliRun run = Cli({"--rounds", "1", "save", IpText(d), name});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(file), Zel1Section(d)) << save;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  sim->SetValue(0, 4, std::uint32_t{8081});
  const TCliRun plan = Cli({"--json", "--rounds", "1", "restore", IpText(d), name, "--dry-run"});
  ASSERT_EQ(plan.exitCode, 0) << plan.err;
  EXPECT_EQ(json::parse(plan.out)["devices"][0]["changes"]["4"]["from"], 8081);
}

TEST_F(CliSaveTest, OtherSectionsStayAndTheDeviceSectionIsReplaced) {
  StartSim();
  const TZEL d = sim->Snapshot(0);
  const fs::path file = dir / "rack.cfg";
  const std::string other = "[Other  Unit]\r\n1=1.2.3.4\r\n";
  WriteFile(file, other);
  ASSERT_EQ(Cli({"--rounds", "1", "save", IpText(d), file.string()}).exitCode, 0);
  EXPECT_EQ(ReadFile(file), other + Zel1Section(d));

  // The second save of the same device updates its section in place.
  sim->SetValue(0, 7, std::string("Renamed"));
  const TCliRun run = Cli({"--json", "--rounds", "1", "save", MacText(d), file.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(file), other + Zel1Section(sim->Snapshot(0)));
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["device"]["name"], "Renamed");
  EXPECT_EQ(doc["file"], file.string());
}

TEST_F(CliSaveTest, SilentDeviceLeavesTheFileUntouched) {
  StartSim();
  const std::string ip = IpText(sim->Snapshot(0));
  const fs::path existing = dir / "kept.cfg";
  WriteFile(existing, "[A  B]\r\n7=old\r\n");
  const fs::path fresh = dir / "fresh.cfg";
  SilenceAfter(1);
  ExpectFailure(Cli({"--rounds", "1", "save", ip, existing.string()}), "Device not responding\n");
  EXPECT_EQ(ReadFile(existing), "[A  B]\r\n7=old\r\n");
  ExpectFailure(Cli({"--rounds", "1", "save", ip, fresh.string()}), "not found");
  EXPECT_FALSE(fs::exists(fresh));
}

// Requests: 1 discovery, 2-6 the five read ranges. The answer to the third range is lost three
// times (the request and its two repeats): nothing is saved.
TEST_F(CliSaveTest, RackReadBatchLostThreeTimesSavesNothing) {
  StartSim();
  const TZEL d = sim->Snapshot(2);
  const fs::path file = dir / "rack.cfg";
  WriteFile(file, "[A  B]\r\n7=old\r\n");
  SilenceAfter(3);
  ExpectFailure(Cli({"--rounds", "1", "save", IpText(d), file.string()}), "Device not responding");
  EXPECT_EQ(ReadFile(file), "[A  B]\r\n7=old\r\n");
  EXPECT_EQ(Count(TCommand::Read), 5u);  // two ranges, the third one three times
}

TEST_F(CliSaveTest, BadFileSendsNothing) {
  StartSim();
  const std::string ip = IpText(sim->Snapshot(0));
  ExpectUsageError(Cli({"save", ip, (dir / "missing" / "x.cfg").string()}), "not found");
  ExpectUsageError(Cli({"save", ip, dir.string()}), "not a file name");
  ExpectUsageError(Cli({"save", ip, ""}), "not a file name");
  EXPECT_EQ(sim->RequestCount(), 0u);
}

TEST_F(CliSaveTest, UnknownDeviceCreatesNoFile) {
  StartSim();
  const fs::path file = dir / "none.cfg";
  ExpectFailure(Cli({"--rounds", "1", "save", "10.9.9.9", file.string()}), "not found");
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
}  // namespace velkaro::cli::testing
