#include "protocol/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TempDir.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  std::string Edit(const std::string& original,
                   const std::vector<std::tuple<std::string, std::string, std::string>>& writes) {
    WriteBytes(file, {original.begin(), original.end()});
    TIniFile ini(file);
    for (const auto& [section, key, value] : writes) ini.WriteString(section, key, value);
    ini.UpdateFile();
    const auto bytes = ReadBytes(file);
    return {bytes.begin(), bytes.end()};
  }
  TTempDir dir;
  std::string file = dir.File("test.ini");
};

TEST_F(IniFileTest, SectionAndKeyNamesMatchWithoutRegardToCase) {
  EXPECT_EQ(Edit("[Main]\r\nColour=red\r\n", {{"MAIN", "colour", "blue"}}),
            "[Main]\r\nColour=blue\r\n");
}

TEST_F(IniFileTest, NonAsciiLettersMatchOnlyExactly) {
  EXPECT_EQ(Edit("[\xC9t\xE9]\r\n", {{"\xE9t\xE9", "k", "v"}}),
            "[\xC9t\xE9]\r\n[\xE9t\xE9]\r\nk=v\r\n");
}

// Found by fuzzing: a key given with blanks was written with them, then rewritten without them.
TEST_F(IniFileTest, KeysAreWrittenWithoutSurroundingBlanks) {
  EXPECT_EQ(Edit("", {{"S", " k\t", "v"}}), "[S]\r\nk=v\r\n");
  EXPECT_EQ(Edit("[S]\r\nk=v\r\n", {{"S", " k\t", "v"}}), "[S]\r\nk=v\r\n");
}

TEST_F(IniFileTest, KeyLineWithoutValueIsTheKey) {
  EXPECT_EQ(Edit("[S]\r\nk\r\n", {{"S", "k", "v"}}), "[S]\r\nk=v\r\n");
}

TEST_F(IniFileTest, CommentsAndLinesBeforeTheFirstSectionAreNeverKeys) {
  EXPECT_EQ(Edit("k=top\r\n[S]\r\n;k=comment\r\n# k=other\r\n", {{"S", "k", "v"}}),
            "k=top\r\n[S]\r\n;k=comment\r\n# k=other\r\nk=v\r\n");
}

TEST_F(IniFileTest, KeysAreAppendedAfterTheSectionsLastNonBlankLine) {
  EXPECT_EQ(Edit("[S]\r\na=1\r\n\r\n \t\r\n[T]\r\n", {{"s", "b", "2"}, {"S", "c", "3"}}),
            "[S]\r\na=1\r\nb=2\r\nc=3\r\n\r\n \t\r\n[T]\r\n");
  EXPECT_EQ(Edit("[S]\r\n\r\n", {{"S", "b", "2"}}), "[S]\r\nb=2\r\n\r\n");
}

TEST_F(IniFileTest, HeaderEndsAtItsLastBracket) {
  EXPECT_EQ(Edit("[a]b] trailing\r\n", {{"a]b", "k", "v"}}), "[a]b] trailing\r\nk=v\r\n");
  // A "[" without "]" is no header.
  EXPECT_EQ(Edit("[S]\r\n[broken\r\n", {{"S", "k", "v"}}), "[S]\r\n[broken\r\nk=v\r\n");
}

TEST_F(IniFileTest, NothingWrittenLeavesTheFileAlone) {
  TIniFile ini(dir.File("absent.ini"));
  ini.UpdateFile();
  EXPECT_FALSE(std::filesystem::exists(dir.File("absent.ini")));
}

TEST_F(IniFileTest, InvalidKeysAndLineBreaksAreRefusedBeforeTheFileIsRead) {
  TIniFile ini(dir.File("absent.ini"));
  EXPECT_THROW(ini.WriteString("S", "a=b", "v"), TIniWriteError);
  EXPECT_THROW(ini.WriteString("S", " ", "v"), TIniWriteError);
  // Found by fuzzing: these keys read back as a comment or a section header.
  EXPECT_THROW(ini.WriteString("S", ";k", "v"), TIniWriteError);
  EXPECT_THROW(ini.WriteString("S", " #k", "v"), TIniWriteError);
  EXPECT_THROW(ini.WriteString("S", "[k", "]"), TIniWriteError);
  EXPECT_THROW(ini.WriteString("S", "k", "v\n"), TIniWriteError);
  EXPECT_THROW(ini.WriteString("S\r", "k", "v"), TIniWriteError);
  ini.UpdateFile();
  EXPECT_FALSE(std::filesystem::exists(dir.File("absent.ini")));
}

TEST_F(IniFileTest, NamedPipeIsRefusedWithoutBlocking) {
#ifdef _WIN32
  GTEST_SKIP() << "named pipes (mkfifo) are POSIX";
#else
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  TIniFile ini(file);
  EXPECT_THROW(ini.WriteString("S", "k", "v"), TIniWriteError);
#endif
}

TEST_F(IniFileTest, ValueBytesAreWrittenUnchanged) {
  std::string value = "\x01\x7F\x80\xFE\xFF \xC3\xA9";
  value += '\0';
  value += "end";
  EXPECT_EQ(Edit("", {{"S", "k", value}}), "[S]\r\nk=" + value + "\r\n");
}

}  // namespace
