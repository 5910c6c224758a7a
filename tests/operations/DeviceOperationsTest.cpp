// The device actions of the window and the command-line tool against the simulator.
#include "operations/DeviceOperations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "operations/UpgradeOperation.h"
#include "protocol/ConfigFile.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "sim/TftpServer.h"
#include "support/LoopbackFixture.h"
#include "support/TempDir.h"
#include "support/TftpTestSupport.h"

namespace velkaro::testing {
namespace {

class DeviceOperationsTest : public LoopbackTest {
 protected:
  void StartListed(std::vector<std::uint32_t> models) {
    sim::TSimOptions o;
    o.models = std::move(models);
    o.tftpPort = 0;
    StartSimulator(o);
    ListDevices();
  }
};

TEST_F(DeviceOperationsTest, DiscoveryStopsAsSoonAsItIsDone) {
  StartListed({kModelZel1, kModelZel4});
  int asked = 0;
  const ops::TDiscovery d = ops::DiscoverDevices(session, 10, [&] { return ++asked == 2; });
  EXPECT_EQ(d.rounds, 2);
  EXPECT_TRUE(d.exchange.Ok());
  EXPECT_EQ(d.exchange.replies, 4);  // two devices, two rounds
  EXPECT_EQ(session.DeviceList.size(), 2u);
}

// Answers that miss the listening period wait on the round's kept sockets until the next round
// starts: counted there, never listed. Without kept sockets they are gone.
TEST_F(DeviceOperationsTest, AnswersAfterTheListeningAreCountedNotListed) {
  StartListed({kModelZel1, kModelZel4});
  session.DeviceList.Clear();
  simulator->SetReplyDelay(250);  // well past the 100 ms quiet period
  TLateReplies late;
  const std::size_t listed = simulator->RepliesSent();
  const TExchangeResult round = ops::DiscoverRound(session, &late);
  EXPECT_TRUE(round.Ok());
  EXPECT_EQ(round.replies, 0);
  ASSERT_TRUE(WaitUntil([&] { return simulator->RepliesSent() >= listed + 2; }));
  std::this_thread::sleep_for(milliseconds(20));  // loopback delivery
  EXPECT_EQ(late.Take(), 2);
  EXPECT_EQ(late.Take(), 0);
  EXPECT_TRUE(session.DeviceList.empty());

  const std::size_t sentBefore = simulator->RepliesSent();
  ops::DiscoverRound(session);
  ASSERT_TRUE(WaitUntil([&] { return simulator->RepliesSent() >= sentBefore + 2; }));
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(late.Take(), 0);

  simulator->SetReplyDelay(0);
  const ops::TDiscovery quick = ops::DiscoverDevices(session, 2, {}, ops::kLateReplyLinger);
  EXPECT_EQ(quick.late, 0);
  EXPECT_EQ(session.DeviceList.size(), 2u);
}

TEST(LateRepliesText, NamesTheCountThePeriodAndTheRemedy) {
  EXPECT_EQ(ops::LateRepliesText(1),
            "1 reply came after the 100 ms listening period and was left out; slow devices may "
            "need a quieter network or a direct --target");
  EXPECT_EQ(ops::LateRepliesText(12).substr(0, 34), "12 replies came after the 100 ms l");
  EXPECT_NE(ops::LateRepliesText(12).find(" were left out"), std::string::npos);
}

// A complete read of each model: the device answered and reported everything, with the busy
// cursor on for the whole read.
TEST_F(DeviceOperationsTest, ReadIsCompleteForEveryModel) {
  for (const std::uint32_t model : {kModelZel1, kModelZel4, kModelZel8}) {
    SCOPED_TRACE(model);
    busy.clear();
    StartListed({model});
    const ops::TReadOutcome read = ops::ReadDevice(session, 0);
    EXPECT_TRUE(read.answered);
    EXPECT_TRUE(read.unreported.empty()) << ops::TagListText(read.unreported);
    EXPECT_TRUE(read.exchange.lastSeen);
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
  }
}

TEST_F(DeviceOperationsTest, SilentDeviceIsNotAnsweredAndNothingIsSaved) {
  StartListed({kModelZel1});
  simulator->SetSilent(true);
  const TTempDir dir;
  const std::string file = dir.File("silent.cfg");
  const ops::TSaveOutcome save = ops::SaveDevice(session, 0, file);
  EXPECT_FALSE(save.read.answered);
  EXPECT_FALSE(save.saved);
  EXPECT_FALSE(std::ifstream(file).good());
}

// Silences the simulator once `from` requests have arrived, until `until` have.
void SilenceBetween(sim::TSimulator& simulator, std::size_t from, std::size_t until) {
  if (!simulator.WaitForRequests(from, std::chrono::seconds(10))) return;
  simulator.SetSilent(true);
  if (simulator.WaitForRequests(until, std::chrono::seconds(10))) simulator.SetSilent(false);
}

// The answer to the rack's third read request is lost once: the request is sent again and the
// read is whole. Lost three times, the read fails and nothing is saved.
TEST_F(DeviceOperationsTest, LostReadAnswerIsAskedAgainTwiceAtMost) {
  for (const int losses : {1, 3}) {
    SCOPED_TRACE(losses);
    StartListed({kModelZel8});
    const std::size_t before = simulator->RequestCount();
    std::thread silencer([&] {
      SilenceBetween(*simulator, before + 2, before + 2 + static_cast<std::size_t>(losses));
    });
    const TTempDir dir;
    const std::string file = dir.File("rack.cfg");
    const ops::TSaveOutcome save = ops::SaveDevice(session, 0, file);
    silencer.join();
    simulator->SetSilent(false);
    EXPECT_EQ(save.read.answered, losses == 1);
    EXPECT_EQ(save.saved, losses == 1);
    EXPECT_EQ(std::ifstream(file).good(), losses == 1);
    EXPECT_TRUE(save.read.unreported.empty());
    EXPECT_EQ(simulator->RequestCount() - before, losses == 1 ? 6u : 5u);
  }
}

// Firmware without a setting: the read is whole, the tag is named, the save goes through, and a
// write never carries the tag.
TEST_F(DeviceOperationsTest, SettingTheDeviceLacksIsNamedSavedAsZeroAndNeverWritten) {
  StartListed({kModelZel1});
  simulator->SetValue(0, 71, TValue{});
  const TTempDir dir;
  const std::string file = dir.File("lacking.cfg");
  const ops::TSaveOutcome save = ops::SaveDevice(session, 0, file);
  EXPECT_TRUE(save.read.answered);
  EXPECT_EQ(save.read.unreported, std::vector<int>{71});
  ASSERT_TRUE(save.saved) << save.error;
  std::stringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  EXPECT_NE(text.str().find("\n71=0\r"), std::string::npos) << text.str();

  const std::size_t before = simulator->RequestCount();
  ASSERT_TRUE(ops::WriteDevice(session, 0, ops::TWriteScope::All).Confirmed());
  const auto requests = simulator->Requests();
  ASSERT_GT(requests.size(), 0u);
  EXPECT_EQ(simulator->RequestCount() - before, 1u);
  EXPECT_FALSE(simulator->Snapshot(0).values.Has(71));
}

TEST_F(DeviceOperationsTest, SaveWritesTheDevicesSection) {
  StartListed({kModelZel4});
  const TTempDir dir;
  const std::string file = dir.File("rack.cfg");
  const ops::TSaveOutcome save = ops::SaveDevice(session, 0, file);
  ASSERT_TRUE(save.saved) << save.error;
  std::stringstream text;
  text << std::ifstream(file).rdbuf();
  EXPECT_NE(text.str().find("[" + ConfigSectionName(session.DeviceList[0]) + "]"),
            std::string::npos)
      << text.str();
}

// Every batch of the rack's write is counted; a silent device confirms nothing.
TEST_F(DeviceOperationsTest, WriteCountsEveryAcknowledgement) {
  struct Case {
    std::uint32_t model;
    ops::TWriteScope scope;
    bool silent;
    int requests, acknowledged;
    bool confirmed;
  };
  const Case cases[] = {
      {kModelZel8, ops::TWriteScope::All, false, 5, 5, true},
      {kModelZel1, ops::TWriteScope::General, false, 1, 1, true},
      {kModelZel8, ops::TWriteScope::All, true, 5, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requests * 10 + c.acknowledged);
    StartListed({c.model});
    ASSERT_TRUE(ops::ReadDevice(session, 0).answered);
    simulator->SetSilent(c.silent);
    const ops::TWriteOutcome write = ops::WriteDevice(session, 0, c.scope);
    EXPECT_EQ(write.requests, c.requests);
    EXPECT_EQ(write.acknowledged, c.acknowledged);
    EXPECT_EQ(write.Confirmed(), c.confirmed);
  }
}

// A device that answers the trigger twice still gets one image.
TEST_F(DeviceOperationsTest, UpgradeSendsOneImagePerDevice) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  o.tftpPort = 0;
  o.duplicates = 1;
  StartSimulator(o);
  simulator->SetValue(0, 2, kLoopback);
  simulator->Tftp().Start();
  const TTempDir dir;
  const std::string file = dir.File("image.bin");
  const TBytes image = Pattern(20000, 5);
  WriteBytes(file, image);

