// What sets one OEM variant of the program apart; chosen at start-up (version/Oem.h).
#pragma once

#include <cstdint>
#include <string>

#include "protocol/Frame.h"

namespace velkaro {

// The OEM variant a program runs as: the code its requests carry, the maker's addresses its
// about box shows (either may be empty) and whether the window offers Upgrade.
struct TOemVariant {
  std::uint16_t code = kDefaultOemCode;
  std::string makerWebAddress;
  std::string makerEmail;
  bool upgradeOffered = true;
};

}  // namespace velkaro
