// Where a program file keeps its version entries: on Linux the ELF section the build embeds
// (VersionBlockFormat.h), on Windows the VERSIONINFO resource, read through the version API as
// the file properties show it. Either way they come back as one TVersionBlock.
#pragma once

#include <optional>
#include <string>

#include "version/VersionBlock.h"

namespace velkaro {

// The string keys a version resource holds, in resource order.
inline constexpr const char* kVersionStringKeys[] = {
    "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
    "LegalTradeMarks", "OriginalFilename", "ProductName", "ProductVersion", "Comments"};

// Nothing when the file cannot be read or carries no (well-formed) version entries.
std::optional<TVersionBlock> ReadVersionBlock(const std::string& fileName);

}  // namespace velkaro
