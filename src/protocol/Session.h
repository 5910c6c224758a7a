// What one run of the program works with: the settings of its exchanges, the devices it found
// and, in the window, the one selected. The window owns one session, each command-line run builds
// one and each test its own; nothing about it is process-wide.
#pragma once

#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"

namespace velkaro {

struct TSession {
  TExchangeSettings settings;
  TDeviceList DeviceList;
  int SelectedDevice = 0;
};

// Reply callback of discovery and reads: merges the reply into the session's DeviceList with the
// interface it came through and, with the last flag, tells settings.showDeviceRow.
void MergeReply(TSession& session, const TReply& reply);
// The same for a reply collected elsewhere (another thread) and merged later.
void MergeReplyVia(TSession& session, const TNetLink& via, bool last, const TBytes& datagram);
// A reply callback that merges into `session`, which must outlive it.
TReplyEvent MergeInto(TSession& session);

}  // namespace velkaro
