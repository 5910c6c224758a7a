// The loopback address every test talks on; nothing a test sends leaves 127.0.0.0/8.
#pragma once

#include <cstdint>

namespace velkaro::testing {

inline constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1
inline constexpr char kLoopbackText[] = "127.0.0.1";

}  // namespace velkaro::testing
