// velkaro-cli scan and read, the options every command shares, and the exit codes of both,
// end to end against the simulator.
#include <cctype>
#include <cstdlib>
#include <optional>
#include <regex>

#include "CliSimFixture.h"
#include "protocol/ConfigFile.h"
#include "support/ScopedEnv.h"

namespace velkaro::cli::testing {
namespace {

using nlohmann::json;

// Expected TAG=VALUE lines of a device's read, from the simulator's own record.
std::string ExpectedValueLines(const TZEL& device) {
  std::string text;
  const std::uint32_t model = device.ModelCode();
  for (int tag = 1; tag <= MaxTag(model); ++tag) {
    if (auto v = ConfigEntryValue(device, static_cast<std::uint16_t>(tag), model)) {
      text += std::to_string(tag) + "=" + *v + "\n";
    }
  }
  return text;
}

// Reads RFC 4180 CSV: records ended by CRLF, a field in quotes may hold commas, CR, LF and
// doubled quotes. Fails the test at anything else (a bare LF ending a record, a stray quote).
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == '"') {
      for (++at;; ++at) {
        if (at >= text.size()) {
          ADD_FAILURE() << "unterminated quote";
          return records;
        }
        if (text[at] != '"') {
          field += text[at];
        } else if (at + 1 < text.size() && text[at + 1] == '"') {
          field += '"';
          ++at;
        } else {
          break;
        }
      }
      ++at;
    } else {
      while (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n' &&
             text[at] != '"')
        field += text[at++];
    }
    record.push_back(std::move(field));
    field.clear();
    if (at < text.size() && text[at] == ',') {
      ++at;
    } else if (text.compare(at, 2, "\r\n") == 0) {
      records.push_back(std::move(record));
      record.clear();
      at += 2;
    } else {
      ADD_FAILURE() << "unexpected byte at " << at << " of " << text;
      return records;
    }
  }
  EXPECT_TRUE(record.empty()) << "the last record has no CRLF";
  return records;
}

class CliScanTest : public CliSimTest {};
class CliReadTest : public CliSimTest {};
class CliUsageTest : public CliSimTest {};

TEST_F(CliScanTest, JsonListsDevicesInFirstAnswerOrder) {
  StartSim();
  // Neither names nor addresses sort like the answer order.
  sim->SetValue(0, 7, std::string("Zeta"));
  sim->SetValue(0, 2, std::uint32_t{0x0A0000C8});
  const TCliRun run = Cli({"--json", "--rounds", "2", "scan"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const json doc = json::parse(run.out);
  ASSERT_TRUE(doc.is_array());
  ASSERT_EQ(doc.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const TZEL d = sim->Snapshot(i);
    const json& o = doc[i];
    std::vector<std::string> keys;
    for (auto it = o.begin(); it != o.end(); ++it) keys.push_back(it.key());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"interface", "ip", "mac", "model", "name", "port",
                                              "type"}));
    EXPECT_EQ(o["interface"], "");  // an explicit target chooses no interface
    EXPECT_EQ(o["name"], d.values.AsText(7));
    EXPECT_EQ(o["type"], d.values.AsText(5));
    EXPECT_EQ(o["ip"], IpText(d));
    EXPECT_EQ(o["mac"], MacText(d));
    EXPECT_EQ(o["port"], d.values.AsUInt(4));
    EXPECT_EQ(o["model"], d.ModelCode());
  }
  EXPECT_EQ(doc[0]["name"], "Zeta");
  EXPECT_EQ(doc[0]["ip"], "10.0.0.200");
  EXPECT_EQ(doc[0]["mac"], "02.00.5E.00.00.01");
  EXPECT_EQ(doc[2]["model"], 134217984u);
  // Two discovery exchanges, each the 27-byte request with the program's OEM code.
  EXPECT_EQ(Count(TCommand::Discover), 2u);
  EXPECT_EQ(sim->RequestCount(), 2u);
  for (const auto& r : sim->Requests()) {
    ASSERT_EQ(r.data.size(), 27u);
    EXPECT_EQ(r.data[18], 0x25);
    EXPECT_EQ(r.data[19], 0x13);
  }
}

