// Configure from the main window end to end: the registered factory builds the property dialog
// over the window, the dialog edits the selected device, OK writes it and the window re-scans;
// the dialog is released either way.
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include "DialogTestSupport.h"
#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "dialog/DialogFactories.h"
#include "pages/IPEdit.h"
#include "support/ModalDriver.h"
#include "support/UiRecorder.h"

using namespace velkaro;

namespace {

TModelFactories Factories() {
  return {MakeZel1Factory(), MakeZel4Factory(), MakeZel8Factory()};
}

}  // namespace

class ConfigureTest : public QObject {
  Q_OBJECT

  velkaro::test::TUiRecorder ui_;
  std::unique_ptr<sim::TSimulator> sim_;

 private slots:
  void init() {
    sim::TSimOptions options;
    options.models = {kModelZel1, kModelZel4};
    sim_ = velkaro::testing::StartLoopbackSimulator(options);
    ui_.Clear();
  }
  void cleanup() {
    sim_.reset();
    ui::ResetUiHooks();
    QVERIFY(velkaro::test::NoTopLevelWindowLeft());
  }

  void okWritesTheSelectedDeviceAndScansAgain() {
    TFormMain window(velkaro::testing::SettingsFor(*sim_), Factories());
    ui_.Install();  // after the window connected its own seams
    Discover(window.Session.settings, MergeInto(window.Session));
    QCOMPARE(window.Session.DeviceList.size(), std::size_t{2});
    window.StringGridSelectCell(0, 2);  // the second device
    const TZEL device = sim_->Snapshot(1);
    const TZEL other = sim_->Snapshot(0);
    sim_->ClearRequests();

    bool overWindow = false;
    QString ip, title;
    const velkaro::test::TModalDriver<TZelForm> dialog([&](TZelForm& shown) {
      overWindow = shown.parentWidget() == &window;
      title = shown.windowTitle();
      ip = shown.ipaddress->Text();
      shown.gateway->SetText(QStringLiteral("10.20.30.40"));
      shown.OKBtn->click();
    });
    ui_.questionAnswer = true;
    window.ConfigButton->click();
    QVERIFY(dialog.Met());
    QVERIFY(overWindow);
    QCOMPARE(ui_.questions.size(), 1);
    QVERIFY2(ui_.questions[0].contains(
                 QStringLiteral("Gateway: %1 \u2192 10.20.30.40")
                     .arg(QString::fromStdString(IpToText(device.values.AsUInt(3))))),
             qPrintable(ui_.questions[0]));
    QCOMPARE(ip, QString::fromStdString(IpToText(device.values.AsUInt(2))));
    QCOMPARE(title, QStringLiteral("Properties \u2013 %1 (%2)")
                        .arg(QString::fromStdString(device.values.AsText(7)), ip));
    QCOMPARE(sim_->Snapshot(1).values.AsUInt(3), TextToIp("10.20.30.40"));
    QVERIFY(sim_->Snapshot(0) == other);
    QVERIFY(window.Scanning());  // re-scan after OK
    window.Timer->stop();
    QVERIFY(window.findChildren<TZelForm*>().isEmpty());  // released
    QVERIFY(ui_.messages.isEmpty());
  }

