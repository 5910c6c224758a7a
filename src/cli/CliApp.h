// velkaro-cli from its arguments to its exit code.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "protocol/Frame.h"

namespace velkaro::cli {

// "velkaro-cli <FileVersion>" from the program's own version block.
std::string VersionText();

// Parses the arguments, points the exchange at --target, reports its errors on `err` and runs
// the command. `oemCode`: the one the run's requests carry (the program's OEM variant).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool errIsTerminal, std::uint16_t oemCode = kDefaultOemCode);

}  // namespace velkaro::cli
