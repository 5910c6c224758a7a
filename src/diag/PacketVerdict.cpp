#include "diag/PacketVerdict.h"

#include <algorithm>

#include "protocol/Exchange.h"
#include "protocol/Frame.h"
#include "tftp/TftpPacket.h"

namespace velkaro::diag {

namespace {

using tftp::Text;
using tftp::Word;

// Local ports remembered at most: a long session opens a socket per exchange.
constexpr std::size_t kMaxRemembered = 4096;

std::string TooLarge(const TPacketNote& note, std::size_t limit) {
  return "too large (" + std::to_string(note.size) + " bytes, limit " + std::to_string(limit) + ")";
}

std::string RequestName(std::uint8_t command) {
  switch (static_cast<TCommand>(command)) {
    case TCommand::Discover:
      return "discover request";
    case TCommand::Read:
      return "read request";
    case TCommand::Write:
      return "write request";
    case TCommand::Upgrade:
      return "upgrade trigger";
  }
  return "request with command " + std::to_string(command);
}

// Offset of the first item cut short by the datagram's end, or 0.
std::size_t TruncatedItemAt(std::span<const std::uint8_t> datagram) {
  std::size_t at = 0;
  WalkReplyItems(datagram, [&](const TReplyItem& item) {
    if (item.truncated) at = static_cast<std::size_t>(item.value.data() - datagram.data()) - 3;
  });
  return at;
}

template <typename Map>
auto& Fresh(Map& map, std::uint16_t port) {
  if (map.size() >= kMaxRemembered) map.clear();
  auto& state = map[port];
  state = {};
  return state;
}

}  // namespace

std::string TPacketVerdict::Judge(const TPacketNote& note) {
  if (note.late) return "late";
  return note.protocol == TPacketProtocol::Device ? JudgeDevice(note) : JudgeTftp(note);
}

std::string TPacketVerdict::JudgeDevice(const TPacketNote& note) {
  const auto d = note.data;
  if (note.direction == TPacketDirection::Sent) {
    auto& state = Fresh(exchanges_, note.localPort);
    state.command = d.size() > kCommandOffset ? d[kCommandOffset] : 0xFF;
    return RequestName(state.command);
  }
  if (note.size > kMaxDatagram || note.size > d.size()) return TooLarge(note, kMaxDatagram);
  if (note.size == 0) return "empty";
  if (d.size() < kMinReplySize) return "too short (" + std::to_string(d.size()) + " bytes)";
  TDeviceAddress source;
  std::copy_n(d.begin() + kSourceOffset, source.size(), source.begin());
  if (std::all_of(source.begin() + 2, source.end(), [](std::uint8_t b) { return b == 0xFF; }))
    return "ignored (own address FF)";
  const auto found = exchanges_.find(note.localPort);
  const bool repeated =
      found != exchanges_.end() && !found->second.heard.insert(AddressToNumber(source)).second;
  if (const std::size_t at = TruncatedItemAt(d))
    return "truncated item at byte " + std::to_string(at) + (repeated ? ", duplicate" : "");
  if (repeated) return "duplicate";
  const std::uint8_t command = found != exchanges_.end() ? found->second.command : 0;
  if (command == static_cast<std::uint8_t>(TCommand::Write)) return "write acknowledged";
  if (command == static_cast<std::uint8_t>(TCommand::Upgrade)) return "upgrade acknowledged";
  return "merged";
}

std::string TPacketVerdict::JudgeTftp(const TPacketNote& note) {
  const auto d = note.data;
  const std::uint16_t opcode = Word(d, 0);
  if (note.direction == TPacketDirection::Sent) {
    switch (opcode) {
      case tftp::opWriteRequest: {
        auto& state = Fresh(transfers_, note.localPort);
        state.host = note.peerAddress;
        return "write request \"" + Text(d, 2) + "\"";
      }
      case tftp::opData:
        return "data block " + std::to_string(Word(d, 2)) + " (" +
               std::to_string(d.size() >= 4 ? d.size() - 4 : 0) + " bytes)";
      case tftp::opError:
        return "error " + std::to_string(Word(d, 2)) + " sent: " + Text(d, 4);
      default:
        return "opcode " + std::to_string(opcode) + " sent";
    }
  }
  if (note.size > d.size()) return TooLarge(note, d.size());
  const auto found = transfers_.find(note.localPort);
  if (found != transfers_.end()) {
    TTransferState& t = found->second;
    if (note.peerAddress != t.host) return "stray (wrong address)";
    if (t.serverPort != 0 && note.peerPort != t.serverPort) return "stray (wrong port)";
    if (t.serverPort == 0 && (opcode == tftp::opAck || opcode == tftp::opOptionAck))
      t.serverPort = note.peerPort;
  }
  switch (opcode) {
    case tftp::opAck:
      return "ack (block " + std::to_string(Word(d, 2)) + ")";
    case tftp::opError:
      return "error " + std::to_string(Word(d, 2)) + ": " + Text(d, 4);
    case tftp::opOptionAck:
      return "option ack";
    default:
      return "unexpected opcode " + std::to_string(opcode);
  }
}

}  // namespace velkaro::diag