  // No keeps the dialog open with nothing sent; Yes writes, and the scan after it finds the
  // device at its new address and keeps it selected.
  void ipChangeIsConfirmedThenFollowedToTheNewAddress() {
    TFormMain window(velkaro::testing::SettingsFor(*sim_), Factories());
    ui_.Install();
    Discover(window.Session.settings, MergeInto(window.Session));
    window.StringGridSelectCell(0, 2);
    const TZEL device = sim_->Snapshot(1);
    const QString oldIp = QString::fromStdString(IpToText(device.values.AsUInt(2)));
    const QString name = QString::fromStdString(device.values.AsText(7));
    sim_->ClearRequests();

    bool openAfterNo = false;
    std::size_t sentAfterNo = 1;
    const velkaro::test::TModalDriver<TZelForm> dialog([&](TZelForm& shown) {
      shown.ipaddress->SetText(QStringLiteral("10.1.2.3"));
      shown.submask->SetText(QStringLiteral("255.0.0.0"));
      shown.OKBtn->click();  // answered No
      openAfterNo = shown.isVisible();
      sentAfterNo = sim_->RequestCount();
      ui_.questionAnswer = true;
      shown.OKBtn->click();
    });
    window.ConfigButton->click();
    QVERIFY(dialog.Met());
    QVERIFY(openAfterNo);
    QCOMPARE(sentAfterNo, std::size_t{0});
    QCOMPARE(ui_.questions.size(), 2);
    QVERIFY2(
        ui_.questions[0].startsWith(QStringLiteral("Change the network settings of %1?").arg(name)),
        qPrintable(ui_.questions[0]));
    QVERIFY(ui_.questions[0].contains(QStringLiteral("IP Address: %1 \u2192 10.1.2.3").arg(oldIp)));
    QVERIFY(ui_.questions[0].contains(QStringLiteral("Subnet Mask: ")));
    QVERIFY(!ui_.questions[0].contains(QStringLiteral("Gateway")));  // unchanged
    QCOMPARE(sim_->Snapshot(1).values.AsUInt(2), TextToIp("10.1.2.3"));

    QTRY_VERIFY_WITH_TIMEOUT(!window.Scanning(), 8000);
    QVERIFY2(window.StatusBar->currentMessage().startsWith(
                 QStringLiteral("%1 answers at 10.1.2.3. 2 devices found").arg(name)),
             qPrintable(window.StatusBar->currentMessage()));
    QCOMPARE(window.Session.SelectedDevice,
             window.Session.DeviceList.Find(sim_->Snapshot(1).address));
    QVERIFY(ui_.messages.isEmpty());
  }

  // A device that falls silent after the write is not found at its new address: a warning
  // names the address, and the grid no longer offers a row that would not answer.
  void ipChangeNotHeardAfterwardsIsAWarning() {
    TFormMain window(velkaro::testing::SettingsFor(*sim_), Factories());
    ui_.Install();
    Discover(window.Session.settings, MergeInto(window.Session));
    window.StringGridSelectCell(0, 1);
    const QString name = QString::fromStdString(sim_->Snapshot(0).values.AsText(7));
    ui_.questionAnswer = true;
    ui_.onQuestion = [this](const QString&) { sim_->SilenceDevice(0); };
    const velkaro::test::TModalDriver<TZelForm> dialog([](TZelForm& shown) {
      shown.ipaddress->SetText(QStringLiteral("10.9.8.7"));
      shown.OKBtn->click();
    });
    window.ConfigButton->click();
    QVERIFY(dialog.Met());
    QTRY_VERIFY_WITH_TIMEOUT(!window.Scanning(), 8000);
    const QString warning =
        QStringLiteral("%1 was not heard at its new address 10.9.8.7.").arg(name);
    QVERIFY2(ui_.messages.contains(warning), qPrintable(ui_.messages.join(u'|')));
    QCOMPARE(ui_.kinds[ui_.messages.indexOf(warning)], ui::MessageKind::Warning);
    QVERIFY(window.StatusBar->currentMessage().startsWith(warning));
    QCOMPARE(window.Session.DeviceList.size(), std::size_t{1});
  }

  void cancelWritesNothingAndDoesNotScan() {
    TFormMain window(velkaro::testing::SettingsFor(*sim_), Factories());
    ui_.Install();
    Discover(window.Session.settings, MergeInto(window.Session));
    window.StringGridSelectCell(0, 1);
    sim_->ClearRequests();
    const velkaro::test::TModalDriver<TZelForm> dialog(
        [](TZelForm& shown) { shown.CancelBtn->click(); });
    window.ConfigButton->click();
    QVERIFY(dialog.Met());
    QCOMPARE(sim_->RequestCount(), std::size_t{0});
    QVERIFY(!window.Scanning());
    QVERIFY(window.findChildren<TZelForm*>().isEmpty());
  }
};

QTEST_MAIN(ConfigureTest)
#include "ConfigureTest.moc"
