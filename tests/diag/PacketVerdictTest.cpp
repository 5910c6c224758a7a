// Verdicts that a loopback run cannot provoke on demand: a device answering with the all-devices
// address, a late datagram, and a TFTP packet from the wrong port, fed as notes in order.
#include "diag/PacketVerdict.h"

#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "tftp/TftpPacket.h"

namespace velkaro::diag {
namespace {

constexpr std::uint16_t kLocalPort = 40000;
constexpr std::uint32_t kDevice = 0x0A000002;

TPacketNote Note(TPacketProtocol protocol, TPacketDirection direction, const TBytes& data,
                 std::uint16_t peerPort, bool late = false) {
  TPacketNote n;
  n.protocol = protocol;
  n.direction = direction;
  n.late = late;
  n.localPort = kLocalPort;
  n.peerAddress = kDevice;
  n.peerPort = peerPort;
  n.data = data;
  n.size = data.size();
  return n;
}

TBytes ReplyFrom(const TDeviceAddress& source) {
  TSendBuf reply;
  BuildHeader(kAllDevices, TCommand::Discover, reply);
  std::copy(source.begin(), source.end(), reply.begin() + kSourceOffset);
  return reply;
}

TEST(PacketVerdictTest, DeviceRepliesInTheirExchange) {
  TPacketVerdict verdict;
  TSendBuf request;
  BuildHeader(kAllDevices, TCommand::Discover, request);
  const TDeviceAddress device{0x00, 0x01, 0x02, 0x00, 0x5E, 0x00, 0x00, 0x01};
  const TBytes reply = ReplyFrom(device), own = ReplyFrom(kAllDevices);
  const auto sent = TPacketDirection::Sent, got = TPacketDirection::Received;
  const auto dev = TPacketProtocol::Device;
  EXPECT_EQ(verdict.Judge(Note(dev, sent, request, kDevicePort)), "discover request");
  EXPECT_EQ(verdict.Judge(Note(dev, got, own, kDevicePort)), "ignored (own address FF)");
  EXPECT_EQ(verdict.Judge(Note(dev, got, reply, kDevicePort)), "merged");
  EXPECT_EQ(verdict.Judge(Note(dev, got, reply, kDevicePort)), "duplicate");
  EXPECT_EQ(verdict.Judge(Note(dev, got, reply, kDevicePort, true)), "late");
  EXPECT_EQ(verdict.Judge(Note(dev, got, TBytes(10, 0), kDevicePort)), "too short (10 bytes)");
  // A new request starts a new exchange: the same device is merged again.
  EXPECT_EQ(verdict.Judge(Note(dev, sent, request, kDevicePort)), "discover request");
  EXPECT_EQ(verdict.Judge(Note(dev, got, reply, kDevicePort)), "merged");
}

TEST(PacketVerdictTest, TftpPacketsInTheirTransfer) {
  TPacketVerdict verdict;
  const auto sent = TPacketDirection::Sent, got = TPacketDirection::Received;
  const auto t = TPacketProtocol::Tftp;
  const TBytes wrq = tftp::MakeRequest(tftp::opWriteRequest, "/", "octet", {});
  EXPECT_EQ(verdict.Judge(Note(t, sent, wrq, 69)), "write request \"/\"");
  EXPECT_EQ(verdict.Judge(Note(t, got, tftp::MakeAck(0), 50001)), "ack (block 0)");
  EXPECT_EQ(verdict.Judge(Note(t, got, tftp::MakeAck(0), 50002)), "stray (wrong port)");
  EXPECT_EQ(verdict.Judge(Note(t, got, tftp::MakeError(1, "x"), 50001)), "error 1: x");
}

}  // namespace
}  // namespace velkaro::diag
