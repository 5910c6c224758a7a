// The device operations and the exchange rules under them, against simulated devices on the
// loopback interface: what they send (batching, tag selection, values) and how they treat the
// answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "operations/DeviceOperations.h"
#include "support/LoopbackFixture.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

struct TRequestItems {
  std::vector<std::uint16_t> tags;
  std::vector<TBytes> values;
  bool closed = false;  // ends with FF FF right after the last item
};

// Splits a request into its items; checks that nothing but items (and maybe FF FF) follows the
// header.
TRequestItems ParseRequest(const TBytes& r) {
  TRequestItems out;
  std::size_t pos = kHeaderSize;
  while (pos < r.size()) {
    if (r.size() - pos == 2 && r[pos] == 0xFF && r[pos + 1] == 0xFF) {
      out.closed = true;
      break;
    }
    EXPECT_GE(r.size() - pos, 3u) << "dangling bytes at " << pos;
    if (r.size() - pos < 3) break;
    const std::size_t len = r[pos + 2];
    out.tags.push_back(static_cast<std::uint16_t>((r[pos] << 8) | r[pos + 1]));
    out.values.emplace_back(r.begin() + static_cast<long>(pos + 3),
                            r.begin() + static_cast<long>(std::min(r.size(), pos + 3 + len)));
    pos += 3 + len;
  }
  return out;
}

std::vector<std::uint16_t> ModelTags(const TConfigFile& list, int first, int last,
                                     bool (*selected)(TDescriptor)) {
  std::vector<std::uint16_t> tags;
  for (TDescriptor d : list)
    if (DescriptorTag(d) >= first && DescriptorTag(d) <= last && selected(d))
      tags.push_back(DescriptorTag(d));
  std::sort(tags.begin(), tags.end());
  return tags;
}

bool Readable(TDescriptor d) {
  return DescriptorFlags(d) != kFlagWriteOnly;
}
bool Writable(TDescriptor d) {
  const int type = DescriptorType(d) & 0x7F;
  return DescriptorFlags(d) != kFlagReadOnly && type >= 1 && type <= 5;
}

std::vector<TBytes> RequestData(const sim::TSimulator& s) {
  std::vector<TBytes> out;
  for (const auto& r : s.Requests()) out.push_back(r.data);
  return out;
}

TBytes Ipv4Bytes(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

class OperationsTest : public LoopbackTest {
 protected:
  sim::TSimulator& StartListed(std::vector<std::uint32_t> models) {
    sim::TSimOptions o;
    o.models = std::move(models);
    StartSimulator(o);
    ListDevices();
    simulator->ClearRequests();
    return *simulator;
  }

  // One exchange of a listed device's request, as the operations send it.
  TExchangeResult ExchangeOf(const TBatchRequest& request, int retryCount) {
    return Note(Exchange(session.settings, request.data, retryCount, Recorder(), request.last,
                         session.DeviceList[0].link));
  }

  const TZEL& Listed(std::size_t index) const { return session.DeviceList[index]; }
};

TEST_F(OperationsTest, TwoDevicesWithin100msAreBothDeliveredInOrder) {
  sim::TSimOptions o;
  o.models = {kModelZel1, kModelZel4};
  o.replySpacingMs = 60;
  StartSimulator(o);
  Note(Discover(session.settings, Recorder()));
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[0].Source(), simulator->Snapshot(0).address);
  EXPECT_EQ(delivered[1].Source(), simulator->Snapshot(1).address);
  EXPECT_TRUE(delivered[0].last);
  EXPECT_TRUE(delivered[1].last);
  EXPECT_GE(delivered[1].at - delivered[0].at, milliseconds(40));
  // The request is the 27-byte discover frame.
  TSendBuf expected;
  BuildHeader(kAllDevices, TCommand::Discover, expected);
  EXPECT_EQ(RequestData(*simulator), std::vector<TBytes>{expected});
  EXPECT_TRUE(busy.empty());  // discovery leaves the cursor alone
}

