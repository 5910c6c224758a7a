// velkaro-cli --log against the simulator on 127.0.0.1: tshark reads every datagram back, with
// the bytes the simulator received and sent, and the log keeps to its limit.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "cli/CliSimFixture.h"
#include "support/DatagramClient.h"
#include "support/PcapngReader.h"
#include "support/TempDir.h"

namespace velkaro::cli::testing {
namespace {

using velkaro::testing::ReadBytes;
using velkaro::testing::RunProgram;
using velkaro::testing::TTempDir;

// tshark from PATH, or empty.
std::string TsharkPath() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = dir + "/tshark";
    if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

struct TSharkPacket {
  std::string direction;  // as tshark decodes the packet's flags
  int sourcePort = 0, destinationPort = 0;
  std::size_t frameLength = 0;
  TBytes payload;
  std::string comment;
};

TBytes FromHex(const std::string& hex) {
  TBytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// The payload is read as udp.payload, which tshark gives whatever dissector takes the datagram:
// data.data is empty when the simulator's random port belongs to some other protocol.
std::vector<TSharkPacket> ReadWithTshark(const std::string& tshark, const std::string& file) {
  const auto run =
      RunProgram({tshark, "-r", file, "-T", "fields", "-E", "separator=|", "-e",
                  "frame.packet_flags_direction", "-e", "udp.srcport", "-e", "udp.dstport", "-e",
                  "frame.len", "-e", "udp.payload", "-e", "frame.comment"},
                 std::chrono::seconds(60));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::vector<TSharkPacket> packets;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string v; std::getline(fields, v, '|');) f.push_back(v);
    f.resize(6);
    packets.push_back({f[0], std::atoi(f[1].c_str()), std::atoi(f[2].c_str()),
                       std::stoul(f[3].empty() ? "0" : f[3]), FromHex(f[4]), f[5]});
  }
  return packets;
}

class CliPacketLogTest : public CliSimTest {
 protected:
  void SetUp() override {
    CliSimTest::SetUp();
    tshark = TsharkPath();
  }
  std::string tshark;
  TTempDir dir;
};

// One run per command that talks to devices the plain way: discovery, then a read.
const std::vector<std::vector<std::string>> kLoggedCommands = {
    {"--rounds", "2", "scan"},
    {"--rounds", "2", "read", "10.0.0.3"},
};

TEST_F(CliPacketLogTest, TsharkReadsEveryDatagramWithTheBytesSentAndReceived) {
  if (tshark.empty()) GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh adds it)";
  for (const auto& command : kLoggedCommands) {
    SCOPED_TRACE(command.back());
    StartSim();
    const std::string file = dir.File("log.pcapng");
    std::vector<std::string> args = {"--log", file};
    args.insert(args.end(), command.begin(), command.end());
    const TCliRun run = Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto requests = sim->Requests();
    const std::size_t repliesSent = sim->RepliesSent();

    std::vector<TBytes> sent, received;
    for (const TSharkPacket& p : ReadWithTshark(tshark, file)) {
      EXPECT_EQ(p.frameLength, p.payload.size() + 28);  // IPv4 and UDP headers around it
      EXPECT_FALSE(p.comment.empty());
      if (p.destinationPort == sim->Port()) {
        EXPECT_EQ(p.direction, "0x00000002");  // outbound
        sent.push_back(p.payload);
      } else {
        EXPECT_EQ(p.sourcePort, sim->Port());
        EXPECT_EQ(p.direction, "0x00000001");  // inbound
        EXPECT_EQ(p.comment, "merged");
        received.push_back(p.payload);
      }
    }
    ASSERT_EQ(sent.size(), requests.size());
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], requests[i].data) << i;
    ASSERT_EQ(received.size(), repliesSent);
    // The simulator answers a request alike each time: asking it again gives the bytes it sent.
    std::vector<TBytes> answered;
    velkaro::testing::TDatagramClient client(sim->Port());
    for (const auto& request : requests)
      for (const auto& reply : client.Ask(request.data)) answered.push_back(reply.data);
    std::sort(answered.begin(), answered.end());
    std::sort(received.begin(), received.end());
    EXPECT_EQ(received, answered);
    sim.reset();
  }
}

TEST_F(CliPacketLogTest, AFloodStopsTheLogAtItsLimitAndTheRunSaysSoOnce) {
  sim::TSimOptions options;
  options.count = 2000;
  StartSim(options);
  const std::string file = dir.File("flood.pcapng");
  const TCliRun run = Cli({"--log", file, "--log-limit", "1", "--rounds", "5", "--json", "scan"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out).size(), 2000u);  // the scan itself lost nothing
  const std::string said = "The packet log reached its limit of 1 MiB";
  const auto first = run.err.find(said);
  ASSERT_NE(first, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(said, first + 1), std::string::npos) << run.err;
  const auto bytes = ReadBytes(file);
  EXPECT_LE(bytes.size(), 1u << 20);
  const auto logged = velkaro::testing::ReadPcapng(bytes).packets.size();
  EXPECT_LT(logged, sim->RequestCount() + sim->RepliesSent());
  if (!tshark.empty()) {
    EXPECT_EQ(ReadWithTshark(tshark, file).size(), logged);
  }
}

TEST_F(CliPacketLogTest, ALogThatCannotBeWrittenIsRefusedBeforeAnythingIsSent) {
  StartSim();
  ExpectUsageError(Cli({"--log", dir.File("missing/log.pcapng"), "scan"}), "--log");
  ExpectUsageError(Cli({"--log", dir.Path().string(), "scan"}), "is a folder");
  EXPECT_EQ(sim->RequestCount(), 0u);
}

}  // namespace
}  // namespace velkaro::cli::testing
