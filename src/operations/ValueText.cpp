#include "operations/ValueText.h"

#include <charconv>

#include "protocol/Frame.h"

namespace velkaro::ops {

bool ParseDecimal(const std::string& text, std::uint64_t max, std::uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc{} || p != end || value > max) return false;
  out = value;
  return true;
}

bool ParseTypedValue(std::uint8_t type, const std::string& text, TValue& out,
                     std::string& expected) {
  std::uint64_t number = 0;
  switch (type) {
    case vtIPv4: {
      std::uint32_t ip = 0;
      if (!ParseIpv4(text, ip)) {
        expected = "an IPv4 address of four octets 0-255, e.g. 192.168.0.10";
        return false;
      }
      out = ip;
      return true;
    }
    case vtString:
      if (text.size() > kMaxTextBytes) {
        expected = "a text of at most 255 bytes (got " + std::to_string(text.size()) + ")";
        return false;
      }
      // The device's settings are single-line texts; a line break would also split the entry
      // of a saved .cfg file.
      if (text.find_first_of("\r\n") != std::string::npos) {
        expected = "a text without line breaks";
        return false;
      }
      out = text;
      return true;
    case vtByte:
      if (!ParseDecimal(text, 0xFF, number)) {
        expected = "a whole number from 0 to 255";
        return false;
      }
      break;
    case vtWord:
      if (!ParseDecimal(text, 0xFFFF, number)) {
        expected = "a whole number from 0 to 65535";
        return false;
      }
      break;
    case vtDWord:
      if (!ParseDecimal(text, 0xFFFFFFFFu, number)) {
        expected = "a whole number from 0 to 4294967295";
        return false;
      }
      break;
    default:
      expected = "a tag of a writable type";
      return false;
  }
  out = static_cast<std::uint32_t>(number);
  return true;
}

}  // namespace velkaro::ops
