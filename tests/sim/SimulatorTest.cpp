// The simulated devices, spoken to with plain datagrams on the loopback interface.
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "platform/Socket.h"
#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"
#include "support/DatagramClient.h"
#include "support/Loopback.h"

using namespace velkaro;
using namespace velkaro::sim;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

using velkaro::testing::kLoopback;

using TClient = velkaro::testing::TDatagramClient;

struct TItem {
  std::uint16_t tag;
  TBytes value;
  bool operator==(const TItem&) const = default;
};

// Items of a well-formed frame that ends with FF FF.
std::vector<TItem> Items(const TBytes& frame) {
  std::vector<TItem> out;
  EXPECT_GE(frame.size(), kEmptyRequestSize);
  EXPECT_EQ(frame[frame.size() - 2], 0xFF);
  EXPECT_EQ(frame.back(), 0xFF);
  const std::span<const std::uint8_t> body(frame.data(), frame.size() - 2);
  WalkReplyItems(body, [&](const TReplyItem& i) {
    EXPECT_FALSE(i.truncated);
    out.push_back({i.tag, TBytes(i.value.begin(), i.value.end())});
  });
  return out;
}

std::vector<std::uint16_t> Tags(const std::vector<TItem>& items) {
  std::vector<std::uint16_t> t;
  for (const auto& i : items) t.push_back(i.tag);
  return t;
}

TBytes Request(const TDeviceAddress& to, TCommand command) {
  return velkaro::testing::DeviceRequest(to, command);
}

TDeviceAddress SourceOf(const TBytes& frame) {
  TDeviceAddress a{};
  std::copy_n(frame.begin() + kSourceOffset, a.size(), a.begin());
  return a;
}

TSimOptions Loopback(std::vector<std::uint32_t> models = {}) {
  TSimOptions o;
  o.port = 0;
  o.models = std::move(models);
  return o;
}

using SimulatorTest = ::testing::Test;

TEST_F(SimulatorTest, EveryTagOfTheModelHasAValueOfItsType) {
  for (const auto& [model, list] :
       {std::pair{kModelZel1, &Zel1Descriptors()}, std::pair{kModelZel4, &Zel4Descriptors()},
        std::pair{kModelZel8, &Zel8Descriptors()}}) {
    const TZEL r = MakeDeviceRecord(model, 7, 0x02005E000008ull);
    EXPECT_EQ(r.values.Count(), list->size());
    for (TDescriptor d : *list) {
      const int tag = DescriptorTag(d);
      const TValue& v = r.values.Get(tag);
      switch (DescriptorType(d) & 0x7F) {
        case vtString:
          ASSERT_TRUE(std::holds_alternative<std::string>(v)) << tag;
          EXPECT_LE(std::get<std::string>(v).size(), 255u);
          break;
        case vtMac:
          ASSERT_TRUE(std::holds_alternative<std::int64_t>(v)) << tag;
          break;
        case vtByte:
          ASSERT_TRUE(std::holds_alternative<std::uint32_t>(v)) << tag;
          EXPECT_LE(std::get<std::uint32_t>(v), 0xFFu) << tag;
          break;
        case vtWord:
          ASSERT_TRUE(std::holds_alternative<std::uint32_t>(v)) << tag;
          EXPECT_LE(std::get<std::uint32_t>(v), 0xFFFFu) << tag;
          break;
        default:
          ASSERT_TRUE(std::holds_alternative<std::uint32_t>(v)) << tag;
      }
    }
    EXPECT_EQ(r.ModelCode(), model);
    EXPECT_EQ(r.MAC, 0x02005E000008ull);
    EXPECT_EQ(r.values.AsInt64(10), 0x02005E000008);
    EXPECT_EQ(r.address, (TDeviceAddress{0, 1, 0x02, 0x00, 0x5E, 0x00, 0x00, 0x08}));
    EXPECT_EQ(r.values.AsUInt(1), 0xFFFFFF00u);
    EXPECT_EQ(r.values.AsUInt(2) >> 24, 10u);
    EXPECT_EQ(r.values.AsUInt(4), 80u);
    EXPECT_FALSE(r.values.AsText(7).empty());
  }
}

