// The upload client against the simulator's TFTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <numeric>

#include "sim/TftpServer.h"
#include "support/TempDir.h"
#include "support/TftpTestSupport.h"
#include "tftp/IdException.h"
#include "tftp/IdTrivialFTP.h"
#include "tftp/TftpPacket.h"

namespace velkaro::testing {
namespace {

using Clock = std::chrono::steady_clock;
using sim::TTftpServer;
using sim::TTftpSwitches;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class TrivialFtpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Start();
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetReceiveTimeout(2000);
    log.Attach(client);
  }

  void Switch(const TTftpSwitches& sw) { server.SetSwitches(sw); }

  // Uploads `data` under "/" and returns the server's record of it.
  sim::TTftpTransfer Upload(const TBytes& data) {
    auto in = AsStream(data);
    client.UploadStream(in, "/");
    EXPECT_TRUE(server.WaitForTransfers(1, std::chrono::seconds(3)));
    return server.LastTransfer();
  }

  static std::vector<std::uint32_t> Sizes(std::initializer_list<std::uint32_t> s) { return s; }

  TTftpServer server{kLoopback, 0};
  TIdTrivialFTP client;
  TWorkLog log;
};

TEST(TrivialFtpDefaults, MatchTheUpgradeDialogsSettings) {
  TIdTrivialFTP c;
  EXPECT_EQ(c.Port(), 69);
  EXPECT_EQ(c.ReceiveTimeout(), 4000);
  EXPECT_EQ(c.TransferMode(), tfOctet);
  EXPECT_EQ(c.RequestedBlockSize(), 1500);
  EXPECT_EQ(c.Host(), "");
  EXPECT_FALSE(c.Active());
  EXPECT_FALSE(c.BroadcastEnabled());
  EXPECT_EQ(c.ModeText(), "octet");
  c.SetTransferMode(tfNetAscii);
  EXPECT_EQ(c.ModeText(), "netascii");
}

TEST(TrivialFtpDefaults, RejectsSettingsOutOfRange) {
  TIdTrivialFTP c;
  EXPECT_THROW(c.SetPort(0), std::invalid_argument);
  EXPECT_THROW(c.SetPort(65536), std::invalid_argument);
  EXPECT_THROW(c.SetReceiveTimeout(-1), std::invalid_argument);
  EXPECT_THROW(c.SetRequestedBlockSize(7), std::invalid_argument);
  EXPECT_THROW(c.SetRequestedBlockSize(65465), std::invalid_argument);
  EXPECT_THROW(c.SetBufferSize(0), std::invalid_argument);
  c.SetPort(65535);
  c.SetRequestedBlockSize(8);
  EXPECT_EQ(c.Port(), 65535);
  EXPECT_EQ(c.RequestedBlockSize(), 8);
}

TEST_F(TrivialFtpTest, WriteRequestCarriesNameModeAndBlockSize) {
  Upload(Pattern(10));
  const auto t = server.LastTransfer();
  EXPECT_EQ(t.fileName, "/");
  EXPECT_EQ(t.mode, "octet");
  ASSERT_EQ(t.options.size(), 1u);
  EXPECT_EQ(t.options[0].first, "blksize");
  EXPECT_EQ(t.options[0].second, "1500");
}

TEST_F(TrivialFtpTest, ServerWithoutOptionsGets512ByteBlocks) {
  Switch({.noOptions = true});
  const TBytes data = Pattern(1300);
  const auto t = Upload(data);
  EXPECT_TRUE(t.complete);
  EXPECT_EQ(t.blockSize, 512);
  EXPECT_EQ(t.blockSizes, Sizes({512, 512, 276}));
  EXPECT_EQ(t.blockNumbers, (std::vector<std::uint16_t>{1, 2, 3}));
  EXPECT_EQ(t.image, data);
}

