// Block numbers past 65535 against the simulator's server: 65,540 round trips, so this has an
// executable of its own.
#include <gtest/gtest.h>

#include <chrono>

#include "sim/TftpServer.h"
#include "support/TftpTestSupport.h"
#include "tftp/IdTrivialFTP.h"

namespace velkaro::testing {
namespace {

TEST(TftpRollover, BlockAfter65535IsNumberedZero) {
  sim::TTftpServer server(kLoopback, 0);
  server.Start();
  TIdTrivialFTP client;
  TWorkLog log;
  log.Attach(client);
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  // The smallest block size the option allows keeps the round trips cheap.
  client.SetRequestedBlockSize(8);
  const std::size_t blocks = 65540;
  const TBytes data = Pattern(blocks * 8 - 3, 5);
  auto in = AsStream(data);
  client.UploadStream(in, "/");
  ASSERT_TRUE(server.WaitForTransfers(1, std::chrono::seconds(3)));
  const auto t = server.LastTransfer();
  EXPECT_TRUE(t.complete);
  EXPECT_EQ(t.blockSize, 8);
  ASSERT_EQ(t.blockNumbers.size(), blocks);
  EXPECT_EQ(t.blockNumbers[65533], 65534);
  EXPECT_EQ(t.blockNumbers[65534], 65535);
  EXPECT_EQ(t.blockNumbers[65535], 0);
  EXPECT_EQ(t.blockNumbers[65536], 1);
  EXPECT_EQ(t.blockNumbers.back(), 4);
  EXPECT_EQ(t.repeatedPackets, 0u);
  EXPECT_EQ(t.unexpectedPackets, 0u);
  EXPECT_TRUE(t.image == data);
  EXPECT_EQ(log.works.size(), blocks);
  EXPECT_EQ(log.works.back(), static_cast<std::int64_t>(data.size()));
}

}  // namespace
}  // namespace velkaro::testing
