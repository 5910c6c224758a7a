// File names travel through the program as UTF-8 text. A path made straight from such a text
// would, on Windows, be read in the ANSI code page; this one keeps every character.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velkaro {

inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The path's name as UTF-8 text, for messages.
inline std::string Utf8Text(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace velkaro
