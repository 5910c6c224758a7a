// Reads back the pcapng files the packet log writes: interfaces and packets with their comment
// and direction. Strict: a malformed block makes Read throw, so a test sees a broken file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkaro::testing {

struct TPcapPacket {
  std::uint32_t interfaceId = 0;
  std::uint32_t originalLength = 0;
  std::vector<std::uint8_t> frame;  // IPv4 header, UDP header, payload as captured
  std::string comment;
  bool outbound = false;
  bool inbound = false;

  std::vector<std::uint8_t> Payload() const {
    return frame.size() < 28 ? std::vector<std::uint8_t>{}
                             : std::vector<std::uint8_t>(frame.begin() + 28, frame.end());
  }
  std::uint16_t SourcePort() const { return Big16(20); }
  std::uint16_t DestinationPort() const { return Big16(22); }

 private:
  std::uint16_t Big16(std::size_t at) const {
    return frame.size() < at + 2 ? 0 : static_cast<std::uint16_t>((frame[at] << 8) | frame[at + 1]);
  }
};

struct TPcapFile {
  std::vector<std::string> interfaceNames;
  std::vector<std::uint16_t> linkTypes;
  std::vector<TPcapPacket> packets;
};

inline TPcapFile ReadPcapng(const std::vector<std::uint8_t>& bytes) {
  const auto u16 = [&](std::size_t at) {
    if (at + 2 > bytes.size()) throw std::runtime_error("pcapng: cut short");
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
  };
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16));
  };
  TPcapFile file;
  std::size_t at = 0;
  bool sawSection = false;
  while (at < bytes.size()) {
    const std::uint32_t type = u32(at);
    const std::uint32_t length = u32(at + 4);
    if (length < 12 || length % 4 != 0 || at + length > bytes.size() ||
        u32(at + length - 4) != length)
      throw std::runtime_error("pcapng: bad block length at " + std::to_string(at));
    const std::size_t body = at + 8, end = at + length - 4;
    // Options from `from` to the block's end: code, length, value padded to four bytes.
    const auto options = [&](std::size_t from, auto&& visit) {
      while (from + 4 <= end) {
        const std::uint16_t code = u16(from), size = u16(from + 2);
        if (code == 0) return;
        if (from + 4 + size > end) throw std::runtime_error("pcapng: option past its block");
        visit(code, std::string(bytes.begin() + static_cast<long>(from + 4),
                                bytes.begin() + static_cast<long>(from + 4 + size)));
        from += 4 + ((size + 3u) & ~3u);
      }
    };
    if (type == 0x0A0D0D0A) {
      if (u32(body) != 0x1A2B3C4D) throw std::runtime_error("pcapng: byte order magic");
      sawSection = true;
    } else if (!sawSection) {
      throw std::runtime_error("pcapng: no section header first");
    } else if (type == 1) {
      file.linkTypes.push_back(u16(body));
      std::string name;
      options(body + 8, [&](std::uint16_t code, const std::string& v) {
        if (code == 2) name = v;
      });
      file.interfaceNames.push_back(name);
    } else if (type == 6) {
      TPcapPacket p;
      p.interfaceId = u32(body);
      const std::uint32_t captured = u32(body + 12);
      p.originalLength = u32(body + 16);
      if (p.interfaceId >= file.linkTypes.size()) throw std::runtime_error("pcapng: interface");
      if (body + 20 + captured > end) throw std::runtime_error("pcapng: packet past its block");
      p.frame.assign(bytes.begin() + static_cast<long>(body + 20),
                     bytes.begin() + static_cast<long>(body + 20 + captured));
      options(body + 20 + ((captured + 3u) & ~3u), [&](std::uint16_t code, const std::string& v) {
        if (code == 1) p.comment = v;
        if (code == 2 && v.size() == 4) {
          p.inbound = (v[0] & 3) == 1;
          p.outbound = (v[0] & 3) == 2;
        }
      });
      file.packets.push_back(std::move(p));
    }
    at += length;
  }
  if (!sawSection) throw std::runtime_error("pcapng: empty");
  return file;
}

}  // namespace velkaro::testing