TEST_F(TrivialFtpTest, OptionAcknowledgement1500Gives1500ByteBlocks) {
  const TBytes data = Pattern(4000);
  const auto t = Upload(data);
  EXPECT_EQ(t.blockSize, 1500);
  EXPECT_EQ(t.blockSizes, Sizes({1500, 1500, 1000}));
  EXPECT_EQ(t.image, data);
  EXPECT_EQ(t.dataPackets, 3u);
}

TEST_F(TrivialFtpTest, ServerMayLowerTheBlockSize) {
  Switch({.maxBlockSize = 1024});
  const TBytes data = Pattern(2100);
  const auto t = Upload(data);
  EXPECT_EQ(t.blockSizes, Sizes({1024, 1024, 52}));
  EXPECT_EQ(t.image, data);
}

TEST_F(TrivialFtpTest, ExactMultipleEndsWithAnEmptyBlock) {
  const auto t = Upload(Pattern(3000));
  EXPECT_EQ(t.blockSizes, Sizes({1500, 1500, 0}));
  EXPECT_TRUE(t.complete);

  server.Clear();
  Switch({.noOptions = true});
  const TBytes data = Pattern(1024, 7);
  const auto u = Upload(data);
  EXPECT_EQ(u.blockSizes, Sizes({512, 512, 0}));
  EXPECT_EQ(u.image, data);
}

TEST_F(TrivialFtpTest, EmptyFileIsOneEmptyFinalBlock) {
  const auto t = Upload({});
  EXPECT_TRUE(t.complete);
  EXPECT_EQ(t.blockSizes, Sizes({0}));
  EXPECT_EQ(t.blockNumbers, (std::vector<std::uint16_t>{1}));
  EXPECT_EQ(log.begins, (std::vector<std::int64_t>{0}));
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{0}));
  EXPECT_EQ(log.ends, 1);
}

TEST_F(TrivialFtpTest, OnWorkTotalsGrowByEachBlockAndReachTheSize) {
  Upload(Pattern(4000));
  EXPECT_EQ(log.begins, (std::vector<std::int64_t>{4000}));
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{1500, 3000, 4000}));
  EXPECT_EQ(log.ends, 1);
  for (TWorkMode m : log.modes) EXPECT_EQ(m, wmWrite);
  EXPECT_EQ(client.WorkLevel(wmWrite), 0);
}

TEST_F(TrivialFtpTest, StreamIsSentFromItsCurrentPosition) {
  const TBytes data = Pattern(2000);
  auto in = AsStream(data);
  in.seekg(700);
  client.UploadStream(in, "/");
  ASSERT_TRUE(server.WaitForTransfers(1, std::chrono::seconds(3)));
  EXPECT_EQ(server.LastTransfer().image, TBytes(data.begin() + 700, data.end()));
  EXPECT_EQ(log.begins, (std::vector<std::int64_t>{1300}));
  EXPECT_EQ(log.works.back(), 1300);
}

TEST_F(TrivialFtpTest, DuplicatedAcksNeitherRepeatBlocksNorCountTwice) {
  Switch({.duplicateAcks = true});
  const TBytes data = Pattern(20 * 1500 + 17);
  const auto t = Upload(data);
  EXPECT_TRUE(t.complete);
  EXPECT_EQ(t.image, data);
  // Answering each copy with the block again would double the traffic at every step.
  EXPECT_EQ(t.repeatedPackets, 0u);
  EXPECT_EQ(t.dataPackets, 21u);
  ASSERT_EQ(log.works.size(), 21u);
  EXPECT_EQ(log.works.back(), static_cast<std::int64_t>(data.size()));

  server.Clear();
  log = {};
  log.Attach(client);
  Switch({.noOptions = true, .duplicateAcks = true});
  const auto u = Upload(data);
  EXPECT_EQ(u.image, data);
  EXPECT_EQ(u.repeatedPackets, 0u);
  EXPECT_EQ(log.works.back(), static_cast<std::int64_t>(data.size()));
}