TEST_F(OperationsTest, DiscoveryFillsTheGridFields) {
  StartListed({kModelZel1, kModelZel4, kModelZel8});
  for (std::size_t i = 0; i < 3; ++i) {
    const TZEL device = simulator->Snapshot(i);
    EXPECT_EQ(Listed(i).address, device.address);
    EXPECT_EQ(Listed(i).MAC, device.MAC);
    for (int tag : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})
      EXPECT_EQ(Listed(i).values.Get(tag), device.values.Get(tag)) << "tag " << tag;
  }
}

// A read request listens for one quiet period only: a later answer is not waited for.
TEST_F(OperationsTest, ReadAnsweredAfter150msIsLost) {
  StartListed({kModelZel1});
  simulator->SetReplyDelay(150);
  const TBatchRequest read = ReadRequests(Listed(0)).at(0);
  const auto start = Clock::now();
  ExchangeOf(read, 0);
  EXPECT_LT(MsSince(start), 145);
  EXPECT_TRUE(delivered.empty());
  EXPECT_EQ(simulator->RequestCount(), 1u);
  // The device did answer, only too late.
  const std::size_t sent = simulator->RepliesSent();
  std::this_thread::sleep_for(milliseconds(120));
  EXPECT_EQ(simulator->RepliesSent(), sent + 1);

  simulator->SetReplyDelay(50);
  ExchangeOf(read, 0);
  EXPECT_EQ(delivered.size(), 1u);
}

TEST_F(OperationsTest, WriteAnsweredDuringTheThirdWaitIsDelivered) {
  StartListed({kModelZel1});
  simulator->SetReplyDelay(250);
  const auto start = Clock::now();
  ExchangeOf(GeneralWriteRequest(Listed(0)), 10);
  const auto took = MsSince(start);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(delivered[0].last);
  EXPECT_EQ(delivered[0].Source(), simulator->Snapshot(0).address);
  EXPECT_GE(took, 240);
  EXPECT_LT(took, 900);  // ended by the answer, not after ten waits
}

TEST_F(OperationsTest, WriteWithoutAnswerEndsAfterTenWaits) {
  StartListed({kModelZel1});
  simulator->SetSilent(true);
  const auto start = Clock::now();
  ExchangeOf(GeneralWriteRequest(Listed(0)), 10);
  const auto took = MsSince(start);
  EXPECT_GE(took, 1000);
  EXPECT_LT(took, 1300);
  EXPECT_TRUE(delivered.empty());
  EXPECT_TRUE(errors.empty());
}

TEST_F(OperationsTest, SecondDatagramDuringAWriteIsNotRead) {
  StartListed({kModelZel4});
  simulator->SetDuplicates(1, 400);  // the second copy comes long after the first
  ExchangeOf(GeneralWriteRequest(Listed(0)), 10);
  // Over before the second copy was sent (the simulator counts a reply once it is out: the
  // discovery's, then the write's first answer), and that copy is not read.
  EXPECT_LT(simulator->RepliesSent(), 1u + 2u);
  EXPECT_TRUE(WaitUntil([&] { return simulator->RepliesSent() == 1u + 2u; }));
  ASSERT_EQ(delivered.size(), 1u);
}

TEST_F(OperationsTest, RackIsReadInFiveRequests) {
  StartListed({kModelZel8});
  int shown = 0;
  session.settings.showDeviceRow = [&](int) { ++shown; };
  const ops::TReadOutcome read = ops::ReadDevice(session, 0);
  EXPECT_TRUE(read.answered);
  const auto requests = RequestData(*simulator);
  ASSERT_EQ(requests.size(), 5u);
  for (std::size_t k = 0; k < 5; ++k) {
    const TBytes& r = requests[k];
    EXPECT_TRUE(std::equal(Listed(0).address.begin(), Listed(0).address.end(), r.begin()));
    EXPECT_EQ(r[kCommandOffset], 1);
    const TRequestItems items = ParseRequest(r);
    const int first = static_cast<int>(100 * k + 1);
    EXPECT_EQ(items.tags, ModelTags(Zel8Descriptors(), first, first + 99, Readable)) << k;
    for (const TBytes& v : items.values) EXPECT_TRUE(v.empty());
    EXPECT_EQ(items.closed, k == 4) << k;
  }
  EXPECT_EQ(read.exchange.replies, 5);
  EXPECT_TRUE(read.exchange.lastSeen);
  EXPECT_EQ(shown, 1);
  // Every parameter arrived and was merged as the device holds it.
  EXPECT_EQ(Listed(0), simulator->Snapshot(0));
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));
}