TEST_F(SimulatorTest, ManyDevicesAreAllDistinct) {
  TSimOptions o = Loopback({kModelZel1, kModelZel8});
  o.count = 600;
  TSimulator s(o);
  ASSERT_EQ(s.DeviceCount(), 600u);
  std::set<TDeviceAddress> addresses;
  std::set<std::uint32_t> ips;
  std::set<std::string> names;
  for (std::size_t i = 0; i < s.DeviceCount(); ++i) {
    const TZEL d = s.Snapshot(i);
    addresses.insert(d.address);
    ips.insert(d.values.AsUInt(2));
    names.insert(d.values.AsText(7));
    EXPECT_EQ(d.ModelCode(), i % 2 == 0 ? kModelZel1 : kModelZel8);
    EXPECT_NE(d.values.AsUInt(2) & 0xFF, 0u);
    EXPECT_NE(d.values.AsUInt(2) & 0xFF, 255u);
  }
  EXPECT_EQ(addresses.size(), 600u);
  EXPECT_EQ(ips.size(), 600u);
  EXPECT_EQ(names.size(), 600u);
}

TEST_F(SimulatorTest, DefaultIsOneDeviceOfEachModel) {
  TSimulator s(Loopback());
  ASSERT_EQ(s.DeviceCount(), 3u);
  EXPECT_EQ(s.Snapshot(0).ModelCode(), kModelZel1);
  EXPECT_EQ(s.Snapshot(1).ModelCode(), kModelZel4);
  EXPECT_EQ(s.Snapshot(2).ModelCode(), kModelZel8);
  EXPECT_THROW(s.Snapshot(3), std::out_of_range);
}

TEST_F(SimulatorTest, DiscoverIsAnsweredByEveryDeviceWithTheGeneralTags) {
  TSimulator s(Loopback());
  s.Start();
  TClient c(s.Port());
  const TBytes request = Request(kAllDevices, TCommand::Discover);
  const auto got = c.Ask(request);
  ASSERT_EQ(got.size(), 3u);
  TDeviceList list;
  for (std::size_t i = 0; i < 3; ++i) {
    const TBytes& f = got[i].data;
    EXPECT_EQ(SourceOf(f), s.Snapshot(i).address);
    EXPECT_EQ(f[18], request[18]);
    EXPECT_EQ(f[19], request[19]);
    EXPECT_EQ(f[kCommandOffset], 0);
    EXPECT_EQ(Tags(Items(f)),
              (std::vector<std::uint16_t>{13, 7, 5, 2, 4, 1, 3, 6, 8, 9, 10, 11, 12}));
    ASSERT_EQ(MergeReplyInto(list, f), static_cast<int>(i));
    for (int tag = 1; tag <= 13; ++tag)
      EXPECT_EQ(list[i].values.Get(tag), s.Snapshot(i).values.Get(tag)) << tag;
  }
}

TEST_F(SimulatorTest, ReadIsAnsweredWithExactlyTheRequestedTags) {
  TSimulator s(Loopback({kModelZel1, kModelZel4}));
  s.Start();
  TClient c(s.Port());
  const TZEL d = s.Snapshot(1);
  TBytes request = Request(d.address, TCommand::Read);
  for (std::uint16_t tag : {81, 7, 2, 999, 13, 77, 10, 4}) AddReadItem(request, tag);
  const auto got = c.Ask(request);
  ASSERT_EQ(got.size(), 1u);  // one datagram, from the addressed device only
  EXPECT_EQ(SourceOf(got[0].data), d.address);
  EXPECT_EQ(got[0].data[kCommandOffset], 1);
  const auto items = Items(got[0].data);
  EXPECT_EQ(Tags(items), (std::vector<std::uint16_t>{81, 7, 2, 13, 10, 4}));
  const std::string name = d.values.AsText(7);
  EXPECT_EQ(items[1].value, TBytes(name.begin(), name.end()));
  EXPECT_EQ(items[2].value.size(), 4u);
  EXPECT_EQ(ReadBigEndian(items[2].value), d.values.AsUInt(2));
  EXPECT_EQ(items[4].value.size(), 6u);
  EXPECT_EQ(ReadBigEndian(items[4].value), d.MAC);
  EXPECT_EQ(items[5].value, (TBytes{0x00, 0x50}));

  // A batch without its list end is answered the same way.
  TBytes open = Request(d.address, TCommand::Read);
  AddReadItem(open, 56);
  AddReadItem(open, 59);
  open.resize(open.size() - 2);
  const auto got2 = c.Ask(open);
  ASSERT_EQ(got2.size(), 1u);
  EXPECT_EQ(Tags(Items(got2[0].data)), (std::vector<std::uint16_t>{56, 59}));
}

