#include "protocol/LateReplies.h"

#include "protocol/PacketSink.h"

namespace velkaro {

void TLateReplies::Keep(TUdpSocket socket) {
  const std::lock_guard lock(mutex_);
  sockets_.push_back(std::move(socket));
}

void TLateReplies::Collect() {
  const std::lock_guard lock(mutex_);
  for (TUdpSocket& socket : sockets_)
    count_ += ReadQueuedDatagrams(TPacketProtocol::Device, socket, kMaxLateRepliesPerSocket);
  sockets_.clear();
}

int TLateReplies::Take() {
  Collect();
  const std::lock_guard lock(mutex_);
  const int count = count_;
  count_ = 0;
  return count;
}

}  // namespace velkaro
