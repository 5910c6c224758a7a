// The watch rules over discovery rounds, with the session's clock set by the test: nothing
// sleeps and nothing is sent.
#include <gtest/gtest.h>

#include "operations/DeviceWatch.h"
#include "protocol/ModelRegistry.h"
#include "support/ReplyBuilder.h"

using namespace velkaro;
using namespace velkaro::testing;
using ops::TWatchEvent;
using ops::TWatchEventKind;

namespace {

// What one device says in its discovery answer.
struct TAnswer {
  std::uint64_t mac = 1;
  std::string name = "Switch";
  std::string type = "ZEL1";
  std::uint32_t ip = 0x0A000001;
  std::uint16_t port = 80;
  std::uint32_t model = kModelZel1;
  TNetLink via;

  // The answer with one field set, for the rows and rounds below.
  TAnswer Mac(std::uint64_t v) const { return With(&TAnswer::mac, v); }
  TAnswer Name(std::string v) const { return With(&TAnswer::name, std::move(v)); }
  TAnswer Type(std::string v) const { return With(&TAnswer::type, std::move(v)); }
  TAnswer Ip(std::uint32_t v) const { return With(&TAnswer::ip, v); }
  TAnswer Port(std::uint16_t v) const { return With(&TAnswer::port, v); }
  TAnswer Model(std::uint32_t v) const { return With(&TAnswer::model, v); }
  TAnswer Via(TNetLink v) const { return With(&TAnswer::via, std::move(v)); }

 private:
  template <typename T, typename V>
  TAnswer With(T TAnswer::*field, V value) const {
    TAnswer a = *this;
    a.*field = std::move(value);
    return a;
  }
};

TAnswer At(std::uint64_t mac) {
  return TAnswer().Mac(mac);
}

TReply Reply(const TAnswer& a) {
  TBytes d = ReplyHeader(MacAddress(a.mac));
  Item(d, 13, U32(a.model));  // first: the model decides the other tags' types
  TextItem(d, 7, a.name);
  TextItem(d, 5, a.type);
  Item(d, 2, U32(a.ip));
  Item(d, 4, {static_cast<std::uint8_t>(a.port >> 8), static_cast<std::uint8_t>(a.port)});
  End(d);
  return {"10.0.0.1", kDevicePort, true, d, a.via};
}

class DeviceWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session.clock = [this] { return now; };
  }

  std::vector<TWatchEvent> Round(const std::vector<TAnswer>& answers) {
    std::vector<TReply> replies;
    for (const TAnswer& a : answers) replies.push_back(Reply(a));
    return watch.MergeRound(session, replies);
  }
  void Pass(std::chrono::milliseconds time) { now += time; }

  static const TWallTime kStart;
  TWallTime now = kStart;
  TSession session;
  ops::TDeviceWatch watch{std::chrono::seconds(10)};
};

const TWallTime DeviceWatchTest::kStart =
    std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} + std::chrono::hours(21);

std::vector<TWatchEventKind> Kinds(const std::vector<TWatchEvent>& events) {
  std::vector<TWatchEventKind> kinds;
  for (const TWatchEvent& e : events) kinds.push_back(e.kind);
  return kinds;
}

TEST(WatchEventName, NamesEachKind) {
  EXPECT_STREQ(ops::WatchEventName(TWatchEventKind::Appeared), "appeared");
  EXPECT_STREQ(ops::WatchEventName(TWatchEventKind::Changed), "changed");
  EXPECT_STREQ(ops::WatchEventName(TWatchEventKind::Missing), "missing");
  EXPECT_STREQ(ops::WatchEventName(TWatchEventKind::Back), "back");
}

