// Throughput of merging replies into device lists of different sizes, and the memory a record
// takes after a discovery reply and after a full read of a rack unit.
#include <benchmark/benchmark.h>

#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "support/ReplyBuilder.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

void EnsureModels() {}

TBytes DiscoveryReply(std::uint64_t mac, std::uint32_t model) {
  TBytes d = ReplyHeader(MacAddress(mac));
  Item(d, 13, U32(model));
  Item(d, 1, U32(0xFFFFFF00));
  Item(d, 2, U32(0x0A000000 | static_cast<std::uint32_t>(mac & 0xFFFF)));
  Item(d, 3, U32(0x0A000001));
  Item(d, 4, {0, 80});
  TextItem(d, 5, "ZEL-8 rack");
  Item(d, 6, {1});
  TextItem(d, 7, "Rack " + std::to_string(mac));
  TextItem(d, 8, "admin");
  TextItem(d, 9, "secret");
  Item(d, 10, {0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  TextItem(d, 11, "fw 2.14");
  TextItem(d, 12, "SN" + std::to_string(mac));
  End(d);
  return d;
}

// The five read replies of a rack unit, every tag of its list with a plausible value.
std::vector<TBytes> RackReadReplies(std::uint64_t mac) {
  std::vector<TBytes> replies(5, ReplyHeader(MacAddress(mac)));
  for (TDescriptor desc : Zel8Descriptors()) {
    const auto tag = DescriptorTag(desc);
    TBytes& d = replies[static_cast<std::size_t>((tag - 1) / 100)];
    switch (DescriptorType(desc)) {
      case vtString:
        TextItem(d, tag, "text of tag " + std::to_string(tag));
        break;
      case vtByte:
        Item(d, tag, {static_cast<std::uint8_t>(tag)});
        break;
      case vtWord:
        Item(d, tag, {0, static_cast<std::uint8_t>(tag)});
        break;
      case vtMac:
        Item(d, tag, {0, 1, 2, 3, 4, 5});
        break;
      default:
        Item(d, tag, U32(tag == 13 ? kModelZel8 : tag));
        break;
    }
  }
  for (auto& d : replies) End(d);
  return replies;
}

// Replies from every device of a list of `devices` records, merged round after round.
void BM_MergeReply(benchmark::State& state) {
  EnsureModels();
  const auto devices = static_cast<std::uint64_t>(state.range(0));
  std::vector<TBytes> replies;
  for (std::uint64_t i = 0; i < devices; ++i) replies.push_back(DiscoveryReply(i + 1, kModelZel8));
  TDeviceList list;
  for (const auto& r : replies) MergeReplyInto(list, r);
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(MergeReplyInto(list, replies[next]));
    if (++next == replies.size()) next = 0;
  }
  state.counters["replies/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MergeReply)->Arg(1)->Arg(100)->Arg(10000);

// Building a list of N devices from scratch: must grow linearly.
void BM_FillList(benchmark::State& state) {
  EnsureModels();
  const auto devices = static_cast<std::uint64_t>(state.range(0));
  std::vector<TBytes> replies;
  for (std::uint64_t i = 0; i < devices; ++i) replies.push_back(DiscoveryReply(i + 1, kModelZel1));
  for (auto _ : state) {
    TDeviceList list;
    for (const auto& r : replies) MergeReplyInto(list, r);
    benchmark::DoNotOptimize(list.size());
  }
  state.SetComplexityN(state.range(0));
  state.counters["replies/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * devices), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FillList)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity();

void BM_RecordMemory(benchmark::State& state) {
  EnsureModels();
  TDeviceList list;
  MergeReplyInto(list, DiscoveryReply(1, kModelZel8));
  const double afterDiscovery = static_cast<double>(sizeof(TZEL) + list[0].values.MemoryBytes());
  for (const auto& r : RackReadReplies(1)) MergeReplyInto(list, r);
  const double afterRead = static_cast<double>(sizeof(TZEL) + list[0].values.MemoryBytes());
  for (auto _ : state) benchmark::DoNotOptimize(list[0].values.Count());
  state.counters["bytes_after_discovery"] = afterDiscovery;
  state.counters["bytes_after_full_read"] = afterRead;
  state.counters["slots_after_full_read"] = static_cast<double>(list[0].values.Count());
}
BENCHMARK(BM_RecordMemory);

}  // namespace

BENCHMARK_MAIN();
