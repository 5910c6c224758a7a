#include <gtest/gtest.h>

#include "cli/DeviceSelector.h"

namespace velkaro::cli {
namespace {

TZEL Device(std::uint16_t kind, std::uint64_t mac, std::uint32_t ip) {
  TZEL r;
  r.address = NumberToAddress((std::uint64_t{kind} << 48) | mac);
  if (kind == 1) r.MAC = mac;
  r.values.Set(2, ip);
  return r;
}

TEST(ParseDottedIpv4, AcceptsFourOctets) {
  std::uint32_t ip = 1;
  ASSERT_TRUE(ParseDottedIpv4("192.168.0.10", ip));
  EXPECT_EQ(ip, 0xC0A8000Au);
  ASSERT_TRUE(ParseDottedIpv4("0.0.0.0", ip));
  EXPECT_EQ(ip, 0u);
  ASSERT_TRUE(ParseDottedIpv4("255.255.255.255", ip));
  EXPECT_EQ(ip, 0xFFFFFFFFu);
}

TEST(ParseDottedIpv4, RejectsEverythingElse) {
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.256", "10.300.1.1",
                          "a.b.c.d", " 1.2.3.4", "1.2.3.4 ", "1.2.3.-4", "+1.2.3.4", "01.2.3.4",
                          "1..2.3", "1.2.3.4.", "0x1.2.3.4", "1.2.3.4:80"}) {
    std::uint32_t ip = 7;
    EXPECT_FALSE(ParseDottedIpv4(bad, ip)) << bad;
    EXPECT_EQ(ip, 7u) << bad;
  }
}

TEST(DeviceSelector, IpSelectsByTag2) {
  TDeviceSelector s;
  std::string error;
  ASSERT_TRUE(TDeviceSelector::Parse("10.0.0.2", s, error)) << error;
  EXPECT_FALSE(s.ByMac());
  EXPECT_TRUE(s.Matches(Device(1, 0x02005E000001, 0x0A000002)));
  EXPECT_TRUE(s.Matches(Device(2, 0x0A000002CCA5, 0x0A000002)));
  EXPECT_FALSE(s.Matches(Device(1, 0x02005E000001, 0x0A000003)));
  // A device that never reported its IP is not 0.0.0.0's match either.
  ASSERT_TRUE(TDeviceSelector::Parse("0.0.0.0", s, error));
  TZEL noIp;
  noIp.address = NumberToAddress((std::uint64_t{1} << 48) | 5);
  noIp.MAC = 5;
  EXPECT_FALSE(s.Matches(noIp));
}

TEST(DeviceSelector, MacInBothNotations) {
  const TZEL d = Device(1, 0x001A2B3C4D5E, 0x0A000001);
  for (const char* text :
       {"00.1A.2B.3C.4D.5E", "00:1a:2b:3c:4d:5e", "00.1a.2B.3c.4D.5e", "00:1A:2B:3C:4D:5E"}) {
    TDeviceSelector s;
    std::string error;
    ASSERT_TRUE(TDeviceSelector::Parse(text, s, error)) << text << ": " << error;
    EXPECT_TRUE(s.ByMac());
    EXPECT_TRUE(s.Matches(d)) << text;
    EXPECT_FALSE(s.Matches(Device(1, 0x001A2B3C4D5F, 0x0A000001))) << text;
  }
}

TEST(DeviceSelector, ZeroMacNeverMatchesADeviceAddressedByIp) {
  TDeviceSelector s;
  std::string error;
  ASSERT_TRUE(TDeviceSelector::Parse("00.00.00.00.00.00", s, error));
  EXPECT_FALSE(s.Matches(Device(2, 0x0A000002CCA5, 0x0A000002)));
  EXPECT_TRUE(s.Matches(Device(1, 0, 0x0A000002)));
}

TEST(DeviceSelector, RejectsMalformedText) {
  for (const char* bad : {"", "00.1A.2B.3C.4D", "00.1A.2B.3C.4D.5E.6F", "00-1A-2B-3C-4D-5E",
                          "00.1A:2B.3C.4D.5E", "0.1A.2B.3C.4D.5E0", "00.1G.2B.3C.4D.5E",
                          "001A2B3C4D5E", "rack-3", "10.0.0", "10.0.0.256", " 10.0.0.1"}) {
    TDeviceSelector s;
    std::string error;
    EXPECT_FALSE(TDeviceSelector::Parse(bad, s, error)) << bad;
    EXPECT_NE(error.find(std::string("'") + bad + "'"), std::string::npos) << error;
  }
}

TEST(DeviceSelector, FindsTheFirstAndCountsAll) {
  TDeviceList list;
  const TZEL a = Device(1, 0x000000000001, 0x0A000001);
  const TZEL b = Device(1, 0x000000000002, 0x0A000002);
  const TZEL c = Device(1, 0x000000000003, 0x0A000002);
  for (const TZEL* r : {&a, &b, &c})
    list.Replace(static_cast<std::size_t>(list.Append(r->address)), *r);

  TDeviceSelector s;
  std::string error;
  ASSERT_TRUE(TDeviceSelector::Parse("10.0.0.2", s, error));
  EXPECT_EQ(s.FindIn(list), 1);
  EXPECT_EQ(s.CountIn(list), 2u);
  ASSERT_TRUE(TDeviceSelector::Parse("00:00:00:00:00:03", s, error));
  EXPECT_EQ(s.FindIn(list), 2);
  EXPECT_EQ(s.CountIn(list), 1u);
  ASSERT_TRUE(TDeviceSelector::Parse("10.0.0.9", s, error));
  EXPECT_EQ(s.FindIn(list), -1);
  EXPECT_EQ(s.CountIn(list), 0u);
}

}  // namespace
}  // namespace velkaro::cli
