// Where a packet log hears about every datagram the program sends or receives. No sink set costs
// one pointer check per datagram; the log itself lives in the diag layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/Socket.h"

namespace velkaro {

enum class TPacketProtocol : std::uint8_t { Device, Tftp };
enum class TPacketDirection : std::uint8_t { Sent, Received };

struct TPacketNote {
  TPacketProtocol protocol = TPacketProtocol::Device;
  TPacketDirection direction = TPacketDirection::Sent;
  // Received after the exchange that owned the socket had ended.
  bool late = false;
  std::uint16_t localPort = 0;
  std::uint32_t peerAddress = 0;
  std::uint16_t peerPort = 0;
  std::span<const std::uint8_t> data;  // as sent, or as much as was received
  std::size_t size = 0;                // real length; larger than data for a datagram cut short
  std::string interfaceName;           // empty while unknown
};

class TPacketSink {
 public:
  virtual ~TPacketSink() = default;
  // Called from whichever thread moved the datagram; must be thread-safe.
  virtual void Note(const TPacketNote& note) = 0;
};

// The sink of this process (not owned); nullptr ends logging.
void SetPacketSink(TPacketSink* sink);
TPacketSink* PacketSink();

// The hooks of the exchange and the TFTP client: one call per datagram.
void NoteSent(TPacketProtocol protocol, const TUdpSocket& socket,
              std::span<const std::uint8_t> data, std::uint32_t address, std::uint16_t port);
void NoteReceived(TPacketProtocol protocol, const TUdpSocket& socket, const TDatagramInfo& info,
                  std::span<const std::uint8_t> buffer);
// Reads and notes what is still queued on the socket once its exchange is over (only while a
// sink is set: without one the kernel drops them with the socket anyway).
void NoteLateDatagrams(TPacketProtocol protocol, TUdpSocket& socket);
// Reads, without waiting, at most `most` datagrams queued on the socket, notes each as late when
// a sink is set, and returns how many there were.
int ReadQueuedDatagrams(TPacketProtocol protocol, TUdpSocket& socket, int most);

// The interface a socket's datagrams go through: the one whose address the socket is bound to;
// empty for a socket bound to every address (an explicit target).
std::string PacketInterface(const TUdpSocket& socket);

}  // namespace velkaro
