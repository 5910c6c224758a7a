#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "version/VersionBlockFormat.h"
#include "version/VersionInfo.h"
#include "version/VersionSource.h"

namespace velkaro {

namespace {

std::wstring OwnModuleFile() {
  std::wstring name(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 6; ++attempt) {
    const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    name.resize(name.size() * 2);
  }
  return {};
}

std::wstring Wide(const std::string& utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), n, nullptr,
                        nullptr);
  return utf8;
}

void Append(std::vector<std::uint8_t>& block, const std::string& entry) {
  block.insert(block.end(), entry.begin(), entry.end());
  block.push_back(0);
}

}  // namespace

// The resource's entries are laid out as the ELF block is, so that one parser and one query
// serve both systems. The wide calls keep file names and texts in any script: the texts are
// UTF-16 in the resource and come back as UTF-8, as the Linux block holds them.
std::optional<TVersionBlock> ReadVersionBlock(const std::string& fileName) {
  const std::wstring file = fileName == kOwnProgramFile ? OwnModuleFile() : Wide(fileName);
  if (file.empty()) return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0 || size > TVersionBlock::kMaxSize) return std::nullopt;
  std::vector<std::uint8_t> data(size);
  if (!::GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return std::nullopt;

  struct TLangCodePage {
    WORD language;
    WORD codePage;
  };
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
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
      wchar_t* text = nullptr;
      UINT chars = 0;
      if (!::VerQueryValueW(data.data(), Wide(prefix + key).c_str(),
                            reinterpret_cast<void**>(&text), &chars) ||
          !text)
        continue;
      // The length counts the closing NUL where there is one.
      std::wstring wide(text, chars);
      if (const auto nul = wide.find(L'\0'); nul != std::wstring::npos) wide.resize(nul);
      std::string entry = Utf8(wide.data(), wide.size());
      Append(block, prefix + key + "=" + entry);
    }
  }
  block.push_back(0);
  return TVersionBlock::Parse(block);
}

}  // namespace velkaro
