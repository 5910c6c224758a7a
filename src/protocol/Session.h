// What one run of the program works with: the settings of its exchanges, the devices it found,
// in the window the one selected, and the OEM variant it runs as. The window owns one session, each
// command-line run builds one and each test its own; nothing about it is process-wide.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "protocol/OemVariant.h"

namespace velkaro {

struct TSession {
  TExchangeSettings settings;
  TDeviceList DeviceList;
  int SelectedDevice = 0;
  TOemVariant oem;
  // When a merged reply was heard (TPresence); tests put a clock of their own here.
  std::function<TWallTime()> clock = [] { return std::chrono::system_clock::now(); };
};

// Makes `variant` the session's OEM variant, its code that of every request the session sends.
void UseOem(TSession& session, const TOemVariant& variant);

// A copy of the selected device's record; none when SelectedDevice is outside the list.
std::optional<TZEL> SelectedRecord(const TSession& session);

// Reply callback of discovery and reads: merges the reply into the session's DeviceList with the
// interface it came through, notes it heard at clock() and, with the last flag, tells
// settings.showDeviceRow.
void MergeReply(TSession& session, const TReply& reply);
// The same for a reply collected elsewhere (another thread) and merged later.
void MergeReplyVia(TSession& session, const TNetLink& via, bool last, const TBytes& datagram);
// A reply callback that merges into `session`, which must outlive it.
TReplyEvent MergeInto(TSession& session);

}  // namespace velkaro
