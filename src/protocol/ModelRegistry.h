// Parameter descriptors of the known device models and the registry that maps a model code
// (the device's tag 13) to its descriptor list and property dialog factory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace velkaro {

// Descriptor word: tag in bits 0-15, flags in bits 16-23, value type in bits 24-31.
using TDescriptor = std::uint32_t;

inline constexpr std::uint8_t kFlagReadOnly = 0;
inline constexpr std::uint8_t kFlagWriteOnly = 1;  // written, left out of read requests
inline constexpr std::uint8_t kFlagReadWrite = 2;

constexpr TDescriptor MakeDescriptor(std::uint16_t tag, std::uint8_t flags, std::uint8_t type) {
  return static_cast<TDescriptor>(tag) | (static_cast<TDescriptor>(flags) << 16) |
         (static_cast<TDescriptor>(type) << 24);
}
constexpr std::uint16_t DescriptorTag(TDescriptor d) { return static_cast<std::uint16_t>(d); }
constexpr std::uint8_t DescriptorFlags(TDescriptor d) { return static_cast<std::uint8_t>(d >> 16); }
constexpr std::uint8_t DescriptorType(TDescriptor d) { return static_cast<std::uint8_t>(d >> 24); }

using TConfigFile = std::vector<TDescriptor>;

// A registry entry; the window keeps each model's dialog factory beside it (ui/PropertyDialog.h).
struct TConfigDevice {
  std::uint32_t modelCode = 0;
  TConfigFile descriptors;
};

inline constexpr std::uint32_t kModelZel1 = 0x01010100;
inline constexpr std::uint32_t kModelZel4 = 0x04010100;
inline constexpr std::uint32_t kModelZel8 = 0x08000100;

extern std::vector<TConfigDevice> ModelRegistry;

void RegisterModel(std::uint32_t modelCode, const TConfigFile& descriptors);
int FindModel(std::uint32_t modelCode);
std::uint8_t TypeOfTag(std::uint16_t tag, std::uint32_t modelCode);
std::uint8_t FlagsOfTag(std::uint16_t tag, std::uint32_t modelCode);
bool HasTag(std::uint16_t tag, std::uint32_t modelCode);
std::uint16_t MaxTag(std::uint32_t modelCode);

const TConfigFile& Zel1Descriptors();
const TConfigFile& Zel4Descriptors();
const TConfigFile& Zel8Descriptors();

// Registers the three models in their fixed order.
void RegisterBuiltinModels();

}  // namespace velkaro
