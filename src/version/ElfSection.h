// Reads one named section of an ELF file (32 or 64 bit, either byte order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkaro {

// The section's bytes, or nothing when the file cannot be opened, is not a regular file, is not
// a well-formed ELF file, has no section of that name, or the section holds more than maxSize
// bytes. Every offset taken from the file is checked against the file's size first, so a
// truncated or corrupt file never makes it read outside the file or allocate more than maxSize.
std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& fileName,
                                                        std::string_view sectionName,
                                                        std::size_t maxSize);

}  // namespace velkaro
