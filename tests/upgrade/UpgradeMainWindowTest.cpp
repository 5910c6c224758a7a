// The upgrade dialog as the program sets it up: opened by the main window's Upgrade button, and
// with the demo devices taking the image on the loopback.
#include <QApplication>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>

#include "app/DemoDevices.h"
#include "app/FormMain.h"
#include "pages/IPEdit.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "sim/TftpServer.h"
#include "support/TftpTestSupport.h"
#include "ui/UiSeams.h"
#include "upgrade/FileNameEdit.h"
#include "upgrade/UpgradeForm.h"
#include "version/Oem.h"

using namespace velkaro;
using velkaro::testing::kLoopback;
using velkaro::testing::Pattern;

class UpgradeMainWindowTest : public QObject {
  Q_OBJECT

 private:
  QStringList messages;

 private slots:
  void init() {
    messages.clear();
    ui::TUiHooks hooks;
    hooks.message = [this](QWidget*, const QString& text, ui::MessageKind) { messages << text; };
    ui::SetUiHooks(std::move(hooks));
  }

  void cleanup() {
    Settings().target = {kLoopback, 9};
    Settings().busy = {};
    ui::ResetUiHooks();
    DeviceList.Clear();
    SelectedDevice = 0;
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
    QCOMPARE(Settings().target.address, kLoopback);

    TFormMain form;
    TUpgradeForm upgrade(&form);
    upgrade.RedirectUploads(QStringLiteral("127.0.0.1"), demo.TftpPort());
    form.SetUpgradeHandler([&upgrade] { upgrade.ShowForDevice(); });
    QVERIFY(UpgradeOffered);  // no version block: the default variant
    QVERIFY(form.UpgradeButton->isEnabled());

    Discover(MergeReply);
    QCOMPARE(DeviceList.size(), std::size_t{3});
    form.StringGridSelectCell(0, 2);
    QCOMPARE(SelectedDevice, 1);
    const std::string deviceIp = IpToText(DeviceList[1].values.AsUInt(2));
    QVERIFY(deviceIp.rfind("127.0.0.", 0) == 0);  // the demo stays on the loopback

    QTemporaryDir dir;
    const TBytes image = Pattern(120000, 4);
    const QString path = dir.filePath(QStringLiteral("zel4.bin"));
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
    }

    bool opened = false;
    QString shownIp;
    bool closedByUpload = false;
    QTimer::singleShot(0, &upgrade, [&] {
      opened = QApplication::activeModalWidget() == &upgrade;
      shownIp = upgrade.UpgradeIP->Text();
      upgrade.UpgradeFile->SetText(path);
      if (opened) upgrade.UpgradeBtn->click();
      closedByUpload = !upgrade.isVisible();
      if (upgrade.isVisible()) upgrade.done(QDialog::Rejected);
    });
    form.UpgradeButton->click();

    QVERIFY(opened);
    QCOMPARE(shownIp.toStdString(), deviceIp);
    QVERIFY(closedByUpload);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(u'|')));
    sim::TTftpServer& tftp = demo.Simulator().Tftp();
    QVERIFY(tftp.WaitForTransfers(1, std::chrono::seconds(3)));
    QCOMPARE(tftp.RequestCount(), std::size_t{1});
    QVERIFY(tftp.LastTransfer().complete);
    QVERIFY(tftp.LastTransfer().image == image);
    QCOMPARE(tftp.LastTransfer().clientIp, kLoopback);
    QCOMPARE(demo.Simulator().UpgradeCount(), std::size_t{1});
    QCOMPARE(form.StatusBar->currentMessage(),
             QStringLiteral("Firmware sent to ") + QString::fromStdString(deviceIp));
  }
};

QTEST_MAIN(UpgradeMainWindowTest)
#include "UpgradeMainWindowTest.moc"
