#include "protocol/Frame.h"

#include <charconv>
#include <cstdio>

namespace velkaro {

std::uint16_t Swap16(std::uint16_t v) {
  return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

std::uint32_t Swap32(std::uint32_t v) {
  return ((v & 0x000000FFu) << 24) | ((v & 0x0000FF00u) << 8) | ((v & 0x00FF0000u) >> 8) |
         ((v & 0xFF000000u) >> 24);
}

std::uint64_t Swap64(std::uint64_t v) {
  return (static_cast<std::uint64_t>(Swap32(static_cast<std::uint32_t>(v))) << 32) |
         Swap32(static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t ReadBigEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < bytes.size() && i < 8; ++i) v = (v << 8) | bytes[i];
  return v;
}

std::uint64_t AddressToNumber(const TDeviceAddress& a) {
  return ReadBigEndian(a);
}

TDeviceAddress NumberToAddress(std::uint64_t v) {
  TDeviceAddress a{};
  for (int i = 7; i >= 0; --i) {
    a[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v & 0xFF);
    v >>= 8;
  }
  return a;
}

TDeviceAddress IpPortAddress(std::uint32_t ip, std::uint16_t port) {
  return NumberToAddress((std::uint64_t{2} << 48) | (std::uint64_t{ip} << 16) | port);
}

void StampOemCode(TSendBuf& request, std::uint16_t oemCode) {
  if (request.size() < kOemOffset + 4) return;
  request[kOemOffset + 2] = static_cast<std::uint8_t>(oemCode & 0xFF);
  request[kOemOffset + 3] = static_cast<std::uint8_t>(oemCode >> 8);
}

void BuildHeader(const TDeviceAddress& destination, TCommand command, TSendBuf& buf) {
  buf.assign(kEmptyRequestSize, 0);
  for (std::size_t i = 0; i < destination.size(); ++i) buf[i] = destination[i];
  buf[kOemOffset] = 0x00;
  buf[kOemOffset + 1] = 0x01;
  StampOemCode(buf, kDefaultOemCode);
  buf[kCommandOffset] = static_cast<std::uint8_t>(command);
  buf[25] = 0xFF;
  buf[26] = 0xFF;
}

namespace {

// Replaces the closing FF FF by the item's tag and length, then closes the list again.
void AppendItem(TSendBuf& buf, std::uint16_t tag, std::span<const std::uint8_t> value) {
  const std::size_t n = buf.size();
  if (n < 2) return;  // not a request built by BuildHeader
  buf[n - 2] = static_cast<std::uint8_t>(tag >> 8);
  buf[n - 1] = static_cast<std::uint8_t>(tag & 0xFF);
  buf.push_back(static_cast<std::uint8_t>(value.size()));
  buf.insert(buf.end(), value.begin(), value.end());
  buf.push_back(0xFF);
  buf.push_back(0xFF);
}

}  // namespace

void AddReadItem(TSendBuf& buf, std::uint16_t tag) {
  AppendItem(buf, tag, {});
}

void AddWriteItem(TSendBuf& buf, std::uint16_t tag, std::uint8_t type, std::uint32_t number,
                  const std::string& text) {
  std::uint8_t bytes[4];
  switch (type & 0x7F) {
    case vtIPv4:
    case vtDWord:
      for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(number >> (24 - 8 * i));
      AppendItem(buf, tag, {bytes, 4});
      break;
    case vtWord:
      bytes[0] = static_cast<std::uint8_t>(number >> 8);
      bytes[1] = static_cast<std::uint8_t>(number);
      AppendItem(buf, tag, {bytes, 2});
      break;
    case vtByte:
      bytes[0] = static_cast<std::uint8_t>(number);
      AppendItem(buf, tag, {bytes, 1});
      break;
    case vtString: {
      // The length field is one byte: longer texts cannot be represented and are cut.
      const std::size_t len = text.size() > 255 ? 255 : text.size();
      AppendItem(buf, tag, {reinterpret_cast<const std::uint8_t*>(text.data()), len});
      break;
    }
    default:
      break;
  }
}

std::string IpToText(std::uint32_t ip) {
  char out[16];
  const int n = std::snprintf(out, sizeof out, "%u.%u.%u.%u", (ip >> 24) & 0xFF, (ip >> 16) & 0xFF,
                              (ip >> 8) & 0xFF, ip & 0xFF);
  if (n <= 0 || n >= static_cast<int>(sizeof out)) return "???.???.???.???";
  return std::string(out, static_cast<std::size_t>(n));
}

namespace {

// Whole-text decimal integer, as a strict string-to-integer conversion would accept it.
bool ParseDecimal(std::string_view s, long long& out) {
  if (s.empty()) return false;
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (*first == '+') ++first;
  auto [p, ec] = std::from_chars(first, last, out);
  return ec == std::errc{} && p == last && first != last;
}

}  // namespace

std::uint32_t TextToIp(const std::string& text) {
  if (text.empty()) return 0;
  std::string_view rest = text;
  std::string_view pieces[4];
  for (int i = 0; i < 3; ++i) {
    const auto dot = rest.find('.');
    if (dot == std::string_view::npos) return 0;
    pieces[i] = rest.substr(0, dot);
    rest.remove_prefix(dot + 1);
  }
  pieces[3] = rest;
  long long values[4];
  for (int i = 0; i < 4; ++i)
    if (!ParseDecimal(pieces[i], values[i])) return 0;
  std::uint32_t ip = 0;
  for (int i = 0; i < 4; ++i) {
    if (values[i] < 0 || values[i] > 255) break;
    ip |= static_cast<std::uint32_t>(values[i]) << (24 - 8 * i);
  }
  return ip;
}

bool ParseIpv4(std::string_view text, std::uint32_t& out) {
  std::uint32_t ip = 0;
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) {
      if (text.empty() || text.front() != '.') return false;
      text.remove_prefix(1);
    }
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
      value = value * 10 + static_cast<unsigned>(text[digits++] - '0');
    // "01" would be read as octal by some tools, so a leading zero is refused outright.
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[0] == '0')) return false;
    ip = (ip << 8) | value;
    text.remove_prefix(digits);
  }
  if (!text.empty()) return false;
  out = ip;
  return true;
}

std::string MacToText(std::uint64_t mac) {
  char out[18];
  const int n = std::snprintf(
      out, sizeof out, "%02X.%02X.%02X.%02X.%02X.%02X", static_cast<unsigned>((mac >> 40) & 0xFF),
      static_cast<unsigned>((mac >> 32) & 0xFF), static_cast<unsigned>((mac >> 24) & 0xFF),
      static_cast<unsigned>((mac >> 16) & 0xFF), static_cast<unsigned>((mac >> 8) & 0xFF),
      static_cast<unsigned>(mac & 0xFF));
  if (n != 17) return "??.??.??.??.??.??";
  return std::string(out, 17);
}

void WalkReplyItems(std::span<const std::uint8_t> datagram,
                    const std::function<void(const TReplyItem&)>& visit) {
  std::size_t pos = kHeaderSize;
  while (pos < datagram.size() && datagram.size() - pos >= 3) {
    const std::uint16_t tag = static_cast<std::uint16_t>((datagram[pos] << 8) | datagram[pos + 1]);
    const std::uint8_t len = datagram[pos + 2];
    const std::size_t available = datagram.size() - pos - 3;
    if (len > available) {
      visit({tag, len, datagram.subspan(pos + 3, available), true});
      return;
    }
    visit({tag, len, datagram.subspan(pos + 3, len), false});
    pos += 3 + std::size_t{len};
  }
}

}  // namespace velkaro
