// The upload client on a lossy link: a lost write request, DATA block or ACK is made good by
// sending the last packet again after the receive time-out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "platform/Socket.h"
#include "support/TftpTestSupport.h"
#include "tftp/IdException.h"
#include "tftp/TftpPacket.h"

namespace velkaro::testing {
namespace {

using Clock = std::chrono::steady_clock;

// A write server with 512-byte blocks that loses chosen datagrams: the first write request
// (`dropRequest`), the first arrival of DATA block `dropData`, and its own first ACK of block
// `dropAck`. Keeps the data of every block once.
class TLossyServer {
 public:
  TLossyServer(bool dropRequest, std::uint16_t dropData, std::uint16_t dropAck)
      : dropRequest_(dropRequest), dropData_(dropData), dropAck_(dropAck) {
    listener_.Bind(kLoopback, 0);
    link_.Bind(kLoopback, 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~TLossyServer() {
    stop_ = true;
    thread_.join();
  }
  std::uint16_t Port() const { return listener_.LocalPort(); }
  // Valid once the client returned.
  const TBytes& Image() const { return image_; }
  int Requests() const { return requests_; }
  int DataPackets() const { return dataPackets_; }

 private:
  void Run() {
    TBytes buffer(70000);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    std::uint32_t clientIp = 0;
    std::uint16_t clientPort = 0;
    while (!stop_ && Clock::now() < deadline) {
      if (listener_.WaitReadable(std::chrono::milliseconds(10))) {
        const TDatagramInfo info = listener_.ReceiveFrom(buffer);
        if (++requests_ == 1 && dropRequest_) continue;
        clientIp = info.address;
        clientPort = info.port;
        link_.SendTo(tftp::MakeAck(0), clientIp, clientPort);
      }
      if (!link_.WaitReadable(std::chrono::milliseconds(10))) continue;
      const TDatagramInfo got = link_.ReceiveFrom(buffer);
      const std::span<const std::uint8_t> packet(buffer.data(), got.copied);
      if (tftp::Word(packet, 0) != tftp::opData) continue;
      ++dataPackets_;
      const std::uint16_t block = tftp::Word(packet, 2);
      if (block == dropData_ && !droppedData_) {
        droppedData_ = true;
        continue;
      }
      if (block == nextBlock_) {
        image_.insert(image_.end(), packet.begin() + tftp::kDataHeaderSize, packet.end());
        ++nextBlock_;
      }
      if (block == dropAck_ && !droppedAck_) {
        droppedAck_ = true;
        continue;
      }
      link_.SendTo(tftp::MakeAck(block), clientIp, clientPort);
    }
  }

  bool dropRequest_;
  std::uint16_t dropData_, dropAck_;
  bool droppedData_ = false, droppedAck_ = false;
  std::uint16_t nextBlock_ = 1;
  TUdpSocket listener_, link_;
  std::atomic<bool> stop_{false};
  TBytes image_;
  int requests_ = 0;
  int dataPackets_ = 0;
  std::thread thread_;
};

TEST(TftpResend, LostRequestDataAndAckStillDeliverTheImageByteForByte) {
  const TBytes data = Pattern(10 * 512 + 77);
  TLossyServer server(true, 3, 6);
  TIdTrivialFTP client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReceiveTimeout(150);
  auto in = AsStream(data);
  const auto start = Clock::now();
  client.UploadStream(in, "/");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(server.Image(), data);
  EXPECT_EQ(server.Requests(), 2);
  // 11 blocks, block 3 sent twice (lost), block 6 sent twice (its ACK lost).
  EXPECT_EQ(server.DataPackets(), 13);
}

TEST(TftpResend, GivesUpAfterThreeResends) {
  const TBytes data = Pattern(4 * 512);
  TIdTrivialFTP client;
  client.SetHost("127.0.0.1");
  // A port that takes the requests and never answers.
  TUdpSocket quiet;
  quiet.Bind(kLoopback, 0);
  client.SetPort(quiet.LocalPort());
  client.SetReceiveTimeout(100);
  auto in = AsStream(data);
  const auto start = Clock::now();
  try {
    client.UploadStream(in, "/");
    FAIL() << "an upload nobody answered succeeded";
  } catch (const EIdTFTPException& e) {
    EXPECT_STREQ(e.what(), "Délai d'inactivité");
  }
  // One time-out for the request and one after each of the three resends.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(390));
  int requests = 0;
  TBytes buffer(2000);
  while (quiet.WaitReadable(std::chrono::milliseconds(50))) {
    const TDatagramInfo info = quiet.ReceiveFrom(buffer);
    EXPECT_EQ(tftp::Word(std::span<const std::uint8_t>(buffer.data(), info.copied), 0),
              tftp::opWriteRequest);
    ++requests;
  }
  EXPECT_EQ(requests, 1 + TIdTrivialFTP::kMaxResends);
}

}  // namespace
}  // namespace velkaro::testing