TEST_F(TrivialFtpTest, FinalBlockNeverAcknowledgedIsAnError) {
  Switch({.noFinalAck = true});
  client.SetReceiveTimeout(300);
  const TBytes data = Pattern(3100);
  const auto start = Clock::now();
  try {
    Upload(data);
    FAIL() << "an unacknowledged final block was reported as success";
  } catch (const EIdTFTPException& e) {
    EXPECT_EQ(typeid(e), typeid(EIdTFTPException));
    EXPECT_STREQ(e.what(), "Délai d'inactivité");
  }
  EXPECT_GE(MsSince(start), 290);
  EXPECT_TRUE(server.WaitForTransfers(1, std::chrono::seconds(3)));
  EXPECT_TRUE(server.LastTransfer().complete);  // the data went; only the proof is missing
  EXPECT_EQ(log.ends, 1);
  EXPECT_FALSE(client.Active());
}

TEST_F(TrivialFtpTest, NoAnswerAtAllTimesOut) {
  Switch({.silent = true});
  client.SetReceiveTimeout(250);
  auto in = AsStream(Pattern(100));
  const auto start = Clock::now();
  try {
    client.UploadStream(in, "/");
    FAIL() << "no exception";
  } catch (const EIdTFTPException& e) {
    EXPECT_STREQ(e.what(), "Délai d'inactivité");
  }
  const auto took = MsSince(start);
  EXPECT_GE(took, 240);
  EXPECT_LT(took, 2000);
  // The request and its three resends.
  EXPECT_EQ(server.RequestCount(), 4u);
  EXPECT_EQ(log.begins, (std::vector<std::int64_t>{100}));
  EXPECT_TRUE(log.works.empty());
  EXPECT_EQ(log.ends, 1);
  EXPECT_FALSE(client.Active());
}

TEST_F(TrivialFtpTest, DatagramFromAForeignPortIsRefusedAndTheTransferGoesOn) {
  Switch({.strayAtBlock = 2});
  const TBytes data = Pattern(6 * 1500 + 5);
  const auto t = Upload(data);
  EXPECT_TRUE(t.complete);
  EXPECT_EQ(t.image, data);
  EXPECT_EQ(t.unexpectedPackets, 0u);
  EXPECT_EQ(t.strayErrorCodes, (std::vector<std::uint16_t>{tftp::errUnknownTransferId}));
}

TEST_F(TrivialFtpTest, ErrorAnswerToTheWriteRequestRaisesItsClassAndMessage) {
  Switch({.errorAtBlock = 0, .errorCode = 2, .errorMessage = "Flash write protected"});
  try {
    Upload(Pattern(100));
    FAIL() << "no exception";
  } catch (const EIdTFTPAccessViolation& e) {
    EXPECT_STREQ(e.what(), "Flash write protected");
  }
  EXPECT_EQ(log.ends, 1);
  EXPECT_FALSE(client.Active());
}

TEST_F(TrivialFtpTest, ErrorDuringTheTransferRaisesItsClassAndMessage) {
  Switch({.errorAtBlock = 3, .errorCode = 3, .errorMessage = "Image too large"});
  try {
    Upload(Pattern(10 * 1500));
    FAIL() << "no exception";
  } catch (const EIdTFTPAllocationExceeded& e) {
    EXPECT_STREQ(e.what(), "Image too large");
  }
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{1500, 3000, 4500}));
  EXPECT_EQ(log.ends, 1);
}

TEST_F(TrivialFtpTest, UnknownErrorCodeRaisesTheBaseClass) {
  Switch({.errorAtBlock = 0, .errorCode = 42, .errorMessage = "Busy"});
  try {
    Upload(Pattern(10));
    FAIL() << "no exception";
  } catch (const EIdTFTPException& e) {
    EXPECT_EQ(typeid(e), typeid(EIdTFTPException));
    EXPECT_STREQ(e.what(), "Busy");
  }
}

