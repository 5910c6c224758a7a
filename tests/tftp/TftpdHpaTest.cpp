// The upload client against an independent server: Debian's tftpd-hpa on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "support/TftpTestSupport.h"
#include "support/TftpdProcess.h"
#include "tftp/IdException.h"
#include "tftp/IdTrivialFTP.h"

namespace velkaro::testing {
namespace {

TBytes ReadFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class TftpdHpaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = std::make_unique<TTftpdProcess>();
    plainServer = std::make_unique<TTftpdProcess>(TTftpdProcess::TOptions{.refuseBlockSize = true});
  }
  static void TearDownTestSuite() {
    server.reset();
    plainServer.reset();
  }

  void SetUp() override {
    client.SetHost("127.0.0.1");
    client.SetPort(server->Port());
    client.SetReceiveTimeout(3000);
    log.Attach(client);
  }

  // The server writes the file while acknowledging; it is whole once its size and bytes match.
  static void ExpectStored(const TTftpdProcess& s, const std::string& name, const TBytes& data) {
    const auto path = std::filesystem::path(s.Root()) / name;
    TBytes stored;
    for (int i = 0; i < 150; ++i) {
      stored = ReadFile(path);
      if (stored == data) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << name;
    EXPECT_EQ(stored.size(), data.size()) << name;
    EXPECT_TRUE(stored == data) << name << " differs from what was sent";
  }

  void UploadAndCompare(const TTftpdProcess& s, const std::string& name, const TBytes& data) {
    client.SetPort(s.Port());
    auto in = AsStream(data);
    client.UploadStream(in, name);
    ExpectStored(s, name, data);
    EXPECT_EQ(log.works.back(), static_cast<std::int64_t>(data.size()));
  }

  static inline std::unique_ptr<TTftpdProcess> server;
  static inline std::unique_ptr<TTftpdProcess> plainServer;
  TIdTrivialFTP client;
  TWorkLog log;
};

TEST_F(TftpdHpaTest, EmptyFile) {
  UploadAndCompare(*server, "empty.bin", {});
}

TEST_F(TftpdHpaTest, OneDefaultBlock) {
  UploadAndCompare(*server, "block.bin", Pattern(512, 2));
}

TEST_F(TftpdHpaTest, ExactlyThreeBlocksOf1500) {
  UploadAndCompare(*server, "three.bin", Pattern(3 * 1500, 3));
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{1500, 3000, 4500, 4500}));
}

TEST_F(TftpdHpaTest, SeveralMebibytes) {
  UploadAndCompare(*server, "image.bin", Pattern(3 * 1024 * 1024 + 321, 4));
}

TEST_F(TftpdHpaTest, UploadFileFromDisk) {
  const testing::TTempDir dir;
  const auto local = dir.Path() / "local.bin";
  const TBytes data = Pattern(100000, 5);
  {
    std::ofstream f(local, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }
  client.UploadFile(local.string(), "fromdisk.bin");
  std::filesystem::remove(local);
  ExpectStored(*server, "fromdisk.bin", data);
}

TEST_F(TftpdHpaTest, ServerWithoutBlockSizeOption) {
  UploadAndCompare(*plainServer, "plain.bin", Pattern(512 * 5 + 100, 6));
  // Blocks of 512: five full ones and the rest.
  EXPECT_EQ(log.works.size(), 6u);
  EXPECT_EQ(log.works.front(), 512);
}

TEST_F(TftpdHpaTest, SmallerRequestedBlockSize) {
  client.SetRequestedBlockSize(512);
  UploadAndCompare(*server, "small.bin", Pattern(512 * 4, 7));
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{512, 1024, 1536, 2048, 2048}));
}

TEST_F(TftpdHpaTest, NetAsciiComesBackAsTheSameBytes) {
  client.SetTransferMode(tfNetAscii);
  client.SetRequestedBlockSize(16);
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += "line " + std::to_string(i) + (i % 3 ? "\n" : "\r\n") + "\r";
  UploadAndCompare(*server, "text.txt", TBytes(text.begin(), text.end()));
}

TEST_F(TftpdHpaTest, BlockNumberRollsOverPast65535) {
  // 65,538 blocks of 8 bytes: the numbers wrap to 0 once; the stored file shows any slip.
  client.SetRequestedBlockSize(8);
  UploadAndCompare(*server, "rollover.bin", Pattern(65537 * 8 + 5, 8));
  EXPECT_EQ(log.works.size(), 65538u);
}

TEST_F(TftpdHpaTest, ServerRefusalCarriesItsMessage) {
  auto in = AsStream(Pattern(10));
  try {
    client.UploadStream(in, "no/such/dir/x.bin");
    FAIL() << "no exception";
  } catch (const EIdTFTPException& e) {
    EXPECT_STRNE(e.what(), "");
    EXPECT_STRNE(e.what(), "Délai d'inactivité");
  }
  EXPECT_EQ(log.ends, 1);
}

}  // namespace
}  // namespace velkaro::testing
