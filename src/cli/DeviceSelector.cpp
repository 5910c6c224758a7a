#include "cli/DeviceSelector.h"

namespace velkaro::cli {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "00.1A.2B.3C.4D.5E" or "00:1a:2b:3c:4d:5e": 17 characters, one kind of separator.
bool ParseMac(const std::string& text, std::uint64_t& out) {
  if (text.size() != 17) return false;
  const char separator = text[2];
  if (separator != '.' && separator != ':') return false;
  std::uint64_t value = 0;
  for (std::size_t group = 0; group < 6; ++group) {
    const std::size_t at = group * 3;
    if (group > 0 && text[at - 1] != separator) return false;
    const int high = HexDigit(text[at]);
    const int low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0) return false;
    value = (value << 8) | static_cast<std::uint64_t>(high * 16 + low);
  }
  out = value;
  return true;
}

}  // namespace

bool ParseDottedIpv4(const std::string& text, std::uint32_t& out) {
  return ParseIpv4(text, out);
}

bool TDeviceSelector::Parse(const std::string& text, TDeviceSelector& out, std::string& error) {
  TDeviceSelector s;
  s.text_ = text;
  if (ParseDottedIpv4(text, s.ip_)) {
    s.byMac_ = false;
  } else if (ParseMac(text, s.mac_)) {
    s.byMac_ = true;
  } else {
    error = "Invalid DEVICE '" + text +
            "': expected an IPv4 address such as 192.168.0.10 or a MAC address such as "
            "00.1A.2B.3C.4D.5E";
    return false;
  }
  out = s;
  return true;
}

bool TDeviceSelector::Matches(const TZEL& record) const {
  if (byMac_) {
    // Devices addressed by IP carry no MAC; never match them by an all-zero MAC.
    const bool hasMac = AddressToNumber(record.address) >> 48 == 1;
    return hasMac && record.MAC == mac_;
  }
  return record.values.Has(2) && record.values.AsUInt(2) == ip_;
}

int TDeviceSelector::FindIn(const TDeviceList& list) const {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (Matches(list[i])) return static_cast<int>(i);
  }
  return -1;
}

std::size_t TDeviceSelector::CountIn(const TDeviceList& list) const {
  std::size_t n = 0;
  for (const TZEL& record : list) n += Matches(record) ? 1 : 0;
  return n;
}

}  // namespace velkaro::cli
