#include "version/VersionInfo.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/TempDir.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

const std::string kNA = kInfoNotAvailable;
const std::string kVersion3 = VELKARO_PROJECT_VERSION;  // major.minor.patch

std::vector<std::string> All(const TVersionInfo& v) {
  return {v.CompanyName,     v.FileDescription,  v.FileVersion, v.Internalname,   v.LegalCopyright,
          v.LegalTradeMarks, v.OriginalFilename, v.ProductName, v.ProductVersion, v.Comments,
          v.MajorVersion,    v.MinorVersion,     v.Release,     v.Build};
}

void ExpectParts(const TVersionInfo& v, const std::string& major, const std::string& minor,
                 const std::string& release, const std::string& build) {
  EXPECT_EQ(v.MajorVersion, major);
  EXPECT_EQ(v.MinorVersion, minor);
  EXPECT_EQ(v.Release, release);
  EXPECT_EQ(v.Build, build);
}

TEST(SplitFileVersionTest, SplitsAtDotsOrElseCommas) {
  auto p = SplitFileVersion("1.2.0.2");
  EXPECT_EQ(std::vector<std::string>({p.MajorVersion, p.MinorVersion, p.Release, p.Build}),
            std::vector<std::string>({"1", "2", "0", "2"}));
  p = SplitFileVersion("1,2,0,2");
  EXPECT_EQ(std::vector<std::string>({p.MajorVersion, p.MinorVersion, p.Release, p.Build}),
            std::vector<std::string>({"1", "2", "0", "2"}));
  // A dot anywhere makes the dot the separator; commas then stay inside the parts.
  p = SplitFileVersion("1,2.3,4");
  EXPECT_EQ(std::vector<std::string>({p.MajorVersion, p.MinorVersion, p.Release, p.Build}),
            std::vector<std::string>({"1,2", "", "", "3,4"}));
}

TEST(SplitFileVersionTest, MissingSeparatorsLeaveEmptyPartsAndTheRestWhole) {
  auto p = SplitFileVersion("1.2");
  EXPECT_EQ(std::vector<std::string>({p.MajorVersion, p.MinorVersion, p.Release, p.Build}),
            std::vector<std::string>({"1", "", "", "2"}));
  p = SplitFileVersion("1.2.3");
  EXPECT_EQ(std::vector<std::string>({p.MajorVersion, p.MinorVersion, p.Release, p.Build}),
            std::vector<std::string>({"1", "2", "", "3"}));
  p = SplitFileVersion("1.2.3.4.5");
  EXPECT_EQ(std::vector<std::string>({p.MajorVersion, p.MinorVersion, p.Release, p.Build}),
            std::vector<std::string>({"1", "2", "3", "4.5"}));
  p = SplitFileVersion(".");
  EXPECT_EQ(std::vector<std::string>({p.MajorVersion, p.MinorVersion, p.Release, p.Build}),
            std::vector<std::string>({"", "", "", ""}));
}

TEST(SplitFileVersionTest, EmptyOrSeparatorFreeTextIsNotAvailable) {
  for (const char* text : {"", "1202", "1 2 0 2", "<info not available>"}) {
    SCOPED_TRACE(text);
    auto p = SplitFileVersion(text);
    EXPECT_EQ(std::vector<std::string>({p.MajorVersion, p.MinorVersion, p.Release, p.Build}),
              std::vector<std::string>(4, kNA));
  }
}

TEST(VersionInfoTest, ProgramWithoutBlockHasNoInformationAtAll) {
  TVersionInfo v(nullptr, VELKARO_PROBE_NOBLOCK);
  EXPECT_EQ(All(v), std::vector<std::string>(14, kNA));
}

TEST(VersionInfoTest, MissingOrUnreadableFilesHaveNoInformation) {
  TTempDir dir;
  for (const std::string& name : {dir.File("missing"), dir.Path().string(), std::string()}) {
    TVersionInfo v(nullptr, name);
    EXPECT_EQ(All(v), std::vector<std::string>(14, kNA)) << name;
  }
}

TEST(VersionInfoTest, ReadsEveryStringOfTheBlockItsBuildEmbedded) {
  TVersionInfo v(nullptr, VELKARO_PROBE_BUILD0);
  EXPECT_EQ(v.CompanyName, "Velkaro developers");
  EXPECT_EQ(v.FileDescription, "Probe \"zero\" C:\\dir; na\xC3\xAFve = yes");
  EXPECT_EQ(v.FileVersion, kVersion3 + ".0");
  EXPECT_EQ(v.Internalname, "velkaro_probe_build0");
  EXPECT_EQ(v.LegalCopyright, "Copyright (C) Velkaro developers");
  EXPECT_EQ(v.LegalTradeMarks, "Velkaro");
  EXPECT_EQ(v.OriginalFilename, "velkaro_probe_build0");
  EXPECT_EQ(v.ProductName, "Velkaro");
  EXPECT_EQ(v.ProductVersion, kVersion3);
  EXPECT_EQ(v.Comments, "Finds and configures network power switches");
  ExpectParts(v, VELKARO_VERSION_MAJOR, VELKARO_VERSION_MINOR, VELKARO_VERSION_PATCH, "0");
}

