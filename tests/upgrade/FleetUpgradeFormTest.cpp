// The many-device upgrade dialog as the main window opens it, against simulated devices that
// each have their own 127.0.0.x address and TFTP receiver: final state of every row, failures
// with their error, a live event loop and no scan while the rollout runs.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <memory>

#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "platform/Socket.h"
#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "sim/Simulator.h"
#include "support/LoopbackSimulator.h"
#include "support/ScreenshotSupport.h"
#include "support/TempDir.h"
#include "support/TftpTestSupport.h"
#include "support/UiRecorder.h"
#include "support/Wine.h"
#include "ui/RememberedSettings.h"
#include "upgrade/FileNameEdit.h"
#include "upgrade/FleetUpgradeForm.h"

using namespace velkaro;
using velkaro::testing::kLoopback;
using velkaro::testing::Pattern;

namespace {

constexpr int kReturnTimeoutMs = 1500;

// A port free on the loopback, taken by every device's receiver on its own address.
std::uint16_t FreeLoopbackPort() {
  TUdpSocket probe;
  probe.Bind(kLoopback, 0);
  return probe.LocalPort();
}

QString StateText(const TFleetUpgradeForm& form, int row) {
  const QTableWidgetItem* item = form.DeviceTable->item(row, TFleetUpgradeForm::kStateColumn);
  return item ? item->text() : QString();
}

std::vector<TZEL> Records(const TSession& session) {
  std::vector<TZEL> records;
  for (std::size_t i = 0; i < session.DeviceList.size(); ++i)
    records.push_back(session.DeviceList[i]);
  return records;
}

int ProgressOf(const TFleetUpgradeForm& form, int row) {
  const auto* bar = qobject_cast<QProgressBar*>(
      form.DeviceTable->cellWidget(row, TFleetUpgradeForm::kProgressColumn));
  return bar ? bar->value() : -1;
}

}  // namespace

class FleetUpgradeFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<velkaro::testing::TLoopbackSimulator> simulator;
  std::unique_ptr<velkaro::testing::TTempDir> dir;
  std::uint16_t tftpPort = 0;
  velkaro::test::TUiRecorder recorder;

  // `count` zel1 devices on 127.0.0.2 onwards, back 100 ms after an image, listed in the grid.
  void StartDevices(int count, sim::TSimOptions options = {}) {
    options.models = {kModelZel1};
    options.count = count;
    options.loopbackIps = true;
    options.rebootMs = 100;
    tftpPort = FreeLoopbackPort();
    options.tftpPort = tftpPort;
    simulator = velkaro::testing::StartLoopbackSimulator(options);
  }

  // Discovers into the session's device list (and the grid, when it is a main window's) until
  // all `count` devices are listed: a loaded machine may answer after a round's quiet period.
  static bool ListAll(TSession& session, std::size_t count) {
    for (int round = 0; round < 20 && session.DeviceList.size() < count; ++round)
      Discover(session.settings, MergeInto(session));
    return session.DeviceList.size() == count;
  }

  TExchangeSettings Aimed() const { return velkaro::testing::SettingsFor(*simulator); }

  QString WriteImage(const TBytes& bytes) {
    const std::string path = dir->File("fw.bin");
    velkaro::testing::WriteBytes(path, bytes);
    return QString::fromStdString(path);
  }

  void PointAtSimulator(TFleetUpgradeForm& fleet) const {
    fleet.TftpPort->setValue(tftpPort);
    fleet.Rollout().returnTimeout = std::chrono::milliseconds(kReturnTimeoutMs);
  }

 private slots:
  void init() {
    recorder = {};
    recorder.Install();
    dir = std::make_unique<velkaro::testing::TTempDir>();
  }

  void cleanup() {
    simulator.reset();
    ui::ResetUiHooks();
    QStringList left;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) left << w->metaObject()->className();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u',')));
  }

  void severalSelectedRowsGoToTheFleetDialogOneRowToTheSingleOne() {
    StartDevices(3);
    TFormMain form(Aimed());
    int single = 0;
    std::vector<TZEL> fleet;
    form.SetUpgradeHandler([&single](auto&&...) { ++single; });
    form.SetFleetUpgradeHandler([&fleet](std::vector<TZEL> devices, auto&&) { fleet = devices; });
    QVERIFY(ListAll(form.Session, 3));  // the grid rows come from the replies
    QItemSelectionModel* selection = form.StringGrid->selectionModel();
    const auto rowOf = [&form](int row) { return form.StringGrid->model()->index(row, 0); };

    selection->select(rowOf(0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->select(rowOf(2), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.UpgradeButton->click();
    QCOMPARE(single, 0);
    QCOMPARE(fleet.size(), std::size_t{2});
    QCOMPARE(fleet[0].address, form.Session.DeviceList[0].address);
    QCOMPARE(fleet[1].address, form.Session.DeviceList[2].address);

    fleet.clear();
    form.StringGrid->setCurrentCell(1, 0);
    QCOMPARE(form.SelectedDeviceIndexes(), std::vector<int>{1});
    form.UpgradeButton->click();
    QCOMPARE(single, 1);
    QVERIFY(fleet.empty());
  }

  void rolloutReachesEveryFinalStateWithTheWindowAlive() {
    // Five devices on five loopback addresses, each with its own upload.
    if (velkaro::testing::RunningUnderWine()) QSKIP(velkaro::testing::kWineSharedPort);
    sim::TSimOptions options;
    options.abortAtBlock = 3;
    options.abortDevices.indexes = {1};
    options.noReturn.indexes = {3};
    StartDevices(5, options);
    TFormMain form(Aimed());
    TFleetUpgradeForm fleet(&form);
    PointAtSimulator(fleet);
    form.SetFleetUpgradeHandler([&fleet](std::vector<TZEL> devices, const TExchangeSettings& s) {
      fleet.ShowForDevices(std::move(devices), s);
    });
    connect(&fleet, &TFleetUpgradeForm::runningChanged, &form, &TFormMain::SetScanBlocked);
    QVERIFY(ListAll(form.Session, 5));
    form.StringGrid->selectAll();
    const TBytes image = Pattern(20000, 7);  // 14 blocks of 1500 bytes
    const QString file = WriteImage(image);

    // Everything below runs inside the dialog's own modal loop.
    bool opened = false, startEnabled = false, scanRefused = true, closeRefused = true;
    bool scanActionsOff = true, ended = false;
    int ticks = 0;
    qint64 longestGapMs = 0;
    QSet<QString> statesSeen;
    QTimer::singleShot(0, &fleet, [&] {
      opened = QApplication::activeModalWidget() == &fleet;
      fleet.UpgradeFile->SetText(file);
      startEnabled = fleet.StartBtn->isEnabled();
      QElapsedTimer sinceTick;
      sinceTick.start();
      QTimer ticker;
      connect(&ticker, &QTimer::timeout, &fleet, [&] {
        if (!fleet.Running()) return;
        ++ticks;
        longestGapMs = std::max(longestGapMs, sinceTick.restart());
        for (int row = 0; row < fleet.DeviceTable->rowCount(); ++row)
          statesSeen << StateText(fleet, row);
        form.Scan();
        scanRefused = scanRefused && !form.Scanning();
        scanActionsOff =
            scanActionsOff && !form.ScanButton->isEnabled() && !form.ScanMenu->isEnabled();
        fleet.reject();
        closeRefused = closeRefused && fleet.isVisible() && !fleet.CloseBtn->isEnabled();
      });
      ticker.start(20);
      if (opened && startEnabled) fleet.StartBtn->click();
      sinceTick.restart();
      ended = QTest::qWaitFor([&] { return !fleet.Running(); }, 20000);
      ticker.stop();
      QDir().mkpath(QStringLiteral(VELKARO_SCREENSHOT_DIR));
      velkaro::test::SaveScreenshot(fleet, QDir(QStringLiteral(VELKARO_SCREENSHOT_DIR)),
                                    QStringLiteral("fleet-upgrade-form.png"));
      fleet.reject();
    });
    form.UpgradeButton->click();

    QVERIFY(opened);
    QVERIFY(startEnabled);
    QVERIFY(ended);
    QCOMPARE(fleet.windowTitle(), QStringLiteral("Upgrade 5 devices"));
    // The loop ran all through: one device alone waits 1.5 s for its return.
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
    QVERIFY2(longestGapMs < 1000, qPrintable(QString::number(longestGapMs)));
    QVERIFY2(
        statesSeen.contains(QStringLiteral("waiting for return")),
        qPrintable(QStringList(statesSeen.begin(), statesSeen.end()).join(QStringLiteral(", "))));
    QVERIFY(scanRefused);
    QVERIFY(scanActionsOff);
    QVERIFY(closeRefused);

    const std::vector<ops::TRolloutDevice>& results = fleet.Results();
    QCOMPARE(results.size(), std::size_t{5});
    for (const int row : {0, 2, 4}) {
      QCOMPARE(StateText(fleet, row), QStringLiteral("ok"));
      QCOMPARE(ProgressOf(fleet, row), 100);
      QCOMPARE(simulator->Uploads(static_cast<std::size_t>(row)).count, std::size_t{1});
      QVERIFY(simulator->Uploads(static_cast<std::size_t>(row)).latest.back() == image);
    }
    QCOMPARE(results[1].result, ops::TRolloutResult::TransferFailed);
    QVERIFY(!results[1].error.empty());
    QCOMPARE(StateText(fleet, 1),
             QStringLiteral("transfer failed: ") + QString::fromStdString(results[1].error));
    QCOMPARE(simulator->Uploads(1).count, std::size_t{0});
    QCOMPARE(results[3].result, ops::TRolloutResult::NoReturn);
    QVERIFY(StateText(fleet, 3).startsWith(QStringLiteral("no return: no answer to a discovery")));
    QCOMPARE(simulator->Uploads(3).count, std::size_t{1});
    QCOMPARE(fleet.Summary->text(), QStringLiteral("3 of 5 devices upgraded"));
    QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.messages.join(u'|')));

    // Start stays off: the same devices are not flashed twice from one opening.
    QVERIFY(!fleet.StartBtn->isEnabled());
    QVERIFY(form.ScanButton->isEnabled());
    form.Scan();
    QVERIFY(form.Scanning());
    form.Timer->stop();
  }

  // A retry runs the devices that failed, and only them, with the same image.
  void retryRunsOnlyTheFailedDevices() {
    if (velkaro::testing::RunningUnderWine()) QSKIP(velkaro::testing::kWineSharedPort);
    StartDevices(3);
    TSession session;
    simulator->Aim(session);
    QVERIFY(ListAll(session, 3));
    simulator->SilenceDevice(1);
    TFleetUpgradeForm fleet;
    PointAtSimulator(fleet);
    fleet.SetDevices(Records(session), session.settings);
    const TBytes image = Pattern(5000, 3);
    fleet.UpgradeFile->SetText(WriteImage(image));
    QVERIFY(!fleet.RetryBtn->isEnabled());  // nothing failed yet
    fleet.StartBtn->click();
    QVERIFY(QTest::qWaitFor([&] { return !fleet.Running(); }, 20000));
    QCOMPARE(StateText(fleet, 1), QStringLiteral("no answer to trigger: Device not responding"));
    QCOMPARE(fleet.Summary->text(), QStringLiteral("2 of 3 devices upgraded"));
    QVERIFY(!fleet.StartBtn->isEnabled());
    QVERIFY(fleet.RetryBtn->isEnabled());

    simulator->ResumeDevice(1);
    fleet.RetryBtn->click();
    QVERIFY(fleet.Running());
    QCOMPARE(StateText(fleet, 0), QStringLiteral("ok"));  // untouched by the retry
    QVERIFY(QTest::qWaitFor([&] { return !fleet.Running(); }, 20000));
    for (int row = 0; row < 3; ++row) {
      QCOMPARE(StateText(fleet, row), QStringLiteral("ok"));
      QCOMPARE(ProgressOf(fleet, row), 100);
      QCOMPARE(simulator->Uploads(static_cast<std::size_t>(row)).count, std::size_t{1});
      QVERIFY(simulator->Uploads(static_cast<std::size_t>(row)).latest.back() == image);
    }
    QCOMPARE(fleet.Results().size(), std::size_t{3});
    QCOMPARE(fleet.Results()[1].result, ops::TRolloutResult::Ok);
    QCOMPARE(fleet.Summary->text(), QStringLiteral("3 of 3 devices upgraded"));
    QVERIFY(!fleet.RetryBtn->isEnabled());
    QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.messages.join(u'|')));
  }

  // The images go to the port in the field, which the next run's dialog shows again with the
  // image last started, typed rather than picked, and its folder.
  void portFieldTakesTheImagesAndIsRememberedWithTheImage() {
    if (velkaro::testing::RunningUnderWine()) QSKIP(velkaro::testing::kWineSharedPort);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(dir->Path().string()));
    ui::SetSettingsScope(QStringLiteral("velkaro-fleet-test"));
    StartDevices(1);
    TSession session;
    simulator->Aim(session);
    QVERIFY(ListAll(session, 1));
    TFleetUpgradeForm fleet;
    fleet.Rollout().returnTimeout = std::chrono::milliseconds(kReturnTimeoutMs);
    const bool startsAt69 = fleet.TftpPort->value() == 69;
    fleet.TftpPort->selectAll();
    QTest::keyClicks(fleet.TftpPort, QString::number(tftpPort));
    fleet.SetDevices(Records(session), session.settings);
    const TBytes image = Pattern(3000, 5);
    const QString file = WriteImage(image);
    fleet.UpgradeFile->SetText(file);
    fleet.StartBtn->click();
    const bool ended = QTest::qWaitFor([&] { return !fleet.Running(); }, 20000);
    TFleetUpgradeForm next;
    next.SetDevices(Records(session), session.settings);
    const int port = next.TftpPort->value();
    const QString nextFile = next.UpgradeFile->Text();
    const QString folder = ui::LastFolder(QString::fromLatin1(ui::kFirmwareFolderKey));
    ui::SetSettingsScope(QString());
    QVERIFY(startsAt69);
    QVERIFY(ended);
    QCOMPARE(StateText(fleet, 0), QStringLiteral("ok"));
    QCOMPARE(simulator->Uploads(0).count, std::size_t{1});
    QCOMPARE(port, int(tftpPort));
    QCOMPARE(nextFile, file);
    QCOMPARE(QDir(folder).canonicalPath(),
             QDir(QString::fromStdString(dir->Path().string())).canonicalPath());
  }

  void imageThatCannotBeSentStartsNothing() {
    StartDevices(2);
    TSession session;
    simulator->Aim(session);
    QVERIFY(ListAll(session, 2));
    simulator->ClearRequests();
    TFleetUpgradeForm fleet;
    PointAtSimulator(fleet);
    fleet.SetDevices({session.DeviceList[0], session.DeviceList[1]}, session.settings);
    struct TCase {
      QString name;
      QString file;
    };
    const TCase cases[] = {
        {QStringLiteral("empty"), WriteImage({})},
        {QStringLiteral("folder"), QString::fromStdString(dir->Path().string())},
        {QStringLiteral("missing"), QString::fromStdString(dir->File("none.bin"))},
    };
    for (const TCase& c : cases) {
      fleet.UpgradeFile->SetText(c.file);
      QVERIFY2(!fleet.StartBtn->isEnabled(), qPrintable(c.name));
      QVERIFY2(!fleet.ImageProblem->isHidden(), qPrintable(c.name));
      fleet.StartBtnClick();
      QVERIFY2(!fleet.Running(), qPrintable(c.name));
    }
    QTest::qWait(300);  // a trigger sent by mistake would have arrived by now
    QCOMPARE(simulator->RequestCount(), std::size_t{0});
    QCOMPARE(simulator->UpgradeCount(), std::size_t{0});
  }
};

QTEST_MAIN(FleetUpgradeFormTest)
#include "FleetUpgradeFormTest.moc"
