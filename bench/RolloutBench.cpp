// Firmware for 20 simulated devices, 2 MiB each, every device on its own 127.0.0.x with its own
// TFTP receiver, no return wait: wall time of the whole rollout by devices in flight.
// Counters: seconds per rollout; every run checks that each device got the image whole.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "operations/FirmwareRollout.h"
#include "platform/Socket.h"
#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "sim/Simulator.h"

using namespace velkaro;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDevices = 20;
constexpr std::size_t kImageBytes = 2u * 1024 * 1024;

void BM_Rollout(benchmark::State& state) {
  TBytes image(kImageBytes);
  std::uint32_t x = 0x9E3779B9u;
  for (auto& b : image) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  const auto file = std::filesystem::temp_directory_path() /
                    ("velkaro-rollout-bench-" + std::to_string(::getpid()) + ".bin");
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));

  sim::TSimOptions options;
  options.port = 0;
  options.models = {kModelZel1};
  options.count = kDevices;
  options.loopbackIps = true;
  {
    TUdpSocket probe;
    probe.Bind(0x7F000001, 0);
    options.tftpPort = probe.LocalPort();
  }
  sim::TSimulator simulator(options);
  simulator.Start();
  std::vector<TZEL> devices;
  for (std::size_t i = 0; i < kDevices; ++i) devices.push_back(simulator.Snapshot(i));

  ops::TRolloutSettings rollout;
  rollout.exchange.target = {0x7F000001, simulator.Port()};
  rollout.file = file.string();
  rollout.tftpPort = options.tftpPort;
  rollout.parallel = static_cast<int>(state.range(0));
  rollout.returnTimeout = std::chrono::milliseconds(0);
  double seconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto results = ops::RunRollout(devices, rollout);
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    for (const auto& r : results) {
      if (r.result != ops::TRolloutResult::Ok) state.SkipWithError(r.error.c_str());
    }
  }
  for (std::size_t i = 0; i < kDevices; ++i) {
    const auto uploads = simulator.Uploads(i);
    if (uploads.latest.empty() || uploads.latest.back() != image)
      state.SkipWithError("a device's image differs");
  }
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
  state.counters["max_in_flight"] = static_cast<double>(simulator.MaxConcurrentTransfers());
  std::filesystem::remove(file);
}

}  // namespace

BENCHMARK(BM_Rollout)->Arg(1)->Arg(4)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
