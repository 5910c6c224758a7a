#include "diag/Pcapng.h"

#include <algorithm>

namespace velkaro::diag {

namespace {

constexpr std::uint32_t kSectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceType = 1;
constexpr std::uint32_t kEnhancedPacketType = 6;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint16_t kOptEnd = 0;
constexpr std::uint16_t kOptComment = 1;
constexpr std::uint16_t kShbUserApplication = 4;
constexpr std::uint16_t kIfName = 2;
constexpr std::uint16_t kEpbFlags = 2;
constexpr std::uint32_t kInbound = 1, kOutbound = 2;

// Every number little-endian: the section's byte-order magic says so to the reader.
void Put16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}
void PutBig16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v & 0xFF));
}
void PutBig32(std::string& out, std::uint32_t v) {
  PutBig16(out, static_cast<std::uint16_t>(v >> 16));
  PutBig16(out, static_cast<std::uint16_t>(v & 0xFFFF));
}

std::size_t Padded(std::size_t n) {
  return (n + 3) & ~std::size_t{3};
}
void Pad(std::string& out) {
  out.append(Padded(out.size()) - out.size(), '\0');
}

std::size_t OptionSize(std::size_t valueSize) {
  return 4 + Padded(valueSize);
}
void PutOption(std::string& body, std::uint16_t code, std::string_view value) {
  Put16(body, code);
  Put16(body, static_cast<std::uint16_t>(value.size()));
  body.append(value);
  Pad(body);
}

// Type, total length, body (already padded), total length again.
void PutBlock(std::string& out, std::uint32_t type, const std::string& body) {
  const auto total = static_cast<std::uint32_t>(body.size() + 12);
  Put32(out, type);
  Put32(out, total);
  out.append(body);
  Put32(out, total);
}

std::uint16_t Ipv4Checksum(const std::string& header) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < header.size(); i += 2)
    sum += static_cast<std::uint32_t>((static_cast<std::uint8_t>(header[i]) << 8) |
                                      static_cast<std::uint8_t>(header[i + 1]));
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

// IPv4 and UDP headers for a datagram of `size` bytes; UDP checksum 0 means "none".
std::string IpUdpHeaders(const TUdpEndpoints& e, std::size_t size) {
  const auto ipLength = static_cast<std::uint16_t>(std::min<std::size_t>(size + 28, 0xFFFF));
  std::string h;
  h.push_back(0x45);  // version 4, five words
  h.push_back(0);
  PutBig16(h, ipLength);
  PutBig32(h, 0);   // identification, no fragments
  h.push_back(64);  // time to live
  h.push_back(17);  // UDP
  PutBig16(h, 0);
  PutBig32(h, e.source);
  PutBig32(h, e.destination);
  const std::uint16_t checksum = Ipv4Checksum(h);
  h[10] = static_cast<char>(checksum >> 8);
  h[11] = static_cast<char>(checksum & 0xFF);
  PutBig16(h, e.sourcePort);
  PutBig16(h, e.destinationPort);
  PutBig16(h, static_cast<std::uint16_t>(ipLength - 20));
  PutBig16(h, 0);
  return h;
}

std::size_t CapturedSize(const TPacketRecord& p) {
  return kIpUdpHeaderSize + std::min(p.payload.size(), p.payloadSize);
}

}  // namespace

void AppendSectionHeader(std::string& out, const std::string& application) {
  std::string body;
  Put32(body, kByteOrderMagic);
  Put16(body, 1);  // version 1.0
  Put16(body, 0);
  Put32(body, 0xFFFFFFFFu);  // section length not given
  Put32(body, 0xFFFFFFFFu);
  PutOption(body, kShbUserApplication, application);
  Put32(body, kOptEnd);
  PutBlock(out, kSectionHeaderType, body);
}

void AppendInterface(std::string& out, const std::string& name) {
  std::string body;
  Put16(body, kLinkTypeRaw);
  Put16(body, 0);
  Put32(body, 0);  // no snapshot limit
  if (!name.empty()) PutOption(body, kIfName, name);
  Put32(body, kOptEnd);
  PutBlock(out, kInterfaceType, body);
}

std::size_t PacketBlockSize(const TPacketRecord& p) {
  return 12 + 20 + Padded(CapturedSize(p)) + OptionSize(p.comment.size()) + OptionSize(4) + 4;
}

void AppendPacket(std::string& out, const TPacketRecord& p) {
  std::string body;
  body.reserve(PacketBlockSize(p));
  Put32(body, p.interfaceId);
  Put32(body, static_cast<std::uint32_t>(p.microseconds >> 32));
  Put32(body, static_cast<std::uint32_t>(p.microseconds & 0xFFFFFFFFu));
  const std::size_t kept = std::min(p.payload.size(), p.payloadSize);
  Put32(body, static_cast<std::uint32_t>(kIpUdpHeaderSize + kept));
  Put32(body, static_cast<std::uint32_t>(kIpUdpHeaderSize + p.payloadSize));
  body.append(IpUdpHeaders(p.endpoints, p.payloadSize));
  body.append(reinterpret_cast<const char*>(p.payload.data()), kept);
  Pad(body);
  PutOption(body, kOptComment, p.comment);
  std::string flags;
  Put32(flags, p.outbound ? kOutbound : kInbound);
  PutOption(body, kEpbFlags, flags);
  Put32(body, kOptEnd);
  PutBlock(out, kEnhancedPacketType, body);
}

}  // namespace velkaro::diag
