#include "protocol/Session.h"

namespace velkaro {

void MergeReply(TSession& session, const TReply& reply) {
  MergeReplyVia(session, reply.via, reply.last, reply.data);
}

void MergeReplyVia(TSession& session, const TNetLink& via, bool last, const TBytes& datagram) {
  const int index = MergeReplyInto(session.DeviceList, datagram, via);
  if (index >= 0 && last) {
    if (const auto& show = session.settings.showDeviceRow) show(index);
  }
}

TReplyEvent MergeInto(TSession& session) {
  return [&session](const TReply& reply) { MergeReply(session, reply); };
}

}  // namespace velkaro
