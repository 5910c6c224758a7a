#include <gtest/gtest.h>

#include <random>

#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "support/ReplyBuilder.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

class MergeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session.settings.showDeviceRow = [this](int index) { shown.push_back(index); };
  }

  static TBytes Discovery(std::uint64_t mac, const std::string& name, std::uint32_t model) {
    TBytes d = ReplyHeader(MacAddress(mac));
    TextItem(d, 7, name);
    TextItem(d, 5, "ZEL");
    Item(d, 2, U32(0x0A000001));
    Item(d, 4, {0x00, 0x50});
    Item(d, 13, U32(model));
    End(d);
    return d;
  }

  TSession session;
  std::vector<int> shown;
};

TEST_F(MergeTest, SameDeviceTenTimesGivesOneRecord) {
  for (int i = 0; i < 10; ++i)
    MergeReply(session, {"10.0.0.1", 52389, true, Discovery(0x1A2B3C, "a", kModelZel1), {}});
  ASSERT_EQ(session.DeviceList.size(), 1u);
  EXPECT_EQ(shown, std::vector<int>(10, 0));
  EXPECT_EQ(session.DeviceList[0].values.AsText(7), "a");
  EXPECT_EQ(session.DeviceList[0].values.AsUInt(4), 80u);
  EXPECT_EQ(session.DeviceList[0].MAC, 0x1A2B3Cu);
  EXPECT_EQ(session.DeviceList[0].address, MacAddress(0x1A2B3C));
}

TEST_F(MergeTest, TwoDevicesInArrivalOrder) {
  MergeReply(session, {"", 0, true, Discovery(0xB, "second-mac-first", kModelZel4), {}});
  MergeReply(session, {"", 0, true, Discovery(0xA, "other", kModelZel1), {}});
  ASSERT_EQ(session.DeviceList.size(), 2u);
  EXPECT_EQ(session.DeviceList[0].values.AsText(7), "second-mac-first");
  EXPECT_EQ(session.DeviceList[1].values.AsText(7), "other");
  EXPECT_EQ(shown, (std::vector<int>{0, 1}));
}

