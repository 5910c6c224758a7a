// The few figures of the machine that the about box shows.
#pragma once

#include <cstdint>
#include <string>

namespace velkaro {

struct TSystemFigures {
  std::uint64_t memoryKb = 0;  // total installed physical memory, not the free amount
  int processors = 0;
  std::string processorName;
};

TSystemFigures ReadSystemFigures();

// The processor's model name from the text of /proc/cpuinfo: the first "model name" entry, or
// on platforms without one the "Processor", "cpu model" or "cpu" entry; empty when none.
std::string ProcessorNameFromCpuInfo(const std::string& cpuinfo);

}  // namespace velkaro
