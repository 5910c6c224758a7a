#include "version/VersionBlock.h"

#include <algorithm>
#include <cstring>

#include "version/VersionBlockFormat.h"

namespace velkaro {

namespace {

constexpr std::size_t kMaxEntries = 1024;

// "\\A\\\\b\\" and "a\b" both become "a\b", lower-cased.
std::string NormalisePath(std::string_view path) {
  std::string out;
  bool pendingSeparator = false;
  for (char c : path) {
    if (c == '\\') {
      pendingSeparator = !out.empty();
      continue;
    }
    if (pendingSeparator) out += '\\';
    pendingSeparator = false;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

}  // namespace

std::optional<TVersionBlock> TVersionBlock::Parse(std::span<const std::uint8_t> bytes) {
  constexpr std::string_view kMagic{VELKARO_VERSION_MAGIC};
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.size() <= kMagic.size() || text.substr(0, kMagic.size()) != kMagic ||
      text[kMagic.size()] != '\0')
    return std::nullopt;

  TVersionBlock block;
  std::size_t pos = kMagic.size() + 1;
  for (;;) {
    const std::size_t end = text.find('\0', pos);
    if (end == std::string_view::npos) return std::nullopt;
    if (end == pos) return block;
    if (block.entries_.size() == kMaxEntries) return std::nullopt;
    const std::string_view entry = text.substr(pos, end - pos);
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    block.entries_.emplace_back(NormalisePath(entry.substr(0, equals)),
                                std::string(entry.substr(equals + 1)));
    pos = end + 1;
  }
}

std::optional<std::string> TVersionBlock::Query(std::string_view path) const {
  const std::string key = NormalisePath(path);
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const auto& entry) { return entry.first == key; });
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

}  // namespace velkaro
