// Start-up choice of the OEM variant from the build number of the program's version block:
// the OEM code every request carries (OemCode, Frame.h), the maker addresses the about box
// shows and whether the upgrade is offered.
#pragma once

#include <cstdint>
#include <string>

namespace velkaro {

inline constexpr const char* kMakerWebAddress = "https://www.example.com/velkaro";
inline constexpr const char* kMakerEmail = "support@example.com";

inline constexpr std::uint16_t kOemCodeBuild1 = 5413;  // wire bytes 25 15
inline constexpr std::uint16_t kOemCodeBuild2 = 5157;  // wire bytes 25 14

// Either may be empty; set by SelectOem, read for the rest of the run.
extern std::string MakerWebAddress;
extern std::string MakerEmail;
// Whether the main window shows and enables its Upgrade button.
extern bool UpgradeOffered;

// Sets OemCode, MakerWebAddress, MakerEmail and UpgradeOffered from the Build part of the
// FileVersion of the running program's own file.
void SelectOem();
// The same from the named program file.
void SelectOem(const std::string& programFile);

}  // namespace velkaro