TEST_F(TrivialFtpTest, OtherRemoteNamesAreRefusedByTheDevice) {
  auto in = AsStream(Pattern(10));
  EXPECT_THROW(client.UploadStream(in, "firmware.bin"), EIdTFTPAccessViolation);
}

TEST_F(TrivialFtpTest, BlockSizeThatIsNotANumberFailsNegotiation) {
  Switch({.blockSizeReply = "15x0"});
  try {
    Upload(Pattern(100));
    FAIL() << "no exception";
  } catch (const EIdTFTPOptionNegotiationFailed& e) {
    EXPECT_STREQ(e.what(), "'15x0' is not a valid integer value");
  }
  ASSERT_TRUE(server.WaitForTransfers(1, std::chrono::seconds(3)));
  EXPECT_EQ(server.LastTransfer().clientErrorCode, tftp::errOptionNegotiation);
  EXPECT_TRUE(server.LastTransfer().image.empty());
}

TEST_F(TrivialFtpTest, BlockSizeAboveTheRequestOrBelowEightFailsNegotiation) {
  for (const char* reply : {"2000", "4", "0"}) {
    server.Clear();
    Switch({.blockSizeReply = reply});
    auto in = AsStream(Pattern(100));
    EXPECT_THROW(client.UploadStream(in, "/"), EIdTFTPOptionNegotiationFailed) << reply;
    ASSERT_TRUE(server.WaitForTransfers(1, std::chrono::seconds(3)));
    EXPECT_EQ(server.LastTransfer().clientErrorCode, tftp::errOptionNegotiation) << reply;
  }
}

TEST_F(TrivialFtpTest, NetAsciiSendsLineEndsAsCrLfAndBareCrAsCrNul) {
  client.SetTransferMode(tfNetAscii);
  client.SetRequestedBlockSize(8);
  const std::string text = "abcd\nx\r\nef\rg\n\n";
  const auto t = Upload(TBytes(text.begin(), text.end()));
  EXPECT_EQ(t.mode, "netascii");
  const std::string wire("abcd\r\nx\r\0\r\nef\r\0g\r\n\r\n", 20);
  EXPECT_EQ(std::string(t.image.begin(), t.image.end()), wire);
  // The CR NUL pair of "x\r" straddles the first block boundary.
  EXPECT_EQ(t.blockSizes, Sizes({8, 8, 4}));
  // Progress counts the file's bytes, not the longer form on the wire.
  EXPECT_EQ(log.works.back(), static_cast<std::int64_t>(text.size()));
}

TEST_F(TrivialFtpTest, UploadFileSendsTheWholeFile) {
  const velkaro::testing::TTempDir dir;
  const std::string path = dir.File("upload.bin");
  const TBytes data = Pattern(7777, 9);
  velkaro::testing::WriteBytes(path, data);
  client.UploadFile(path, "/");
  ASSERT_TRUE(server.WaitForTransfers(1, std::chrono::seconds(3)));
  EXPECT_EQ(server.LastTransfer().image, data);
  EXPECT_EQ(log.begins, (std::vector<std::int64_t>{7777}));
}

TEST_F(TrivialFtpTest, MissingLocalFileFailsBeforeAnyPacket) {
  try {
    client.UploadFile("/nonexistent/velkaro/image.bin", "/");
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/velkaro/image.bin"), std::string::npos);
  }
  const velkaro::testing::TTempDir folder;
  EXPECT_THROW(client.UploadFile(folder.Path().string(), "/"), EFOpenError);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_TRUE(log.begins.empty());
}

TEST_F(TrivialFtpTest, SameClientUploadsAgainAfterSuccessAndFailure) {
  Upload(Pattern(2000, 1));
  Switch({.errorAtBlock = 0, .errorCode = 1, .errorMessage = "No"});
  auto in = AsStream(Pattern(10));
  EXPECT_THROW(client.UploadStream(in, "/"), EIdTFTPFileNotFound);
  Switch({});
  server.Clear();
  const TBytes data = Pattern(3001, 2);
  EXPECT_EQ(Upload(data).image, data);
  EXPECT_EQ(log.ends, 3);
}

