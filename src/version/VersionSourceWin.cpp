#include <windows.h>

#include <cstdio>
#include <vector>

#include "version/VersionBlockFormat.h"
#include "version/VersionInfo.h"
#include "version/VersionSource.h"

namespace velkaro {

namespace {

std::string OwnModuleFile() {
  std::string name(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 6; ++attempt) {
    const DWORD n = ::GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    name.resize(name.size() * 2);
  }
  return {};
}

void Append(std::vector<std::uint8_t>& block, const std::string& entry) {
  block.insert(block.end(), entry.begin(), entry.end());
  block.push_back(0);
}

}  // namespace

// The resource's entries are laid out as the ELF block is, so that one parser and one query
// serve both systems.
std::optional<TVersionBlock> ReadVersionBlock(const std::string& fileName) {
  const std::string file = fileName == kOwnProgramFile ? OwnModuleFile() : fileName;
  if (file.empty()) return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0 || size > TVersionBlock::kMaxSize) return std::nullopt;
  std::vector<std::uint8_t> data(size);
  if (!::GetFileVersionInfoA(file.c_str(), 0, size, data.data())) return std::nullopt;

  struct TLangCodePage {
    WORD language;
    WORD codePage;
  };
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) ||
      length < sizeof(TLangCodePage))
    return std::nullopt;
  const auto* translations = static_cast<const TLangCodePage*>(value);
  std::string translationText;
  std::vector<std::string> prefixes;
  for (UINT i = 0; i < length / sizeof(TLangCodePage); ++i) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%04x%04x", translations[i].language, translations[i].codePage);
    translationText += (i ? " " : "") + std::string(hex);
    prefixes.push_back("\\StringFileInfo\\" + std::string(hex) + "\\");
  }

  std::vector<std::uint8_t> block;
  Append(block, VELKARO_VERSION_MAGIC);
  Append(block, "\\VarFileInfo\\Translation=" + translationText);
  for (const std::string& prefix : prefixes) {
    for (const char* key : kVersionStringKeys) {
      char* text = nullptr;
      UINT chars = 0;
      if (!::VerQueryValueA(data.data(), (prefix + key).c_str(), reinterpret_cast<void**>(&text),
                            &chars) ||
          !text)
        continue;
      // The length counts the closing NUL where there is one.
      std::string entry(text, chars);
      if (const auto nul = entry.find('\0'); nul != std::string::npos) entry.resize(nul);
      Append(block, prefix + key + "=" + entry);
    }
  }
  block.push_back(0);
  return TVersionBlock::Parse(block);
}

}  // namespace velkaro
