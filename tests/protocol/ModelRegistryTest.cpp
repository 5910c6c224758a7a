#include <gtest/gtest.h>

#include <set>

#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"

using namespace velkaro;

namespace {

using RegistryTest = ::testing::Test;

std::vector<std::uint16_t> Tags(const TConfigFile& list) {
  std::vector<std::uint16_t> tags;
  for (auto d : list) tags.push_back(DescriptorTag(d));
  return tags;
}

TEST(DescriptorTables, CountsAndUniqueTags) {
  const std::pair<const TConfigFile*, std::size_t> tables[] = {
      {&Zel1Descriptors(), 35}, {&Zel4Descriptors(), 75}, {&Zel8Descriptors(), 246}};
  for (auto [list, count] : tables) {
    EXPECT_EQ(list->size(), count);
    auto tags = Tags(*list);
    EXPECT_EQ(std::set<std::uint16_t>(tags.begin(), tags.end()).size(), count) << "duplicate tag";
    for (auto d : *list) {
      EXPECT_TRUE(DescriptorFlags(d) == kFlagReadOnly || DescriptorFlags(d) == kFlagReadWrite);
      EXPECT_GE(DescriptorType(d), 1);
      EXPECT_LE(DescriptorType(d), 6);
    }
  }
}

TEST(DescriptorTables, CommonEntriesInListedOrder) {
  const std::vector<std::uint16_t> common{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 11, 13};
  for (const TConfigFile* list : {&Zel1Descriptors(), &Zel4Descriptors(), &Zel8Descriptors()}) {
    auto tags = Tags(*list);
    EXPECT_EQ(std::vector<std::uint16_t>(tags.begin(), tags.begin() + 13), common);
  }
  EXPECT_EQ(Zel1Descriptors()[9], MakeDescriptor(10, kFlagReadOnly, vtMac));
}

TEST(DescriptorTables, Zel1ExactOrder) {
  EXPECT_EQ(Tags(Zel1Descriptors()),
            (std::vector<std::uint16_t>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 12, 11,
                                        13, 20, 21, 22, 23, 24, 25, 26, 30, 31, 32, 33,
                                        34, 35, 36, 37, 40, 41, 42, 50, 70, 71, 72}));
  EXPECT_EQ(Zel1Descriptors()[14], MakeDescriptor(21, kFlagReadWrite, vtByte));
  EXPECT_EQ(Zel1Descriptors()[34], MakeDescriptor(72, kFlagReadOnly, vtDWord));
}

TEST(DescriptorTables, Zel4SocketBlocksAndCounters) {
  const auto& l = Zel4Descriptors();
  // Entries 50-65: per socket name, login, password, rights byte.
  EXPECT_EQ(l[49], MakeDescriptor(56, kFlagReadWrite, vtString));
  EXPECT_EQ(l[52], MakeDescriptor(59, kFlagReadWrite, vtByte));
  EXPECT_EQ(l[64], MakeDescriptor(71, kFlagReadWrite, vtByte));
  // Supervision blocks: address, method byte, five words.
  EXPECT_EQ(l[21], MakeDescriptor(28, kFlagReadWrite, vtIPv4));
  EXPECT_EQ(l[22], MakeDescriptor(29, kFlagReadWrite, vtByte));
  EXPECT_EQ(l[27], MakeDescriptor(34, kFlagReadWrite, vtWord));
  EXPECT_EQ(l[69], MakeDescriptor(80, kFlagReadWrite, vtByte));
  EXPECT_EQ(l[74], MakeDescriptor(85, kFlagReadOnly, vtDWord));
}

TEST(DescriptorTables, Zel8LayoutAndTagSet) {
  const auto& l = Zel8Descriptors();
  auto tags = Tags(l);
  // Device 0 block: name, flags, socket names, logins, passwords, rights.
  EXPECT_EQ(tags[29], 37);
  EXPECT_EQ(std::vector<std::uint16_t>(tags.begin() + 30, tags.begin() + 40),
            (std::vector<std::uint16_t>{39, 40, 41, 45, 49, 53, 57, 61, 65, 69}));
  EXPECT_EQ(tags[40], 42);
  EXPECT_EQ(tags[56], 44);
  EXPECT_EQ(tags[63], 72);
  EXPECT_EQ(l[64], MakeDescriptor(36, kFlagReadWrite, vtByte));
  EXPECT_EQ(l[65], MakeDescriptor(81, kFlagReadOnly, vtDWord));
  EXPECT_EQ(tags[109], 489);
  EXPECT_EQ(std::vector<std::uint16_t>(tags.begin() + 110, tags.begin() + 113),
            (std::vector<std::uint16_t>{139, 140, 141}));
  EXPECT_EQ(tags.back(), 472);

  std::set<std::uint16_t> expected;
  auto range = [&](int a, int b) {
    for (int t = a; t <= b; ++t) expected.insert(static_cast<std::uint16_t>(t));
  };
  range(1, 13);
  range(20, 37);
  range(39, 72);
  for (int d = 0; d < 5; ++d) range(81 + 100 * d, 89 + 100 * d);
  for (int d = 1; d < 5; ++d) range(39 + 100 * d, 72 + 100 * d);
  EXPECT_EQ(std::set<std::uint16_t>(tags.begin(), tags.end()), expected);
  for (auto d : l) {
    const auto t = DescriptorTag(d);
    const bool readOnly =
        t == 5 || t == 10 || t == 11 || t == 12 || t == 13 || (t % 100 >= 81 && t % 100 <= 89);
    EXPECT_EQ(DescriptorFlags(d), readOnly ? kFlagReadOnly : kFlagReadWrite) << t;
  }
}