TEST_F(CliScanTest, TextListsOneRowPerDevice) {
  StartSim();
  sim->SetDuplicates(2);  // every answer three times: still one row per device
  const TCliRun run = Cli({"--rounds", "1", "scan"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < run.out.size();) {
    const auto end = run.out.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(run.out.substr(at, end - at));
    at = end + 1;
  }
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0].rfind("Name", 0), 0u);
  for (const char* column : {"Type", "IP Address", "MAC Address", "Port", "Model"}) {
    EXPECT_NE(lines[0].find(column), std::string::npos) << column;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    const TZEL d = sim->Snapshot(i);
    EXPECT_EQ(lines[i + 1].rfind(d.values.AsText(7), 0), 0u) << lines[i + 1];
    EXPECT_NE(lines[i + 1].find("  " + IpText(d) + " "), std::string::npos) << lines[i + 1];
    EXPECT_NE(lines[i + 1].find("  " + MacText(d) + " "), std::string::npos) << lines[i + 1];
  }
}

// The device's Windows-1252 name reaches a UTF-8 terminal as UTF-8, and JSON holds the same text.
TEST_F(CliScanTest, DeviceNameShowsInUtf8) {
  StartSim();
  sim->SetValue(0, 7,
                std::string("Caf\xE9 Stra\xDF"
                            "e \x80"));
  const std::string utf8 =
      "Caf\xC3\xA9 Stra\xC3\x9F"
      "e \xE2\x82\xAC";
  TCliRun text, asJson;
  {
    const velkaro::testing::TScopedEnv locale("LC_ALL", "C.UTF-8");
    text = Cli({"--rounds", "1", "scan"});
    asJson = Cli({"--json", "--rounds", "1", "scan"});
  }
  ASSERT_EQ(text.exitCode, 0) << text.err;
  const auto rowStart = text.out.find('\n') + 1;
  EXPECT_EQ(text.out.substr(rowStart, utf8.size() + 2), utf8 + "  ") << text.out;
  EXPECT_EQ(text.out.find("\xE9"), std::string::npos);
  ASSERT_EQ(asJson.exitCode, 0) << asJson.err;
  EXPECT_EQ(json::parse(asJson.out)[0]["name"], utf8);
}

// CSV holds the same values as the JSON scan objects, quoted where a field needs it.
TEST_F(CliScanTest, CsvListsTheScanObjectsInUtf8) {
  StartSim();
  sim->SetValue(0, 7, std::string("Rack \"A\", Z\xFCrich"));  // Windows-1252
  sim->SetValue(1, 7, std::string("two\r\nlines"));
  const TCliRun csv = Cli({"--csv", "--rounds", "2", "scan"});
  const TCliRun asJson = Cli({"--json", "--rounds", "2", "scan"});
  ASSERT_EQ(csv.exitCode, 0) << csv.err;
  EXPECT_EQ(csv.err, "");
  ASSERT_EQ(asJson.exitCode, 0) << asJson.err;
  EXPECT_NE(csv.out.find("\r\n\"Rack \"\"A\"\", Z\xC3\xBCrich\","), std::string::npos) << csv.out;
  const auto records = ReadCsv(csv.out);
  ASSERT_EQ(records.size(), 4u) << csv.out;
  EXPECT_EQ(records[0],
            (std::vector<std::string>{"name", "type", "ip", "mac", "interface", "port", "model"}));
  const json devices = json::parse(asJson.out);
  ASSERT_EQ(devices.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const TZEL d = sim->Snapshot(i);
    EXPECT_EQ(records[i + 1],
              (std::vector<std::string>{devices[i]["name"], d.values.AsText(5), IpText(d),
                                        MacText(d), "", std::to_string(d.values.AsUInt(4)),
                                        std::to_string(d.ModelCode())}));
  }
  EXPECT_EQ(records[1][0], "Rack \"A\", Z\xC3\xBCrich");
  EXPECT_EQ(records[2][0], "two\r\nlines");
}