  TIdTrivialFTP ftp;
  ops::ConfigureUpgradeClient(ftp, simulator->Tftp().Port());
  const ops::TUpgradeOutcome upgrade =
      ops::UpgradeDevice(session.settings, "127.0.0.1", file, "127.0.0.1", ftp);
  EXPECT_TRUE(upgrade.Ok()) << upgrade.transferError;
  EXPECT_EQ(upgrade.trigger.replies, 2);
  ASSERT_TRUE(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(simulator->Tftp().TransferCount(), 1u);
  EXPECT_EQ(simulator->Tftp().LastTransfer().image, image);
}

// The image is read once: a file cut short in the middle of the upload still arrives whole, as
// it was when the upgrade began.
TEST_F(DeviceOperationsTest, ImageCutShortDuringTheUploadArrivesAsRead) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  o.tftpPort = 0;
  StartSimulator(o);
  simulator->SetValue(0, 2, kLoopback);
  simulator->Tftp().Start();
  const TTempDir dir;
  const std::string file = dir.File("image.bin");
  const TBytes image = Pattern(300000, 9);
  WriteBytes(file, image);
  TIdTrivialFTP ftp;
  ops::ConfigureUpgradeClient(ftp, simulator->Tftp().Port());
  bool cut = false;
  ftp.OnWork = [&](TIdComponent&, TWorkMode, std::int64_t) {
    if (!cut) std::filesystem::resize_file(file, 1000);
    cut = true;
  };
  const ops::TUpgradeOutcome upgrade =
      ops::UpgradeDevice(session.settings, "127.0.0.1", file, "127.0.0.1", ftp);
  EXPECT_TRUE(cut);
  EXPECT_TRUE(upgrade.Ok()) << upgrade.transferError;
  ASSERT_TRUE(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
  EXPECT_EQ(simulator->Tftp().LastTransfer().image, image);
}

TEST_F(DeviceOperationsTest, UpgradeRefusedBeforeTheUploadSendsNothing) {
  StartListed({kModelZel1});
  simulator->SetValue(0, 2, kLoopback);
  const TTempDir dir;
  WriteBytes(dir.File("image.bin"), Pattern(100));
  WriteBytes(dir.File("empty.bin"), {});
  TIdTrivialFTP ftp;
  ops::ConfigureUpgradeClient(ftp, 9);
  const ops::TUpgradeOutcome refused = ops::UpgradeDevice(
      session.settings, "127.0.0.1", dir.File("image.bin"), "127.0.0.1", ftp, [] { return false; });
  EXPECT_EQ(refused.trigger.replies, 1);
  EXPECT_FALSE(refused.uploaded);
  EXPECT_FALSE(refused.Ok());

  // A file that is no image stops everything before the trigger.
  const std::size_t before = simulator->RequestCount();
  for (const std::string& file : {dir.File("empty.bin"), dir.File("missing.bin"), dir.File("")}) {
    const ops::TUpgradeOutcome bad =
        ops::UpgradeDevice(session.settings, "127.0.0.1", file, "127.0.0.1", ftp);
    EXPECT_FALSE(bad.imageError.empty()) << file;
    EXPECT_FALSE(bad.Ok());
  }
  EXPECT_EQ(simulator->RequestCount(), before);
}

}  // namespace
}  // namespace velkaro::testing
