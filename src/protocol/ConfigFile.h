// The .cfg file: one INI section per saved device, one "tag=value" line per parameter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/DeviceRecord.h"
#include "protocol/IniFile.h"

namespace velkaro {

// Section of a device: its tag-5 text, two blanks, its tag-12 text.
std::string ConfigSectionName(const TZEL& record);

// Value text of one entry by the tag's type: dotted IPv4, decimal number (unsigned, so counters
// of 2^31 and more stay positive) or the text unchanged; an empty slot gives 0.0.0.0, 0 or "".
// Nothing for a tag whose type is not 1-5 (MAC addresses, unknown tags).
std::optional<std::string> ConfigEntryValue(const TZEL& record, std::uint16_t tag,
                                            std::uint32_t modelCode);

// Writes one entry of the device into its section of `file`; does nothing for a tag whose type
// is not 1-5. Throws TIniWriteError (see TIniFile::WriteString).
void WriteConfigEntry(TIniFile& file, const TZEL& record, std::uint16_t tag,
                      std::uint32_t modelCode);

// Writes the device's section (tags 1 to MaxTag of its model, ascending) into `fileName`. The file
// is replaced in one step, so a failed save leaves it exactly as it was; an unknown model writes
// nothing and leaves the file alone. Throws TIniWriteError ("Impossible d'écrire dans <file>").
void SaveConfig(const std::string& fileName, const TZEL& record);

}  // namespace velkaro
