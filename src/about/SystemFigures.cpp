#include "about/SystemFigures.h"

#include <sstream>

namespace velkaro {

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string ProcessorNameFromCpuInfo(const std::string& cpuinfo) {
  // Keys in order of preference; x86 has "model name", some ARM kernels "Processor", MIPS
  // "cpu model", PowerPC "cpu".
  for (const char* wanted : {"model name", "Processor", "cpu model", "cpu"}) {
    std::istringstream lines(cpuinfo);
    std::string line;
    while (std::getline(lines, line)) {
      const auto colon = line.find(':');
      if (colon == std::string::npos) continue;
      if (Trim(line.substr(0, colon)) != wanted) continue;
      const std::string value = Trim(line.substr(colon + 1));
      if (!value.empty()) return value;
    }
  }
  return {};
}

}  // namespace velkaro
