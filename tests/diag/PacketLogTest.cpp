// The packet log against the simulator on loopback: what it records, the verdicts it writes and
// its bound. Files are read back with a strict pcapng reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "diag/PacketLog.h"
#include "sim/TftpServer.h"
#include "support/LoopbackFixture.h"
#include "support/PcapngReader.h"
#include "tftp/IdTrivialFTP.h"

namespace velkaro::testing {
namespace {

using diag::TPacketLog;
using diag::TPacketLogScope;

std::vector<std::uint8_t> AsBytes(const std::string& s) {
  return {s.begin(), s.end()};
}

std::vector<const TPcapPacket*> Received(const TPcapFile& file) {
  std::vector<const TPcapPacket*> out;
  for (const TPcapPacket& p : file.packets)
    if (p.inbound) out.push_back(&p);
  return out;
}

class PacketLogTest : public LoopbackTest {};

TEST_F(PacketLogTest, NothingIsNotedWithoutALog) {
  StartSimulator({});
  TPacketLog log("test");
  ListDevices();  // no scope: the log is not the sink
  EXPECT_EQ(log.Packets(), 0u);
}

// Each simulator fault against the verdict every reply of one discovery gets.
struct TVerdictCase {
  const char* name;
  int duplicates;
  bool malformed;
  sim::TMalformKind kind;
  // Checks one reply; `index` counts the replies of one device from 0.
  void (*check)(const TPcapPacket& reply, int index);
};

const TVerdictCase kVerdictCases[] = {
    {"Duplicate", 1, false, sim::TMalformKind::BadItems,
     [](const TPcapPacket& reply, int index) {
       EXPECT_EQ(reply.comment, index == 0 ? "merged" : "duplicate");
     }},
    {"TruncatedItem", 0, true, sim::TMalformKind::BadItems,
     [](const TPcapPacket& reply, int) {
       const std::string prefix = "truncated item at byte ";
       ASSERT_EQ(reply.comment.rfind(prefix, 0), 0u) << reply.comment;
       // The byte named must start an item that claims more bytes than the datagram has left.
       const std::size_t at = std::stoul(reply.comment.substr(prefix.size()));
       const auto payload = reply.Payload();
       ASSERT_LT(at + 3, payload.size());
       EXPECT_GT(at + 3 + payload[at + 2], payload.size());
     }},
    {"TooLarge", 0, true, sim::TMalformKind::Oversize,
     [](const TPcapPacket& reply, int) {
       EXPECT_EQ(reply.comment.rfind("too large (", 0), 0u) << reply.comment;
       // Kept as far as it was read, with its real length as the original length.
       EXPECT_EQ(reply.Payload().size(), kMaxDatagram);
       EXPECT_GT(reply.originalLength, kMaxDatagram + 28);
       EXPECT_NE(reply.comment.find(std::to_string(reply.originalLength - 28) + " bytes"),
                 std::string::npos)
           << reply.comment;
     }},
};

class PacketVerdictTest : public PacketLogTest,
                          public ::testing::WithParamInterface<TVerdictCase> {};

TEST_P(PacketVerdictTest, EveryReplyOfADiscoveryGetsItsVerdict) {
  const TVerdictCase& c = GetParam();
  sim::TSimOptions options;
  options.duplicates = c.duplicates;
  options.malformed = c.malformed;
  options.malformKind = c.kind;
  StartSimulator(options);
  TPacketLog log("test");
  {
    const TPacketLogScope scope(log);
    Note(Discover(session.settings, MergeInto(session)));
  }
  const TPcapFile file = ReadPcapng(AsBytes(log.Contents()));
  ASSERT_FALSE(file.packets.empty());
  EXPECT_TRUE(file.packets.front().outbound);
  EXPECT_EQ(file.packets.front().comment, "discover request");
  const auto replies = Received(file);
  // The exchange stops at the first datagram it cannot take; the others are all there.
  const std::size_t expected = c.kind == sim::TMalformKind::Oversize && c.malformed
                                   ? 1
                                   : simulator->DeviceCount() * (1 + c.duplicates);
  ASSERT_GE(replies.size(), expected);
  std::map<std::vector<std::uint8_t>, int> seen;  // per device: replies so far
  for (const TPcapPacket* reply : replies) {
    if (reply->comment == "late") continue;
    const auto payload = reply->Payload();
    ASSERT_GE(payload.size(), kMinReplySize);
    const std::vector<std::uint8_t> source(payload.begin() + kSourceOffset,
                                           payload.begin() + kSourceOffset + 8);
    SCOPED_TRACE(reply->comment);
    c.check(*reply, seen[source]++);
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, PacketVerdictTest, ::testing::ValuesIn(kVerdictCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PacketLogTest, TheLogStopsAtItsLimitAndSaysWhatItLeftOut) {
  sim::TSimOptions options;
  options.count = 300;
  StartSimulator(options);
  constexpr std::size_t kLimit = 16 * 1024;
  TPacketLog log("test", kLimit);
  {
    const TPacketLogScope scope(log);
    Note(Discover(session.settings, MergeInto(session)));
  }
  EXPECT_EQ(session.DeviceList.size(), 300u);  // logging never costs a reply
  const std::string bytes = log.Contents();
  EXPECT_LE(bytes.size(), kLimit);
  EXPECT_GT(bytes.size(), kLimit - 400);  // filled up to about one packet from its limit
  const TPcapFile file = ReadPcapng(AsBytes(bytes));
  EXPECT_EQ(file.packets.size(), log.Packets());
  EXPECT_LT(log.Packets(), 301u);
  ASSERT_TRUE(log.Full());
  const std::string text = log.FullText();
  EXPECT_NE(text.find("after " + std::to_string(log.Packets()) + " datagrams"), std::string::npos)
      << text;
  EXPECT_NE(text.find("the " + std::to_string(301 - log.Packets()) + " after them"),
            std::string::npos)
      << text;
}

TEST_F(PacketLogTest, AnUploadIsLoggedPacketByPacketWithItsAcks) {
  sim::TTftpServer server(kLoopback, 0, "/");
  server.Start();
  TPacketLog log("test");
  {
    const TPacketLogScope scope(log);
    TIdTrivialFTP client;
    client.SetHost(kLoopbackText);
    client.SetPort(server.Port());
    client.SetRequestedBlockSize(512);
    std::istringstream image(std::string(1300, 'x'));
    client.UploadStream(image, "/");
  }
  std::vector<std::string> comments;
  for (const TPcapPacket& p : ReadPcapng(AsBytes(log.Contents())).packets)
    comments.push_back((p.outbound ? "> " : "< ") + p.comment);
  const std::vector<std::string> expected = {"> write request \"/\"",      "< option ack",
                                             "> data block 1 (512 bytes)", "< ack (block 1)",
                                             "> data block 2 (512 bytes)", "< ack (block 2)",
                                             "> data block 3 (276 bytes)", "< ack (block 3)"};
  EXPECT_EQ(comments, expected);
}

}  // namespace
}  // namespace velkaro::testing
