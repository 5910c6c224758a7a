#include "version/Oem.h"

#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "support/TempDir.h"

using namespace velkaro;

namespace {

class OemTest : public ::testing::Test {
 protected:
  void SetUp() override { Scramble(); }
  void TearDown() override {
    OemCode = kDefaultOemCode;
    MakerWebAddress.clear();
    MakerEmail.clear();
    UpgradeOffered = true;
  }
  // Leftovers of an earlier selection must not survive the next one.
  static void Scramble() {
    OemCode = 1;
    MakerWebAddress = "stale";
    MakerEmail = "stale";
    UpgradeOffered = false;
  }
  // OEM bytes 18-19 of a request as the devices see them.
  static std::pair<int, int> WireBytes() {
    TSendBuf buf;
    BuildHeader(kAllDevices, TCommand::Discover, buf);
    return {buf[18], buf[19]};
  }
  static void ExpectSelection(int byte18, int byte19, bool upgrade, bool addresses) {
    EXPECT_EQ(WireBytes(), std::make_pair(byte18, byte19));
    EXPECT_EQ(UpgradeOffered, upgrade);
    EXPECT_EQ(MakerWebAddress, addresses ? kMakerWebAddress : "");
    EXPECT_EQ(MakerEmail, addresses ? kMakerEmail : "");
  }
};

TEST_F(OemTest, BuildZeroIsTheOrdinaryBuild) {
  SelectOem(VELKARO_PROBE_BUILD0);
  EXPECT_EQ(OemCode, 4901);
  ExpectSelection(0x25, 0x13, true, true);
}

// The ordinary build: no build option given at configure time.
TEST_F(OemTest, DefaultBuildOptionIsTheOrdinaryBuild) {
  if (std::string(VELKARO_BUILD_NUMBER_OPTION) != "0")
    GTEST_SKIP() << "configured with VELKARO_BUILD_NUMBER=" VELKARO_BUILD_NUMBER_OPTION;
  SelectOem(VELKARO_PROBE_DEFAULT);
  ExpectSelection(0x25, 0x13, true, true);
}

TEST_F(OemTest, BuildOneHidesTheUpgradeAndKeepsTheAddresses) {
  SelectOem(VELKARO_PROBE_BUILD1);
  EXPECT_EQ(OemCode, 5413);
  ExpectSelection(0x25, 0x15, false, true);
}

TEST_F(OemTest, BuildTwoHidesTheUpgradeAndTheAddresses) {
  SelectOem(VELKARO_PROBE_BUILD2);
  EXPECT_EQ(OemCode, 5157);
  ExpectSelection(0x25, 0x14, false, false);
}

TEST_F(OemTest, OtherBuildNumbersKeepTheDefaultsWithoutAddresses) {
  SelectOem(VELKARO_PROBE_BUILD10);  // "10" starts with "1" but is not "1"
  ExpectSelection(0x25, 0x13, true, false);
}

TEST_F(OemTest, ProgramWithoutVersionInformationKeepsTheDefaults) {
  SelectOem(VELKARO_PROBE_NOBLOCK);
  ExpectSelection(0x25, 0x13, true, false);
  Scramble();
  SelectOem(VELKARO_PROBE_NOFILEVERSION);
  ExpectSelection(0x25, 0x13, true, false);
  Scramble();
  velkaro::testing::TTempDir dir;
  SelectOem(dir.File("missing"));
  ExpectSelection(0x25, 0x13, true, false);
}

TEST_F(OemTest, VersionWithoutSeparatorMatchesNoBuild) {
  SelectOem(VELKARO_PROBE_NOSEP);
  ExpectSelection(0x25, 0x13, true, false);
}

TEST_F(OemTest, CommaSeparatedVersionSelectsLikeDotted) {
  SelectOem(VELKARO_PROBE_COMMA);  // 1,2,0,2
  ExpectSelection(0x25, 0x14, false, false);
}

TEST_F(OemTest, ShortVersionUsesItsLastPartAsBuild) {
  SelectOem(VELKARO_PROBE_SHORT);  // 1.2: build "2"
  ExpectSelection(0x25, 0x14, false, false);
}

TEST_F(OemTest, NoArgumentReadsTheRunningProgram) {
  SelectOem();  // this test program is built as build 1
  ExpectSelection(0x25, 0x15, false, true);
}

}  // namespace
