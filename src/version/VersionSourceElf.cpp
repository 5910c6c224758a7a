#include "version/ElfSection.h"
#include "version/VersionBlockFormat.h"
#include "version/VersionSource.h"

namespace velkaro {

std::optional<TVersionBlock> ReadVersionBlock(const std::string& fileName) {
  const auto bytes = ReadElfSection(fileName, VELKARO_VERSION_SECTION, TVersionBlock::kMaxSize);
  if (!bytes) return std::nullopt;
  return TVersionBlock::Parse(*bytes);
}

}  // namespace velkaro