TEST_F(SimulatorTest, RequestsForNobodyAreNotAnswered) {
  TSimulator s(Loopback());
  s.Start();
  TClient c(s.Port());
  EXPECT_TRUE(c.Ask(Request(NumberToAddress(0x0001'0000'0000'0001ull), TCommand::Read)).empty());
  EXPECT_TRUE(c.Ask(TBytes{1, 2, 3}).empty());  // too short to be a request
  TBytes unknown = Request(kAllDevices, TCommand::Discover);
  unknown[kCommandOffset] = 9;
  EXPECT_TRUE(c.Ask(unknown).empty());
  EXPECT_EQ(s.RequestCount(), 3u);
}

TEST_F(SimulatorTest, WriteStoresWritableItemsAndAcknowledgesOnce) {
  TSimulator s(Loopback({kModelZel1}));
  s.Start();
  TClient c(s.Port());
  const TZEL before = s.Snapshot(0);
  TBytes request = Request(before.address, TCommand::Write);
  AddWriteItem(request, 7, vtString, 0, "Renamed");
  AddWriteItem(request, 2, vtIPv4, 0x0A0B0C0D);
  AddWriteItem(request, 50, vtByte, 30);
  AddWriteItem(request, 22, vtWord, 8080);
  AddWriteItem(request, 13, vtDWord, 0x12345678);  // read-only
  AddWriteItem(request, 71, vtDWord, 4);           // read-only counter
  AddWriteItem(request, 5, vtString, 0, "Fake");   // read-only text
  AddWriteItem(request, 38, vtString, 0, "none");  // not a tag of this model
  AddWriteItem(request, 4, vtByte, 1);             // port with a wrong length
  const auto got = c.Ask(request);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].data.size(), kEmptyRequestSize);
  EXPECT_EQ(SourceOf(got[0].data), before.address);
  EXPECT_EQ(got[0].data[kCommandOffset], 2);
  const TZEL after = s.Snapshot(0);
  EXPECT_EQ(after.values.AsText(7), "Renamed");
  EXPECT_EQ(after.values.AsUInt(2), 0x0A0B0C0Du);
  EXPECT_EQ(after.values.AsUInt(50), 30u);
  EXPECT_EQ(after.values.AsUInt(22), 8080u);
  EXPECT_EQ(after.values.Get(13), before.values.Get(13));
  EXPECT_EQ(after.values.Get(71), before.values.Get(71));
  EXPECT_EQ(after.values.Get(5), before.values.Get(5));
  EXPECT_EQ(after.values.Get(4), before.values.Get(4));
  EXPECT_FALSE(after.values.Has(38));
}

TEST_F(SimulatorTest, UpgradeTriggerIsAcknowledgedByTheDeviceWithThatIp) {
  TSimOptions o = Loopback({kModelZel1, kModelZel4});
  o.tftpPort = 16969;
  TSimulator s(o);
  std::atomic<int> prepared{0};
  std::vector<TUpgradeEvent> events;
  s.SetUpgradeHandler([&](const TUpgradeEvent& e) {
    events.push_back(e);
    std::this_thread::sleep_for(milliseconds(20));  // the ack must wait for this
    ++prepared;
  });
  s.Start();
  TClient c(s.Port());
  const std::uint32_t ip = s.Snapshot(1).values.AsUInt(2);
  TBytes trigger = Request(IpPortAddress(ip), TCommand::Upgrade);
  const auto got = c.Ask(trigger);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(prepared.load(), 1);
  EXPECT_EQ(SourceOf(got[0].data), s.Snapshot(1).address);
  EXPECT_EQ(got[0].data[kCommandOffset], 3);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].deviceIndex, 1u);
  EXPECT_EQ(events[0].deviceIp, ip);
  EXPECT_EQ(events[0].tftpPort, 16969);
  EXPECT_EQ(events[0].requesterIp, kLoopback);
  EXPECT_EQ(s.UpgradeCount(), 1u);

  // Another address, or a trigger by MAC, gets no answer.
  EXPECT_TRUE(c.Ask(Request(IpPortAddress(ip + 100), TCommand::Upgrade)).empty());
  EXPECT_TRUE(c.Ask(Request(s.Snapshot(1).address, TCommand::Upgrade)).empty());
  EXPECT_EQ(s.UpgradeCount(), 1u);

  // A device that cannot get ready does not acknowledge.
  s.SetUpgradeHandler([](const TUpgradeEvent&) { throw std::runtime_error("no TFTP"); });
  EXPECT_TRUE(c.Ask(trigger).empty());
}

