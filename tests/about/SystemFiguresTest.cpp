#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "about/SystemFigures.h"

using namespace velkaro;

TEST(SystemFigures, ModelNameOfX86CpuInfo) {
  const std::string cpuinfo =
      "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\n"
      "model name\t: Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz\nflags\t\t: fpu vme\n\n"
      "processor\t: 1\nmodel name\t: Other name\n";
  EXPECT_EQ(ProcessorNameFromCpuInfo(cpuinfo), "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz");
}

TEST(SystemFigures, ArmAndMipsNamesAreFound) {
  EXPECT_EQ(
      ProcessorNameFromCpuInfo("Processor\t: ARMv7 Processor rev 4 (v7l)\nBogoMIPS\t: 38.40\n"),
      "ARMv7 Processor rev 4 (v7l)");
  EXPECT_EQ(ProcessorNameFromCpuInfo("system type\t\t: MT7621\ncpu model\t\t: MIPS 1004Kc V2.15\n"),
            "MIPS 1004Kc V2.15");
}

TEST(SystemFigures, NoNameGivesEmptyText) {
  EXPECT_EQ(ProcessorNameFromCpuInfo(""), "");
  EXPECT_EQ(ProcessorNameFromCpuInfo("processor : 0\nmodel name :   \nBogoMIPS : 1\n"), "");
  EXPECT_EQ(ProcessorNameFromCpuInfo("garbage without colons\n\n\n"), "");
}

TEST(SystemFigures, FiguresOfThisMachine) {
  const TSystemFigures figures = ReadSystemFigures();
#ifdef _WIN32
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  ASSERT_TRUE(::GlobalMemoryStatusEx(&memory));
  EXPECT_EQ(figures.memoryKb, memory.ullTotalPhys / 1024);
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  EXPECT_EQ(figures.processors, static_cast<int>(info.dwNumberOfProcessors));
#else
  const auto pages = static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES));
  const auto pageSize = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  EXPECT_EQ(figures.memoryKb, pages * pageSize / 1024);
  EXPECT_EQ(figures.processors, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
#endif
  EXPECT_GT(figures.memoryKb, 0u);
  EXPECT_FALSE(figures.processorName.empty());
}
