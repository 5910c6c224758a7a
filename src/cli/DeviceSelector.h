// The DEVICE argument: a device of the discovery named by its IPv4 address (tag 2) or its MAC.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/DeviceList.h"

namespace velkaro::cli {

class TDeviceSelector {
 public:
  // Accepts a dotted IPv4 address (four octets 0-255) or a MAC as six two-digit hexadecimal
  // groups separated by "." or ":" (either letter case). Returns false with a message otherwise.
  static bool Parse(const std::string& text, TDeviceSelector& out, std::string& error);

  bool Matches(const TZEL& record) const;
  // Index of the first matching record of `list`, or -1.
  int FindIn(const TDeviceList& list) const;
  // Number of records of `list` that match.
  std::size_t CountIn(const TDeviceList& list) const;

  bool ByMac() const { return byMac_; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  bool byMac_ = false;
  std::uint32_t ip_ = 0;
  std::uint64_t mac_ = 0;
};

// Strict dotted IPv4: four decimal octets 0-255 without signs, blanks or leading zeros.
bool ParseDottedIpv4(const std::string& text, std::uint32_t& out);

}  // namespace velkaro::cli