TEST(VersionInfoTest, BuildNumberIsTheFourthPart) {
  struct TCase {
    const char* file;
    const char* build;
    const char* description;
  };
  for (const TCase& c : {TCase{VELKARO_PROBE_BUILD1, "1", "Probe one"},
                         TCase{VELKARO_PROBE_BUILD2, "2", "Probe two"},
                         TCase{VELKARO_PROBE_BUILD10, "10", "Probe ten"},
                         TCase{VELKARO_PROBE_STRIPPED, "1", "Probe one"}}) {
    SCOPED_TRACE(c.file);
    TVersionInfo v(nullptr, c.file);
    EXPECT_EQ(v.FileVersion, kVersion3 + "." + c.build);
    EXPECT_EQ(v.FileDescription, c.description);
    ExpectParts(v, VELKARO_VERSION_MAJOR, VELKARO_VERSION_MINOR, VELKARO_VERSION_PATCH, c.build);
  }
}

TEST(VersionInfoTest, DefaultBuildNumberIsTheBuildOption) {
  TVersionInfo v(nullptr, VELKARO_PROBE_DEFAULT);
  EXPECT_EQ(v.FileDescription, "Default build");
  EXPECT_EQ(v.FileVersion, kVersion3 + "." VELKARO_BUILD_NUMBER_OPTION);
  EXPECT_EQ(v.Build, VELKARO_BUILD_NUMBER_OPTION);
}

TEST(VersionInfoTest, CommaSeparatedVersionSplitsLikeDotted) {
  TVersionInfo v(nullptr, VELKARO_PROBE_COMMA);
  EXPECT_EQ(v.FileVersion, "1,2,0,2");
  ExpectParts(v, "1", "2", "0", "2");
}

TEST(VersionInfoTest, VersionWithoutSeparatorHasNoParts) {
  TVersionInfo v(nullptr, VELKARO_PROBE_NOSEP);
  EXPECT_EQ(v.FileVersion, "1202");
  EXPECT_EQ(v.FileDescription, "No separator");
  ExpectParts(v, kNA, kNA, kNA, kNA);
}

TEST(VersionInfoTest, ShortVersionKeepsItsLastPartAsBuild) {
  TVersionInfo v(nullptr, VELKARO_PROBE_SHORT);
  EXPECT_EQ(v.FileVersion, "1.2");
  ExpectParts(v, "1", "", "", "2");
}

TEST(VersionInfoTest, KeysMissingFromABlockAreNotAvailable) {
  TVersionInfo v(nullptr, VELKARO_PROBE_NOFILEVERSION);
  EXPECT_EQ(v.FileDescription, "No FileVersion");
  EXPECT_EQ(v.FileVersion, kNA);
  EXPECT_EQ(v.Comments, kNA);
  EXPECT_EQ(v.ProductName, "Velkaro");
  ExpectParts(v, kNA, kNA, kNA, kNA);
}

TEST(VersionInfoTest, GetInfoRefillsEveryProperty) {
  TVersionInfo v(nullptr, VELKARO_PROBE_BUILD1);
  ASSERT_EQ(v.Build, "1");
  v.GetInfo(VELKARO_PROBE_NOBLOCK);
  EXPECT_EQ(All(v), std::vector<std::string>(14, kNA));
  v.GetInfo(VELKARO_PROBE_SHORT);
  ExpectParts(v, "1", "", "", "2");
}

// The block is read from the file each time, not compiled into the reader: editing the bytes
// of a copy changes what is read.
TEST(VersionInfoTest, ReadsTheFileAsItIsNow) {
  TTempDir dir;
  std::vector<std::uint8_t> bytes = ReadBytes(VELKARO_PROBE_BUILD0);
#ifdef _WIN32
  // The resource holds the value as UTF-16: its characters each followed by a zero byte.
  std::string from;
  for (const char c : kVersion3 + ".0") from += {c, '\0'};
  from.pop_back();
#else
  const std::string from = "FileVersion=" + kVersion3 + ".0";
#endif
  auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
  ASSERT_NE(at, bytes.end());
  *(at + static_cast<long>(from.size()) - 1) = '7';
  const std::string copy = dir.File("edited");
  WriteBytes(copy, bytes);
  TVersionInfo v(nullptr, copy);
  EXPECT_EQ(v.FileVersion, kVersion3 + ".7");
  EXPECT_EQ(v.Build, "7");
}

TEST(VersionInfoTest, OwnProgramFileIsTheRunningTest) {
  TVersionInfo v;
  EXPECT_EQ(v.FileDescription, "Version tests");
  EXPECT_EQ(v.Internalname, "version_tests");
  EXPECT_EQ(v.Build, "1");
}

}  // namespace
