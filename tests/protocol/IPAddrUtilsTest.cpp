#include "protocol/IPAddrUtils.h"

#include <gtest/gtest.h>

#include <string>

namespace velkaro {
namespace {

// Runs `f` and returns the message of the exception of kind E it throws ("" if none).
template <typename E, typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("other kind: ") + e.what();
  }
  return {};
}

TEST(ExtractField, SplitsAtSeparator) {
  EXPECT_EQ(ExtractField("10.0.22.138", 1, '.'), "10");
  EXPECT_EQ(ExtractField("10.0.22.138", 3, '.'), "22");
  EXPECT_EQ(ExtractField("10.0.22.138", 4, '.'), "138");
  EXPECT_EQ(ExtractField("10.0.22.138", 5, '.'), "");
  EXPECT_EQ(ExtractField("10.0.22.138", 0, '.'), "");
  EXPECT_EQ(ExtractField("1..2.3", 2, '.'), "");
  EXPECT_EQ(ExtractField("1..2.3", 3, '.'), "2");
  EXPECT_EQ(ExtractField("a,b", 2, ','), "b");
  // A trailing separator leaves nothing for the next field.
  EXPECT_EQ(ExtractField("1.2.3.", 4, '.'), "");
  EXPECT_EQ(ExtractField("", 1, '.'), "");
}

TEST(CountChar, CountsOccurrences) {
  EXPECT_EQ(CountChar("1.2.3.4", '.'), 3);
  EXPECT_EQ(CountChar("", '.'), 0);
  EXPECT_EQ(CountChar("....", '.'), 4);
  EXPECT_EQ(CountChar("1.2.3.4", '4'), 1);
}

TEST(AllDigits, OnlyZeroToNine) {
  EXPECT_TRUE(AllDigits(""));
  EXPECT_TRUE(AllDigits("0123456789"));
  EXPECT_FALSE(AllDigits("12a"));
  EXPECT_FALSE(AllDigits(" 12"));
  EXPECT_FALSE(AllDigits("-1"));
  EXPECT_FALSE(AllDigits("1.2"));
}

TEST(ExpandIPString, PadsEachFieldToThreeDigits) {
  EXPECT_EQ(ExpandIPString("192.168.1.1"), "192168001001");
  EXPECT_EQ(ExpandIPString("0.0.0.0"), "000000000000");
  EXPECT_EQ(ExpandIPString("255.255.255.255"), "255255255255");
  EXPECT_EQ(ExpandIPString("10.20.3.40"), "010020003040");
}

TEST(ExpandIPString, SixteenCharactersIsAssertionFailure) {
  const std::string s = "1111.222.333.444";
  ASSERT_EQ(s.size(), 16u);
  EXPECT_EQ(MessageOf<TAssertionFailure>([&] { ExpandIPString(s); }),
            "Illegal length for IPString![1111.222.333.444(16)]");
  // Fifteen characters pass the length check.
  EXPECT_EQ(ExpandIPString("111.222.233.244"), "111222233244");
}

TEST(ExpandIPString, WrongDotCountIsAssertionFailure) {
  EXPECT_EQ(MessageOf<TAssertionFailure>([] { ExpandIPString("1.2.3"); }),
            "Must include exactly 3 dots! [1.2.3]");
  EXPECT_EQ(MessageOf<TAssertionFailure>([] { ExpandIPString("1.2.3.4.5"); }),
            "Must include exactly 3 dots! [1.2.3.4.5]");
  EXPECT_EQ(MessageOf<TAssertionFailure>([] { ExpandIPString(""); }),
            "Must include exactly 3 dots! []");
  EXPECT_THROW(ExpandIPString("1.2.3"), std::logic_error);
}

