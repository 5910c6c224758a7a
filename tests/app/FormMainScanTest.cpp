// Full scans of the main window, driven by its own timer in the event loop, against the
// simulator on 127.0.0.1. Each scan takes about three seconds, so there are two.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "support/LoopbackSimulator.h"
#include "support/UiRecorder.h"

using namespace velkaro;

namespace {

constexpr int kScanTimeoutMs = 8000;

QString Cell(const TFormMain& form, int row, int column) {
  return form.StringGrid->CellText(row, column);
}

// Discover requests among what the simulator received (command byte 24 is 0).
int DiscoverRequests(const sim::TSimulator& sim) {
  int n = 0;
  for (const auto& r : sim.Requests())
    if (r.data.size() > kCommandOffset && r.data[kCommandOffset] == 0) ++n;
  return n;
}

}  // namespace

class FormMainScanTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<sim::TSimulator> sim_;
  test::TUiRecorder ui_;

  TExchangeSettings Aimed() const { return testing::SettingsFor(*sim_); }

 private slots:
  void initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Velkaro"));
    sim_ = testing::StartLoopbackSimulator();
    ui_.Install();
  }

  // A failed check leaves a test early: the next one starts from a device that answers at once.
  void init() {
    sim_->SetReplyDelay(0);
    sim_->SetSilent(false);
    ui_.messages.clear();
  }

  void cleanupTestCase() {
    ui::ResetUiHooks();
    sim_.reset();
  }

  void scanListsEveryDeviceOnceAndRefreshesRows() {
    TFormMain form(Aimed());
    form.show();
    QSignalSpy progress(form.ProgressBar, &QProgressBar::valueChanged);
    sim_->ClearRequests();
    QTest::mouseClick(form.ScanButton, Qt::LeftButton);
    QVERIFY(form.Scanning());
    QVERIFY(form.ProgressBar->isVisible());

    // A scan during the scan is ignored: counter, list and grid stay as they are.
    QTRY_VERIFY_WITH_TIMEOUT(form.ScanCounter() >= 2 && form.StringGrid->rowCount() == 3, 3000);
    const int counter = form.ScanCounter();
    form.ScanMenu->trigger();
    QCOMPARE(form.ScanCounter(), counter);
    QCOMPARE(form.StringGrid->rowCount(), 3);
    QCOMPARE(form.Session.DeviceList.size(), std::size_t{3});

    // Later answers refresh the row in place.
    sim_->SetValue(1, 7, std::string("Renamed during scan"));

    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), kScanTimeoutMs);
    QVERIFY(form.ProgressBar->isHidden());
    QCOMPARE(DiscoverRequests(*sim_), 10);
    QCOMPARE(form.ScanCounter(), 10);

    QList<int> values;
    for (const QList<QVariant>& args : progress) values << args.at(0).toInt();
    QCOMPARE(values, (QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));

    QCOMPARE(form.StringGrid->rowCount(), 3);
    for (std::size_t i = 0; i < sim_->DeviceCount(); ++i) {
      const TZEL device = sim_->Snapshot(i);
      const int row = static_cast<int>(i);  // loopback keeps the answers in order
      QCOMPARE(Cell(form, row, 0), QString::fromStdString(device.values.AsText(7)));
      QCOMPARE(Cell(form, row, 1), QString::fromStdString(device.values.AsText(5)));
      QCOMPARE(Cell(form, row, 2), QString::fromStdString(IpToText(device.values.AsUInt(2))));
      QCOMPARE(Cell(form, row, 3), QString::fromStdString(MacToText(device.MAC)));
    }
    QCOMPARE(Cell(form, 1, 0), QStringLiteral("Renamed during scan"));
    // The device actions stay enabled after the scan.
    QVERIFY(form.ConfigButton->isEnabled());
    QVERIFY(form.WebButton->isEnabled());
    QVERIFY(form.SaveConfigMenu->isEnabled());
    QVERIFY(ui_.messages.isEmpty());
    QCOMPARE(form.StatusBar->currentMessage(), QStringLiteral("3 devices found"));
    QVERIFY(!form.EmptyHint->isVisible());
  }

  // A device selected before a scan is selected again when it answers, by its address.
  void rescanKeepsTheSelectedDevice() {
    TFormMain form(Aimed());
    form.show();
    testing::ListDevices(form.Session);
    form.StringGrid->setCurrentCell(2, 0);
    QCOMPARE(form.Session.SelectedDevice, 2);
    const TDeviceAddress chosen = form.Session.DeviceList[2].address;
    form.Scan();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), kScanTimeoutMs);
    QCOMPARE(form.StringGrid->currentRow(), 2);
    QCOMPARE(form.Session.SelectedDevice, 2);
    QVERIFY(form.Session.DeviceList[2].address == chosen);
  }

  // Broken answers to every discovery: while the scan runs each failure is in the status bar;
  // after it one box lists each distinct failure once with its count.
  void failuresOfAScanMakeOneBox() {
    TFormMain form(Aimed());
    form.show();
    ui_.messages.clear();
    QStringList statusSeen;
    connect(form.StatusBar, &QStatusBar::messageChanged, &form, [&statusSeen](const QString& text) {
      if (!text.isEmpty()) statusSeen << text;
    });
    sim_->SetMalformed(true, sim::TMalformKind::Empty);
    form.Scan();
    QTRY_VERIFY_WITH_TIMEOUT(form.ScanCounter() >= 5, kScanTimeoutMs);
    QVERIFY(ui_.messages.isEmpty());
    sim_->SetMalformed(true, sim::TMalformKind::Oversize);
    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), kScanTimeoutMs);
    sim_->SetMalformed(false);

    QCOMPARE(ui_.messages.size(), 1);
    const QStringList lines = ui_.messages[0].split(u'\n');
    QCOMPARE(lines.size(), 2);
    const QString empty = QString::fromUtf8("Connection Error:  Erreur de réception UDP = 0.");
    QVERIFY2(lines[0].startsWith(empty), qPrintable(lines[0]));
    QVERIFY2(lines[1].contains(QStringLiteral("(maximum 8192)")), qPrintable(lines[1]));
    int total = 0;
    for (const QString& line : lines) {
      const QRegularExpressionMatch m =
          QRegularExpression(QStringLiteral(" \\((\\d+) times\\)$")).match(line);
      total += m.hasMatch() ? m.captured(1).toInt() : 1;
    }
    QCOMPARE(total, 10);  // one failure per round ends that round
    QVERIFY(statusSeen.contains(empty));
    QCOMPARE(form.StatusBar->currentMessage(), QStringLiteral("0 devices found"));
    ui_.messages.clear();
  }

  void lateAnswersAreCountedInTheStatusBar() {
    TFormMain form(Aimed());
    form.show();
    sim_->SetReplyDelay(150);  // past each round's quiet period, before the next round
    form.Scan();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), kScanTimeoutMs);
    sim_->SetReplyDelay(0);
    QCOMPARE(form.StringGrid->rowCount(), 0);
    // Three devices, ten rounds; a loaded machine may still hear a few of them in time.
    const QRegularExpression status(QStringLiteral(
        "^0 devices found\\. ([1-9]|[12][0-9]|30) replies came after the 100 ms listening period "
        "and were left out; slow devices may need a quieter network or a direct --target$"));
    QVERIFY2(status.match(form.StatusBar->currentMessage()).hasMatch(),
             qPrintable(form.StatusBar->currentMessage()));
    QVERIFY(ui_.messages.isEmpty());  // no box: nothing failed

    form.Scan();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), kScanTimeoutMs);
    QCOMPARE(form.StatusBar->currentMessage(), QStringLiteral("3 devices found"));
  }

  void scanWithNoDeviceLeavesOneEmptyRow() {
    TFormMain form(Aimed());
    form.show();
    sim_->SetSilent(true);
    sim_->ClearRequests();
    form.Scan();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), kScanTimeoutMs);
    sim_->SetSilent(false);
    QCOMPARE(DiscoverRequests(*sim_), 10);
    QCOMPARE(form.StringGrid->rowCount(), 0);
    QVERIFY(form.Session.DeviceList.empty());
    QCOMPARE(form.Session.SelectedDevice, 0);
    QVERIFY(!form.ConfigButton->isEnabled());
    QVERIFY(!form.WebButton->isEnabled());
    QVERIFY(!form.ConfigMenu->isEnabled());
    QVERIFY(!form.WebMenu->isEnabled());
    QVERIFY(!form.SaveConfigMenu->isEnabled());
    QVERIFY(form.ProgressBar->isHidden());
    QVERIFY(form.ScanButton->isEnabled());
    QVERIFY(ui_.messages.isEmpty());
  }
};

QTEST_MAIN(FormMainScanTest)
#include "FormMainScanTest.moc"