TEST_F(OperationsTest, OneAndFourOutletModelsAreReadInOneRequest) {
  StartListed({kModelZel1, kModelZel4});
  EXPECT_TRUE(ops::ReadDevice(session, 0).answered);
  EXPECT_TRUE(ops::ReadDevice(session, 1).answered);
  const auto requests = RequestData(*simulator);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(ParseRequest(requests[0]).tags, ModelTags(Zel1Descriptors(), 1, 100, Readable));
  EXPECT_EQ(ParseRequest(requests[1]).tags, ModelTags(Zel4Descriptors(), 1, 100, Readable));
  EXPECT_TRUE(ParseRequest(requests[0]).closed);
  EXPECT_TRUE(ParseRequest(requests[1]).closed);
  EXPECT_EQ(Listed(0), simulator->Snapshot(0));
  EXPECT_EQ(Listed(1), simulator->Snapshot(1));
}

// Batches are ranges of 100 tags: a largest tag of 100 fits one request, 101 needs two, and only
// the last request keeps the list end.
TEST(BatchRequestsTest, BoundaryIsAtOneHundredTags) {
  constexpr std::uint32_t kTop100 = 0x64000001, kTop101 = 0x65000001;
  TConfigFile top100(Zel1Descriptors().begin(), Zel1Descriptors().begin() + 13);
  TConfigFile top101 = top100;
  top100.push_back(MakeDescriptor(100, kFlagReadWrite, vtString));
  top101.push_back(MakeDescriptor(101, kFlagReadWrite, vtString));
  const TModelRegistry models({{kTop100, top100}, {kTop101, top101}});
  TZEL device;
  device.values.Set(13, kTop100);
  auto requests = ReadRequests(device, models);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(ParseRequest(requests[0].data).tags.back(), 100);
  EXPECT_TRUE(ParseRequest(requests[0].data).closed);
  EXPECT_TRUE(requests[0].last);

  device.values.Set(13, kTop101);
  requests = ReadRequests(device, models);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(ParseRequest(requests[0].data).closed);
  EXPECT_FALSE(requests[0].last);
  EXPECT_EQ(ParseRequest(requests[1].data).tags, std::vector<std::uint16_t>{101});
  EXPECT_TRUE(ParseRequest(requests[1].data).closed);
  EXPECT_TRUE(requests[1].last);
  EXPECT_EQ((std::pair{requests[1].firstTag, requests[1].lastTag}), (std::pair{101, 101}));
}

TEST_F(OperationsTest, UnregisteredModelIsReadWithOneEmptyRequest) {
  StartListed({0x0BADC0DE});
  TZEL record = Listed(0);
  const ops::TReadOutcome read = ops::ReadAll(session.settings, record);
  const auto requests = RequestData(*simulator);
  ASSERT_EQ(requests.size(), 1u);
  TSendBuf expected;
  BuildHeader(Listed(0).address, TCommand::Read, expected);
  EXPECT_EQ(requests[0], expected);
  EXPECT_TRUE(read.answered);
  EXPECT_TRUE(read.exchange.lastSeen);
}

