#include "version/VersionBlock.h"

#include <gtest/gtest.h>

#include "version/VersionBlockFormat.h"

using namespace velkaro;

namespace {

std::vector<std::uint8_t> Block(const std::vector<std::string>& entries, bool end = true,
                                const std::string& magic = VELKARO_VERSION_MAGIC) {
  std::string s = magic + '\0';
  for (const auto& e : entries) s += e + '\0';
  if (end) s += '\0';
  return {s.begin(), s.end()};
}

TEST(VersionBlockTest, FindsValuesByPathWithoutRegardToCaseOrDoubledSeparators) {
  const auto block = TVersionBlock::Parse(
      Block({"\\VarFileInfo\\Translation=0409fde9", "\\StringFileInfo\\0409fde9\\FileVersion=1.2",
             "\\StringFileInfo\\0409fde9\\Comments=a=b"}));
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->size(), 3u);
  EXPECT_EQ(block->Query("\\\\VarFileInfo\\\\Translation"), "0409fde9");
  EXPECT_EQ(block->Query("\\stringfileinfo\\0409FDE9\\fileversion"), "1.2");
  EXPECT_EQ(block->Query("StringFileInfo\\0409fde9\\FileVersion\\"), "1.2");
  EXPECT_EQ(block->Query("\\StringFileInfo\\0409fde9\\Comments"), "a=b");
  EXPECT_FALSE(block->Query("\\StringFileInfo\\040904e4\\FileVersion").has_value());
  EXPECT_FALSE(block->Query("\\StringFileInfo\\0409fde9\\File").has_value());
}

TEST(VersionBlockTest, FirstOfDuplicatePathsWinsAndEmptyValuesAreKept) {
  const auto block = TVersionBlock::Parse(Block({"\\A=first", "\\a=second", "\\B="}));
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->Query("\\A"), "first");
  EXPECT_EQ(block->Query("\\B"), "");
}

TEST(VersionBlockTest, BytesAfterTheEndAreIgnoredAndValuesKeepEveryByte) {
  auto bytes = Block({"\\K=caf\xC3\xA9 \x80\xFF"});
  bytes.insert(bytes.end(), {0, 0, 'x', 'y'});
  const auto block = TVersionBlock::Parse(bytes);
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->Query("\\K"), "caf\xC3\xA9 \x80\xFF");
  EXPECT_EQ(block->size(), 1u);
}

TEST(VersionBlockTest, MalformedBlocksAreRefused) {
  EXPECT_FALSE(TVersionBlock::Parse({}));
  EXPECT_FALSE(TVersionBlock::Parse(Block({"\\A=1"}, true, "VELKARO-VERSION-BLOCK-2")));
  EXPECT_FALSE(TVersionBlock::Parse(Block({"\\A=1"}, true, "ELKARO-VERSION-BLOCK-1")));
  const std::string magic = VELKARO_VERSION_MAGIC;
  EXPECT_FALSE(TVersionBlock::Parse(std::vector<std::uint8_t>(magic.begin(), magic.end())));
  EXPECT_FALSE(TVersionBlock::Parse(Block({"\\A=1"}, false)));  // no end of list
  EXPECT_FALSE(TVersionBlock::Parse(Block({"\\A=1", "\\B"})));  // entry without "="
  auto cut = Block({"\\A=1", "\\B=2"}, false);
  cut.pop_back();  // entry without its NUL
  EXPECT_FALSE(TVersionBlock::Parse(cut));
  EXPECT_TRUE(TVersionBlock::Parse(Block({})));  // an empty list is fine
}

TEST(VersionBlockTest, EntryCountIsBounded) {
  std::vector<std::string> entries;
  for (int i = 0; i < 1024; ++i) entries.push_back("\\K" + std::to_string(i) + "=v");
  EXPECT_TRUE(TVersionBlock::Parse(Block(entries)));
  entries.push_back("\\Kmore=v");
  EXPECT_FALSE(TVersionBlock::Parse(Block(entries)));
}

}  // namespace
