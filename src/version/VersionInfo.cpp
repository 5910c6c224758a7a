#include "version/VersionInfo.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "version/VersionBlock.h"
#include "version/VersionSource.h"

namespace velkaro {

namespace {

struct TTranslation {
  unsigned language;
  unsigned codePage;
};

// First translation: eight hexadecimal digits, language then code page; more may follow after
// a blank.
std::optional<TTranslation> FirstTranslation(const TVersionBlock& block) {
  const auto value = block.Query("\\\\VarFileInfo\\\\Translation");
  if (!value) return std::nullopt;
  const std::string first = value->substr(0, value->find(' '));
  if (first.size() != 8) return std::nullopt;
  unsigned language = 0, codePage = 0;
  const char* p = first.data();
  auto a = std::from_chars(p, p + 4, language, 16);
  auto b = std::from_chars(p + 4, p + 8, codePage, 16);
  if (a.ec != std::errc{} || a.ptr != p + 4 || b.ec != std::errc{} || b.ptr != p + 8)
    return std::nullopt;
  return TTranslation{language, codePage};
}

// Text after the first separator, or nothing when the text has none.
bool TakePart(std::string& rest, char separator, std::string& part) {
  const std::size_t at = rest.find(separator);
  if (at == std::string::npos) {
    part.clear();
    return false;
  }
  part = rest.substr(0, at);
  rest.erase(0, at + 1);
  return true;
}

}  // namespace

TFileVersionParts SplitFileVersion(const std::string& fileVersion) {
  TFileVersionParts parts;
  char separator = 0;
  if (fileVersion.find('.') != std::string::npos)
    separator = '.';
  else if (fileVersion.find(',') != std::string::npos)
    separator = ',';
  if (separator == 0) {
    parts.MajorVersion = parts.MinorVersion = parts.Release = parts.Build = kInfoNotAvailable;
    return parts;
  }
  std::string rest = fileVersion;
  TakePart(rest, separator, parts.MajorVersion);
  TakePart(rest, separator, parts.MinorVersion);
  TakePart(rest, separator, parts.Release);
  parts.Build = rest;
  return parts;
}

TVersionInfo::TVersionInfo(const void* owner) : TVersionInfo(owner, kOwnProgramFile) {}

TVersionInfo::TVersionInfo(const void* /*owner*/, const std::string& fileName) {
  GetInfo(fileName);
}

void TVersionInfo::GetInfo(const std::string& fileName) {
  struct TKey {
    const char* name;
    std::string TVersionInfo::*property;
  };
  static constexpr TKey kKeys[] = {
      {"CompanyName", &TVersionInfo::CompanyName},
      {"FileDescription", &TVersionInfo::FileDescription},
      {"FileVersion", &TVersionInfo::FileVersion},
      {"InternalName", &TVersionInfo::Internalname},
      {"LegalCopyright", &TVersionInfo::LegalCopyright},
      {"LegalTradeMarks", &TVersionInfo::LegalTradeMarks},
      {"OriginalFilename", &TVersionInfo::OriginalFilename},
      {"ProductName", &TVersionInfo::ProductName},
      {"ProductVersion", &TVersionInfo::ProductVersion},
      {"Comments", &TVersionInfo::Comments},
  };

  const std::optional<TVersionBlock> block = ReadVersionBlock(fileName);
  const auto translation = block ? FirstTranslation(*block) : std::nullopt;

  for (const TKey& key : kKeys) {
    std::optional<std::string> value;
    if (translation) {
      char prefix[64];
      std::snprintf(prefix, sizeof prefix, "\\\\StringFileInfo\\\\%.4x%.4x\\\\",
                    translation->language, translation->codePage);
      value = block->Query(std::string(prefix) + key.name);
    }
    this->*key.property = value ? *value : kInfoNotAvailable;
  }

  if (!block) {
    MajorVersion = MinorVersion = Release = Build = kInfoNotAvailable;
    return;
  }
  TFileVersionParts parts = SplitFileVersion(FileVersion);
  MajorVersion = std::move(parts.MajorVersion);
  MinorVersion = std::move(parts.MinorVersion);
  Release = std::move(parts.Release);
  Build = std::move(parts.Build);
}

}  // namespace velkaro
