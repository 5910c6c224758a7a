#include "version/Oem.h"

#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "support/TempDir.h"

using namespace velkaro;

namespace {

// The variant a program file selects, with the OEM bytes 18-19 its requests carry.
void ExpectSelection(const TOemVariant& variant, int byte18, int byte19, bool upgrade,
                     bool addresses) {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Discover, buf);
  StampOemCode(buf, variant.code);
  EXPECT_EQ(std::make_pair(int{buf[18]}, int{buf[19]}), std::make_pair(byte18, byte19));
  EXPECT_EQ(variant.upgradeOffered, upgrade);
  EXPECT_EQ(variant.makerWebAddress, addresses ? kMakerWebAddress : "");
  EXPECT_EQ(variant.makerEmail, addresses ? kMakerEmail : "");
}

TEST(OemTest, BuildZeroIsTheOrdinaryBuild) {
  const TOemVariant variant = SelectOem(VELKARO_PROBE_BUILD0);
  EXPECT_EQ(variant.code, 4901);
  ExpectSelection(variant, 0x25, 0x13, true, true);
}

// The ordinary build: no build option given at configure time.
TEST(OemTest, DefaultBuildOptionIsTheOrdinaryBuild) {
  if (std::string(VELKARO_BUILD_NUMBER_OPTION) != "0")
    GTEST_SKIP() << "configured with VELKARO_BUILD_NUMBER=" VELKARO_BUILD_NUMBER_OPTION;
  ExpectSelection(SelectOem(VELKARO_PROBE_DEFAULT), 0x25, 0x13, true, true);
}

TEST(OemTest, BuildOneHidesTheUpgradeAndKeepsTheAddresses) {
  const TOemVariant variant = SelectOem(VELKARO_PROBE_BUILD1);
  EXPECT_EQ(variant.code, 5413);
  ExpectSelection(variant, 0x25, 0x15, false, true);
}

TEST(OemTest, BuildTwoHidesTheUpgradeAndTheAddresses) {
  const TOemVariant variant = SelectOem(VELKARO_PROBE_BUILD2);
  EXPECT_EQ(variant.code, 5157);
  ExpectSelection(variant, 0x25, 0x14, false, false);
}

TEST(OemTest, OtherBuildNumbersKeepTheDefaultsWithoutAddresses) {
  ExpectSelection(SelectOem(VELKARO_PROBE_BUILD10),  // "10" starts with "1" but is not "1"
                  0x25, 0x13, true, false);
}

TEST(OemTest, ProgramWithoutVersionInformationKeepsTheDefaults) {
  ExpectSelection(SelectOem(VELKARO_PROBE_NOBLOCK), 0x25, 0x13, true, false);
  ExpectSelection(SelectOem(VELKARO_PROBE_NOFILEVERSION), 0x25, 0x13, true, false);
  velkaro::testing::TTempDir dir;
  ExpectSelection(SelectOem(dir.File("missing")), 0x25, 0x13, true, false);
}

TEST(OemTest, VersionWithoutSeparatorMatchesNoBuild) {
  ExpectSelection(SelectOem(VELKARO_PROBE_NOSEP), 0x25, 0x13, true, false);
}

TEST(OemTest, CommaSeparatedVersionSelectsLikeDotted) {
  ExpectSelection(SelectOem(VELKARO_PROBE_COMMA),  // 1,2,0,2
                  0x25, 0x14, false, false);
}

TEST(OemTest, ShortVersionUsesItsLastPartAsBuild) {
  ExpectSelection(SelectOem(VELKARO_PROBE_SHORT),  // 1.2: build "2"
                  0x25, 0x14, false, false);
}

TEST(OemTest, NoArgumentReadsTheRunningProgram) {
  ExpectSelection(SelectOem(),  // this test program is built as build 1
                  0x25, 0x15, false, true);
}

}  // namespace
