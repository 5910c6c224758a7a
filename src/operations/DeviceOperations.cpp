#include "operations/DeviceOperations.h"

#include <algorithm>
#include <thread>

#include "protocol/ConfigFile.h"
#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::ops {

std::string NoAnswerText(const TExchangeSettings& settings) {
  if (!settings.target.EveryInterface()) return {};
  return "No device answered on " + InterfacesText(ChosenInterfaces(settings)) +
         "; a firewall must let UDP replies from port " + std::to_string(kDevicePort) + " in";
}

std::string LateRepliesText(int count) {
  const bool one = count == 1;
  return std::to_string(count) + (one ? " reply came" : " replies came") + " after the " +
         std::to_string(kReceivePeriod.count()) + " ms listening period and " +
         (one ? "was" : "were") +
         " left out; slow devices may need a quieter network or a direct --target";
}

TExchangeResult DiscoverRound(TSession& session, TLateReplies* late) {
  session.DeviceList.StartRound();
  return Discover(session.settings, MergeInto(session), late);
}

TDiscovery DiscoverDevices(TSession& session, int rounds, const std::function<bool()>& done,
                           std::chrono::milliseconds linger) {
  session.DeviceList.Clear();
  session.SelectedDevice = 0;
  TDiscovery discovery;
  TLateReplies late;
  bool ended = false;
  auto next = std::chrono::steady_clock::now();
  while (discovery.rounds < rounds) {
    std::this_thread::sleep_until(next);
    // The last round's sockets waited for stragglers until now.
    late.Collect();
    // A round longer than the interval (a busy network) is followed at once by the next.
    next = std::chrono::steady_clock::now() + kScanInterval;
    discovery.exchange.Add(DiscoverRound(session, &late));
    ++discovery.rounds;
    if (done && done()) {
      ended = true;
      break;
    }
  }
  if (!ended && linger.count() > 0) std::this_thread::sleep_for(linger);
  discovery.late = late.Take();
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
        type <= vtDWord && !record.values.Reported(tag)) {
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

namespace {

bool FromDevice(const TDeviceAddress& address, const TBytes& data) {
  return data.size() >= kMinReplySize &&
         std::equal(address.begin(), address.end(), data.begin() + kSourceOffset);
}

TWriteOutcome RunWrites(const TExchangeSettings& settings,
                        const std::vector<TBatchRequest>& requests, const TZEL& record) {
  const TDeviceAddress& address = record.address;
  TWriteOutcome outcome;
  for (const TBatchRequest& request : requests) {
    ++outcome.requests;
    bool acknowledged = false;
    outcome.exchange.Add(ExchangeWithResends(
        settings, request.data, 10, kWriteResends, [&acknowledged] { return acknowledged; },
        [&](const TReply& reply) {
          // A late acknowledgement of a send repeated after it is one acknowledgement.
          if (!FromDevice(address, reply.data) || acknowledged) return;
          acknowledged = true;
          ++outcome.acknowledged;
          if (reply.last) outcome.finalAcknowledged = true;
        },
        request.last, record.link));
    if (outcome.exchange.NoSocket()) break;
  }
  return outcome;
}

// The record of a listed device, by value: merges during an operation may move the list.
TZEL ListedRecord(const TSession& session, int index) {
  return session.DeviceList.At(index);
}

}  // namespace

TReadOutcome ReadAll(const TExchangeSettings& settings, TZEL& record) {
  TReadOutcome outcome;
  TDeviceList own;
  own.Append(record.address);
  own.Replace(0, record);
  outcome.answered = true;
  for (const TBatchRequest& request : ReadRequests(record)) {
    bool heard = false;
    for (int attempt = 0; attempt <= kReadRepeats && !heard; ++attempt) {
      outcome.exchange.Add(Exchange(
          settings, request.data, 0,
          [&](const TReply& reply) {
            if (!FromDevice(record.address, reply.data)) return;
            heard = true;
            MergeReplyInto(own, reply.data);
          },
          request.last, record.link));
      if (outcome.exchange.NoSocket()) {
        outcome.answered = false;
        return outcome;
      }
    }
    if (!heard) {
      outcome.answered = false;  // the later requests would not make the read whole
      return outcome;
    }
  }
  record = own[0];
  if (outcome.answered) outcome.unreported = UnreportedTags(record);
  return outcome;
}

TReadOutcome ReadDevice(TSession& session, int index) {
  const TBusyGuard busy(session.settings);
  TZEL record = ListedRecord(session, index);
  TReadOutcome outcome = ReadAll(session.settings, record);
  StoreReadRecord(session, index, record, outcome);
  return outcome;
}

void StoreReadRecord(TSession& session, int index, const TZEL& record,
                     const TReadOutcome& outcome) {
  session.DeviceList.Replace(static_cast<std::size_t>(index), record);
  if (outcome.answered) {
    if (const auto& show = session.settings.showDeviceRow) show(index);
  }
}

TWriteOutcome WriteAll(const TExchangeSettings& settings, const TZEL& record) {
  return RunWrites(settings,
                   WriteRequests(record,
                                 [&record](int tag) {
                                   return WrittenByWriteAll(record,
                                                            static_cast<std::uint16_t>(tag));
                                 }),
                   record);
}

TWriteOutcome WriteGeneral(const TExchangeSettings& settings, const TZEL& record) {
  return RunWrites(settings, {GeneralWriteRequest(record)}, record);
}

TWriteOutcome WriteDevice(TSession& session, int index, TWriteScope scope) {
  const TBusyGuard busy(session.settings);
  const TZEL record = ListedRecord(session, index);
  return scope == TWriteScope::All ? WriteAll(session.settings, record)
                                   : WriteGeneral(session.settings, record);
}

TWriteOutcome WriteTags(const TExchangeSettings& settings, const TZEL& record,
                        const std::vector<int>& tags) {
  return RunWrites(
      settings,
      WriteRequests(
          record,
          [&tags](int tag) { return std::find(tags.begin(), tags.end(), tag) != tags.end(); },
          true),
      record);
}

TSaveOutcome SaveDevice(TSession& session, int index, const std::string& fileName) {
  return SaveReadDevice(session, index, fileName, ReadDevice(session, index));
}

TSaveOutcome SaveReadDevice(const TSession& session, int index, const std::string& fileName,
                            TReadOutcome read) {
  TSaveOutcome outcome;
  outcome.read = std::move(read);
  if (!outcome.read.answered) return outcome;
  const TBusyGuard busy(session.settings);
  try {
    SaveConfig(fileName, ListedRecord(session, index));
    outcome.saved = true;
  } catch (const std::exception& e) {
    outcome.error = e.what();
  }
  return outcome;
}

}  // namespace velkaro::ops