TEST_F(TrivialFtpTest, InvalidHostIsAClearError) {
  for (const char* host : {"", "10.0.0", "1.2.3.300", "device.local"}) {
    client.SetHost(host);
    auto in = AsStream(Pattern(10));
    EXPECT_THROW(client.UploadStream(in, "/"), EIdException) << host;
  }
  EXPECT_EQ(log.ends, 4);
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST(TrivialFtpScripted, ZeroLengthDatagramIsAReceiveError) {
  TScriptedPeer peer({TBytes{}});
  TIdTrivialFTP c;
  c.SetHost("127.0.0.1");
  c.SetPort(peer.Port());
  c.SetReceiveTimeout(2000);
  auto in = AsStream(Pattern(10));
  try {
    c.UploadStream(in, "/");
    FAIL() << "no exception";
  } catch (const EIdUDPReceiveErrorZeroBytes& e) {
    EXPECT_STREQ(e.what(), "Erreur de réception UDP = 0.");
  }
}

TEST(TrivialFtpScripted, DatagramLongerThanTheBufferIsASocketError) {
  // Before any option acknowledgement the buffer holds 512 data bytes and the header.
  TBytes ack = tftp::MakeAck(0);
  ack.resize(517);
  TScriptedPeer peer({ack});
  TIdTrivialFTP c;
  c.SetHost("127.0.0.1");
  c.SetPort(peer.Port());
  auto in = AsStream(Pattern(10));
  try {
    c.UploadStream(in, "/");
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), EMSGSIZE);
    EXPECT_EQ(std::string(e.what()),
              "Erreur de socket # " + std::to_string(EMSGSIZE) + "\r\n" + std::strerror(EMSGSIZE));
  }
}

TEST(TrivialFtpScripted, StrayAnswersBeforeTheRightOneAreIgnored) {
  // An ACK for a block not yet sent, a DATA packet and a short packet do not start the transfer;
  // the ACK 0 that follows does.
  TScriptedPeer peer(
      {tftp::MakeAck(7), TBytes{0, 3, 0, 1, 'x'}, TBytes{0}, tftp::MakeAck(0), tftp::MakeAck(1)});
  TIdTrivialFTP c;
  c.SetHost("127.0.0.1");
  c.SetPort(peer.Port());
  const TBytes data = Pattern(100);
  auto in = AsStream(data);
  c.UploadStream(in, "/");
  peer.Join();
  ASSERT_EQ(peer.Received().size(), 1u);
  TBytes expected{0, 3, 0, 1};
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(peer.Received()[0], expected);
}

TEST(TftpExceptions, ClassesFollowTheErrorCode) {
  const auto check = [](std::uint16_t code, const std::type_info& type) {
    try {
      ThrowTftpError(code, "m" + std::to_string(code));
    } catch (const EIdTFTPException& e) {
      EXPECT_EQ(typeid(e), type) << code;
      EXPECT_EQ(std::string(e.what()), "m" + std::to_string(code));
    }
  };
  check(0, typeid(EIdTFTPException));
  check(1, typeid(EIdTFTPFileNotFound));
  check(2, typeid(EIdTFTPAccessViolation));
  check(3, typeid(EIdTFTPAllocationExceeded));
  check(4, typeid(EIdTFTPIllegalOperation));
  check(5, typeid(EIdTFTPUnknownTransferID));
  check(6, typeid(EIdTFTPFileAlreadyExists));
  check(7, typeid(EIdTFTPNoSuchUser));
  check(8, typeid(EIdTFTPOptionNegotiationFailed));
  check(9, typeid(EIdTFTPException));
  check(65535, typeid(EIdTFTPException));
  EXPECT_STREQ(EIdSocketError(10054, "Connexion fermée").what(),
               "Erreur de socket # 10054\r\nConnexion fermée");
}

}  // namespace
}  // namespace velkaro::testing
