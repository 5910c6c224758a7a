#include "protocol/ConfigFile.h"

#include "protocol/ModelRegistry.h"

namespace velkaro {

std::string ConfigSectionName(const TZEL& record) {
  return SlotText(record, 5) + "  " + SlotText(record, 12);
}

std::optional<std::string> ConfigEntryValue(const TZEL& record, std::uint16_t tag,
                                            std::uint32_t modelCode) {
  switch (TypeOfTag(tag, modelCode) & 0x7F) {
    case vtIPv4:
      return IpToText(SlotNumber(record, tag));
    case vtString:
      return SlotText(record, tag);
    case vtByte:
    case vtWord:
    case vtDWord:
      return std::to_string(SlotNumber(record, tag));
    default:
      return std::nullopt;
  }
}

void WriteConfigEntry(TIniFile& file, const TZEL& record, std::uint16_t tag,
                      std::uint32_t modelCode) {
  if (const auto value = ConfigEntryValue(record, tag, modelCode))
    file.WriteString(ConfigSectionName(record), std::to_string(tag), *value);
}

void SaveConfig(const std::string& fileName, const TZEL& record) {
  TIniFile file(fileName);
  const std::uint32_t model = record.ModelCode();
  const std::uint16_t last = MaxTag(model);
  for (std::uint32_t tag = 1; tag <= last; ++tag)
    WriteConfigEntry(file, record, static_cast<std::uint16_t>(tag), model);
  file.UpdateFile();
}

}  // namespace velkaro
