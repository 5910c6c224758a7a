// velkaro-cli from its arguments to its exit code.
#pragma once

#include <ostream>
#include <string>

namespace velkaro::cli {

// "velkaro-cli <FileVersion>" from the program's own version block.
std::string VersionText();

// Parses the arguments, points the exchange at --target, reports its errors on `err` and runs
// the command. The model registry and the OEM code must be set up by the caller.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool errIsTerminal);

}  // namespace velkaro::cli