// A broken answer is told once per send; the read asks again, then gives up without sending the
// later batches (they could not make it whole).
TEST_F(OperationsTest, BrokenAnswerIsReportedAndTheReadStopsAfterItsRepeats) {
  StartListed({kModelZel8});
  simulator->SetMalformed(true, sim::TMalformKind::Empty);
  TZEL record = Listed(0);
  const ops::TReadOutcome read = ops::ReadAll(session.settings, record);
  Note(read.exchange);
  EXPECT_FALSE(read.answered);
  EXPECT_EQ(simulator->RequestCount(), 1u + ops::kReadRepeats);
  EXPECT_EQ(errors.size(), 1u + ops::kReadRepeats);
  for (const auto& e : errors) EXPECT_EQ(e, "Connection Error:  Erreur de réception UDP = 0.");
}

TEST_F(OperationsTest, WriteAllSendsEveryWritableTagAndTheDeviceStoresThem) {
  StartListed({kModelZel4});
  ASSERT_TRUE(ops::ReadDevice(session, 0).answered);
  simulator->ClearRequests();
  busy.clear();
  const TZEL before = simulator->Snapshot(0);
  TZEL edited = Listed(0);
  edited.values.Set(7, std::string("Lab bench"));
  edited.values.Set(56, std::string("Pump"));
  edited.values.Set(2, std::uint32_t{0x0A090807});
  edited.values.Set(20, std::uint32_t{0xC0A80000});
  edited.values.Set(21, std::uint32_t{0x02});
  edited.values.Set(28 + 2, std::uint32_t{8080});
  edited.values.Set(5, std::string("changed read-only"));
  edited.values.Set(81, std::uint32_t{999999});
  session.DeviceList.Replace(0, edited);

  const ops::TWriteOutcome write = ops::WriteDevice(session, 0, ops::TWriteScope::All);
  EXPECT_TRUE(write.Confirmed());
  const auto requests = RequestData(*simulator);
  ASSERT_EQ(requests.size(), 1u);
  const TRequestItems items = ParseRequest(requests[0]);
  EXPECT_EQ(items.tags, ModelTags(Zel4Descriptors(), 1, 100, Writable));
  EXPECT_TRUE(items.closed);
  EXPECT_EQ(requests[0][kCommandOffset], 2);

  const TZEL after = simulator->Snapshot(0);
  for (TDescriptor d : Zel4Descriptors()) {
    const int tag = DescriptorTag(d);
    const TValue& expected =
        DescriptorFlags(d) == kFlagReadOnly ? before.values.Get(tag) : edited.values.Get(tag);
    EXPECT_EQ(after.values.Get(tag), expected) << "tag " << tag;
  }
  EXPECT_EQ(after.values.AsText(56), "Pump");
  EXPECT_EQ(after.values.AsUInt(81), before.values.AsUInt(81));
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));
}

TEST_F(OperationsTest, WriteAllOfTheRackUsesFiveAnsweredRequests) {
  StartListed({kModelZel8});
  ASSERT_TRUE(ops::ReadDevice(session, 0).answered);
  simulator->ClearRequests();
  TZEL edited = Listed(0);
  edited.values.Set(37, std::string("ops@example.net"));
  edited.values.Set(439, std::string("Unit five"));
  edited.values.Set(472, std::uint32_t{0x81});
  const ops::TWriteOutcome write = ops::WriteAll(session.settings, edited);
  const auto requests = RequestData(*simulator);
  ASSERT_EQ(requests.size(), 5u);
  for (std::size_t k = 0; k < 5; ++k) {
    const int first = static_cast<int>(100 * k + 1);
    const TRequestItems items = ParseRequest(requests[k]);
    EXPECT_EQ(items.tags, ModelTags(Zel8Descriptors(), first, first + 99, Writable)) << k;
    EXPECT_EQ(items.closed, k == 4);
  }
  EXPECT_EQ(write.requests, 5);
  EXPECT_EQ(write.acknowledged, 5);
  EXPECT_TRUE(write.finalAcknowledged);
  const TZEL after = simulator->Snapshot(0);
  EXPECT_EQ(after.values.AsText(37), "ops@example.net");
  EXPECT_EQ(after.values.AsText(439), "Unit five");
  EXPECT_EQ(after.values.AsUInt(472), 0x81u);
}

