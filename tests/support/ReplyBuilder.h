// Builds reply datagrams for tests: header with a source address, then tagged items.
#pragma once

#include <string>

#include "protocol/Frame.h"

namespace velkaro::testing {

inline TBytes ReplyHeader(const TDeviceAddress& source) {
  TBytes d(25, 0);
  for (std::size_t i = 0; i < 8; ++i) d[8 + i] = source[i];
  return d;
}

inline void Item(TBytes& d, std::uint16_t tag, const TBytes& value) {
  d.push_back(static_cast<std::uint8_t>(tag >> 8));
  d.push_back(static_cast<std::uint8_t>(tag));
  d.push_back(static_cast<std::uint8_t>(value.size()));
  d.insert(d.end(), value.begin(), value.end());
}

inline void TextItem(TBytes& d, std::uint16_t tag, const std::string& s) {
  Item(d, tag, TBytes(s.begin(), s.end()));
}

inline TBytes U32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

inline void End(TBytes& d) {
  d.push_back(0xFF);
  d.push_back(0xFF);
}

inline TDeviceAddress MacAddress(std::uint64_t mac) {
  return NumberToAddress((std::uint64_t{1} << 48) | (mac & 0xFFFFFFFFFFFFull));
}

}  // namespace velkaro::testing
