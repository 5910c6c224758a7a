// One template section applied to 100 simulated devices on the loopback interface, one device at
// a time and eight at once: wall time and the write datagrams sent (only changed tags travel).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "operations/ConfigRestore.h"
#include "operations/DeviceOperations.h"
#include "protocol/ConfigFile.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "sim/Simulator.h"

using namespace velkaro;

namespace {

constexpr int kDevices = 100;

void BM_ApplyTemplate(benchmark::State& state) {
  sim::TSimOptions options;
  options.port = 0;
  options.models = {kModelZel4};
  options.count = kDevices;
  sim::TSimulator simulator(options);
  simulator.Start();
  TSession session;
  session.settings.target = {0x7F000001, simulator.Port()};

  std::size_t writes = 0, applied = 0;
  double wallMs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < kDevices; ++i) {  // every device differs from the template again
      simulator.SetValue(i, 4, std::uint32_t{8000 + static_cast<std::uint32_t>(i)});
      simulator.SetValue(i, 30, std::uint32_t{1});
    }
    ops::DiscoverDevices(session, 1);
    std::vector<ops::TApplyJob> jobs;
    const std::vector<ops::TSectionValue> values = {{4, std::uint32_t{8443}},
                                                    {30, std::uint32_t{2}}};
    for (const TZEL& d : session.DeviceList) jobs.push_back({d, values, true});
    const std::size_t before = simulator.RequestCount();
    state.ResumeTiming();

    const auto start = std::chrono::steady_clock::now();
    const auto outcomes =
        ops::ApplyToAll(session.settings, jobs, static_cast<int>(state.range(0)), false);
    wallMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    state.PauseTiming();
    const auto requests = simulator.Requests();
    const std::size_t fresh = std::min(requests.size(), simulator.RequestCount() - before);
    for (std::size_t i = requests.size() - fresh; i < requests.size(); ++i) {
      const TBytes& data = requests[i].data;
      if (data.size() > kCommandOffset &&
          data[kCommandOffset] == static_cast<std::uint8_t>(TCommand::Write))
        ++writes;
    }
    for (const auto& o : outcomes) applied += o.result == ops::TApplyResult::Applied;
    state.ResumeTiming();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["devices"] = kDevices;
  state.counters["applied_avg"] = static_cast<double>(applied) / runs;
  state.counters["write_datagrams_avg"] = static_cast<double>(writes) / runs;
  state.counters["wall_ms"] = wallMs / runs;
  session.DeviceList.Clear();
}

}  // namespace

BENCHMARK(BM_ApplyTemplate)->Arg(1)->Arg(8)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
