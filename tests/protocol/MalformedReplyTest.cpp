// Malformed replies must never crash or read past the datagram; run under the sanitizer build too.
#include <gtest/gtest.h>

#include <random>

#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"
#include "support/ReplyBuilder.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

class MalformedTest : public ::testing::Test {
 protected:
  static TBytes FullRackReply() {
    TBytes d = ReplyHeader(MacAddress(0x00AABBCCDDEE));
    Item(d, 13, U32(kModelZel8));
    Item(d, 2, U32(0xC0A80001));
    TextItem(d, 7, "rack group");
    Item(d, 10, {0, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE});
    Item(d, 40, {3});
    Item(d, 4, {0, 80});
    Item(d, 81, U32(12345));
    TextItem(d, 139, std::string(200, 'n'));
    End(d);
    return d;
  }
};

// Copies each prefix to its own exact-size heap block so that any read past it is caught.
TEST_F(MalformedTest, EveryTruncationMergesSafely) {
  const TBytes full = FullRackReply();
  for (std::size_t n = 0; n <= full.size(); ++n) {
    TDeviceList list;
    TBytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    prefix.shrink_to_fit();
    const int index = MergeReplyInto(list, prefix);
    if (n < kMinReplySize) {
      EXPECT_EQ(index, -1);
      continue;
    }
    ASSERT_EQ(index, 0);
    const auto& r = list[0];
    // A truncated numeric item is never stored with a partial value.
    if (r.values.Has(2)) {
      EXPECT_EQ(r.values.AsUInt(2), 0xC0A80001u);
    }
    if (r.values.Has(81)) {
      EXPECT_EQ(r.values.AsUInt(81), 12345u);
    }
    // A string cut by the end keeps the bytes that are there.
    if (r.values.Has(139)) {
      EXPECT_EQ(r.values.AsText(139), std::string(r.values.AsText(139).size(), 'n'));
    }
  }
}

TEST_F(MalformedTest, TruncatedStringTakesAvailableBytesAndEndsWalk) {
  TBytes d = ReplyHeader(MacAddress(1));
  TextItem(d, 7, "abcdef");
  d.resize(d.size() - 2);  // "abcd" remains
  d.shrink_to_fit();
  TDeviceList list;
  MergeReplyInto(list, d);
  EXPECT_EQ(list[0].values.AsText(7), "abcd");
}

TEST_F(MalformedTest, WalkStopsBeforeReadingPastEnd) {
  TBytes d(25, 0);
  Item(d, 2, {0xC0, 0xA8, 0x00, 0x01});
  d.resize(d.size() - 2);  // the IPv4 value loses its last two bytes
  int visits = 0;
  WalkReplyItems(d, [&](const TReplyItem& item) {
    ++visits;
    EXPECT_TRUE(item.truncated);
    EXPECT_EQ(item.value.size(), 2u);
    EXPECT_LE(item.value.data() + item.value.size(), d.data() + d.size());
  });
  EXPECT_EQ(visits, 1);
  visits = 0;
  WalkReplyItems(TBytes(10, 0), [&](const TReplyItem&) { ++visits; });
  WalkReplyItems(TBytes(27, 0xFF), [&](const TReplyItem&) { ++visits; });  // only the list end
  EXPECT_EQ(visits, 0);
}

TEST_F(MalformedTest, RandomDatagramsNeverCrash) {
  std::mt19937 rng(2024);
  TDeviceList list;
  const TBytes valid = FullRackReply();
  for (int i = 0; i < 5000; ++i) {
    TBytes d;
    if (i % 2) {
      d.resize(std::uniform_int_distribution<std::size_t>(0, 600)(rng));
      for (auto& b : d) b = static_cast<std::uint8_t>(rng());
      if (d.size() >= kMinReplySize && i % 4 == 1)
        d[kSourceOffset] = 0, d[kSourceOffset + 1] = 1;  // plausible kind
    } else {
      d = valid;  // mutate a valid reply
      for (int k = 0; k < 6; ++k)
        d[std::uniform_int_distribution<std::size_t>(16, d.size() - 1)(rng)] =
            static_cast<std::uint8_t>(rng());
      d.resize(std::uniform_int_distribution<std::size_t>(16, d.size())(rng));
    }
    d.shrink_to_fit();
    const int index = MergeReplyInto(list, d);
    ASSERT_LT(index, static_cast<int>(list.size()));
    if (index >= 0) {
      EXPECT_LE(list[static_cast<std::size_t>(index)].values.Count(), 999u);
    }
  }
  EXPECT_GT(list.size(), 1u);
}

}  // namespace