TEST_F(RegistryTest, FindModelInRegistrationOrder) {
  EXPECT_EQ(FindModel(kModelZel1), 0);
  EXPECT_EQ(FindModel(kModelZel4), 1);
  EXPECT_EQ(FindModel(kModelZel8), 2);
  EXPECT_EQ(FindModel(0), -1);
  EXPECT_EQ(FindModel(0x08000101), -1);
}

TEST_F(RegistryTest, MaxTagPerModel) {
  EXPECT_EQ(MaxTag(kModelZel1), 72);
  EXPECT_EQ(MaxTag(kModelZel4), 85);
  EXPECT_EQ(MaxTag(kModelZel8), 489);
  EXPECT_EQ(MaxTag(0), 0);
  EXPECT_EQ(MaxTag(0x12345678), 0);
}

TEST_F(RegistryTest, TypeOfTagHardWiredAnswersHoldForAnyModel) {
  for (std::uint32_t model : {0u, kModelZel1, 0xDEADBEEFu}) {
    EXPECT_EQ(TypeOfTag(1, model), vtIPv4);
    EXPECT_EQ(TypeOfTag(2, model), vtIPv4);
    EXPECT_EQ(TypeOfTag(3, model), vtIPv4);
    EXPECT_EQ(TypeOfTag(4, model), vtWord);
    EXPECT_EQ(TypeOfTag(5, model), vtString);
    EXPECT_EQ(TypeOfTag(6, model), vtByte);
    EXPECT_EQ(TypeOfTag(7, model), vtString);
    EXPECT_EQ(TypeOfTag(13, model), vtDWord);
  }
  EXPECT_EQ(TypeOfTag(8, 0), vtUnknown);
  EXPECT_EQ(TypeOfTag(8, kModelZel1), vtString);
  EXPECT_EQ(TypeOfTag(10, kModelZel4), vtMac);
  EXPECT_EQ(TypeOfTag(38, kModelZel8), vtUnknown);
  EXPECT_EQ(TypeOfTag(0xFFFF, kModelZel8), vtUnknown);
}

TEST_F(RegistryTest, FlagsAndHasTag) {
  EXPECT_EQ(FlagsOfTag(13, kModelZel1), kFlagReadOnly);
  EXPECT_EQ(FlagsOfTag(4, kModelZel1), kFlagReadWrite);
  EXPECT_EQ(FlagsOfTag(4, 0), 0);  // no list, no answer
  EXPECT_FALSE(HasTag(38, kModelZel8));
  EXPECT_TRUE(HasTag(139, kModelZel8));
  EXPECT_FALSE(HasTag(139, kModelZel4));
  EXPECT_FALSE(HasTag(1, 0));
}

TEST_F(RegistryTest, BuiltinModelsInTheirFixedOrder) {
  const auto& models = ModelRegistry().Models();
  ASSERT_EQ(models.size(), 3u);
  EXPECT_EQ(models[0].modelCode, kModelZel1);
  EXPECT_EQ(models[1].modelCode, kModelZel4);
  EXPECT_EQ(models[2].modelCode, kModelZel8);
  EXPECT_EQ(&ModelRegistry(), &ModelRegistry());  // built once
}

TEST_F(RegistryTest, DuplicateModelCodeKeepsItsFirstEntry) {
  const TModelRegistry registry({{kModelZel1, Zel1Descriptors()},
                                 {kModelZel1, {MakeDescriptor(99, kFlagReadWrite, vtByte)}}});
  EXPECT_EQ(registry.Models().size(), 1u);
  EXPECT_EQ(registry.Find(kModelZel1), 0);
  EXPECT_EQ(registry.MaxTag(kModelZel1), 72);
  EXPECT_FALSE(registry.HasTag(99, kModelZel1));
}

TEST_F(RegistryTest, LookupMasksNothingButCallersMaskTypeTopBit) {
  const TModelRegistry registry(
      std::vector<TConfigDevice>{{0x42, {MakeDescriptor(20, kFlagReadWrite, vtWord | 0x80)}}});
  EXPECT_EQ(registry.TypeOfTag(20, 0x42), vtWord | 0x80);
  EXPECT_EQ(registry.TypeOfTag(20, 0x42) & 0x7F, vtWord);
  EXPECT_EQ(registry.MaxTag(0x42), 20);
  EXPECT_EQ(FindModel(0x42), -1);  // the built-in registry is not touched
}

}  // namespace
