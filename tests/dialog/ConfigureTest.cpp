// Configure from the main window end to end: the registered factory builds the property dialog
// over the window, the dialog edits the selected device, OK writes it and the window re-scans;
// the dialog is released either way.
#include <QPushButton>
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
    window.ConfigButton->click();
    QVERIFY(dialog.Met());
    QVERIFY(overWindow);
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
