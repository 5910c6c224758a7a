// The upgrade dialog as the program sets it up: opened by the main window's Upgrade button, and
// with the demo devices taking the image on the loopback.
#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <chrono>

#include "app/DemoDevices.h"
#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "pages/IPEdit.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "sim/TftpServer.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"
#include "support/TftpTestSupport.h"
#include "support/UiRecorder.h"
#include "upgrade/FileNameEdit.h"
#include "upgrade/UpgradeForm.h"
#include "version/Oem.h"

using namespace velkaro;
using velkaro::testing::kLoopback;
using velkaro::testing::Pattern;

class UpgradeMainWindowTest : public QObject {
  Q_OBJECT

 private:
  velkaro::test::TUiRecorder ui_;

 private slots:
  void init() {
    ui_.Clear();
    ui_.Install();
  }

  void cleanup() {
    ui::ResetUiHooks();
    QStringList left;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) left << w->metaObject()->className();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u',')));
  }

  void upgradeButtonUploadsToTheSelectedDemoDevice() {
    TDemoDevices demo;
    std::string error;
    QVERIFY2(demo.Start(error), error.c_str());
    QVERIFY(demo.TftpPort() != 0);
    QVERIFY(demo.TftpPort() != 69);
    TExchangeSettings settings;
    settings.target = demo.Target();
    QCOMPARE(settings.target.address, kLoopback);

    TFormMain form(settings);
    TUpgradeForm upgrade(&form);
    upgrade.RedirectUploads(QStringLiteral("127.0.0.1"), demo.TftpPort());
    form.SetUpgradeHandler([&upgrade](std::optional<TZEL> device, const TExchangeSettings& s) {
      upgrade.ShowForDevice(std::move(device), s);
    });
    QVERIFY(form.Session.oem.upgradeOffered);  // no version block: the default variant
    QVERIFY(form.UpgradeButton->isEnabled());

    Discover(form.Session.settings, MergeInto(form.Session));
    QCOMPARE(form.Session.DeviceList.size(), std::size_t{3});
    form.StringGridSelectCell(0, 2);
    QCOMPARE(form.Session.SelectedDevice, 1);
    const std::string deviceIp = IpToText(form.Session.DeviceList[1].values.AsUInt(2));
    QVERIFY(deviceIp.rfind("127.0.0.", 0) == 0);  // the demo stays on the loopback

    velkaro::testing::TTempDir dir;
    const TBytes image = Pattern(120000, 4);
    const std::string path = dir.File("zel4.bin");
    velkaro::testing::WriteBytes(path, image);

    QString shownIp;
    const velkaro::test::TModalDriver<TUpgradeForm> driver(
        [&](TUpgradeForm& shown) {
          shownIp = shown.UpgradeIP->Text();
          shown.UpgradeFile->SetText(QString::fromStdString(path));
          shown.UpgradeBtn->click();
          // The upload runs on the exchange thread; the window stays live meanwhile.
          QVERIFY(QTest::qWaitFor([&] { return !shown.Busy(); }, 15000));
        },
        {.only = &upgrade, .closeAfterAction = true});
    form.UpgradeButton->click();

    QVERIFY(driver.Met());
    QCOMPARE(shownIp.toStdString(), deviceIp);
    QVERIFY(!driver.OpenAfterAction());  // closed by the upload
    QVERIFY2(ui_.messages.isEmpty(), qPrintable(ui_.messages.join(u'|')));
    sim::TTftpServer& tftp = demo.Simulator().Tftp();
    QVERIFY(tftp.WaitForTransfers(1, std::chrono::seconds(3)));
    QCOMPARE(tftp.RequestCount(), std::size_t{1});
    QVERIFY(tftp.LastTransfer().complete);
    QVERIFY(tftp.LastTransfer().image == image);
    QCOMPARE(tftp.LastTransfer().clientIp, kLoopback);
    QCOMPARE(demo.Simulator().UpgradeCount(), std::size_t{1});
    QCOMPARE(form.StatusBar->currentMessage(),
             QStringLiteral("Firmware sent to ") + QString::fromStdString(deviceIp));

    // A second try that fails replaces that line: the status bar tells only the last upgrade.
    demo.Simulator().SetSilent(true);
    QString statusDuring = QStringLiteral("not looked at");
    const velkaro::test::TModalDriver<TUpgradeForm> failing(
        [&](TUpgradeForm& shown) {
          shown.UpgradeBtn->click();
          statusDuring = form.StatusBar->currentMessage();
          QVERIFY(QTest::qWaitFor([&] { return !shown.Busy(); }, 15000));
          shown.CancelBtn->click();  // the dialog stays open after a silent device
        },
        {.only = &upgrade});
    form.UpgradeButton->click();
    demo.Simulator().SetSilent(false);
    QVERIFY(failing.Met());
    QCOMPARE(statusDuring, QString());
    QCOMPARE(ui_.messages, QStringList{QStringLiteral("Device not responding")});
    QCOMPARE(form.StatusBar->currentMessage(),
             QStringLiteral("Upgrade of %1 failed").arg(QString::fromStdString(deviceIp)));
    QCOMPARE(tftp.RequestCount(), std::size_t{1});
  }
};

QTEST_MAIN(UpgradeMainWindowTest)
#include "UpgradeMainWindowTest.moc"