TEST_F(DeviceWatchTest, EachDeviceAppearsOnceInReplyOrder) {
  const std::vector<TWatchEvent> first = Round({At(7).Name("b"), At(3).Name("a"), At(7).Name("b")});
  ASSERT_EQ(Kinds(first), (std::vector{TWatchEventKind::Appeared, TWatchEventKind::Appeared}));
  EXPECT_EQ(first[0].index, 0u);
  EXPECT_EQ(first[0].device.values.AsText(7), "b");
  EXPECT_EQ(first[0].device.MAC, 7u);
  EXPECT_EQ(first[0].time, kStart);
  EXPECT_EQ(first[1].index, 1u);
  EXPECT_EQ(first[1].device.MAC, 3u);
  EXPECT_EQ(session.DeviceList.size(), 2u);
  Pass(std::chrono::seconds(1));
  EXPECT_TRUE(Round({At(3).Name("a"), At(7).Name("b")}).empty());
  EXPECT_TRUE(watch.MarkMissing(session).empty());
  EXPECT_EQ(session.DeviceList.PresenceOf(0).firstHeard, kStart);
  EXPECT_EQ(session.DeviceList.PresenceOf(0).lastHeard, kStart + std::chrono::seconds(1));
}

// Each row edits the second answer of a device; the change names exactly the fields edited.
TEST_F(DeviceWatchTest, ChangedNamesExactlyTheFieldsThatDiffer) {
  struct TRow {
    const char* what;
    TAnswer changed;
    std::vector<std::string> fields;
  };
  const TAnswer base;
  const std::vector<TRow> rows = {
      {"name", At(1).Name("Renamed"), {"name"}},
      {"type", At(1).Type("ZEL1X"), {"type"}},
      {"ip", At(1).Ip(0x0A000002), {"ip"}},
      {"port", At(1).Port(8080), {"port"}},
      {"model", At(1).Model(kModelZel4), {"model"}},
      {"several, in the scan object's order",
       At(1).Name("N").Ip(0x0A000009).Port(81).Model(kModelZel8),
       {"name", "ip", "port", "model"}},
  };
  std::uint64_t mac = 100;
  for (TRow row : rows) {
    SCOPED_TRACE(row.what);
    TAnswer first = base;
    first.mac = row.changed.mac = ++mac;
    ASSERT_EQ(Kinds(Round({first})), std::vector{TWatchEventKind::Appeared});
    Pass(std::chrono::seconds(1));
    const std::vector<TWatchEvent> events = Round({row.changed});
    ASSERT_EQ(Kinds(events), std::vector{TWatchEventKind::Changed});
    EXPECT_EQ(events[0].fields, row.fields);
    EXPECT_EQ(events[0].time, now);
    EXPECT_EQ(events[0].before.values.AsText(7), base.name);
    EXPECT_EQ(events[0].before.values.AsUInt(2), base.ip);
    EXPECT_EQ(events[0].device.values.AsText(7), row.changed.name);
    EXPECT_EQ(events[0].device.values.AsUInt(4), row.changed.port);
    EXPECT_EQ(events[0].device, session.DeviceList[events[0].index]);
    EXPECT_TRUE(Round({row.changed}).empty());  // the same again is no change
  }
}

// Two answers in one round with two names: one change, from the record before the round to the
// last answer.
TEST_F(DeviceWatchTest, TwoAnswersInOneRoundGiveOneChange) {
  Round({At(1).Name("one")});
  const std::vector<TWatchEvent> events = Round({At(1).Name("two"), At(1).Name("three")});
  ASSERT_EQ(Kinds(events), std::vector{TWatchEventKind::Changed});
  EXPECT_EQ(events[0].before.values.AsText(7), "one");
  EXPECT_EQ(events[0].device.values.AsText(7), "three");
}

// The interface follows the list's rule: a device moves only when its own interface was silent
// for a whole round.
TEST_F(DeviceWatchTest, AnInterfaceMoveIsAChange) {
  const TNetLink eth0{"eth0", 0x0A000064}, eth1{"eth1", 0x0A010064};
  Round({At(1).Via(eth0)});
  EXPECT_TRUE(Round({At(1).Via(eth0), At(1).Via(eth1)}).empty());  // heard on its own as well
  Round({});
  const std::vector<TWatchEvent> events = Round({At(1).Via(eth1)});
  ASSERT_EQ(Kinds(events), std::vector{TWatchEventKind::Changed});
  EXPECT_EQ(events[0].fields, std::vector<std::string>{"interface"});
  EXPECT_EQ(events[0].before.link, eth0);
  EXPECT_EQ(events[0].device.link, eth1);
}

