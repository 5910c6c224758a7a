// Answers that come after an exchange stopped listening. A slow device (or a busy network) can
// answer a discovery after the quiet period that ends it; such answers are never merged, since
// the exchange's outcome is already told, but they are counted, so that a scan that finds
// nothing can say that something did answer.
#pragma once

#include <mutex>
#include <vector>

#include "platform/Socket.h"

namespace velkaro {

// Most datagrams read from one kept socket: a flood must not keep a round from starting.
inline constexpr int kMaxLateRepliesPerSocket = 4096;

class TLateReplies {
 public:
  // Keeps the socket of an exchange that has stopped listening: what reaches it from now on
  // waits in its queue until the next Collect.
  void Keep(TUdpSocket socket);
  // Counts (and notes as late in the packet log) what waits on the kept sockets, and closes them.
  void Collect();
  // Collect, then the count since the last Take, which starts again at zero.
  int Take();

 private:
  std::mutex mutex_;  // a watch round may end while the window starts a scan
  std::vector<TUdpSocket> sockets_;
  int count_ = 0;
};

}  // namespace velkaro
