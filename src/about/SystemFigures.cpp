#include "about/SystemFigures.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
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

TSystemFigures ReadSystemFigures() {
  TSystemFigures figures;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0)
    figures.memoryKb =
        static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 1024;
  const long processors = sysconf(_SC_NPROCESSORS_ONLN);
  figures.processors = processors > 0 ? static_cast<int>(processors) : 1;

  std::ifstream file("/proc/cpuinfo");
  std::ostringstream text;
  text << file.rdbuf();
  figures.processorName = ProcessorNameFromCpuInfo(text.str());
  if (figures.processorName.empty()) {
    utsname names{};
    if (uname(&names) == 0) figures.processorName = names.machine;
  }
  return figures;
}

}  // namespace velkaro
