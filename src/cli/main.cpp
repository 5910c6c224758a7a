// velkaro-cli: the device actions of the program from a shell.
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "cli/SystemAccess.h"
#include "version/Oem.h"

int main(int argc, char** argv) {
  velkaro::cli::PrepareConsole();
  // The same choice as the window's, so requests carry the same OEM code.
  const std::uint16_t oemCode = velkaro::SelectOem().code;
  std::vector<std::string> arguments = velkaro::cli::Utf8Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& a : arguments) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  return velkaro::cli::RunCli(static_cast<int>(arguments.size()), pointers.data(), std::cout,
                              std::cerr, velkaro::cli::StderrIsTerminal(), oemCode);
}
