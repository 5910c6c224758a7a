#include "protocol/PacketSink.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace velkaro {

namespace {

std::atomic<TPacketSink*> currentSink{nullptr};

// Late datagrams taken from one socket at most: a flood must not keep an exchange from ending.
constexpr int kMaxLateDatagrams = 64;

void Deliver(TPacketSink& sink, TPacketProtocol protocol, TPacketDirection direction, bool late,
             const TUdpSocket& socket, std::uint32_t peer, std::uint16_t peerPort,
             std::span<const std::uint8_t> data, std::size_t size) {
  TPacketNote note;
  note.protocol = protocol;
  note.direction = direction;
  note.late = late;
  note.localPort = socket.LocalPort();
  note.peerAddress = peer;
  note.peerPort = peerPort;
  note.data = data;
  note.size = size;
  note.interfaceName = PacketInterface(socket);
  sink.Note(note);
}

}  // namespace

void SetPacketSink(TPacketSink* sink) {
  currentSink.store(sink);
}

TPacketSink* PacketSink() {
  return currentSink.load(std::memory_order_relaxed);
}

std::string PacketInterface(const TUdpSocket& /*socket*/) {
  return {};
}

void NoteSent(TPacketProtocol protocol, const TUdpSocket& socket,
              std::span<const std::uint8_t> data, std::uint32_t address, std::uint16_t port) {
  if (TPacketSink* sink = PacketSink())
    Deliver(*sink, protocol, TPacketDirection::Sent, false, socket, address, port, data,
            data.size());
}

void NoteReceived(TPacketProtocol protocol, const TUdpSocket& socket, const TDatagramInfo& info,
                  std::span<const std::uint8_t> buffer) {
  if (TPacketSink* sink = PacketSink())
    Deliver(*sink, protocol, TPacketDirection::Received, false, socket, info.address, info.port,
            buffer.first(std::min(info.copied, buffer.size())), info.size);
}

void NoteLateDatagrams(TPacketProtocol protocol, TUdpSocket& socket) {
  TPacketSink* sink = PacketSink();
  if (!sink || !socket.IsOpen()) return;
  std::vector<std::uint8_t> buffer(65536);
  for (int i = 0; i < kMaxLateDatagrams; ++i) {
    TDatagramInfo info;
    try {
      if (!socket.WaitReadable(std::chrono::milliseconds(0))) return;
      info = socket.ReceiveFrom(buffer);
    } catch (const std::exception&) {
      return;  // the exchange is over; a failing socket has nothing more to tell
    }
    Deliver(*sink, protocol, TPacketDirection::Received, true, socket, info.address, info.port,
            std::span<const std::uint8_t>(buffer).first(info.copied), info.size);
  }
}

}  // namespace velkaro