// A tag the device never reported would go out as 0, 0.0.0.0 or an empty text and could cut
// the device off: it is left out of the write.
TEST_F(OperationsTest, EmptySlotsAreNeverWritten) {
  StartListed({kModelZel1});  // only the discovery tags are known
  const TZEL before = simulator->Snapshot(0);
  ops::WriteAll(session.settings, Listed(0));
  const TRequestItems items = ParseRequest(RequestData(*simulator).at(0));
  const auto sent = [&](std::uint16_t tag) {
    return std::find(items.tags.begin(), items.tags.end(), tag) != items.tags.end();
  };
  for (const std::uint16_t tag : {20, 21, 22, 40}) EXPECT_FALSE(sent(tag)) << tag;
  const std::string name = Listed(0).values.AsText(7);
  const auto seven = std::find(items.tags.begin(), items.tags.end(), 7);
  ASSERT_NE(seven, items.tags.end());
  EXPECT_EQ(items.values[seven - items.tags.begin()], TBytes(name.begin(), name.end()));
  const TZEL after = simulator->Snapshot(0);
  EXPECT_EQ(after.values.AsUInt(20), before.values.AsUInt(20));
  EXPECT_EQ(after.values.AsText(40), before.values.AsText(40));
}

TEST_F(OperationsTest, WriteGeneralWritesTagsOneToFourAndSixInOneRequest) {
  StartListed({kModelZel8});
  const TZEL before = simulator->Snapshot(0);
  TZEL edited = Listed(0);
  edited.values.Set(1, std::uint32_t{0xFFFF0000});
  edited.values.Set(2, std::uint32_t{0x0A141E28});
  edited.values.Set(3, std::uint32_t{0x0A141E01});
  edited.values.Set(4, std::uint32_t{8080});
  edited.values.Set(6, std::uint32_t{0x01});
  edited.values.Set(7, std::string("not written"));
  session.DeviceList.Replace(0, edited);
  const ops::TWriteOutcome write = ops::WriteDevice(session, 0, ops::TWriteScope::General);
  EXPECT_TRUE(write.Confirmed());
  const auto requests = RequestData(*simulator);
  ASSERT_EQ(requests.size(), 1u);
  const TRequestItems items = ParseRequest(requests[0]);
  EXPECT_EQ(items.tags, (std::vector<std::uint16_t>{1, 2, 3, 4, 6}));
  EXPECT_EQ(items.values[0], Ipv4Bytes(0xFFFF0000));
  EXPECT_EQ(items.values[1], Ipv4Bytes(0x0A141E28));
  EXPECT_EQ(items.values[3], (TBytes{0x1F, 0x90}));
  EXPECT_EQ(items.values[4], TBytes{0x01});
  EXPECT_TRUE(items.closed);
  const TZEL after = simulator->Snapshot(0);
  EXPECT_EQ(after.values.AsUInt(2), 0x0A141E28u);
  EXPECT_EQ(after.values.AsUInt(4), 8080u);
  EXPECT_EQ(after.values.AsText(7), before.values.AsText(7));
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));
}

