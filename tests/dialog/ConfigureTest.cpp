// Configure from the main window end to end: the registered factory builds the property dialog
// over the window, the dialog edits the selected device, OK writes it and the window re-scans;
// the dialog is released either way.
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "DialogTestSupport.h"
#include "app/FormMain.h"
#include "dialog/DialogFactories.h"
#include "pages/IPEdit.h"

using namespace velkaro;

namespace {

TModelFactories Factories() {
  return {MakeZel1Factory(), MakeZel4Factory(), MakeZel8Factory()};
}

// Acts on the dialog Configure opens, from inside its modal loop.
void WhenDialogShows(QObject* context, std::function<void(TZelForm*)> user) {
  QTimer::singleShot(0, context,
                     [user] { user(qobject_cast<TZelForm*>(QApplication::activeModalWidget())); });
}

}  // namespace

class ConfigureTest : public QObject {
  Q_OBJECT

  velkaro::test::TMessages messages_;
  std::unique_ptr<sim::TSimulator> sim_;

 private slots:
  void init() {
    sim::TSimOptions options;
    options.models = {kModelZel1, kModelZel4};
    sim_ = velkaro::testing::StartLoopbackSimulator(options);
    messages_.texts.clear();
  }
  void cleanup() {
    sim_.reset();
    ui::ResetUiHooks();
    QVERIFY(velkaro::test::NoTopLevelWindowLeft());
  }

  void okWritesTheSelectedDeviceAndScansAgain() {
    TFormMain window(Factories());
    messages_.Install();  // after the window connected its own seams
    Discover(MergeReply);
    QCOMPARE(DeviceList.size(), std::size_t{2});
    window.StringGridSelectCell(0, 2);  // the second device
    const TZEL device = sim_->Snapshot(1);
    const TZEL other = sim_->Snapshot(0);
    sim_->ClearRequests();

    bool shown = false, overWindow = false;
    QString ip;
    WhenDialogShows(&window, [&](TZelForm* dialog) {
      if (!dialog) return;
      shown = true;
      overWindow = dialog->parentWidget() == &window;
      ip = dialog->ipaddress->Text();
      dialog->gateway->SetText(QStringLiteral("10.20.30.40"));
      dialog->OKBtn->click();
    });
    QTimer::singleShot(5000, &window, [] {
      if (auto* d = QApplication::activeModalWidget()) d->close();
    });
    window.ConfigButton->click();
    QVERIFY(shown);
    QVERIFY(overWindow);
    QCOMPARE(ip, QString::fromStdString(IpToText(device.values.AsUInt(2))));
    QCOMPARE(sim_->Snapshot(1).values.AsUInt(3), TextToIp("10.20.30.40"));
    QVERIFY(sim_->Snapshot(0) == other);
    QVERIFY(window.Scanning());  // re-scan after OK
    window.Timer->stop();
    QVERIFY(window.findChildren<TZelForm*>().isEmpty());  // released
    QVERIFY(messages_.texts.isEmpty());
  }

  void cancelWritesNothingAndDoesNotScan() {
    TFormMain window(Factories());
    messages_.Install();
    Discover(MergeReply);
    window.StringGridSelectCell(0, 1);
    sim_->ClearRequests();
    bool shown = false;
    WhenDialogShows(&window, [&](TZelForm* dialog) {
      if (!dialog) return;
      shown = true;
      dialog->CancelBtn->click();
    });
    QTimer::singleShot(5000, &window, [] {
      if (auto* d = QApplication::activeModalWidget()) d->close();
    });
    window.ConfigButton->click();
    QVERIFY(shown);
    QCOMPARE(sim_->RequestCount(), std::size_t{0});
    QVERIFY(!window.Scanning());
    QVERIFY(window.findChildren<TZelForm*>().isEmpty());
  }
};

QTEST_MAIN(ConfigureTest)
#include "ConfigureTest.moc"
