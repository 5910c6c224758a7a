#include "operations/DeviceOperations.h"

#include <algorithm>
#include <thread>

#include "protocol/ConfigFile.h"
#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::ops {

TExchangeResult DiscoverRound() {
  return Discover(MergeReply);
}

TDiscovery DiscoverDevices(int rounds, const std::function<bool()>& done) {
  DeviceList.Clear();
  SelectedDevice = 0;
  TDiscovery discovery;
  auto next = std::chrono::steady_clock::now();
  while (discovery.rounds < rounds) {
    std::this_thread::sleep_until(next);
    // A round longer than the interval (a busy network) is followed at once by the next.
    next = std::chrono::steady_clock::now() + kScanInterval;
    discovery.exchange.Add(DiscoverRound());
    ++discovery.rounds;
    if (done && done()) break;
  }
  return discovery;
}

std::vector<int> UnreportedTags(const TZEL& record) {
  std::vector<int> tags;
  const std::uint32_t model = record.ModelCode();
  const int last = MaxTag(model);
  for (int tag = 1; tag <= last; ++tag) {
    const auto t = static_cast<std::uint16_t>(tag);
    const std::uint8_t type = TypeOfTag(t, model) & 0x7F;
    if (HasTag(t, model) && FlagsOfTag(t, model) != kFlagWriteOnly && type >= vtIPv4 &&
        type <= vtDWord && !record.values.Has(tag)) {
      tags.push_back(tag);
    }
  }
  return tags;
}

std::string TagListText(const std::vector<int>& tags) {
  std::string text;
  constexpr std::size_t kShown = 10;
  for (std::size_t i = 0; i < tags.size() && i < kShown; ++i) {
    text += (i ? ", " : "") + std::to_string(tags[i]);
  }
  if (tags.size() > kShown) text += " and " + std::to_string(tags.size() - kShown) + " more";
  return text;
}

TReadOutcome ReadDevice(int index) {
  TReadOutcome outcome;
  const TDeviceAddress address = DeviceList.At(index).address;
  outcome.exchange = ReadAll(index, [&](const std::string& ip, int port, bool last,
                                        const TBytes& data) {
    MergeReply(ip, port, last, data);
    if (last && data.size() >= kMinReplySize &&
        std::equal(address.begin(), address.end(), data.begin() + kSourceOffset)) {
      outcome.answered = true;
    }
  });
  // Reply callbacks may have grown the list, but never move a record to another index.
  if (outcome.answered)
    outcome.unreported = UnreportedTags(DeviceList[static_cast<std::size_t>(index)]);
  return outcome;
}

TWriteOutcome WriteDevice(int index, TWriteScope scope) {
  TWriteOutcome outcome;
  const std::uint32_t model = DeviceList.At(index).ModelCode();
  const auto onReply = [&outcome](const std::string&, int, bool last, const TBytes&) {
    ++outcome.acknowledged;
    if (last) outcome.finalAcknowledged = true;
  };
  if (scope == TWriteScope::All) {
    outcome.requests = std::max(1, (MaxTag(model) + kTagsPerRequest - 1) / kTagsPerRequest);
    outcome.exchange = WriteAll(index, onReply);
  } else {
    outcome.requests = 1;
    outcome.exchange = WriteGeneral(index, onReply);
  }
  return outcome;
}

TSaveOutcome SaveDevice(int index, const std::string& fileName) {
  TSaveOutcome outcome;
  outcome.read = ReadDevice(index);
  if (!outcome.read.answered || !outcome.read.unreported.empty()) return outcome;
  try {
    SaveConfig(fileName, index);
    outcome.saved = true;
  } catch (const std::exception& e) {
    outcome.error = e.what();
  }
  return outcome;
}

}  // namespace velkaro::ops
