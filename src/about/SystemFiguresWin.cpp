// The machine's figures on Windows: GlobalMemoryStatusEx, GetSystemInfo and the processor's
// name as the system records it.
#include <windows.h>

#include "about/SystemFigures.h"

namespace velkaro {

namespace {

std::string ArchitectureName(WORD architecture) {
  switch (architecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
      return "x64";
    case PROCESSOR_ARCHITECTURE_INTEL:
      return "x86";
    case PROCESSOR_ARCHITECTURE_ARM64:
      return "ARM64";
    case PROCESSOR_ARCHITECTURE_ARM:
      return "ARM";
    default:
      return "unknown processor";
  }
}

// HKLM\HARDWARE\DESCRIPTION\System\CentralProcessor\0 ProcessorNameString; empty when absent.
std::string RecordedProcessorName() {
  char name[256] = {};
  DWORD size = sizeof name - 1;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                     "ProcessorNameString", RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS)
    return {};
  std::string text(name);
  const auto first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

TSystemFigures ReadSystemFigures() {
  TSystemFigures figures;
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  if (::GlobalMemoryStatusEx(&memory)) figures.memoryKb = memory.ullTotalPhys / 1024;
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  figures.processors = info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
  figures.processorName = RecordedProcessorName();
  if (figures.processorName.empty()) figures.processorName = ArchitectureName(info.wProcessorArchitecture);
  return figures;
}

}  // namespace velkaro
