// The simulated devices' side of firmware rollouts and lossy networks: losses, own addresses,
// reboots, fault switches and the TFTP receiver's limits. Loopback only.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/Socket.h"
#include "protocol/ModelRegistry.h"
#include "sim/Simulator.h"
#include "sim/TftpServer.h"
#include "support/DatagramClient.h"
#include "support/TftpTestSupport.h"
#include "support/Wine.h"
#include "tftp/IdException.h"
#include "tftp/IdTrivialFTP.h"

using namespace velkaro;
using namespace velkaro::sim;
using namespace velkaro::testing;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

// A port free on 127.0.0.1 right now, for receivers that must share one number.
std::uint16_t FreePort() {
  TUdpSocket probe;
  probe.Bind(kLoopback, 0);
  return probe.LocalPort();
}

TSimOptions Devices(int count) {
  TSimOptions o;
  o.port = 0;
  o.models = {kModelZel1};
  o.count = count;
  o.tftpPort = 0;
  return o;
}

// Each device on its own 127.0.0.x, all receivers on one port number.
TSimOptions LoopbackDevices(int count) {
  TSimOptions o = Devices(count);
  o.loopbackIps = true;
  o.tftpPort = FreePort();
  return o;
}

std::size_t Discovered(TDatagramClient& c, milliseconds listen = milliseconds(100)) {
  return c.Ask(DeviceRequest(kAllDevices, TCommand::Discover), listen).size();
}

// Triggers the device at `ip`; the number of acknowledgements that came back.
std::size_t Trigger(TDatagramClient& c, std::uint32_t ip) {
  return c.Ask(DeviceRequest(IpPortAddress(ip), TCommand::Upgrade), milliseconds(150)).size();
}