TEST_F(SimulatorTest, ReplyDelayAndSpacing) {
  TSimOptions o = Loopback({kModelZel1, kModelZel1});
  o.replyDelayMs = 80;
  o.replySpacingMs = 40;
  TSimulator s(o);
  s.Start();
  TClient c(s.Port());
  const auto sent = Clock::now();
  const auto got = c.Ask(Request(kAllDevices, TCommand::Discover), milliseconds(400));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_GE(got[0].at - sent, milliseconds(80));
  EXPECT_GE(got[1].at - got[0].at, milliseconds(35));
  s.SetReplyDelay(0);
  s.SetReplySpacing(0);
  const auto again = Clock::now();
  const auto fast = c.Ask(Request(kAllDevices, TCommand::Discover), milliseconds(100));
  ASSERT_EQ(fast.size(), 2u);
  EXPECT_LT(fast[1].at - again, milliseconds(50));
}

TEST_F(SimulatorTest, SilentDevicesLogButDoNotAnswer) {
  TSimOptions o = Loopback();
  o.silent = true;
  TSimulator s(o);
  s.Start();
  TClient c(s.Port());
  const TBytes request = Request(kAllDevices, TCommand::Discover);
  EXPECT_TRUE(c.Ask(request).empty());
  ASSERT_EQ(s.Requests().size(), 1u);
  EXPECT_EQ(s.Requests()[0].data, request);
  EXPECT_EQ(s.RepliesSent(), 0u);
  s.SetSilent(false);
  EXPECT_EQ(c.Ask(request).size(), 3u);
}

TEST_F(SimulatorTest, OneDeviceSilencedAndResumed) {
  TSimulator s(Loopback());
  s.Start();
  TClient c(s.Port());
  const TBytes request = Request(kAllDevices, TCommand::Discover);
  const auto sources = [&] {
    std::vector<TDeviceAddress> from;
    for (const auto& reply : c.Ask(request)) from.push_back(SourceOf(reply.data));
    return from;
  };
  s.SilenceDevice(1);
  EXPECT_EQ(sources(), (std::vector{s.Snapshot(0).address, s.Snapshot(2).address}));
  s.ResumeDevice(1);
  EXPECT_EQ(sources(),
            (std::vector{s.Snapshot(0).address, s.Snapshot(1).address, s.Snapshot(2).address}));
}

TEST_F(SimulatorTest, DuplicatesRepeatEveryReply) {
  TSimOptions o = Loopback({kModelZel4});
  o.duplicates = 2;
  TSimulator s(o);
  s.Start();
  TClient c(s.Port());
  const auto got = c.Ask(Request(kAllDevices, TCommand::Discover));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].data, got[1].data);
  EXPECT_EQ(got[1].data, got[2].data);
  s.SetDuplicates(1, 50);
  const auto spaced = c.Ask(Request(kAllDevices, TCommand::Discover));
  ASSERT_EQ(spaced.size(), 2u);
  EXPECT_GE(spaced[1].at - spaced[0].at, milliseconds(45));
}

TEST_F(SimulatorTest, MalformedRepliesOfEachKind) {
  TSimulator s(Loopback({kModelZel1}));
  s.Start();
  TClient c(s.Port());
  const TBytes request = Request(kAllDevices, TCommand::Discover);
  s.SetMalformed(true, TMalformKind::Empty);
  auto got = c.Ask(request);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].data.empty());
  s.SetMalformed(true, TMalformKind::Short);
  got = c.Ask(request);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].data.size(), 10u);
  s.SetMalformed(true, TMalformKind::Oversize);
  got = c.Ask(request);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_GT(got[0].data.size(), 8192u);
  EXPECT_EQ(SourceOf(got[0].data), s.Snapshot(0).address);
  s.SetMalformed(true, TMalformKind::BadItems);
  got = c.Ask(request);
  ASSERT_EQ(got.size(), 1u);
  bool cutShort = false;
  WalkReplyItems(got[0].data, [&](const TReplyItem& i) { cutShort |= i.truncated; });
  EXPECT_TRUE(cutShort);
  s.SetMalformed(false);
  got = c.Ask(request);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(Items(got[0].data).size(), 13u);
}

