// What a simulated device knows about itself: its model's parameter list and a plausible,
// complete set of values for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/DeviceRecord.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::sim {

// The model's descriptor list; a model the program does not know gets the common tags 1-13.
// Independent of the process-wide registry, so a simulator can run beside the program under test.
const TConfigFile& SimDescriptors(std::uint32_t modelCode);
// Descriptor of `tag` in that list, or 0 when the model has no such tag.
TDescriptor SimDescriptor(std::uint32_t modelCode, int tag);

// Plausible parameter set of one device: every tag of the model's descriptor list has a value.
// `index` makes names, addresses and counters differ between devices; `mac` is its address.
TZEL MakeDeviceRecord(std::uint32_t modelCode, std::size_t index, std::uint64_t mac);

// Model code from "zel1", "zel4", "zel8" or a number (decimal or 0x hex); false when unknown.
bool ParseModelName(const std::string& text, std::uint32_t& modelCode);
std::string ModelName(std::uint32_t modelCode);

}  // namespace velkaro::sim
