// 32 MiB uploaded on loopback to tftpd-hpa, by this client and by curl in turn, to the same
// server in the same run. Counters: throughput of each in MiB/s and their ratio (ours / curl).
// Every stored file is compared with the source afterwards (at 512-byte blocks the block number
// wraps past 65535, so this checks the rollover against a real server too).
// Then 2 MiB sent to tftpd-hpa through a relay that loses one DATA packet: the wall time shows
// what the client's resend after its receive time-out costs, beside the same upload unharmed.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/TftpdProcess.h"
#include "tftp/IdTrivialFTP.h"
#include "tftp/TftpPacket.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
constexpr std::size_t kFileSize = 32u * 1024 * 1024;

struct TBench {
  velkaro::testing::TTftpdProcess server;
  velkaro::testing::TTempDir scratch;
  fs::path source = scratch.Path() / "source.bin";
  std::vector<char> bytes;

  TBench() {
    bytes.resize(kFileSize);
    std::uint32_t x = 0x9E3779B9u;
    for (auto& b : bytes) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b = static_cast<char>(x);
    }
    std::ofstream f(source, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + source.string());
  }

  bool Stored(const std::string& name) const {
    std::ifstream f(fs::path(server.Root()) / name, std::ios::binary);
    std::vector<char> got((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    return got == bytes;
  }
};

TBench& Bench() {
  static TBench bench;
  return bench;
}

double UploadVelkaro(TBench& b, int blockSize, const std::string& name) {
  velkaro::TIdTrivialFTP client;
  client.SetHost("127.0.0.1");
  client.SetPort(b.server.Port());
  client.SetRequestedBlockSize(blockSize);
  const auto start = Clock::now();
  client.UploadFile(b.source.string(), name);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double UploadCurl(TBench& b, int blockSize, const std::string& name) {
  std::vector<std::string> args = {
      "curl",
      "-s",
      "-S",
      "-T",
      b.source.string(),
      "tftp://127.0.0.1:" + std::to_string(b.server.Port()) + "/" + name,
      "--tftp-blksize",
      std::to_string(blockSize)};
  const auto start = Clock::now();
  const auto run = velkaro::testing::RunProgram(args, std::chrono::minutes(5));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (run.exitCode != 0) throw std::runtime_error("curl failed: " + run.err);
  return seconds;
}

void BM_UploadBesideCurl(benchmark::State& state) {
  const int blockSize = static_cast<int>(state.range(0));
  double ours = 0;
  double curl = 0;
  const std::string mine = "velkaro-" + std::to_string(blockSize) + ".bin";
  const std::string theirs = "curl-" + std::to_string(blockSize) + ".bin";
  try {
    TBench& b = Bench();
    static bool curlFirst = false;
    for (auto _ : state) {
      // Alternate the order so that neither side always runs on a warmer machine.
      if (curlFirst) curl += UploadCurl(b, blockSize, theirs);
      ours += UploadVelkaro(b, blockSize, mine);
      if (!curlFirst) curl += UploadCurl(b, blockSize, theirs);
      curlFirst = !curlFirst;
    }
    if (!b.Stored(mine)) state.SkipWithError("the server's copy of our upload differs");
    if (!b.Stored(theirs)) state.SkipWithError("the server's copy of curl's upload differs");
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const double mib =
      static_cast<double>(kFileSize) / (1024.0 * 1024.0) * static_cast<double>(state.iterations());
  state.counters["velkaro_MiBps"] = mib / ours;
  state.counters["curl_MiBps"] = mib / curl;
  state.counters["ratio"] = curl / ours;
}

// One upload of each per repetition; the median of five evens out a busy machine.
BENCHMARK(BM_UploadBesideCurl)
    ->Arg(1500)
    ->Arg(512)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Passes datagrams between a client and a TFTP server on the loopback, one thread per direction,
// and loses the first DATA packet of block `dropBlock` (0 loses nothing). The client sees every
// answer come from the relay's own port, which it takes as the server's transfer ID.
class TDroppingRelay {
 public:
  TDroppingRelay(std::uint16_t serverPort, std::uint16_t dropBlock)
      : serverPort_(serverPort), dropBlock_(dropBlock) {
    clientSide_.Bind(kLoopback, 0);
    serverSide_.Bind(kLoopback, 0);
    toServer_ = std::thread([this] { Forward(true); });
    toClient_ = std::thread([this] { Forward(false); });
  }
  ~TDroppingRelay() {
    stop_ = true;
    toServer_.join();
    toClient_.join();
  }
  TDroppingRelay(const TDroppingRelay&) = delete;
  TDroppingRelay& operator=(const TDroppingRelay&) = delete;

  std::uint16_t Port() const { return clientSide_.LocalPort(); }
  int Dropped() const { return dropped_; }

 private:
  static constexpr std::uint32_t kLoopback = 0x7F000001;

  void Forward(bool fromClient) {
    velkaro::TUdpSocket& in = fromClient ? clientSide_ : serverSide_;
    velkaro::TUdpSocket& out = fromClient ? serverSide_ : clientSide_;
    std::vector<std::uint8_t> buffer(70000);
    const auto deadline = Clock::now() + std::chrono::minutes(2);
    while (!stop_ && Clock::now() < deadline) {
      if (!in.WaitReadable(std::chrono::milliseconds(50))) continue;
      const velkaro::TDatagramInfo got = in.ReceiveFrom(buffer);
      const std::span<const std::uint8_t> packet(buffer.data(), got.copied);
      if (fromClient) {
        clientPort_ = got.port;
        if (dropBlock_ != 0 && dropped_ == 0 && packet.size() >= 4 &&
            velkaro::tftp::Word(packet, 0) == velkaro::tftp::opData &&
            velkaro::tftp::Word(packet, 2) == dropBlock_) {
          ++dropped_;
          continue;
        }
        out.SendTo(packet, kLoopback, serverPort_);
      } else {
        serverPort_ = got.port;  // the server answers from its transfer's own port
        out.SendTo(packet, kLoopback, clientPort_);
      }
    }
  }

  velkaro::TUdpSocket clientSide_, serverSide_;
  std::atomic<std::uint16_t> serverPort_;
  std::atomic<std::uint16_t> clientPort_{0};
  const std::uint16_t dropBlock_;
  std::atomic<int> dropped_{0};
  std::atomic<bool> stop_{false};
  std::thread toServer_, toClient_;
};

constexpr std::size_t kLossyFileSize = 2u * 1024 * 1024;
// Halfway through the 1,399 blocks of 1500 bytes.
constexpr std::uint16_t kLostBlock = 700;

void BM_UploadWithOneLostPacket(benchmark::State& state) {
  const bool lose = state.range(0) != 0;
  double seconds = 0;
  try {
    TBench& b = Bench();
    const fs::path source = b.scratch.Path() / "lossy-source.bin";
    {
      std::ofstream f(source, std::ios::binary);
      f.write(b.bytes.data(), static_cast<std::streamsize>(kLossyFileSize));
    }
    const std::string name = lose ? "lossy-dropped.bin" : "lossy-whole.bin";
    for (auto _ : state) {
      TDroppingRelay relay(b.server.Port(), lose ? kLostBlock : 0);
      velkaro::TIdTrivialFTP client;  // 1500-byte blocks, 4 s receive time-out
      client.SetHost("127.0.0.1");
      client.SetPort(relay.Port());
      const auto start = Clock::now();
      client.UploadFile(source.string(), name);
      seconds += std::chrono::duration<double>(Clock::now() - start).count();
      if (relay.Dropped() != (lose ? 1 : 0)) state.SkipWithError("the relay lost the wrong count");
    }
    std::ifstream f(fs::path(b.server.Root()) / name, std::ios::binary);
    const std::vector<char> got((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
    if (got != std::vector<char>(b.bytes.begin(), b.bytes.begin() + kLossyFileSize))
      state.SkipWithError("the server's copy differs");
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
}

// 0: nothing lost; 1: DATA block 700 lost once.
BENCHMARK(BM_UploadWithOneLostPacket)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
