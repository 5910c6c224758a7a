// Watching the devices over many discovery rounds: which one appeared, changed what the scan
// shows of it, went missing or came back. The command line's watch and the window share these
// rules; the presence they work on lives in the session's DeviceList.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "protocol/Session.h"

namespace velkaro::ops {

enum class TWatchEventKind { Appeared, Changed, Missing, Back };

struct TWatchEvent {
  TWatchEventKind kind;
  // When it happened: the reply's moment, or for Missing the moment the missing time ran out.
  TWallTime time;
  std::size_t index;  // in session.DeviceList
  TZEL device;        // the record after the event
  TZEL before;        // for Changed: the record before it
  // For Changed: the scan object's fields that differ, in its order (see kWatchedFields).
  std::vector<std::string> fields;
};

// "appeared", "changed", "missing", "back".
const char* WatchEventName(TWatchEventKind kind);

// The scan object's fields in its order; a device is one device by its address, so "mac" never
// changes.
inline constexpr const char* kWatchedFields[] = {"name",      "type", "ip",   "mac",
                                                 "interface", "port", "model"};
// The fields of kWatchedFields whose values differ between the two records, in that order.
std::vector<std::string> ChangedFields(const TZEL& before, const TZEL& after);

class TDeviceWatch {
 public:
  explicit TDeviceWatch(std::chrono::milliseconds missingAfter = std::chrono::seconds(10));

  // One discovery round's replies merged into the session as a scan round merges them
  // (DeviceList.StartRound() first, then MergeReply per reply); returns appeared / changed /
  // back events in reply order (a device answering twice in a round gives at most one event
  // per kind).
  std::vector<TWatchEvent> MergeRound(TSession& session, const std::vector<TReply>& replies);
  // Marks every device not heard for missingAfter (by session.clock()) as missing; returns one
  // Missing event per device that just went missing (never twice in a row without a Back
  // between).
  std::vector<TWatchEvent> MarkMissing(TSession& session);
  std::chrono::milliseconds MissingAfter() const { return missingAfter_; }

 private:
  std::chrono::milliseconds missingAfter_;
};

}  // namespace velkaro::ops
