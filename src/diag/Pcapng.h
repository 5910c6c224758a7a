// pcapng blocks as Wireshark and tshark read them: one section, one interface per name, and each
// datagram as a raw IPv4 packet whose IPv4 and UDP headers are made up from its addresses, so
// that any tool decodes addresses and ports without a plugin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velkaro::diag {

inline constexpr std::uint16_t kLinkTypeRaw = 101;
inline constexpr std::size_t kIpUdpHeaderSize = 28;

struct TUdpEndpoints {
  std::uint32_t source = 0;
  std::uint16_t sourcePort = 0;
  std::uint32_t destination = 0;
  std::uint16_t destinationPort = 0;
};

// Section header naming the writing program.
void AppendSectionHeader(std::string& out, const std::string& application);
// Interface description of link type raw IPv4; no name option for an empty name.
void AppendInterface(std::string& out, const std::string& name);

struct TPacketRecord {
  std::uint32_t interfaceId = 0;
  std::uint64_t microseconds = 0;  // since the epoch
  bool outbound = false;
  TUdpEndpoints endpoints;
  std::span<const std::uint8_t> payload;  // as much as was captured
  std::size_t payloadSize = 0;            // the datagram's real length
  std::string comment;
};
// Enhanced packet block with direction flags and the comment.
void AppendPacket(std::string& out, const TPacketRecord& packet);
// Bytes AppendPacket adds for this record.
std::size_t PacketBlockSize(const TPacketRecord& packet);

}  // namespace velkaro::diag