TEST(ExpandIPString, BadFieldsArePlainErrors) {
  EXPECT_EQ(MessageOf<TIPAddressError>([] { ExpandIPString("1.2345.3.4"); }),
            "IPAddress must include 4 pieces of length 1..3. IPAddressString[1.2345.3.4]");
  EXPECT_EQ(MessageOf<TIPAddressError>([] { ExpandIPString("1..2.3"); }),
            "IPAddress must include 4 pieces of length 1..3. IPAddressString[1..2.3]");
  EXPECT_EQ(MessageOf<TIPAddressError>([] { ExpandIPString("1.2.3."); }),
            "IPAddress must include 4 pieces of length 1..3. IPAddressString[1.2.3.]");
  EXPECT_EQ(MessageOf<TIPAddressError>([] { ExpandIPString("1.01.2.3"); }),
            "Leading zero not allowed. IPAddressString[1.01.2.3]");
  EXPECT_EQ(MessageOf<TIPAddressError>([] { ExpandIPString("1.2.3.007"); }),
            "Leading zero not allowed. IPAddressString[1.2.3.007]");
  // The two kinds stay apart: a field error is no assertion failure.
  EXPECT_THROW(
      {
        try {
          ExpandIPString("1.01.2.3");
        } catch (const TAssertionFailure&) {
          ADD_FAILURE() << "field error raised as assertion failure";
        }
      },
      TIPAddressError);
  EXPECT_THROW(
      {
        try {
          ExpandIPString("1.2.3");
        } catch (const TIPAddressError&) {
          ADD_FAILURE() << "assertion failure raised as field error";
        }
      },
      TAssertionFailure);
}

TEST(CheckExpandedIP, WrongLengthIsAssertionFailure) {
  EXPECT_EQ(MessageOf<TAssertionFailure>([] { CheckExpandedIP("19216800100", "x"); }),
            "Illegal length for IPString![x (Length:11) ]");
  EXPECT_NO_THROW(CheckExpandedIP("192168001001", "192.168.1.1"));
}

TEST(CheckIPString, RangeAndSymbols) {
  EXPECT_NO_THROW(CheckIPString("192.168.1.1"));
  EXPECT_NO_THROW(CheckIPString("255.255.255.255"));
  EXPECT_EQ(MessageOf<TIPAddressError>([] { CheckIPString("256.1.1.1"); }),
            "Triplets must be of range 0..255  IPAddressString[256.1.1.1]");
  EXPECT_EQ(MessageOf<TIPAddressError>([] { CheckIPString("1.1.1.999"); }),
            "Triplets must be of range 0..255  IPAddressString[1.1.1.999]");
  EXPECT_EQ(MessageOf<TIPAddressError>([] { CheckIPString("10.0. 1.2"); }),
            "IP Address contains illegal symbols. IPAddressString[10.0. 1.2]");
  EXPECT_EQ(MessageOf<TIPAddressError>([] { CheckIPString("10.a.1.2"); }),
            "IP Address contains illegal symbols. IPAddressString[10.a.1.2]");
  EXPECT_EQ(MessageOf<TIPAddressError>([] { CheckIPString("10.-1.1.2"); }),
            "IP Address contains illegal symbols. IPAddressString[10.-1.1.2]");
  EXPECT_EQ(MessageOf<TAssertionFailure>([] { CheckIPString("10.0.0"); }),
            "Must include exactly 3 dots! [10.0.0]");
}

TEST(IPOctet, ReturnsNumberedOctet) {
  EXPECT_EQ(IPOctet("10.0.0.138", 4), 138);
  EXPECT_EQ(IPOctet("10.0.0.138", 5), 0);
  EXPECT_EQ(IPOctet("10.0.0.138", 0), 0);
  EXPECT_EQ(IPOctet("192.168.7.1", 1), 192);
  EXPECT_EQ(IPOctet("192.168.7.1", 2), 168);
  EXPECT_EQ(IPOctet("192.168.7.1", 3), 7);
  // Checks run before N is looked at.
  EXPECT_THROW(IPOctet("300.0.0.1", 5), TIPAddressError);
  EXPECT_THROW(IPOctet("1.2.3", 1), TAssertionFailure);
}

}  // namespace
}  // namespace velkaro
