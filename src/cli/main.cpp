// velkaro-cli: the device actions of the program from a shell.
#include <unistd.h>

#include <iostream>

#include "cli/CliApp.h"
#include "protocol/ModelRegistry.h"
#include "version/Oem.h"

int main(int argc, char** argv) {
  // The same start-up as the GUI, so requests carry the same OEM code.
  velkaro::SelectOem();
  velkaro::RegisterBuiltinModels();
  return velkaro::cli::RunCli(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