TEST_F(CliScanTest, RoundsAreSpacedLikeTheGuiScan) {
  StartSim();
  const TCliRun run = Cli({"--json", "--rounds", "3", "scan"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Count(TCommand::Discover), 3u);
  const auto requests = sim->Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (std::size_t i = 1; i < requests.size(); ++i) {
    EXPECT_GE(requests[i].at - requests[i - 1].at, std::chrono::milliseconds(200));
  }
}

TEST_F(CliScanTest, NoDeviceIsAnEmptyListNotAFailure) {
  sim::TSimOptions o;
  o.silent = true;
  StartSim(o);
  TCliRun run = Cli({"--json", "--rounds", "1", "scan"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "[]\n");
  EXPECT_EQ(run.err, "");

  run = Cli({"--rounds", "1", "scan"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "No device answered\n");
}

// Answers after each round's listening period list nothing, and one line says how many came.
TEST_F(CliScanTest, LateAnswersAreCountedOnceOnStderr) {
  StartSim();
  sim->SetReplyDelay(150);  // past the quiet period, before the next round
  const TCliRun run = Cli({"--json", "--rounds", "2", "scan"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(json::parse(run.out), json::array());
  // Three devices, two rounds: six answers, of which a loaded machine may still hear some in time.
  const std::regex line(
      "([1-6]) repl(y|ies) came after the 100 ms listening period and (was|were) left out; slow "
      "devices may need a quieter network or a direct --target\n");
  EXPECT_TRUE(std::regex_match(run.err, line)) << run.err;
  sim->SetReplyDelay(0);
  EXPECT_EQ(Cli({"--json", "--rounds", "1", "scan"}).err, "");
}

TEST_F(CliScanTest, ConnectionErrorsAreReportedAndFailTheScan) {
  sim::TSimOptions o;
  o.malformed = true;
  o.malformKind = sim::TMalformKind::Empty;
  StartSim(o);
  const TCliRun run = Cli({"--json", "--rounds", "2", "scan"});
  EXPECT_EQ(run.exitCode, 1);
  // Still exactly one JSON document on stdout.
  EXPECT_EQ(json::parse(run.out), json::array());
  EXPECT_NE(run.err.find("Connection Error:  Erreur de réception UDP = 0.\n"), std::string::npos)
      << run.err;
}

TEST_F(CliReadTest, ByIpPrintsTheCfgEntriesAndStopsDiscovering) {
  StartSim();
  const TZEL d = sim->Snapshot(0);
  // Default of ten rounds: the device answers the first, so one discovery is enough.
  const TCliRun run = Cli({"read", IpText(d)});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, ExpectedValueLines(d));
  EXPECT_EQ(run.out.rfind("1=255.255.255.0\n2=" + IpText(d) + "\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\n13=16843008\n"), std::string::npos);
  EXPECT_EQ(run.out.find("\n10="), std::string::npos);  // MAC: no entry
  EXPECT_EQ(Count(TCommand::Discover), 1u);
  EXPECT_EQ(Count(TCommand::Read), 1u);
  EXPECT_LT(run.duration, std::chrono::milliseconds(2000));
}

TEST_F(CliReadTest, RackByMacAsJson) {
  StartSim();
  const TZEL d = sim->Snapshot(2);
  std::string mac = MacText(d);  // 02.00.5E.00.00.03 → 02:00:5e:00:00:03
  std::replace(mac.begin(), mac.end(), '.', ':');
  std::transform(mac.begin(), mac.end(), mac.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  const TCliRun run = Cli({"--json", "--rounds", "2", "read", mac});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Parsed keeping the document's key order.
  const nlohmann::ordered_json doc = nlohmann::ordered_json::parse(run.out);
  EXPECT_EQ(doc["device"]["mac"], MacText(d));
  EXPECT_EQ(doc["device"]["name"], d.values.AsText(7));
  const nlohmann::ordered_json& values = doc["values"];
  std::vector<int> keys;
  for (auto it = values.begin(); it != values.end(); ++it) keys.push_back(std::stoi(it.key()));
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  // Every .cfg entry of the rack: 246 descriptors without the MAC.
  EXPECT_EQ(keys.size(), 245u);
  EXPECT_EQ(keys.back(), 489);
  EXPECT_EQ(values["1"], "255.255.255.0");
  EXPECT_EQ(values["20"], IpToText(d.values.AsUInt(20)));
  EXPECT_EQ(values["139"], d.values.AsText(139));
  EXPECT_TRUE(values["139"].is_string());
  EXPECT_EQ(values["13"], 134217984u);
  EXPECT_TRUE(values["489"].is_number_unsigned());
  EXPECT_EQ(values["489"], d.values.AsUInt(489));
  EXPECT_EQ(values["36"], d.values.AsUInt(36));
  // Five read requests, one per range of 100 tags.
  EXPECT_EQ(Count(TCommand::Read), 5u);
}

TEST_F(CliReadTest, UnknownDevice) {
  StartSim();
  const TCliRun run = Cli({"--rounds", "2", "read", "10.9.9.9"});
  ExpectFailure(run, "Device 10.9.9.9 not found");
  EXPECT_EQ(Count(TCommand::Discover), 2u);
  EXPECT_EQ(Count(TCommand::Read), 0u);
  ExpectFailure(Cli({"--json", "--rounds", "1", "read", "00:11:22:33:44:55"}),
                "Device 00:11:22:33:44:55 not found");
}

TEST_F(CliReadTest, SilentDevice) {
  StartSim();
  SilenceAfter(1);  // answers the discovery, then nothing
  const TCliRun run = Cli({"--json", "--rounds", "3", "read", IpText(sim->Snapshot(1))});
  ExpectFailure(run, "Device not responding\n");
  EXPECT_EQ(Count(TCommand::Read), 3u);  // the request and its two repeats
}

TEST_F(CliReadTest, LostMiddleAnswerOfARackReadIsAskedAgain) {
  StartSim();
  const TZEL d = sim->Snapshot(2);
  // Requests: 1 discovery, 2-6 the five read ranges. Only the answer to request 3 (tags 101-200)
  // is lost; the last range is answered again.
  switcher = std::thread([this] {
    if (!sim->WaitForRequests(2, std::chrono::seconds(20))) return;
    sim->SetSilent(true);
    if (sim->WaitForRequests(3, std::chrono::seconds(20))) sim->SetSilent(false);
  });
  const TCliRun run = Cli({"--rounds", "1", "read", IpText(d)});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("\n139="), std::string::npos);
  EXPECT_EQ(Count(TCommand::Read), 6u);  // the lost range once more
}

TEST_F(CliReadTest, ModelThisProgramDoesNotKnow) {
  sim::TSimOptions o;
  o.models = {0x0F0F0F0F};
  StartSim(o);
  const TCliRun run = Cli({"--rounds", "1", "read", IpText(sim->Snapshot(0))});
  ExpectFailure(run, "0x0F0F0F0F");
  EXPECT_EQ(Count(TCommand::Read), 0u);
}

TEST_F(CliReadTest, BadDeviceTextSendsNothing) {
  StartSim();
  ExpectUsageError(Cli({"read", "10.0.0"}), "'10.0.0'");
  ExpectUsageError(Cli({"read", "00-1A-2B-3C-4D-5E"}), "'00-1A-2B-3C-4D-5E'");
  EXPECT_EQ(sim->RequestCount(), 0u);
}

TEST_F(CliReadTest, AmbiguousAddress) {
  StartSim();
  sim->SetValue(2, 2, sim->Snapshot(1).values.Get(2));
  const TCliRun run = Cli({"--rounds", "1", "read", IpText(sim->Snapshot(1))});
  ExpectFailure(run, "ambiguous");
  EXPECT_EQ(Count(TCommand::Read), 0u);
}

TEST_F(CliUsageTest, UsageErrorsSendNothing) {
  StartSim();
  ExpectUsageError(CliNoTarget({}), "A command is required");
  ExpectUsageError(CliNoTarget({"--target", "10.0.0.1:99999", "scan"}), "port");
  ExpectUsageError(CliNoTarget({"--target", "256.0.0.1", "scan"}), "256.0.0.1");
  ExpectUsageError(Cli({"--rounds", "0", "scan"}), "--rounds");
  ExpectUsageError(Cli({"scan", "now"}), "now");
  ExpectUsageError(Cli({"launch"}), "Unknown command 'launch'");
  EXPECT_EQ(sim->RequestCount(), 0u);
}

TEST_F(CliUsageTest, HelpAndVersion) {
  TCliRun run = CliNoTarget({"--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  for (const char* word :
       {"scan", "read", "set", "save", "upgrade", "--target", "--json", "--rounds", "--version"}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
  run = CliNoTarget({"set", "--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("TAG=VALUE"), std::string::npos) << run.out;

  run = CliNoTarget({"--version"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, std::string("velkaro-cli ") + VELKARO_CLI_FILE_VERSION + "\n");
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace velkaro::cli::testing
