#include "tftp/IdUDPBase.h"

#include <stdexcept>

#include "protocol/PacketSink.h"
#include "tftp/IdException.h"

namespace velkaro {

void TIdUDPBase::SetActive(bool active) {
  if (active) {
    Binding();
  } else {
    socket_.reset();
  }
}

void TIdUDPBase::SetBufferSize(int bytes) {
  if (bytes < 1) throw std::invalid_argument("BufferSize must be at least 1");
  bufferSize_ = bytes;
}

void TIdUDPBase::SetBroadcastEnabled(bool enabled) {
  if (enabled && socket_) {
    try {
      socket_->EnableBroadcast();
    } catch (const TSocketError& e) {
      throw EIdSocketError(e.SystemError());
    }
  }
  // Turning it off takes effect with the next socket.
  broadcastEnabled_ = enabled;
}

TUdpSocket& TIdUDPBase::Binding() {
  if (!socket_) {
    try {
      TUdpSocket s;
      if (broadcastEnabled_) s.EnableBroadcast();
      if (localAddress_ != 0) s.Bind(localAddress_, 0);
      socket_.emplace(std::move(s));
    } catch (const TSocketError& e) {
      throw EIdSocketError(e.SystemError());
    }
  }
  return *socket_;
}

void TIdUDPBase::SendBuffer(std::uint32_t address, std::uint16_t port,
                            std::span<const std::uint8_t> data) {
  if (transport_) return transport_->Send(address, port, data);
  TUdpSocket& s = Binding();
  try {
    s.SendTo(data, address, port);
    NoteSent(TPacketProtocol::Tftp, s, data, address, port);
  } catch (const TSocketError& e) {
    throw EIdSocketError(e.SystemError());
  }
}

std::optional<TDatagramInfo> TIdUDPBase::ReceiveBuffer(std::span<std::uint8_t> buffer,
                                                       std::chrono::milliseconds timeout) {
  if (transport_) return transport_->Receive(buffer, timeout);
  TUdpSocket& s = Binding();
  try {
    if (!s.WaitReadable(timeout)) return std::nullopt;
    const TDatagramInfo info = s.ReceiveFrom(buffer);
    NoteReceived(TPacketProtocol::Tftp, s, info, buffer);
    return info;
  } catch (const TSocketError& e) {
    throw EIdSocketError(e.SystemError());
  }
}

}  // namespace velkaro
