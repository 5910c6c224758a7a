// The ELF section reader and the version block parser on arbitrary file content. The bytes go
// into an in-memory file, so the reader runs its real file path without touching the disk.
#include <sys/mman.h>
#include <unistd.h>

#include "FuzzTarget.h"
#include "version/ElfSection.h"
#include "version/VersionBlock.h"
#include "version/VersionBlockFormat.h"

using namespace velkaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("elf", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  constexpr std::size_t kLimit = TVersionBlock::kMaxSize;
  const auto section = ReadElfSection(name, VELKARO_VERSION_SECTION, kLimit);
  ::close(fd);

  // The section's own bytes as a block too, so the parser is reached without a valid ELF file.
  const std::span<const std::uint8_t> raw(data, size);
  for (const auto bytes : {section ? std::span<const std::uint8_t>(*section) : raw, raw}) {
    FUZZ_CHECK(bytes.size() <= std::max(kLimit, size));
    const auto block = TVersionBlock::Parse(bytes);
    if (!block) continue;
    FUZZ_CHECK(block->size() <= bytes.size());
    (void)block->Query("\\VarFileInfo\\Translation");
    (void)block->Query("\\StringFileInfo\\040904E4\\FileVersion");
    (void)block->Query("");
  }
  if (section) FUZZ_CHECK(section->size() <= kLimit);
  return 0;
}
