// The main window against the simulator on 127.0.0.1, without full scans: creation, rows,
// selection, Web, Save Config, Configure, Upgrade, About, the filler column and error boxes.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/FormMain.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "support/LoopbackSimulator.h"
#include "support/UiRecorder.h"
#include "version/Oem.h"

using namespace velkaro;

namespace {

// What a fake property dialog saw and did.
struct TDialogLog {
  void* owner = nullptr;
  int deviceIndex = -1;
  int executed = 0;
  int destroyed = 0;
};

class TFakeDialog : public TPropertyDialog {
 public:
  TFakeDialog(TDialogLog& log, void* owner, int result, bool fail)
      : log_(log), result_(result), fail_(fail) {
    log_.owner = owner;
  }
  ~TFakeDialog() override { ++log_.destroyed; }
  void SetDeviceIndex(int index) override { log_.deviceIndex = index; }
  int Execute() override {
    ++log_.executed;
    if (fail_) throw std::runtime_error("dialog failed");
    return result_;
  }

 private:
  TDialogLog& log_;
  int result_;
  bool fail_;
};

struct TFactoryCalls {
  int count = 0;
};

// Factories that only count their calls and create no dialog.
TModelFactories CountingFactories(TFactoryCalls& calls) {
  const auto factory = [&calls](QWidget*) -> std::unique_ptr<TPropertyDialog> {
    ++calls.count;
    return nullptr;
  };
  return {factory, factory, factory};
}

int ColumnSum(const TFormMain& form) {
  int sum = 0;
  for (int c = 0; c < 4; ++c) sum += form.StringGrid->columnWidth(c);
  return sum;
}

QString Cell(const TFormMain& form, int row, int column) {
  const QTableWidgetItem* item = form.StringGrid->item(row, column);
  return item ? item->text() : QString();
}

int RowOfMac(const TFormMain& form, std::uint64_t mac) {
  const QString text = QString::fromStdString(MacToText(mac));
  for (int r = 0; r < form.StringGrid->rowCount(); ++r)
    if (Cell(form, r, 3) == text) return r;
  return -1;
}

}  // namespace

class FormMainTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<sim::TSimulator> sim_;
  test::TUiRecorder ui_;
  QTemporaryDir dir_;

  // One discovery exchange, as one tick of a scan runs it.
  void DiscoverOnce() { Discover(MergeReply); }

  int RowOfModel(const TFormMain& form, std::uint32_t model) {
    for (std::size_t i = 0; i < sim_->DeviceCount(); ++i) {
      const TZEL device = sim_->Snapshot(i);
      if (device.ModelCode() == model) return RowOfMac(form, device.MAC);
    }
    return -1;
  }

 private slots:
  void initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Velkaro"));
    QVERIFY(dir_.isValid());
    sim_ = testing::StartLoopbackSimulator();
  }

  void init() {
    ui_ = {};
    ui_.Install();
    sim_->SetSilent(false);
    sim_->SetMalformed(false);
  }

  void cleanup() {
    ui::ResetUiHooks();
    for (QWidget* w : QApplication::topLevelWidgets())
      QVERIFY2(!w->isVisible(), "window left open");
  }

  void cleanupTestCase() {
    sim_.reset();
    Settings().target = {};
  }

  void creationSetsCaptionMenusToolBarAndGrid() {
    TFormMain form;
    QCOMPARE(form.size(), QSize(form.Scaled(516), form.Scaled(250)));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), QStringLiteral("Velkaro"));

    QCOMPARE(form.ScanMenu->text(), QStringLiteral("&Scan"));
    QCOMPARE(form.ScanMenu->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    QCOMPARE(form.ConfigMenu->text(), QStringLiteral("&Configure"));
    QCOMPARE(form.WebMenu->text(), QStringLiteral("&Web"));
    QCOMPARE(form.SaveConfigMenu->text(), QStringLiteral("S&ave Config"));
    QCOMPARE(form.ExitMenu->text(), QStringLiteral("E&xit"));
    QCOMPARE(form.AboutMenu->text(), QStringLiteral("&About..."));
    QVERIFY(form.ScanMenu->isEnabled());
    QVERIFY(!form.ConfigMenu->isEnabled());
    QVERIFY(!form.WebMenu->isEnabled());
    QVERIFY(!form.SaveConfigMenu->isEnabled());
    QVERIFY(!form.RestoreConfigMenu->isEnabled());
    QVERIFY(form.ExitMenu->isEnabled());
    QVERIFY(form.AboutMenu->isEnabled());
    // Menu bar "&File" and "&Help"; the File menu's order with its two separators.
    const QList<QAction*> menus = form.menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    QCOMPARE(menus[1]->text(), QStringLiteral("&Help"));
    QCOMPARE(menus[1]->menu()->actions(), QList<QAction*>{form.AboutMenu});
    const QList<QAction*> file = menus[0]->menu()->actions();
    QCOMPARE(file.size(), 9);
    QCOMPARE(file[0], form.ScanMenu);
    QCOMPARE(file[1], form.ConfigMenu);
    QCOMPARE(file[2], form.WebMenu);
    QVERIFY(file[3]->isSeparator());
    QCOMPARE(file[4], form.SaveConfigMenu);
    QCOMPARE(file[5], form.RestoreConfigMenu);
    QCOMPARE(file[6], form.UpgradeMenu);
    QVERIFY(file[7]->isSeparator());
    QCOMPARE(file[8], form.ExitMenu);

    QCOMPARE(form.ScanButton->toolTip(), QStringLiteral("Scan"));
    QCOMPARE(form.ConfigButton->toolTip(), QStringLiteral("Configure"));
    QCOMPARE(form.WebButton->toolTip(), QStringLiteral("Web"));
    QCOMPARE(form.UpgradeButton->toolTip(), form.UpgradeMenu->toolTip());
    QVERIFY(form.ScanButton->isEnabled());
    QVERIFY(!form.ConfigButton->isEnabled());
    QVERIFY(!form.WebButton->isEnabled());
    for (QToolButton* b :
         {form.ScanButton, form.ConfigButton, form.WebButton, form.UpgradeButton}) {
      QCOMPARE(b->size(), QSize(39, 38));
      QCOMPARE(b->iconSize(), QSize(32, 32));
      QVERIFY(!b->icon().isNull());
    }
    // This test program has no version block: SelectOem keeps the upgrade offered.
    QVERIFY(UpgradeOffered);
    QVERIFY(form.UpgradeButton->isEnabled());
    QVERIFY(form.UpgradeButton->isVisible());

    QCOMPARE(form.StringGrid->columnCount(), 5);
    QCOMPARE(form.StringGrid->rowCount(), 1);  // header plus one empty data row
    const QStringList headers = {"Name", "Type", "IP Address", "MAC Address"};
    for (int c = 0; c < 4; ++c)
      QCOMPARE(form.StringGrid->horizontalHeaderItem(c)->text(), headers[c]);
    QVERIFY(form.SizeScale() >= 1.0);
    QCOMPARE(form.StringGrid->columnWidth(0), form.Scaled(150));
    QCOMPARE(form.StringGrid->columnWidth(1), form.Scaled(160));
    QCOMPARE(form.StringGrid->columnWidth(2), form.Scaled(90));
    QCOMPARE(form.StringGrid->columnWidth(3), form.Scaled(100));
    QCOMPARE(form.StringGrid->columnWidth(4), form.width() - 8 - ColumnSum(form));
    // The MAC address fits its column whatever the font.
    QVERIFY(form.StringGrid->fontMetrics().horizontalAdvance(QStringLiteral("00.00.00.00.00.00")) <
            form.StringGrid->columnWidth(3));
    QCOMPARE(form.StringGrid->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!form.StringGrid->showGrid());

    QVERIFY(form.ProgressBar->isHidden());
    QCOMPARE(form.ProgressBar->height(), 4);
    QVERIFY(!form.Timer->isActive());
    QCOMPARE(form.Timer->interval(), 250);
    QVERIFY(form.StatusBar->currentMessage().isEmpty());

    QCOMPARE(ModelRegistry.size(), std::size_t{3});
    QCOMPARE(ModelRegistry[0].modelCode, kModelZel1);
    QCOMPARE(ModelRegistry[1].modelCode, kModelZel4);
    QCOMPARE(ModelRegistry[2].modelCode, kModelZel8);
    QCOMPARE(SelectedDevice, 0);
  }

  void repeatedCreationKeepsThreeModels() {
    { TFormMain first; }
    TFormMain second;
    QCOMPARE(ModelRegistry.size(), std::size_t{3});
  }

  void discoveryFillsOneRowPerDeviceAndEnablesActions() {
    TFormMain form;
    DiscoverOnce();
    QCOMPARE(form.StringGrid->rowCount(), 3);
    QCOMPARE(DeviceList.size(), std::size_t{3});
    for (std::size_t i = 0; i < sim_->DeviceCount(); ++i) {
      const TZEL device = sim_->Snapshot(i);
      const int row = RowOfMac(form, device.MAC);
      QVERIFY(row >= 0);
      QCOMPARE(Cell(form, row, 0), QString::fromStdString(device.values.AsText(7)));
      QCOMPARE(Cell(form, row, 1), QString::fromStdString(device.values.AsText(5)));
      QCOMPARE(Cell(form, row, 2), QString::fromStdString(IpToText(device.values.AsUInt(2))));
      QVERIFY(Cell(form, row, 4).isEmpty());
    }
    for (QAction* a : {form.ConfigMenu, form.WebMenu, form.SaveConfigMenu}) QVERIFY(a->isEnabled());
    QVERIFY(form.ConfigButton->isEnabled());
    QVERIFY(form.WebButton->isEnabled());

    // A repeated answer refreshes the row in place.
    sim_->SetValue(0, 7, std::string("Renamed & moved"));
    DiscoverOnce();
    QCOMPARE(form.StringGrid->rowCount(), 3);
    QCOMPARE(Cell(form, RowOfMac(form, sim_->Snapshot(0).MAC), 0),
             QStringLiteral("Renamed & moved"));
    sim_->SetValue(0, 7, std::string("Switch 1"));
  }

  void rowOfKindTwoAddressShowsZeroMac() {
    TFormMain form;
    const int index = DeviceList.Append(IpPortAddress(TextToIp("10.1.2.3")));
    DeviceList[static_cast<std::size_t>(index)].values.Set(2, TextToIp("10.1.2.3"));
    form.ShowDeviceRow(index);
    QCOMPARE(Cell(form, 0, 2), QStringLiteral("10.1.2.3"));
    QCOMPARE(Cell(form, 0, 3), QStringLiteral("00.00.00.00.00.00"));
  }

  void selectingARowSelectsTheDevice() {
    TFormMain form;
    DiscoverOnce();
    form.StringGrid->setCurrentCell(2, 1);
    QCOMPARE(SelectedDevice, 2);
    form.StringGridSelectCell(0, 2);
    QCOMPARE(SelectedDevice, 1);
    form.ResetGrid();
    QCOMPARE(SelectedDevice, 0);
    QCOMPARE(form.StringGrid->rowCount(), 1);
    QVERIFY(DeviceList.empty());
    QVERIFY(!form.ConfigMenu->isEnabled());
    QVERIFY(!form.SaveConfigMenu->isEnabled());
  }

  void emptyRowSelectedActionsDoNothing() {
    TFactoryCalls calls;
    TFormMain form(CountingFactories(calls));
    form.StringGrid->setCurrentCell(0, 0);
    QCOMPARE(SelectedDevice, 0);
    const std::size_t requests = sim_->RequestCount();
    form.Config();
    form.Web();
    form.StringGridDblClick();
    form.SaveClick();
    QCOMPARE(calls.count, 0);
    QVERIFY(ui_.urls.isEmpty());
    QVERIFY(ui_.saveRequests.isEmpty());
    QVERIFY(ui_.messages.isEmpty());
    QCOMPARE(sim_->RequestCount(), requests);
  }

  void webOpensDeviceAddressAndPort() {
    TFormMain form;
    const int index = DeviceList.Append(NumberToAddress(0x0001020000000005ull));
    DeviceList[static_cast<std::size_t>(index)].values.Set(2, TextToIp("192.168.0.5"));
    DeviceList[static_cast<std::size_t>(index)].values.Set(4, std::uint32_t{8080});
    form.ShowDeviceRow(index);
    ui_.openUrlResult = false;  // a desktop that refuses is not reported
    form.Web();
    QCOMPARE(ui_.urls, QStringList{QStringLiteral("http://192.168.0.5:8080/")});
    QVERIFY(ui_.messages.isEmpty());
  }

  void webAndDoubleClickUseTheSelectedDevice() {
    TFormMain form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    DiscoverOnce();
    const int row = RowOfModel(form, kModelZel4);
    QVERIFY(row >= 0);
    form.StringGrid->setCurrentCell(row, 0);
    const TZEL& record = DeviceList[static_cast<std::size_t>(row)];
    const QString expected = QStringLiteral("http://%1:%2/")
                                 .arg(QString::fromStdString(IpToText(record.values.AsUInt(2))))
                                 .arg(record.values.AsUInt(4));
    form.Web();
    const QRect cell = form.StringGrid->visualItemRect(form.StringGrid->item(row, 0));
    QTest::mouseClick(form.StringGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(form.StringGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(ui_.urls, (QStringList{expected, expected}));
  }

  void saveConfigReadsAndWritesTheFile() {
    TFormMain form;
    DiscoverOnce();
    const int row = RowOfModel(form, kModelZel1);
    form.StringGrid->setCurrentCell(row, 0);
    const QString path = dir_.filePath(QStringLiteral("saved.cfg"));
    ui_.saveAnswer = path;
    sim_->ClearRequests();
    form.SaveClick();

    QCOMPARE(ui_.saveRequests.size(), 1);
    const ui::TFileRequest& request = ui_.saveRequests.constFirst();
    const QString name = Cell(form, row, 0);
    QCOMPARE(request.title, QStringLiteral("Save ") + name);
    QCOMPARE(request.fileName, name + QStringLiteral(".cfg"));
    QCOMPARE(request.defaultExtension, QStringLiteral("cfg"));
    QCOMPARE(request.filter, QStringLiteral("Config files (*.cfg *.CFG);;All files (*)"));
    QVERIFY(!request.confirmOverwrite);
    QVERIFY(!request.mustExist);

    QVERIFY(sim_->RequestCount() >= 1);  // the full read
    QVERIFY(form.SaveAnswered());
    QVERIFY(ui_.messages.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(file.readAll());
    const TZEL device = DeviceList[static_cast<std::size_t>(row)];
    const QString section = QStringLiteral("[%1  %2]")
                                .arg(QString::fromStdString(device.values.AsText(5)),
                                     QString::fromStdString(device.values.AsText(12)));
    QVERIFY2(text.startsWith(section), qPrintable(text.left(80)));
    QVERIFY(text.contains(QStringLiteral("13=16843008")));
    QVERIFY(!ui_.busy.empty());
    QCOMPARE(ui_.busy.back(), false);
  }

  void saveConfigSilentDeviceWritesNothing() {
    TFormMain form;
    DiscoverOnce();
    form.StringGrid->setCurrentCell(RowOfModel(form, kModelZel1), 0);
    const QString path = dir_.filePath(QStringLiteral("silent.cfg"));
    ui_.saveAnswer = path;
    sim_->SetSilent(true);
    form.SaveClick();
    sim_->SetSilent(false);
    QVERIFY(!form.SaveAnswered());
    QCOMPARE(ui_.messages, QStringList{QStringLiteral("Device not responding")});
    QVERIFY(!QFile::exists(path));
    QVERIFY(!ui_.busy.empty());
    QCOMPARE(ui_.busy.back(), false);
  }

  void saveConfigCancelledSendsNothing() {
    TFormMain form;
    DiscoverOnce();
    ui_.saveAnswer.clear();
    sim_->ClearRequests();
    form.SaveClick();
    QCOMPARE(ui_.saveRequests.size(), 1);
    QCOMPARE(sim_->RequestCount(), std::size_t{0});
    QVERIFY(ui_.messages.isEmpty());
  }

  void saveConfigUnwritableFileIsReported() {
    TFormMain form;
    DiscoverOnce();
    form.StringGrid->setCurrentCell(RowOfModel(form, kModelZel1), 0);
    ui_.saveAnswer = dir_.filePath(QStringLiteral("missing-folder/x.cfg"));
    form.SaveClick();
    QCOMPARE(ui_.messages.size(), 1);
    QVERIFY2(ui_.messages[0].contains(QStringLiteral("missing-folder/x.cfg")),
             qPrintable(ui_.messages[0]));
    QCOMPARE(ui_.busy.back(), false);
  }

  void saveProposesNameWithoutFolders() {
    TFormMain form;
    const int index = DeviceList.Append(NumberToAddress(0x0001020000000009ull));
    TZEL& record = DeviceList[static_cast<std::size_t>(index)];
    record.values.Set(13, kModelZel1);
    record.values.Set(7, std::string("../lab/rack 1"));
    form.ShowDeviceRow(index);
    form.SaveClick();  // cancelled by the recorder
    QCOMPARE(ui_.saveRequests.size(), 1);
    QCOMPARE(ui_.saveRequests[0].title, QStringLiteral("Save ../lab/rack 1"));
    QCOMPARE(ui_.saveRequests[0].fileName, QStringLiteral(".._lab_rack 1.cfg"));
  }

  void unknownModelConfigureAndSaveDoNothing() {
    TFactoryCalls calls;
    TFormMain form(CountingFactories(calls));
    const int index = DeviceList.Append(NumberToAddress(0x0001020000000007ull));
    DeviceList[static_cast<std::size_t>(index)].values.Set(13, std::uint32_t{0x12345678});
    form.ShowDeviceRow(index);
    QCOMPARE(form.StringGrid->rowCount(), 1);
    QVERIFY(form.ConfigMenu->isEnabled());
    form.Config();
    form.SaveClick();
    QCOMPARE(calls.count, 0);
    QVERIFY(ui_.saveRequests.isEmpty());
    QVERIFY(ui_.messages.isEmpty());
  }

  void configureRunsTheModelDialog() {
    TDialogLog log;
    int result = 0;
    bool fail = false;
    TModelFactories factories;
    factories.zel4 = [&](QWidget* owner) -> std::unique_ptr<TPropertyDialog> {
      return std::make_unique<TFakeDialog>(log, owner, result, fail);
    };
    TFormMain form(factories);
    DiscoverOnce();
    const int row = RowOfModel(form, kModelZel4);
    form.StringGrid->setCurrentCell(row, 0);

    form.Config();  // Cancel: no new scan
    QCOMPARE(log.owner, static_cast<void*>(static_cast<QWidget*>(&form)));
    QCOMPARE(log.deviceIndex, row);
    QCOMPARE(log.executed, 1);
    QCOMPARE(log.destroyed, 1);
    QVERIFY(!form.Scanning());
    QCOMPARE(form.StringGrid->rowCount(), 3);

    result = 1;  // OK: the list is rebuilt by a new scan
    form.Config();
    QCOMPARE(log.destroyed, 2);
    QVERIFY(form.Scanning());
    QCOMPARE(form.StringGrid->rowCount(), 1);
    QVERIFY(DeviceList.empty());
    form.Timer->stop();

    DiscoverOnce();
    form.StringGrid->setCurrentCell(RowOfModel(form, kModelZel4), 0);
    fail = true;  // a failing dialog is reported and still released
    form.Config();
    QCOMPARE(log.destroyed, 3);
    QCOMPARE(ui_.messages.size(), 1);
    QVERIFY(ui_.messages[0].contains(QStringLiteral("dialog failed")));

    // A model registered without a dialog does nothing.
    form.StringGrid->setCurrentCell(RowOfModel(form, kModelZel1), 0);
    form.Config();
    QCOMPARE(log.executed, 3);
  }

  void receiveErrorDuringScanShowsConnectionError() {
    TFormMain form;
    sim_->SetMalformed(true, sim::TMalformKind::Empty);
    form.TimerTimer();  // one tick of a scan
    form.Timer->stop();
    sim_->SetMalformed(false);
    QVERIFY(!ui_.messages.isEmpty());
    QCOMPARE(ui_.messages[0], QString::fromUtf8("Connection Error:  Erreur de réception UDP = 0."));
    QCOMPARE(form.ScanCounter(), 1);
  }

  void noTickRunsWhileAnErrorBoxIsOpen() {
    TFormMain form;
    QList<int> countersSeen;
    std::size_t requestsBefore = 0, requestsAfter = 0;
    ui::TUiHooks hooks;
    // A modal box runs an event loop of its own; the timer must not start a tick inside it.
    hooks.message = [&](QWidget*, const QString&, ui::MessageKind) {
      countersSeen << form.ScanCounter();
      if (countersSeen.size() > 1) return;
      requestsBefore = sim_->RequestCount();
      QEventLoop box;
      QTimer::singleShot(700, &box, &QEventLoop::quit);
      box.exec();
      requestsAfter = sim_->RequestCount();
      countersSeen << form.ScanCounter();
    };
    ui::SetUiHooks(hooks);
    sim_->SetMalformed(true, sim::TMalformKind::Empty);
    form.Scan();
    QTRY_VERIFY_WITH_TIMEOUT(countersSeen.size() >= 2, 3000);
    form.Timer->stop();
    sim_->SetMalformed(false);
    QCOMPARE(countersSeen[0], 1);
    QCOMPARE(countersSeen[1], 1);
    QCOMPARE(requestsAfter, requestsBefore);
  }

  void scanTickStepsProgressAndRearmsTimer() {
    TFormMain form;
    form.Scan();
    QVERIFY(form.Scanning());
    QCOMPARE(form.Timer->interval(), 10);
    QVERIFY(!form.ProgressBar->isHidden());
    QCOMPARE(form.ProgressBar->value(), 0);
    form.TimerTimer();
    QCOMPARE(form.ScanCounter(), 1);
    QCOMPARE(form.ProgressBar->value(), 0);
    QCOMPARE(form.Timer->interval(), 250);
    QVERIFY(form.Scanning());
    QCOMPARE(form.StringGrid->rowCount(), 3);
    form.TimerTimer();
    QCOMPARE(form.ProgressBar->value(), 10);
    QCOMPARE(form.ScanCounter(), 2);
    form.Timer->stop();
  }

  void upgradeButtonRunsTheHandler() {
    TFormMain form;
    int calls = 0;
    form.UpgradeButtonClick();  // no dialog yet: nothing
    form.SetUpgradeHandler([&calls] { ++calls; });
    QTest::mouseClick(form.UpgradeButton, Qt::LeftButton);
    QCOMPARE(calls, 1);
  }

  void fitLastColumnTakesTheFreeWidth() {
    TFormMain form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(900, 250);
    const int columns = ColumnSum(form);
    QCOMPARE(form.StringGrid->columnWidth(4), 900 - 8 - columns);
    form.StringGrid->setColumnWidth(0, form.StringGrid->columnWidth(0) + 50);  // a user's drag
    QCOMPARE(form.StringGrid->columnWidth(4), 900 - 8 - columns - 50);
    form.resize(300, 250);  // narrower than the four columns plus 8
    QCOMPARE(form.StringGrid->columnWidth(4), 0);
    form.resize(8 + columns + 50, 250);  // exactly as wide: nothing left
    QCOMPARE(form.StringGrid->columnWidth(4), 0);
    form.resize(8 + columns + 50 + 1, 250);
    QCOMPARE(form.StringGrid->columnWidth(4), 1);
  }

  void aboutMenuShowsTheModalAboutBox() {
    TFormMain form;
    QString title;
    QTimer closer;
    closer.setInterval(0);
    QElapsedTimer elapsed;
    elapsed.start();
    connect(&closer, &QTimer::timeout, &closer, [&] {
      if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        title = box->windowTitle();
        box->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
      } else if (elapsed.elapsed() > 5000) {
        closer.stop();  // the test fails below instead of hanging
      }
    });
    closer.start();
    form.AboutMenu->trigger();
    closer.stop();
    QCOMPARE(title, QStringLiteral("About Velkaro ..."));
    QVERIFY(!QApplication::activeModalWidget());
  }
};

QTEST_MAIN(FormMainTest)
#include "FormMainTest.moc"
