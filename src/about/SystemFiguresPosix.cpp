// The machine's figures on Linux and other POSIX systems: sysconf and /proc/cpuinfo.
#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "about/SystemFigures.h"

namespace velkaro {

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
