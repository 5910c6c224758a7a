#include "protocol/Session.h"

namespace velkaro {

void MergeReply(TSession& session, const TReply& reply) {
  MergeReplyVia(session, reply.via, reply.last, reply.data);
}

void MergeReplyVia(TSession& session, const TNetLink& via, bool last, const TBytes& datagram) {
  const int index = MergeReplyInto(session.DeviceList, datagram, via);
  if (index < 0) return;
  session.DeviceList.NoteHeard(static_cast<std::size_t>(index),
                               session.clock ? session.clock() : std::chrono::system_clock::now());
  if (last) {
    if (const auto& show = session.settings.showDeviceRow) show(index);
  }
}

void UseOem(TSession& session, const TOemVariant& variant) {
  session.oem = variant;
  session.settings.oemCode = variant.code;
}

std::optional<TZEL> SelectedRecord(const TSession& session) {
  const int index = session.SelectedDevice;
  if (index < 0 || static_cast<std::size_t>(index) >= session.DeviceList.size())
    return std::nullopt;
  return session.DeviceList[static_cast<std::size_t>(index)];
}

TReplyEvent MergeInto(TSession& session) {
  return [&session](const TReply& reply) { MergeReply(session, reply); };
}

}  // namespace velkaro
