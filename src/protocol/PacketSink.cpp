#include "protocol/PacketSink.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "protocol/NetInterfaces.h"

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

std::string PacketInterface(const TUdpSocket& socket) {
  // Sockets of an exchange on chosen interfaces are bound to the interface's own address.
  const std::uint32_t local = socket.LocalAddress();
  if (local == 0) return {};
  using Clock = std::chrono::steady_clock;
  static std::mutex mutex;
  static std::vector<TNetInterface> known;
  static Clock::time_point listed{};
  const std::lock_guard lock(mutex);
  // Listed again for an unknown address, at most once a second: a flood must not pay for it.
  if (Clock::now() - listed > std::chrono::seconds(1) &&
      std::none_of(known.begin(), known.end(),
                   [local](const TNetInterface& i) { return i.link.localAddress == local; })) {
    known = UsableInterfaces();
    listed = Clock::now();
  }
  for (const TNetInterface& i : known)
    if (i.link.localAddress == local) return i.link.name;
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

int ReadQueuedDatagrams(TPacketProtocol protocol, TUdpSocket& socket, int most) {
  if (!socket.IsOpen()) return 0;
  TPacketSink* sink = PacketSink();
  std::vector<std::uint8_t> buffer(65536);
  int count = 0;
  while (count < most) {
    TDatagramInfo info;
    try {
      if (!socket.WaitReadable(std::chrono::milliseconds(0))) break;
      info = socket.ReceiveFrom(buffer);
    } catch (const std::exception&) {
      break;  // the exchange is over; a failing socket has nothing more to tell
    }
    ++count;
    if (sink)
      Deliver(*sink, protocol, TPacketDirection::Received, true, socket, info.address, info.port,
              std::span<const std::uint8_t>(buffer).first(info.copied), info.size);
  }
  return count;
}

void NoteLateDatagrams(TPacketProtocol protocol, TUdpSocket& socket) {
  if (PacketSink()) ReadQueuedDatagrams(protocol, socket, kMaxLateDatagrams);
}

}  // namespace velkaro
