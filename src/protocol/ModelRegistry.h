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
constexpr std::uint16_t DescriptorTag(TDescriptor d) {
  return static_cast<std::uint16_t>(d);
}
constexpr std::uint8_t DescriptorFlags(TDescriptor d) {
  return static_cast<std::uint8_t>(d >> 16);
}
constexpr std::uint8_t DescriptorType(TDescriptor d) {
  return static_cast<std::uint8_t>(d >> 24);
}

using TConfigFile = std::vector<TDescriptor>;

// A registry entry; the window keeps each model's dialog factory beside it (ui/PropertyDialog.h).
struct TConfigDevice {
  std::uint32_t modelCode = 0;
  TConfigFile descriptors;
};

inline constexpr std::uint32_t kModelZel1 = 0x01010100;
inline constexpr std::uint32_t kModelZel4 = 0x04010100;
inline constexpr std::uint32_t kModelZel8 = 0x08000100;

// The models a program knows. Built once and never changed afterwards, so every thread may read
// it without a lock.
class TModelRegistry {
 public:
  // A model code listed twice keeps its first entry.
  explicit TModelRegistry(std::vector<TConfigDevice> models);

  const std::vector<TConfigDevice>& Models() const { return models_; }
  // Index of the model in Models(), or -1.
  int Find(std::uint32_t modelCode) const;
  // The wire type of a tag: fixed for the tags every model has, else from the model's list
  // (vtUnknown when the model or the tag is not listed).
  std::uint8_t TypeOfTag(std::uint16_t tag, std::uint32_t modelCode) const;
  std::uint8_t FlagsOfTag(std::uint16_t tag, std::uint32_t modelCode) const;
  bool HasTag(std::uint16_t tag, std::uint32_t modelCode) const;
  // The largest listed tag of the model; 0 for an unknown model.
  std::uint16_t MaxTag(std::uint32_t modelCode) const;

 private:
  const TDescriptor* FindDescriptor(std::uint16_t tag, std::uint32_t modelCode) const;

  std::vector<TConfigDevice> models_;
};

// The three built-in models in their fixed order: the registry both front ends and the simulator
// use.
const TModelRegistry& ModelRegistry();

// The same lookups in ModelRegistry().
int FindModel(std::uint32_t modelCode);
std::uint8_t TypeOfTag(std::uint16_t tag, std::uint32_t modelCode);
std::uint8_t FlagsOfTag(std::uint16_t tag, std::uint32_t modelCode);
bool HasTag(std::uint16_t tag, std::uint32_t modelCode);
std::uint16_t MaxTag(std::uint32_t modelCode);

const TConfigFile& Zel1Descriptors();
const TConfigFile& Zel4Descriptors();
const TConfigFile& Zel8Descriptors();

}  // namespace velkaro
