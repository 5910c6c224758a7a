// 32 MiB uploaded on loopback to tftpd-hpa, by this client and by curl in turn, to the same
// server in the same run. Counters: throughput of each in MiB/s and their ratio (ours / curl).
// Every stored file is compared with the source afterwards (at 512-byte blocks the block number
// wraps past 65535, so this checks the rollover against a real server too).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/TftpdProcess.h"
#include "tftp/IdTrivialFTP.h"

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

}  // namespace

BENCHMARK_MAIN();