TEST_F(OperationsTest, TriggerUpgradeAddressesTheDeviceByIp) {
  sim::TSimOptions o;
  o.models = {kModelZel1, kModelZel4};
  o.tftpPort = 6969;
  StartSimulator(o);
  std::mutex eventsMutex;
  std::vector<sim::TUpgradeEvent> events;
  simulator->SetUpgradeHandler([&](const sim::TUpgradeEvent& e) {
    std::lock_guard lock(eventsMutex);
    events.push_back(e);
  });
  const std::uint32_t ip = simulator->Snapshot(1).values.AsUInt(2);

  Note(TriggerUpgrade(session.settings, IpToText(ip), Recorder()));
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_TRUE(delivered[0].last);
  EXPECT_EQ(delivered[0].Source(), simulator->Snapshot(1).address);
  {
    std::lock_guard lock(eventsMutex);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].deviceIndex, 1u);
    EXPECT_EQ(events[0].tftpPort, 6969);
  }
  const auto requests = RequestData(*simulator);
  ASSERT_EQ(requests.size(), 1u);
  TBytes expected(27, 0);
  const TBytes head{0x00,
                    0x02,
                    static_cast<std::uint8_t>(ip >> 24),
                    static_cast<std::uint8_t>(ip >> 16),
                    static_cast<std::uint8_t>(ip >> 8),
                    static_cast<std::uint8_t>(ip),
                    0xCC,
                    0xA5};
  std::copy(head.begin(), head.end(), expected.begin());
  TSendBuf header;
  BuildHeader(kAllDevices, TCommand::Upgrade, header);
  std::copy(header.begin() + kSourceOffset, header.end(), expected.begin() + kSourceOffset);
  EXPECT_EQ(requests[0], expected);
  EXPECT_EQ(requests[0][kCommandOffset], 3);
  EXPECT_TRUE(busy.empty());

  // No device at that address: no answer, nothing started.
  delivered.clear();
  Note(TriggerUpgrade(session.settings, "10.200.0.1", Recorder()));
  EXPECT_TRUE(delivered.empty());
  std::lock_guard lock(eventsMutex);
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(OperationsTest, TriggerUpgradeWithInvalidTextAddressesZero) {
  sim::TSimOptions o;
  o.silent = true;
  StartSimulator(o);
  Note(TriggerUpgrade(session.settings, "not an address", Recorder()));
  ASSERT_TRUE(simulator->WaitForRequests(1, milliseconds(1000)));
  const TBytes r = simulator->Requests().at(0).data;
  EXPECT_EQ(TBytes(r.begin(), r.begin() + kSourceOffset), (TBytes{0, 2, 0, 0, 0, 0, 0xCC, 0xA5}));
}

TEST_F(OperationsTest, IndexOutsideTheListThrowsBeforeSendingAndRestoresTheCursor) {
  StartListed({kModelZel1});
  EXPECT_THROW(ops::ReadDevice(session, 1), std::out_of_range);
  EXPECT_THROW(ops::WriteDevice(session, -1, ops::TWriteScope::All), std::out_of_range);
  EXPECT_THROW(ops::WriteDevice(session, 5, ops::TWriteScope::General), std::out_of_range);
  EXPECT_EQ(busy, (std::vector<bool>{true, false, true, false, true, false}));
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(simulator->RequestCount(), 0u);
}

// The cursor comes back when the operation fails in the middle: a failing exchange, and an
// operation that throws.
TEST_F(OperationsTest, BusyCursorIsRestoredWhenTheOperationFails) {
  StartListed({kModelZel1});
  simulator->SetMalformed(true, sim::TMalformKind::Empty);
  EXPECT_FALSE(ops::ReadDevice(session, 0).answered);
  EXPECT_THROW(ops::ReadDevice(session, 7), std::out_of_range);
  EXPECT_EQ(busy, (std::vector<bool>{true, false, true, false}));
}

// A user who stops waiting ends a silent write at the next listening check, and a batched write
// sends none of its later requests.
TEST_F(OperationsTest, CancelEndsTheWriteAtItsNextCheck) {
  sim::TSimOptions o;
  o.models = {kModelZel8};
  StartSimulator(o);
  ListDevices();
  simulator->SetSilent(true);
  simulator->ClearRequests();
  std::atomic<bool> stop{false};
  ops::TWriteOutcome result;
  const auto start = Clock::now();
  std::thread worker([&] {
    const TCancelScope scope(stop);
    result = ops::WriteAll(session.settings, session.DeviceList[0]);
  });
  std::this_thread::sleep_for(milliseconds(250));
  stop = true;
  worker.join();
  const auto took = MsSince(start);
  EXPECT_GE(took, 250);
  EXPECT_LT(took, 250 + 150);
  EXPECT_TRUE(result.exchange.cancelled);
  EXPECT_TRUE(result.exchange.errors.empty());
  EXPECT_EQ(simulator->RequestCount(), 1u);  // the rack's write has five requests
}

}  // namespace
