#include "protocol/ModelRegistry.h"

#include <algorithm>

#include "protocol/Frame.h"

namespace velkaro {

namespace {

constexpr std::uint8_t ro = kFlagReadOnly;
constexpr std::uint8_t rw = kFlagReadWrite;

void Add(TConfigFile& list, std::uint16_t tag, std::uint8_t flags, std::uint8_t type) {
  list.push_back(MakeDescriptor(tag, flags, type));
}

// Entries 1-13 of every model, in their listed order (12 comes before 11).
void AddCommon(TConfigFile& list) {
  Add(list, 1, rw, vtIPv4);
  Add(list, 2, rw, vtIPv4);
  Add(list, 3, rw, vtIPv4);
  Add(list, 4, rw, vtWord);
  Add(list, 5, ro, vtString);
  Add(list, 6, rw, vtByte);
  Add(list, 7, rw, vtString);
  Add(list, 8, rw, vtString);
  Add(list, 9, rw, vtString);
  Add(list, 10, ro, vtMac);
  Add(list, 12, ro, vtString);
  Add(list, 11, ro, vtString);
  Add(list, 13, ro, vtDWord);
}

// Supervision block: address, method byte, five words.
void AddSupervision(TConfigFile& list, std::uint16_t first) {
  Add(list, first, rw, vtIPv4);
  Add(list, first + 1, rw, vtByte);
  for (std::uint16_t t = first + 2; t <= first + 6; ++t) Add(list, t, rw, vtWord);
}

void AddSecurityPairs(TConfigFile& list, std::uint16_t first, int pairs) {
  for (int i = 0; i < pairs; ++i) {
    Add(list, static_cast<std::uint16_t>(first + 2 * i), rw, vtIPv4);
    Add(list, static_cast<std::uint16_t>(first + 2 * i + 1), rw, vtByte);
  }
}

// One rack device's 34 entries: name, flags, then socket names, logins, passwords, rights.
void AddRackDevice(TConfigFile& list, int d) {
  const auto base = static_cast<std::uint16_t>(100 * d);
  Add(list, base + 39, rw, vtString);
  Add(list, base + 40, rw, vtByte);
  for (int column = 0; column < 4; ++column)
    for (int k = 0; k < 8; ++k)
      Add(list, static_cast<std::uint16_t>(base + 41 + column + 4 * k), rw,
          column == 3 ? vtByte : vtString);
}

TConfigFile BuildZel1() {
  TConfigFile l;
  AddCommon(l);
  Add(l, 20, rw, vtIPv4);
  Add(l, 21, rw, vtByte);
  for (std::uint16_t t = 22; t <= 26; ++t) Add(l, t, rw, vtWord);
  AddSecurityPairs(l, 30, 4);
  Add(l, 40, rw, vtString);
  Add(l, 41, rw, vtString);
  Add(l, 42, rw, vtString);
  Add(l, 50, rw, vtByte);
  Add(l, 70, rw, vtByte);
  Add(l, 71, ro, vtDWord);
  Add(l, 72, ro, vtDWord);
  return l;
}

TConfigFile BuildZel4() {
  TConfigFile l;
  AddCommon(l);
  AddSecurityPairs(l, 20, 4);
  for (std::uint16_t first : {28, 35, 42, 49}) AddSupervision(l, first);
  for (int k = 0; k < 4; ++k) {
    const auto t = static_cast<std::uint16_t>(56 + 4 * k);
    Add(l, t, rw, vtString);
    Add(l, t + 1, rw, vtString);
    Add(l, t + 2, rw, vtString);
    Add(l, t + 3, rw, vtByte);
  }
  for (std::uint16_t t = 72; t <= 75; ++t) Add(l, t, rw, vtByte);
  Add(l, 80, rw, vtByte);
  for (std::uint16_t t = 81; t <= 85; ++t) Add(l, t, ro, vtDWord);
  return l;
}

TConfigFile BuildZel8() {
  TConfigFile l;
  AddCommon(l);
  AddSecurityPairs(l, 20, 8);
  Add(l, 37, rw, vtString);
  AddRackDevice(l, 0);
  Add(l, 36, rw, vtByte);
  for (int d = 0; d < 5; ++d)
    for (int t = 81; t <= 89; ++t) Add(l, static_cast<std::uint16_t>(100 * d + t), ro, vtDWord);
  for (int d = 1; d < 5; ++d) AddRackDevice(l, d);
  return l;
}

}  // namespace

const TConfigFile& Zel1Descriptors() {
  static const TConfigFile list = BuildZel1();
  return list;
}
const TConfigFile& Zel4Descriptors() {
  static const TConfigFile list = BuildZel4();
  return list;
}
const TConfigFile& Zel8Descriptors() {
  static const TConfigFile list = BuildZel8();
  return list;
}

TModelRegistry::TModelRegistry(std::vector<TConfigDevice> models) {
  for (TConfigDevice& m : models)
    if (Find(m.modelCode) < 0) models_.push_back(std::move(m));
}

int TModelRegistry::Find(std::uint32_t modelCode) const {
  for (std::size_t i = 0; i < models_.size(); ++i)
    if (models_[i].modelCode == modelCode) return static_cast<int>(i);
  return -1;
}

const TDescriptor* TModelRegistry::FindDescriptor(std::uint16_t tag,
                                                  std::uint32_t modelCode) const {
  const int index = Find(modelCode);
  if (index < 0) return nullptr;
  const auto& list = models_[static_cast<std::size_t>(index)].descriptors;
  auto it = std::find_if(list.begin(), list.end(),
                         [tag](TDescriptor d) { return DescriptorTag(d) == tag; });
  return it == list.end() ? nullptr : &*it;
}

std::uint8_t TModelRegistry::TypeOfTag(std::uint16_t tag, std::uint32_t modelCode) const {
  switch (tag) {
    case 1:
    case 2:
    case 3:
      return vtIPv4;
    case 4:
      return vtWord;
    case 5:
    case 7:
      return vtString;
    case 6:
      return vtByte;
    case 13:
      return vtDWord;
    default:
      break;
  }
  const TDescriptor* d = FindDescriptor(tag, modelCode);
  return d ? DescriptorType(*d) : std::uint8_t{vtUnknown};
}

std::uint8_t TModelRegistry::FlagsOfTag(std::uint16_t tag, std::uint32_t modelCode) const {
  const TDescriptor* d = FindDescriptor(tag, modelCode);
  return d ? DescriptorFlags(*d) : 0;
}

bool TModelRegistry::HasTag(std::uint16_t tag, std::uint32_t modelCode) const {
  return FindDescriptor(tag, modelCode) != nullptr;
}

std::uint16_t TModelRegistry::MaxTag(std::uint32_t modelCode) const {
  const int index = Find(modelCode);
  if (index < 0) return 0;
  std::uint16_t best = 0;
  for (TDescriptor d : models_[static_cast<std::size_t>(index)].descriptors)
    best = std::max(best, DescriptorTag(d));
  return best;
}

const TModelRegistry& ModelRegistry() {
  static const TModelRegistry registry({{kModelZel1, Zel1Descriptors()},
                                        {kModelZel4, Zel4Descriptors()},
                                        {kModelZel8, Zel8Descriptors()}});
  return registry;
}

int FindModel(std::uint32_t modelCode) {
  return ModelRegistry().Find(modelCode);
}
std::uint8_t TypeOfTag(std::uint16_t tag, std::uint32_t modelCode) {
  return ModelRegistry().TypeOfTag(tag, modelCode);
}
std::uint8_t FlagsOfTag(std::uint16_t tag, std::uint32_t modelCode) {
  return ModelRegistry().FlagsOfTag(tag, modelCode);
}
bool HasTag(std::uint16_t tag, std::uint32_t modelCode) {
  return ModelRegistry().HasTag(tag, modelCode);
}
std::uint16_t MaxTag(std::uint32_t modelCode) {
  return ModelRegistry().MaxTag(modelCode);
}

}  // namespace velkaro
