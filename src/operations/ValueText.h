// Values as people and .cfg files write them, checked against a tag's wire type.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/DeviceRecord.h"

namespace velkaro::ops {

inline constexpr std::size_t kMaxTextBytes = 255;  // one length byte on the wire

// Decimal digits only, at most `max`: no sign, blank, prefix or fraction.
bool ParseDecimal(const std::string& text, std::uint64_t max, std::uint64_t& out);

// Parses `text` as a value of the wire type `type` (1-5). On failure `expected` tells what the
// type takes, e.g. "a whole number from 0 to 255".
bool ParseTypedValue(std::uint8_t type, const std::string& text, TValue& out,
                     std::string& expected);

}  // namespace velkaro::ops