TEST_F(SimulatorTest, SetValueIsSeenByTheNextRead) {
  TSimulator s(Loopback({kModelZel8}));
  s.Start();
  s.SetValue(0, 439, std::string("Late unit"));
  TClient c(s.Port());
  TBytes request = Request(s.Snapshot(0).address, TCommand::Read);
  AddReadItem(request, 439);
  const auto got = c.Ask(request);
  ASSERT_EQ(got.size(), 1u);
  const auto items = Items(got[0].data);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].value, (TBytes{'L', 'a', 't', 'e', ' ', 'u', 'n', 'i', 't'}));
}

TEST_F(SimulatorTest, PortIsReleasedByStopAndCannotBeShared) {
  TSimulator first(Loopback());
  first.Start();
  EXPECT_TRUE(first.Running());
  TSimOptions same = Loopback();
  same.port = first.Port();
  TSimulator second(same);
  EXPECT_THROW(second.Start(), TSocketError);
  first.Stop();
  EXPECT_FALSE(first.Running());
  EXPECT_NO_THROW(second.Start());
  TClient c(second.Port());
  EXPECT_EQ(c.Ask(Request(kAllDevices, TCommand::Discover)).size(), 3u);
}

TEST_F(SimulatorTest, BadOptionsAreRefused) {
  TSimOptions o = Loopback();
  o.bindAddress = "127.0.0";
  TSimulator s(o);
  EXPECT_THROW(s.Start(), std::invalid_argument);
  TSimOptions negative = Loopback();
  negative.count = -1;
  EXPECT_THROW(TSimulator{negative}, std::invalid_argument);
}

TEST_F(SimulatorTest, RequestLogKeepsTheLatest) {
  TSimOptions o = Loopback();
  o.silent = true;
  o.requestLogLimit = 2;
  TSimulator s(o);
  s.Start();
  TUdpSocket client;
  for (std::uint8_t i = 0; i < 5; ++i) {
    TBytes r = Request(kAllDevices, TCommand::Discover);
    r[20] = i;
    client.SendTo(r, kLoopback, s.Port());
  }
  ASSERT_TRUE(s.WaitForRequests(5, milliseconds(2000)));
  const auto kept = s.Requests();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].data[20], 3);
  EXPECT_EQ(kept[1].data[20], 4);
  EXPECT_EQ(s.RequestCount(), 5u);
  s.ClearRequests();
  EXPECT_EQ(s.RequestCount(), 0u);
  EXPECT_FALSE(s.WaitForRequests(1, milliseconds(20)));
}

// A flood of large datagrams keeps the log within its bound in bytes: the newest stay.
TEST_F(SimulatorTest, RequestLogIsBoundedInBytes) {
  TSimOptions o = Loopback();
  o.silent = true;
  o.requestLogBytes = 200000;
  TSimulator s(o);
  s.Start();
  TUdpSocket client;
  TBytes big = Request(kAllDevices, TCommand::Discover);
  big.resize(60000, 0xAB);
  for (std::uint8_t i = 0; i < 12; ++i) {
    big[20] = i;
    client.SendTo(big, kLoopback, s.Port());
    ASSERT_TRUE(s.WaitForRequests(i + 1u, milliseconds(2000)));
  }
  const auto kept = s.Requests();
  std::size_t bytes = 0;
  for (const auto& r : kept) bytes += r.data.size();
  EXPECT_LE(bytes, 200000u);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept.back().data[20], 11);
  EXPECT_EQ(s.RequestCount(), 12u);
}

TEST(ModelNames, ParseAndName) {
  std::uint32_t code = 0;
  EXPECT_TRUE(ParseModelName("zel1", code));
  EXPECT_EQ(code, kModelZel1);
  EXPECT_TRUE(ParseModelName("ZEL4", code));
  EXPECT_EQ(code, kModelZel4);
  EXPECT_TRUE(ParseModelName("0x08000100", code));
  EXPECT_EQ(code, kModelZel8);
  EXPECT_TRUE(ParseModelName("16777472", code));
  EXPECT_EQ(code, 16777472u);
  EXPECT_FALSE(ParseModelName("zel2", code));
  EXPECT_FALSE(ParseModelName("", code));
  EXPECT_FALSE(ParseModelName("0x", code));
  EXPECT_FALSE(ParseModelName("0x1ffffffff", code));
  EXPECT_EQ(ModelName(kModelZel8), "ZEL8");
  EXPECT_EQ(ModelName(0x0BADC0DE), "ZEL-0BADC0DE");
}

}  // namespace