// Uploads `image`; the error text, empty on success.
std::string Upload(std::uint32_t ip, std::uint16_t port, const TBytes& image) {
  TIdTrivialFTP client;
  client.SetHost(IpToText(ip));
  client.SetPort(port);
  client.SetReceiveTimeout(2000);
  auto in = AsStream(image);
  try {
    client.UploadStream(in, "/");
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

using SimUpgradeTest = ::testing::Test;

TEST_F(SimUpgradeTest, DropRateLosesRequestsAndRepliesRepeatably) {
  struct Case {
    double rate;
    std::uint64_t seed;
    std::size_t minDropped, maxDropped;  // of 1,000 requests
  };
  const Case cases[] = {
      {0.0, 1, 0, 0}, {0.2, 42, 150, 250}, {0.2, 7, 150, 250}, {1.0, 3, 1000, 1000}};
  constexpr std::size_t kRequests = 1000;
  for (const auto& c : cases) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;  // dropped requests, dropped replies
    for (int run = 0; run < 2; ++run) {
      TSimOptions o = Devices(1);
      o.dropRate = c.rate;
      o.seed = c.seed;
      TSimulator s(o);
      s.Start();
      TDatagramClient client(s.Port());
      for (std::size_t i = 0; i < kRequests; ++i) {
        client.Socket().SendTo(DeviceRequest(kAllDevices, TCommand::Discover), kLoopback, s.Port());
        if (i % 100 == 99) client.Collect(milliseconds(5));  // keep the buffers short
      }
      ASSERT_TRUE(s.WaitForRequests(kRequests, milliseconds(5000))) << c.rate;
      const std::size_t answered = kRequests - s.DroppedRequests();
      const auto until = Clock::now() + milliseconds(2000);
      while (s.RepliesSent() + s.DroppedReplies() < answered && Clock::now() < until)
        std::this_thread::sleep_for(milliseconds(5));
      EXPECT_EQ(s.RepliesSent() + s.DroppedReplies(), answered) << c.rate;
      EXPECT_GE(s.DroppedRequests(), c.minDropped) << c.rate;
      EXPECT_LE(s.DroppedRequests(), c.maxDropped) << c.rate;
      // Replies are lost at the same rate as requests.
      EXPECT_LE(s.DroppedReplies(), answered * c.maxDropped / kRequests + 1) << c.rate;
      EXPECT_GE(s.DroppedReplies() + 1, answered * c.minDropped / kRequests) << c.rate;
      runs.emplace_back(s.DroppedRequests(), s.DroppedReplies());
    }
    EXPECT_EQ(runs[0], runs[1]) << "seed " << c.seed << " did not repeat";
  }
}

TEST_F(SimUpgradeTest, EachDeviceHasItsOwnLoopbackAddressAndReceiver) {
  if (RunningUnderWine()) GTEST_SKIP() << kWineSharedPort;
  TSimOptions o = LoopbackDevices(3);
  TSimulator s(o);
  s.Start();
  TDatagramClient c(s.Port());
  ASSERT_EQ(Discovered(c), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::uint32_t ip = 0x7F000002u + static_cast<std::uint32_t>(i);
    EXPECT_EQ(s.Snapshot(i).values.AsUInt(2), ip);
    ASSERT_EQ(Trigger(c, ip), 1u) << i;
    EXPECT_EQ(s.Tftp(i).Port(), o.tftpPort);
    const TBytes image = Pattern(3000 + 1000 * i, static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(Upload(ip, o.tftpPort, image), "") << i;
    ASSERT_TRUE(s.Tftp(i).WaitForTransfers(1, milliseconds(2000)));
    EXPECT_EQ(s.Tftp(i).LastTransfer().image, image);
  }
  EXPECT_NE(&s.Tftp(0), &s.Tftp(1));
  EXPECT_FALSE(s.Tftp().Running());  // the shared receiver is not used
  for (std::size_t i = 0; i < 3; ++i) {
    const TDeviceUploads u = s.Uploads(i);
    EXPECT_EQ(u.count, 1u);
    ASSERT_EQ(u.latest.size(), 1u);
    EXPECT_EQ(u.latest[0].size(), 3000 + 1000 * i);
  }
  EXPECT_EQ(s.MaxConcurrentTransfers(), 1u);
}

TEST_F(SimUpgradeTest, AfterAnImageADeviceRebootsOrNeverReturns) {
  struct Case {
    const char* name;
    int rebootMs;
    bool noReturn;
    bool silentRightAfter;
    bool answersLater;  // 500 ms after the upload
  };
  const Case cases[] = {{"no reboot", 0, false, false, true},
                        {"reboot 300 ms", 300, false, true, true},
                        {"never returns", 0, true, true, false}};
  for (const auto& c : cases) {
    TSimOptions o = Devices(2);
    o.rebootMs = c.rebootMs;
    if (c.noReturn) o.noReturn.indexes = {0};
    TSimulator s(o);
    s.SetValue(0, 2, kLoopback);
    s.Start();
    TDatagramClient client(s.Port());
    ASSERT_EQ(Trigger(client, kLoopback), 1u) << c.name;
    ASSERT_EQ(Upload(kLoopback, s.Tftp().Port(), Pattern(2000)), "") << c.name;
    ASSERT_TRUE(s.Tftp().WaitForTransfers(1, milliseconds(2000)));
    const auto uploaded = Clock::now();
    EXPECT_EQ(Discovered(client, milliseconds(50)), c.silentRightAfter ? 1u : 2u) << c.name;
    std::this_thread::sleep_until(uploaded + milliseconds(500));
    EXPECT_EQ(Discovered(client), c.answersLater ? 2u : 1u) << c.name;
    EXPECT_EQ(s.Uploads(0).count, 1u) << c.name;
    EXPECT_EQ(s.Uploads(1).count, 0u) << c.name;
  }
}

TEST_F(SimUpgradeTest, AbortAtBlockGivesTheClientTheError) {
  if (RunningUnderWine()) GTEST_SKIP() << kWineSharedPort;
  TSimOptions o = LoopbackDevices(2);
  o.abortAtBlock = 3;
  o.abortDevices.indexes = {1};
  TSimulator s(o);
  s.Start();
  TDatagramClient c(s.Port());
  const TBytes image = Pattern(10000);
  for (std::uint32_t i = 0; i < 2; ++i) ASSERT_EQ(Trigger(c, 0x7F000002u + i), 1u);
  EXPECT_EQ(Upload(0x7F000002u, o.tftpPort, image), "");
  EXPECT_EQ(Upload(0x7F000003u, o.tftpPort, image), "Transfer aborted by the device");
  ASSERT_TRUE(s.Tftp(1).WaitForTransfers(1, milliseconds(2000)));
  const TTftpTransfer aborted = s.Tftp(1).LastTransfer();
  EXPECT_TRUE(aborted.refused);
  EXPECT_EQ(aborted.blockNumbers, (std::vector<std::uint16_t>{1, 2}));
  EXPECT_EQ(s.Uploads(0).count, 1u);
  EXPECT_EQ(s.Uploads(1).count, 0u);
}

TEST_F(SimUpgradeTest, DoubleTriggerIsAcknowledgedTwiceButPreparedOnce) {
  TSimOptions o = Devices(2);
  o.doubleTrigger.all = true;
  TSimulator s(o);
  s.Start();
  TDatagramClient c(s.Port());
  const auto acks =
      c.Ask(DeviceRequest(IpPortAddress(s.Snapshot(1).values.AsUInt(2)), TCommand::Upgrade),
            milliseconds(200));
  ASSERT_EQ(acks.size(), 2u);
  EXPECT_EQ(acks[0].data, acks[1].data);
  EXPECT_EQ(s.UpgradeCount(), 1u);
  EXPECT_EQ(Discovered(c), 2u);  // other answers are not doubled
}

// Two transfers held open at once by a client that sends its blocks by hand.
TEST_F(SimUpgradeTest, OverlappingTransfersAreRecorded) {
  if (RunningUnderWine()) GTEST_SKIP() << kWineSharedPort;
  TSimOptions o = LoopbackDevices(2);
  TSimulator s(o);
  s.Start();
  TDatagramClient c(s.Port());
  TUdpSocket links[2];
  TDatagramInfo from[2];
  TBytes buffer(1024);
  for (std::uint32_t i = 0; i < 2; ++i) {
    ASSERT_EQ(Trigger(c, 0x7F000002u + i), 1u);
    links[i].Bind(kLoopback, 0);
    links[i].SendTo(tftp::MakeRequest(tftp::opWriteRequest, "/", "octet", {}), 0x7F000002u + i,
                    o.tftpPort);
    ASSERT_TRUE(links[i].WaitReadable(milliseconds(1000)));
    from[i] = links[i].ReceiveFrom(buffer);
    ASSERT_EQ(tftp::Word(std::span(buffer.data(), from[i].copied), 0), tftp::opAck);
  }
  for (std::uint32_t i = 0; i < 2; ++i) {
    TBytes data(4 + 10, static_cast<std::uint8_t>(i));
    tftp::PutDataHeader(data.data(), 1);
    links[i].SendTo(data, from[i].address, from[i].port);
    ASSERT_TRUE(links[i].WaitReadable(milliseconds(1000)));
    links[i].ReceiveFrom(buffer);
  }
  ASSERT_TRUE(s.Tftp(1).WaitForTransfers(1, milliseconds(2000)));
  ASSERT_TRUE(s.Tftp(0).WaitForTransfers(1, milliseconds(2000)));
  EXPECT_EQ(s.MaxConcurrentTransfers(), 2u);
  EXPECT_EQ(s.Uploads(0).latest.at(0), TBytes(10, 0));
  EXPECT_EQ(s.Uploads(1).latest.at(0), TBytes(10, 1));
}

TEST(TftpReceiverLimits, ImageOverTheLimitIsRefusedWithAnError) {
  struct Case {
    std::size_t size;
    bool accepted;
  };
  // 512-byte blocks: the limit counts bytes, not blocks.
  for (const auto& c : {Case{3000, true}, Case{3001, false}, Case{20000, false}}) {
    TTftpServer server(kLoopback, 0);
    TTftpSwitches sw;
    sw.noOptions = true;
    sw.maxImageBytes = 3000;
    server.SetSwitches(sw);
    server.Start();
    const std::string error = Upload(kLoopback, server.Port(), Pattern(c.size));
    ASSERT_TRUE(server.WaitForTransfers(1, milliseconds(2000)));
    const TTftpTransfer t = server.LastTransfer();
    EXPECT_EQ(error.empty(), c.accepted) << c.size << ": " << error;
    EXPECT_EQ(t.complete, c.accepted) << c.size;
    EXPECT_LE(t.image.size(), 3000u) << c.size;
    if (!c.accepted) {
      EXPECT_EQ(error, "Image too large");
    }
  }
}

TEST(TftpReceiverLimits, SilentClientsDoNotHoldUpARealUpload) {
  TTftpServer server(kLoopback, 0);
  TTftpSwitches sw;
  sw.maxTransfers = 6;
  server.SetSwitches(sw);
  server.Start();
  std::vector<TUdpSocket> quiet(5);
  for (auto& q : quiet) {
    q.Bind(kLoopback, 0);
    q.SendTo(tftp::MakeRequest(tftp::opWriteRequest, "/", "octet", {}), kLoopback, server.Port());
  }
  std::this_thread::sleep_for(milliseconds(50));
  const auto started = Clock::now();
  const TBytes image = Pattern(100000);
  EXPECT_EQ(Upload(kLoopback, server.Port(), image), "");
  EXPECT_LT(Clock::now() - started, milliseconds(1000));  // the quiet ones wait 2 s each
  ASSERT_TRUE(server.WaitForTransfers(1, milliseconds(1000)));
  EXPECT_EQ(server.Transfers().front().image, image);

  // With every slot taken, the next request is refused at once rather than queued.
  TUdpSocket extra[2];
  for (auto& q : extra) {
    q.Bind(kLoopback, 0);
    q.SendTo(tftp::MakeRequest(tftp::opWriteRequest, "/", "octet", {}), kLoopback, server.Port());
    std::this_thread::sleep_for(milliseconds(20));
  }
  TBytes buffer(1024);
  ASSERT_TRUE(extra[1].WaitReadable(milliseconds(500)));
  const TDatagramInfo got = extra[1].ReceiveFrom(buffer);
  EXPECT_EQ(tftp::Word(std::span(buffer.data(), got.copied), 0), tftp::opError)
      << server.BusyRefusals() << " " << server.RequestCount() << " " << server.TransferCount();
  EXPECT_EQ(server.BusyRefusals(), 1u);
  EXPECT_EQ(server.RequestCount(), 8u);
}

}  // namespace
