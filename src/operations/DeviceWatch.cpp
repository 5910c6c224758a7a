#include "operations/DeviceWatch.h"

#include <algorithm>
#include <optional>

#include "protocol/Frame.h"

namespace velkaro::ops {

namespace {

// The address a merge would file the reply under, when it carries one.
std::optional<TDeviceAddress> SourceOf(const TBytes& datagram) {
  if (datagram.size() < kMinReplySize) return std::nullopt;
  TDeviceAddress source;
  std::copy_n(datagram.begin() + kSourceOffset, source.size(), source.begin());
  return source;
}

bool FieldDiffers(std::string_view field, const TZEL& a, const TZEL& b) {
  if (field == "name") return a.values.AsText(7) != b.values.AsText(7);
  if (field == "type") return a.values.AsText(5) != b.values.AsText(5);
  if (field == "ip") return a.values.AsUInt(2) != b.values.AsUInt(2);
  if (field == "mac") return a.MAC != b.MAC;
  if (field == "interface") return a.link.name != b.link.name;
  if (field == "port") return a.values.AsUInt(4) != b.values.AsUInt(4);
  return a.ModelCode() != b.ModelCode();
}

// A device's state when it first answered in a round.
struct TFirstAnswer {
  std::size_t index;
  bool known;       // listed before this round
  bool wasMissing;  // and missing then
  TZEL before;      // its record then
  TWallTime heard;  // the moment of that answer
};

}  // namespace

const char* WatchEventName(TWatchEventKind kind) {
  switch (kind) {
    case TWatchEventKind::Appeared:
      return "appeared";
    case TWatchEventKind::Changed:
      return "changed";
    case TWatchEventKind::Missing:
      return "missing";
    case TWatchEventKind::Back:
      return "back";
  }
  return "";
}

std::vector<std::string> ChangedFields(const TZEL& before, const TZEL& after) {
  std::vector<std::string> fields;
  for (const char* field : kWatchedFields)
    if (FieldDiffers(field, before, after)) fields.emplace_back(field);
  return fields;
}

TDeviceWatch::TDeviceWatch(std::chrono::milliseconds missingAfter) : missingAfter_(missingAfter) {}

std::vector<TWatchEvent> TDeviceWatch::MergeRound(TSession& session,
                                                  const std::vector<TReply>& replies) {
  TDeviceList& list = session.DeviceList;
  list.StartRound();
  std::vector<TFirstAnswer> answers;  // in the order of first answers
  std::vector<bool> answered(list.size(), false);
  for (const TReply& reply : replies) {
    const std::optional<TDeviceAddress> source = SourceOf(reply.data);
    const int known = source ? list.Find(*source) : -1;
    std::optional<TFirstAnswer> first;
    if (known >= 0 && !answered[static_cast<std::size_t>(known)]) {
      const auto at = static_cast<std::size_t>(known);
      first = TFirstAnswer{at, true, list.PresenceOf(at).missing, list[at], {}};
    }
    const std::size_t sizeBefore = list.size();
    MergeReply(session, reply);
    if (!first && list.size() > sizeBefore) first = TFirstAnswer{sizeBefore, false, false, {}, {}};
    if (!first) continue;  // ignored, or the device's second answer this round
    if (answered.size() < list.size()) answered.resize(list.size(), false);
    answered[first->index] = true;
    first->heard = list.PresenceOf(first->index).lastHeard;
    answers.push_back(std::move(*first));
  }

  std::vector<TWatchEvent> events;
  for (const TFirstAnswer& a : answers) {
    const TZEL& now = list[a.index];
    if (!a.known) {
      events.push_back({TWatchEventKind::Appeared, a.heard, a.index, now, {}, {}});
      continue;
    }
    if (a.wasMissing) events.push_back({TWatchEventKind::Back, a.heard, a.index, now, {}, {}});
    std::vector<std::string> fields = ChangedFields(a.before, now);
    if (!fields.empty())
      events.push_back(
          {TWatchEventKind::Changed, a.heard, a.index, now, a.before, std::move(fields)});
  }
  return events;
}

std::vector<TWatchEvent> TDeviceWatch::MarkMissing(TSession& session) {
  TDeviceList& list = session.DeviceList;
  const TWallTime now = session.clock ? session.clock() : std::chrono::system_clock::now();
  std::vector<TWatchEvent> events;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const TPresence& p = list.PresenceOf(i);
    if (p.missing || now - p.lastHeard < missingAfter_) continue;
    const TWallTime since = p.lastHeard + missingAfter_;
    list.SetMissing(i, since);
    events.push_back({TWatchEventKind::Missing, since, i, list[i], {}, {}});
  }
  return events;
}

}  // namespace velkaro::ops
