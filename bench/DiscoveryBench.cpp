// One discovery exchange answered by many simulated devices on the loopback interface: how many
// reach the device list and how long the exchange takes. And a whole default scan on a lossy
// network: how many of the devices it lists.
#include <benchmark/benchmark.h>

#include <chrono>

#include "operations/DeviceOperations.h"
#include "platform/Socket.h"
#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "sim/Simulator.h"
#include "support/Loopback.h"

using namespace velkaro;
using Clock = std::chrono::steady_clock;

namespace {

void BM_Discovery(benchmark::State& state) {
  sim::TSimOptions options;
  options.port = 0;
  options.count = static_cast<int>(state.range(0));
  sim::TSimulator simulator(options);
  simulator.Start();
  TSession session;
  session.settings.target = {velkaro::testing::kLoopback, simulator.Port()};
  std::size_t errors = 0;

  double listed = 0, wallMs = 0, lastReplyMs = 0, minListed = 1e18;
  for (auto _ : state) {
    session.DeviceList.Clear();
    Clock::time_point lastReply{};
    const auto start = Clock::now();
    errors += Discover(session.settings, [&](const TReply& reply) {
                MergeReply(session, reply);
                lastReply = Clock::now();
              }).errors.size();
    const auto end = Clock::now();
    const double n = static_cast<double>(session.DeviceList.size());
    listed += n;
    minListed = std::min(minListed, n);
    wallMs += std::chrono::duration<double, std::milli>(end - start).count();
    if (lastReply != Clock::time_point{})
      lastReplyMs += std::chrono::duration<double, std::milli>(lastReply - start).count();
  }
  const double runs = static_cast<double>(state.iterations());
  TUdpSocket probe;
  state.counters["devices"] = static_cast<double>(options.count);
  state.counters["listed_avg"] = listed / runs;
  state.counters["listed_min"] = minListed;
  state.counters["exchange_ms"] = wallMs / runs;
  state.counters["last_reply_ms"] = lastReplyMs / runs;
  state.counters["errors"] = static_cast<double>(errors);
  state.counters["rcvbuf_bytes"] =
      static_cast<double>(probe.SetReceiveBuffer(kExchangeReceiveBuffer));

  session.DeviceList.Clear();
}

BENCHMARK(BM_Discovery)
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(10)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A default scan (10 rounds) of 1,000 devices that lose each request and each answer with the
// probability range(0) / 100; every iteration with another seed.
void BM_LossyScan(benchmark::State& state) {
  constexpr int kDevices = 1000;
  constexpr int kRounds = 10;
  TSession session;
  double listed = 0, minListed = 1e18, wallMs = 0;
  std::size_t errors = 0;
  std::uint64_t seed = 1;
  for (auto _ : state) {
    state.PauseTiming();
    sim::TSimOptions options;
    options.port = 0;
    options.count = kDevices;
    options.dropRate = static_cast<double>(state.range(0)) / 100;
    options.seed = seed++;
    sim::TSimulator simulator(options);
    simulator.Start();
    session.settings.target = {velkaro::testing::kLoopback, simulator.Port()};
    state.ResumeTiming();
    const auto start = Clock::now();
    errors += ops::DiscoverDevices(session, kRounds).exchange.errors.size();
    wallMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const double n = static_cast<double>(session.DeviceList.size());
    listed += n;
    minListed = std::min(minListed, n);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["drop_rate"] = static_cast<double>(state.range(0)) / 100;
  state.counters["devices"] = kDevices;
  state.counters["listed_avg"] = listed / runs;
  state.counters["listed_min"] = minListed;
  state.counters["listed_pct"] = 100 * listed / runs / kDevices;
  state.counters["scan_ms"] = wallMs / runs;
  state.counters["errors"] = static_cast<double>(errors);
  session.DeviceList.Clear();
}

BENCHMARK(BM_LossyScan)
    ->Arg(0)
    ->Arg(10)
    ->Arg(20)
    ->Arg(30)
    ->Iterations(10)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