TEST_F(DeviceWatchTest, MissingOnlyOnceTheMissingTimeRanOutThenBack) {
  Round({At(1), At(2)});
  Pass(std::chrono::milliseconds(9999));
  EXPECT_TRUE(watch.MarkMissing(session).empty());
  EXPECT_TRUE(Round({At(2)}).empty());  // the second stays heard
  Pass(std::chrono::milliseconds(1));
  const std::vector<TWatchEvent> missing = watch.MarkMissing(session);
  ASSERT_EQ(Kinds(missing), std::vector{TWatchEventKind::Missing});
  EXPECT_EQ(missing[0].index, 0u);
  EXPECT_EQ(missing[0].time, kStart + std::chrono::seconds(10));
  EXPECT_TRUE(session.DeviceList.PresenceOf(0).missing);
  EXPECT_EQ(session.DeviceList.PresenceOf(0).missingSince, kStart + std::chrono::seconds(10));
  EXPECT_FALSE(session.DeviceList.PresenceOf(1).missing);
  Pass(std::chrono::seconds(30));
  EXPECT_TRUE(Round({}).empty());
  // Still missing, told once; the second, silent since, goes missing now.
  const std::vector<TWatchEvent> later = watch.MarkMissing(session);
  ASSERT_EQ(Kinds(later), std::vector{TWatchEventKind::Missing});
  EXPECT_EQ(later[0].index, 1u);
  EXPECT_EQ(later[0].time, kStart + std::chrono::milliseconds(9999 + 10000));

  // Back under another name: back, then the change.
  const std::vector<TWatchEvent> back = Round({At(1).Name("again")});
  ASSERT_EQ(Kinds(back), (std::vector{TWatchEventKind::Back, TWatchEventKind::Changed}));
  EXPECT_EQ(back[0].index, 0u);
  EXPECT_EQ(back[0].time, now);
  EXPECT_EQ(back[1].fields, std::vector<std::string>{"name"});
  EXPECT_FALSE(session.DeviceList.PresenceOf(0).missing);
  EXPECT_TRUE(watch.MarkMissing(session).empty());
  EXPECT_TRUE(Round({At(1).Name("again")}).empty());  // back once
  // Missing again after another silence: each time once.
  Pass(std::chrono::seconds(10));
  EXPECT_EQ(Kinds(watch.MarkMissing(session)), std::vector{TWatchEventKind::Missing});
}

TEST_F(DeviceWatchTest, ADeviceAnsweringEveryRoundIsNeverMissing) {
  std::vector<TWatchEvent> all;
  for (int round = 0; round < 100; ++round) {
    std::vector<TAnswer> answers{At(1)};
    if (round == 0) answers.push_back(At(2));  // heard once only
    const std::vector<TWatchEvent> merged = Round(answers);
    all.insert(all.end(), merged.begin(), merged.end());
    const std::vector<TWatchEvent> missing = watch.MarkMissing(session);
    all.insert(all.end(), missing.begin(), missing.end());
    Pass(std::chrono::seconds(1));
  }
  ASSERT_EQ(Kinds(all), (std::vector{TWatchEventKind::Appeared, TWatchEventKind::Appeared,
                                     TWatchEventKind::Missing}));
  EXPECT_EQ(all[2].device.MAC, 2u);
  EXPECT_EQ(all[2].time, kStart + std::chrono::seconds(10));
  EXPECT_FALSE(session.DeviceList.PresenceOf(0).missing);
}

TEST_F(DeviceWatchTest, MissingAfterIsTheOneGiven) {
  EXPECT_EQ(ops::TDeviceWatch().MissingAfter(), std::chrono::seconds(10));
  const ops::TDeviceWatch quick(std::chrono::milliseconds(1500));
  EXPECT_EQ(quick.MissingAfter(), std::chrono::milliseconds(1500));
}

}  // namespace
