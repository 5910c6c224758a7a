// velkaro-cli: the device actions of the program from a shell.
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <iostream>

#include "cli/CliApp.h"
#include "protocol/ModelRegistry.h"
#include "version/Oem.h"

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as on Linux: no "\r" slipped in before each line feed of the output.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  // The same start-up as the GUI, so requests carry the same OEM code.
  velkaro::SelectOem();
  velkaro::RegisterBuiltinModels();
  return velkaro::cli::RunCli(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