TEST_F(MergeTest, SourceEndingInSixFFIsIgnored) {
  TBytes d = ReplyHeader({0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  TextItem(d, 7, "x");
  End(d);
  MergeReply(session, {"", 0, true, d, {}});
  d[9] = 0x02;  // any kind
  MergeReply(session, {"", 0, true, d, {}});
  EXPECT_TRUE(session.DeviceList.empty());
  EXPECT_TRUE(shown.empty());
}

TEST_F(MergeTest, Kind2AddressKeepsMacZero) {
  TBytes d = ReplyHeader(IpPortAddress(0x0A000005));
  TextItem(d, 7, "by-ip");
  End(d);
  MergeReply(session, {"", 0, true, d, {}});
  ASSERT_EQ(session.DeviceList.size(), 1u);
  EXPECT_EQ(session.DeviceList[0].MAC, 0u);
  EXPECT_EQ(MacToText(session.DeviceList[0].MAC), "00.00.00.00.00.00");
  EXPECT_EQ(session.DeviceList[0].address, IpPortAddress(0x0A000005));
}

TEST_F(MergeTest, TagBeforeModelCodeIsDroppedAfterItIsStored) {
  TBytes before = ReplyHeader(MacAddress(1));
  TextItem(before, 8, "admin");
  Item(before, 13, U32(kModelZel1));
  End(before);
  MergeReply(session, {"", 0, true, before, {}});
  EXPECT_FALSE(session.DeviceList[0].values.Has(8));
  EXPECT_EQ(session.DeviceList[0].ModelCode(), kModelZel1);

  TBytes after = ReplyHeader(MacAddress(2));
  Item(after, 13, U32(kModelZel1));
  TextItem(after, 8, "admin");
  End(after);
  MergeReply(session, {"", 0, true, after, {}});
  EXPECT_EQ(session.DeviceList[1].values.AsText(8), "admin");
}

TEST_F(MergeTest, OnlyTheLastFlagRefreshesTheRow) {
  MergeReply(session, {"", 0, true, Discovery(7, "rack", kModelZel8), {}});
  shown.clear();
  for (int batch = 0; batch < 5; ++batch) {
    TBytes d = ReplyHeader(MacAddress(7));
    Item(d, static_cast<std::uint16_t>(81 + 100 * batch), U32(1000u + batch));
    End(d);
    MergeReply(session, {"", 0, batch == 4, d, {}});
  }
  EXPECT_EQ(shown, std::vector<int>{0});
  EXPECT_EQ(session.DeviceList[0].values.AsUInt(481), 1004u);
  EXPECT_EQ(session.DeviceList[0].values.AsUInt(181), 1001u);
}

TEST_F(MergeTest, LengthThatDoesNotFitTheTypeLeavesSlot) {
  MergeReply(session, {"", 0, true, Discovery(3, "n", kModelZel1), {}});
  TBytes d = ReplyHeader(MacAddress(3));
  Item(d, 2, {1, 2, 3});            // IPv4 with length 3
  Item(d, 4, {0x50});               // word with length 1: skipped, walk goes on
  Item(d, 6, {0x03});               // byte
  Item(d, 10, {1, 2, 3, 4, 5, 6});  // MAC as 48-bit number
  Item(d, 0xFFFF, {9});             // never stored
  End(d);
  MergeReply(session, {"", 0, true, d, {}});
  const auto& r = session.DeviceList[0];
  EXPECT_EQ(r.values.AsUInt(2), 0x0A000001u);
  EXPECT_EQ(r.values.AsUInt(4), 80u);
  EXPECT_EQ(r.values.AsUInt(6), 3u);
  EXPECT_EQ(std::get<std::int64_t>(r.values.Get(10)), 0x010203040506);
}

TEST_F(MergeTest, ShortDatagramsAreIgnored) {
  for (std::size_t n = 0; n < 16; ++n) MergeReply(session, {"", 0, true, TBytes(n, 0x01), {}});
  EXPECT_TRUE(session.DeviceList.empty());
  // Exactly a source address and nothing else: a record, no values.
  TBytes d(16, 0);
  d[9] = 1;
  d[15] = 9;
  MergeReply(session, {"", 0, true, d, {}});
  ASSERT_EQ(session.DeviceList.size(), 1u);
  EXPECT_EQ(session.DeviceList[0].values.Count(), 0u);
}

TEST_F(MergeTest, IndexMatchesFirstMatchLinearScan) {
  std::mt19937 rng(7);
  std::vector<TDeviceAddress> seen;
  for (int i = 0; i < 3000; ++i) {
    const auto mac = std::uniform_int_distribution<std::uint64_t>(1, 400)(rng);
    const TDeviceAddress a =
        (i % 3) ? MacAddress(mac) : IpPortAddress(static_cast<std::uint32_t>(mac));
    TBytes d = ReplyHeader(a);
    End(d);
    const int index = MergeReplyInto(session.DeviceList, d);
    auto it = std::find(seen.begin(), seen.end(), a);
    if (it == seen.end()) {
      seen.push_back(a);
      it = seen.end() - 1;
    }
    ASSERT_EQ(index, it - seen.begin());
  }
  EXPECT_EQ(session.DeviceList.size(), seen.size());
}

TEST_F(MergeTest, ReplaceKeepsIndexInStep) {
  MergeReply(session, {"", 0, true, Discovery(1, "a", kModelZel1), {}});
  MergeReply(session, {"", 0, true, Discovery(2, "b", kModelZel1), {}});
  TZEL copy = session.DeviceList[1];
  copy.values.Set(7, std::string("renamed"));
  session.DeviceList.Replace(1, copy);
  EXPECT_EQ(session.DeviceList.Find(MacAddress(2)), 1);
  copy.address = MacAddress(5);
  session.DeviceList.Replace(1, copy);
  EXPECT_EQ(session.DeviceList.Find(MacAddress(2)), -1);
  EXPECT_EQ(session.DeviceList.Find(MacAddress(5)), 1);
  session.DeviceList.Clear();
  EXPECT_EQ(session.DeviceList.Find(MacAddress(1)), -1);
}

TEST(ValueSlots, EmptySlotsAndConversions) {
  TValueSlots s;
  EXPECT_EQ(s.AsUInt(5), 0u);
  EXPECT_EQ(s.AsText(5), "");
  EXPECT_FALSE(s.Has(5));
  s.Set(5, std::uint32_t{0});
  EXPECT_TRUE(s.Has(5));  // zero is a value, not an empty slot
  s.Set(6, std::string("42"));
  EXPECT_EQ(s.AsUInt(6), 42u);
  s.Set(6, std::string("4x"));
  EXPECT_EQ(s.AsUInt(6), 0u);
  s.Set(7, std::uint32_t{1234});
  EXPECT_EQ(s.AsText(7), "1234");
  s.Set(8, std::int64_t{0x0102030405});
  EXPECT_EQ(s.AsInt64(8), 0x0102030405);
  s.Set(0, std::uint32_t{1});
  s.Set(1000, std::uint32_t{1});
  EXPECT_EQ(s.Count(), 4u);
  s.Set(7, TValue{});
  EXPECT_FALSE(s.Has(7));
  std::vector<int> order;
  for (const auto& [tag, v] : s) order.push_back(tag);
  EXPECT_EQ(order, (std::vector<int>{5, 6, 8}));
}

TEST(ValueSlots, DiscoveryRecordStaysSmall) {
  TDeviceList list;
  TBytes d = ReplyHeader(MacAddress(0x42));
  for (std::uint16_t tag : {1, 2, 3, 4, 6, 13})
    Item(d, tag, tag == 4 || tag == 6 ? TBytes{0, 1} : U32(tag));
  for (std::uint16_t tag : {5, 7, 8, 9, 11, 12}) TextItem(d, tag, "a-typical device text");
  End(d);
  MergeReplyInto(list, d);
  EXPECT_LE(sizeof(TZEL) + list[0].values.MemoryBytes(), 2048u);
}

}  // namespace

namespace {

// One peer inventing new addresses: the list stops at the cap, says so, and Clear forgets it.
TEST_F(MergeTest, NewDevicesBeyondTheCapAreIgnoredAndTheCapIsRemembered) {
  TDeviceList list;
  TBytes reply = ReplyHeader(MacAddress(0));
  TextItem(reply, 7, "flood");
  End(reply);
  for (std::uint64_t mac = 1; mac <= TDeviceList::kMaxRecords; ++mac) {
    const TDeviceAddress a = MacAddress(mac);
    std::copy(a.begin(), a.end(), reply.begin() + 8);
    ASSERT_EQ(MergeReplyInto(list, reply), static_cast<int>(mac - 1));
  }
  EXPECT_FALSE(list.CapReached());
  const TDeviceAddress extra = MacAddress(TDeviceList::kMaxRecords + 1);
  std::copy(extra.begin(), extra.end(), reply.begin() + 8);
  EXPECT_EQ(MergeReplyInto(list, reply), -1);
  EXPECT_EQ(list.size(), TDeviceList::kMaxRecords);
  EXPECT_TRUE(list.CapReached());
  // A device already listed is still updated when the list is full.
  const TDeviceAddress first = MacAddress(1);
  std::copy(first.begin(), first.end(), reply.begin() + 8);
  EXPECT_EQ(MergeReplyInto(list, reply), 0);
  list.Clear();
  EXPECT_FALSE(list.CapReached());
  std::copy(extra.begin(), extra.end(), reply.begin() + 8);
  EXPECT_EQ(MergeReplyInto(list, reply), 0);
}

// The session's clock stamps every merged reply; a clock may start anywhere, even at the epoch.
TEST_F(MergeTest, PresenceFollowsTheMergedReplies) {
  TWallTime now{};
  session.clock = [&now] { return now; };
  const auto at = [](int s) { return TWallTime{} + std::chrono::seconds(s); };
  MergeReply(session, {"", 0, true, Discovery(1, "a", kModelZel1), {}});
  now = at(5);
  MergeReply(session, {"", 0, true, Discovery(2, "b", kModelZel4), {}});
  now = at(9);
  MergeReply(session, {"", 0, true, Discovery(1, "a", kModelZel1), {}});
  TBytes all = ReplyHeader({0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  End(all);
  MergeReply(session, {"", 0, true, all, {}});        // ignored: stamps nothing
  MergeReply(session, {"", 0, true, {1, 2, 3}, {}});  // too short
  ASSERT_EQ(session.DeviceList.size(), 2u);
  TDeviceList& list = session.DeviceList;
  EXPECT_EQ(list.PresenceOf(0).firstHeard, at(0));
  EXPECT_EQ(list.PresenceOf(0).lastHeard, at(9));
  EXPECT_EQ(list.PresenceOf(1).firstHeard, at(5));
  EXPECT_EQ(list.PresenceOf(1).lastHeard, at(5));
  EXPECT_FALSE(list.PresenceOf(1).missing);

  list.SetMissing(1, at(15));
  EXPECT_TRUE(list.PresenceOf(1).missing);
  EXPECT_EQ(list.PresenceOf(1).missingSince, at(15));
  TZEL edited = list[1];
  edited.values.Set(7, std::string("renamed"));
  list.Replace(1, edited);  // an edit is no answer
  EXPECT_TRUE(list.PresenceOf(1).missing);
  EXPECT_EQ(list.PresenceOf(1).lastHeard, at(5));
  now = at(20);
  MergeReplyVia(session, {}, false, Discovery(2, "b", kModelZel4));
  EXPECT_FALSE(list.PresenceOf(1).missing);
  EXPECT_EQ(list.PresenceOf(1).firstHeard, at(5));
  EXPECT_EQ(list.PresenceOf(1).lastHeard, at(20));
  // A merge into the list alone (a read's own list) is no answer of the session's.
  EXPECT_EQ(MergeReplyInto(list, Discovery(1, "a", kModelZel1)), 0);
  EXPECT_EQ(list.PresenceOf(0).lastHeard, at(9));
  EXPECT_THROW(list.PresenceOf(2), std::out_of_range);
  list.Clear();
  MergeReply(session, {"", 0, true, Discovery(2, "b", kModelZel4), {}});
  EXPECT_EQ(list.PresenceOf(0).firstHeard, at(20));  // a new list, a new first answer
}

TEST_F(MergeTest, RemoveIfKeepsOrderIndexAndPresenceInStep) {
  TWallTime now{};
  session.clock = [&now] { return now; };
  for (std::uint64_t mac = 1; mac <= 6; ++mac) {
    now = TWallTime{} + std::chrono::seconds(mac);
    MergeReply(session, {"", 0, true, Discovery(mac, "d" + std::to_string(mac), kModelZel1), {}});
  }
  TDeviceList& list = session.DeviceList;
  list.SetMissing(1, now);
  std::vector<std::size_t> asked;
  list.RemoveIf([&](std::size_t index) {
    asked.push_back(index);
    return index == 0 || index == 3 || index == 5;
  });
  EXPECT_EQ(asked, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
  ASSERT_EQ(list.size(), 3u);
  const std::uint64_t kept[] = {2, 3, 5};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(list[i].values.AsText(7), "d" + std::to_string(kept[i]));
    EXPECT_EQ(list.Find(MacAddress(kept[i])), static_cast<int>(i));
    EXPECT_EQ(list.PresenceOf(i).lastHeard, TWallTime{} + std::chrono::seconds(kept[i]));
  }
  EXPECT_TRUE(list.PresenceOf(0).missing);
  EXPECT_FALSE(list.PresenceOf(1).missing);
  for (const std::uint64_t gone : {1, 4, 6}) EXPECT_EQ(list.Find(MacAddress(gone)), -1);
  // A removed device that answers again is a new record at the end.
  MergeReply(session, {"", 0, true, Discovery(4, "d4", kModelZel1), {}});
  EXPECT_EQ(list.Find(MacAddress(4)), 3);
  list.RemoveIf([](std::size_t) { return false; });
  EXPECT_EQ(list.size(), 4u);
}

// The interface rule counts rounds per record: a record moved up by a removal keeps its own.
TEST_F(MergeTest, RemoveIfKeepsTheInterfaceRoundsInStep) {
  const TNetLink eth0{"eth0", 1}, eth1{"eth1", 2};
  TDeviceList& list = session.DeviceList;
  list.StartRound();
  for (std::uint64_t mac = 1; mac <= 3; ++mac)
    MergeReplyVia(session, eth0, true, Discovery(mac, "d", kModelZel1));
  for (int round = 0; round < 2; ++round) {  // only the third answers on its interface
    list.StartRound();
    MergeReplyVia(session, eth0, true, Discovery(3, "d", kModelZel1));
  }
  list.RemoveIf([](std::size_t index) { return index == 0; });
  list.StartRound();
  MergeReplyVia(session, eth1, true, Discovery(3, "d", kModelZel1));
  MergeReplyVia(session, eth1, true, Discovery(2, "d", kModelZel1));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].link.name, "eth0");  // its own answered in the previous round
  EXPECT_EQ(list[0].link.name, "eth1");  // its own was silent for two rounds
}

TEST_F(MergeTest, RemoveIfMakesRoomBelowTheCap) {
  TDeviceList list;
  TBytes reply = ReplyHeader(MacAddress(0));
  End(reply);
  const auto from = [&reply](std::uint64_t mac) {
    const TDeviceAddress a = MacAddress(mac);
    std::copy(a.begin(), a.end(), reply.begin() + 8);
    return reply;
  };
  for (std::uint64_t mac = 1; mac <= TDeviceList::kMaxRecords + 1; ++mac)
    MergeReplyInto(list, from(mac));
  ASSERT_TRUE(list.CapReached());
  list.RemoveIf([](std::size_t index) { return index == 0; });
  EXPECT_EQ(list.size(), TDeviceList::kMaxRecords - 1);
  EXPECT_TRUE(list.CapReached());  // a device was turned away all the same
  EXPECT_EQ(list.Find(MacAddress(2)), 0);
  const std::uint64_t late = TDeviceList::kMaxRecords + 1;
  EXPECT_EQ(MergeReplyInto(list, from(late)), static_cast<int>(TDeviceList::kMaxRecords - 1));
  EXPECT_EQ(list.Find(MacAddress(late)), static_cast<int>(TDeviceList::kMaxRecords - 1));
  EXPECT_FALSE(list.PresenceOf(TDeviceList::kMaxRecords - 1).missing);
  EXPECT_EQ(MergeReplyInto(list, from(late + 1)), -1);
}

// A text declared longer than the datagram carries is kept but is not a reported value until a
// complete one arrives.
TEST_F(MergeTest, TextCutShortIsKeptButNotReported) {
  TBytes reply = ReplyHeader(MacAddress(0x42));
  TextItem(reply, 5, "ZEL");
  reply.insert(reply.end(), {0x00, 0x07, 40, 'a', 'b', 'c'});  // 40 declared, 3 present
  const int index = MergeReplyInto(session.DeviceList, reply);
  ASSERT_EQ(index, 0);
  const TValueSlots& values = session.DeviceList[0].values;
  EXPECT_EQ(values.AsText(7), "abc");
  EXPECT_FALSE(values.Reported(7));
  EXPECT_TRUE(values.Reported(5));
  EXPECT_FALSE(values.Reported(9));  // never received

  TBytes complete = ReplyHeader(MacAddress(0x42));
  TextItem(complete, 7, "full name");
  End(complete);
  MergeReplyInto(session.DeviceList, complete);
  EXPECT_TRUE(values.Reported(7));
  EXPECT_EQ(values.AsText(7), "full name");
  // Cut short again: partial once more.
  MergeReplyInto(session.DeviceList, reply);
  EXPECT_FALSE(values.Reported(7));
}

TEST(ValueSlots, PartialStateEndsWithSetOrClear) {
  TValueSlots slots;
  slots.SetPartial(7, std::string("ab"));
  EXPECT_TRUE(slots.Has(7));
  EXPECT_FALSE(slots.Reported(7));
  slots.Clear(7);
  slots.Set(7, std::string("x"));
  EXPECT_TRUE(slots.Reported(7));
  slots.SetPartial(7, std::string("ab"));
  slots.Set(7, std::uint32_t{3});
  EXPECT_TRUE(slots.Reported(7));
  slots.SetPartial(1000, std::string("out of range"));
  EXPECT_FALSE(slots.Has(1000));
}

}  // namespace
