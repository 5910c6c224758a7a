#include <gtest/gtest.h>

#include "protocol/Frame.h"

using namespace velkaro;

namespace {

TBytes Hex(std::initializer_list<int> bytes) {
  TBytes out;
  for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

TBytes Tail(const TBytes& buf, std::size_t from) {
  return TBytes(buf.begin() + from, buf.end());
}

TEST(FrameTest, DiscoverRequestIsTheFixed27Bytes) {
  TSendBuf buf{1, 2, 3};
  BuildHeader(kAllDevices, TCommand::Discover, buf);
  EXPECT_EQ(buf, Hex({0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0,    0,    0,   0,
                      0,    0,    0x00, 0x01, 0x25, 0x13, 0,    0,    0, 0, 0x00, 0xFF, 0xFF}));
}

TEST(FrameTest, HeaderCarriesOemCodeLowByteFirstAndCommand) {
  TSendBuf buf;
  const TDeviceAddress dest{0x00, 0x01, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  BuildHeader(dest, TCommand::Write, buf);
  StampOemCode(buf, 5157);
  ASSERT_EQ(buf.size(), 27u);
  EXPECT_TRUE(std::equal(dest.begin(), dest.end(), buf.begin()));
  EXPECT_EQ(buf[18], 0x25);
  EXPECT_EQ(buf[19], 0x14);
  EXPECT_EQ(buf[kCommandOffset], 2);
  // Too short to have a header: left as it is.
  TSendBuf shortOne(19, 0);
  StampOemCode(shortOne, 5157);
  EXPECT_EQ(shortOne, TSendBuf(19, 0));
}

TEST(FrameTest, ReadItemsForTags1And2) {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Read, buf);
  AddReadItem(buf, 1);
  AddReadItem(buf, 2);
  EXPECT_EQ(Tail(buf, 25), Hex({0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0xFF, 0xFF}));
}

TEST(FrameTest, WriteItemEncodingsByType) {
  struct Case {
    std::uint16_t tag;
    std::uint8_t type;
    std::uint32_t number;
    std::string text;
    TBytes item;
  };
  const Case cases[] = {
      {2, vtIPv4, TextToIp("192.168.1.10"), "", Hex({0x00, 0x02, 0x04, 0xC0, 0xA8, 0x01, 0x0A})},
      {4, vtWord, 80, "", Hex({0x00, 0x04, 0x02, 0x00, 0x50})},
      {50, vtByte, 5, "", Hex({0x00, 0x32, 0x01, 0x05})},
      {7, vtString, 0, "", Hex({0x00, 0x07, 0x00})},
      {7, vtString, 0, "ab", Hex({0x00, 0x07, 0x02, 'a', 'b'})},
      {13, vtDWord, 0x01010100, "", Hex({0x00, 0x0D, 0x04, 0x01, 0x01, 0x01, 0x00})},
      {4, vtWord | 0x80, 0x12345, "", Hex({0x00, 0x04, 0x02, 0x23, 0x45})},  // top bit ignored
  };
  for (const auto& c : cases) {
    TSendBuf buf;
    BuildHeader(kAllDevices, TCommand::Write, buf);
    AddWriteItem(buf, c.tag, c.type, c.number, c.text);
    TBytes expected = c.item;
    expected.push_back(0xFF);
    expected.push_back(0xFF);
    EXPECT_EQ(Tail(buf, 25), expected) << "tag " << c.tag;
    EXPECT_EQ(buf.size(), 27 + c.item.size());
  }
}

TEST(FrameTest, WriteItemOfMacOrUnknownTypeAppendsNothing) {
  for (std::uint8_t type : {0, 6, 7, 0x7F}) {
    TSendBuf buf;
    BuildHeader(kAllDevices, TCommand::Write, buf);
    AddWriteItem(buf, 10, type, 123);
    EXPECT_EQ(buf.size(), 27u) << int(type);
  }
}

TEST(FrameTest, UpgradeAddressIsKind2IpAndPort) {
  const TDeviceAddress a = IpPortAddress(TextToIp("10.0.0.138"));
  EXPECT_EQ(a, (TDeviceAddress{0x00, 0x02, 10, 0, 0, 138, 0xCC, 0xA5}));
  EXPECT_EQ(AddressToNumber(a), 0x0002'0A00'008A'CCA5ull);
  EXPECT_EQ(NumberToAddress(AddressToNumber(a)), a);
}

TEST(ByteOrder, SwapsReverseBytes) {
  EXPECT_EQ(Swap16(0x1234), 0x3412);
  EXPECT_EQ(Swap32(0x12345678u), 0x78563412u);
  EXPECT_EQ(Swap64(0x0102030405060708ull), 0x0807060504030201ull);
  EXPECT_EQ(Swap64(Swap64(0xDEADBEEFCAFEF00Dull)), 0xDEADBEEFCAFEF00Dull);
}

TEST(TextHelpers, TextToIpRules) {
  EXPECT_EQ(TextToIp(""), 0u);
  EXPECT_EQ(TextToIp("1.2.3"), 0u);
  EXPECT_EQ(TextToIp("1.2.3.4.5"), 0u);
  EXPECT_EQ(TextToIp("256.1.1.1"), 0u);
  EXPECT_EQ(TextToIp("abc"), 0u);
  EXPECT_EQ(TextToIp("1..3.4"), 0u);
  EXPECT_EQ(TextToIp("10.20.30.999"), TextToIp("10.20.30.0"));
  EXPECT_EQ(TextToIp("10.300.1.1"), 0x0A000000u);
  EXPECT_EQ(TextToIp("192.168.0.1"), 0xC0A80001u);
  EXPECT_EQ(TextToIp("255.255.255.255"), 0xFFFFFFFFu);
}

TEST(TextHelpers, ParseIpv4AcceptsExactlyFourDecimalOctets) {
  struct Case {
    std::string_view text;
    bool ok;
    std::uint32_t ip;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {"192.168.0.10", true, 0xC0A8000Au},
      {"0.0.0.0", true, 0u},
      {"255.255.255.255", true, 0xFFFFFFFFu},
      {"10.0.200.9", true, 0x0A00C809u},
      {"127.0.0.1", true, 0x7F000001u},
      {"", false, 0},
      {"1.2.3", false, 0},
      {"1.2.3.4.5", false, 0},
      {"256.1.1.1", false, 0},
      {"1.2.3.256", false, 0},
      {"10.300.1.1", false, 0},
      {"1.2.3.999", false, 0},
      {"1.2.3.1000", false, 0},
      {"1.2.3.0255", false, 0},
      {"a.b.c.d", false, 0},
      {" 1.2.3.4", false, 0},
      {"1.2.3.4 ", false, 0},
      {"1.2.3.4\n", false, 0},
      {"1.2 .3.4", false, 0},
      {"1.2.3.-4", false, 0},
      {"+1.2.3.4", false, 0},
      {"01.2.3.4", false, 0},
      {"1.2.3.00", false, 0},
      {"1..2.3", false, 0},
      {".1.2.3.4", false, 0},
      {"1.2.3.4.", false, 0},
      {"0x1.2.3.4", false, 0},
      {"1e1.2.3.4", false, 0},
      {"1.2.3.4:80", false, 0},
      {"1.2.3.4\0"sv, false, 0},
      {"\xC2\xB9.2.3.4", false, 0},  // a superscript one is not a digit
  };
  for (const auto& c : cases) {
    std::uint32_t ip = 7;
    EXPECT_EQ(ParseIpv4(c.text, ip), c.ok) << c.text;
    EXPECT_EQ(ip, c.ok ? c.ip : 7u) << c.text;  // untouched when refused
    if (c.ok) {
      EXPECT_EQ(IpToText(ip), c.text);
    }
  }
}

TEST(TextHelpers, IpToTextAndMacToText) {
  EXPECT_EQ(IpToText(0), "0.0.0.0");
  EXPECT_EQ(IpToText(0xFFFFFFFFu), "255.255.255.255");
  EXPECT_EQ(IpToText(0xC0A80001u), "192.168.0.1");
  EXPECT_EQ(MacToText(0x00010203'0A0Bull), "00.01.02.03.0A.0B");
  EXPECT_EQ(MacToText(0), "00.00.00.00.00.00");
  EXPECT_EQ(MacToText(0x001A2B3C4D5Eull), "00.1A.2B.3C.4D.5E");
}

}  // namespace
