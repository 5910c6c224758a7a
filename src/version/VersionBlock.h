// The parsed version block of an executable: path/value entries queried like a version resource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velkaro {

class TVersionBlock {
 public:
  // Largest block accepted from a file; real blocks hold well under a kilobyte.
  static constexpr std::size_t kMaxSize = 64 * 1024;

  // The block in `bytes` (layout in VersionBlockFormat.h), or nothing when the magic is missing,
  // an entry is unterminated or lacks its "=", or the list has no end.
  static std::optional<TVersionBlock> Parse(std::span<const std::uint8_t> bytes);

  // Value stored at `path`, e.g. "\\StringFileInfo\\0409fde9\\CompanyName". Runs of backslashes
  // count as one separator and names match without regard to ASCII letter case; the first entry
  // with a matching path wins.
  std::optional<std::string> Query(std::string_view path) const;

  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;  // normalised path, value
};

}  // namespace velkaro
