// Start-up choice of the OEM variant from the build number of the program's version block: the
// OEM code every request carries, the maker addresses the about box shows and whether the upgrade
// is offered.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/OemVariant.h"

namespace velkaro {

inline constexpr const char* kMakerWebAddress = "https://www.example.com/velkaro";
inline constexpr const char* kMakerEmail = "support@example.com";

inline constexpr std::uint16_t kOemCodeBuild1 = 5413;  // wire bytes 25 15
inline constexpr std::uint16_t kOemCodeBuild2 = 5157;  // wire bytes 25 14

// The variant the Build part of the FileVersion of the running program's own file selects.
[[nodiscard]] TOemVariant SelectOem();
// The same for the named program file.
[[nodiscard]] TOemVariant SelectOem(const std::string& programFile);

}  // namespace velkaro
