// The main window against the simulator on 127.0.0.1, without full scans: creation, rows,
// selection, Web, Save Config, Configure, Upgrade, About, the filler column and error boxes.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "app/InterfaceMenu.h"
#include "operations/DeviceOperations.h"
#include "platform/Socket.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "support/DataRows.h"
#include "support/LoopbackSimulator.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"
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
  enum class TFailure { None, Other, Socket };
  TFakeDialog(TDialogLog& log, void* owner, int result, TFailure fail)
      : log_(log), result_(result), fail_(fail) {
    log_.owner = owner;
  }
  ~TFakeDialog() override { ++log_.destroyed; }
  void SetDevice(TSession&, int index) override { log_.deviceIndex = index; }
  int Execute() override {
    ++log_.executed;
    if (fail_ == TFailure::Other) throw std::runtime_error("dialog failed");
    if (fail_ == TFailure::Socket) throw TSocketError("Erreur d'émission UDP", 0);
    return result_;
  }

 private:
  TDialogLog& log_;
  int result_;
  TFailure fail_;
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

// The menu entries of a new window: only what needs no device is enabled.
const struct {
  const char* name;
  QAction* TFormMain::*action;
  const char* text;
  bool enabled;
} kMenus[] = {
    {"scan", &TFormMain::ScanMenu, "&Scan", true},
    {"configure", &TFormMain::ConfigMenu, "&Configure", false},
    {"web", &TFormMain::WebMenu, "&Web", false},
    {"save config", &TFormMain::SaveConfigMenu, "S&ave Config", false},
    {"exit", &TFormMain::ExitMenu, "E&xit", true},
    {"about", &TFormMain::AboutMenu, "&About...", true},
};

// The tool bar of a new window; every button is 39 x 38 with a 32-pixel icon.
const struct {
  const char* name;
  QToolButton* TFormMain::*button;
  const char* toolTip;
  bool enabled;
} kButtons[] = {
    {"scan", &TFormMain::ScanButton, "Scan", true},
    {"configure", &TFormMain::ConfigButton, "Configure", false},
    {"web", &TFormMain::WebButton, "Web", false},
    {"upgrade", &TFormMain::UpgradeButton, "Upgrade the firmware of the selected device (Ctrl+U)",
     true},
};

int ColumnSum(const TFormMain& form) {
  int sum = 0;
  for (int c = 0; c < 6; ++c) sum += form.StringGrid->columnWidth(c);  // State hidden: 0
  return sum;
}

QString Cell(const TFormMain& form, int row, int column) {
  return form.StringGrid->CellText(row, column);
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
  testing::TTempDir dir_;

  // One discovery exchange, as one tick of a scan runs it.
  void DiscoverOnce(TFormMain& form) { Discover(form.Session.settings, MergeInto(form.Session)); }
  TExchangeSettings Aimed() const { return testing::SettingsFor(*sim_); }

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

  void cleanupTestCase() { sim_.reset(); }

  void creationSetsCaptionMenusToolBarAndGrid() {
    TFormMain form(Aimed());
    QCOMPARE(form.size(), QSize(form.Scaled(586), form.Scaled(250)));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), QStringLiteral("Velkaro"));

    QCOMPARE(form.ScanMenu->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    QVERIFY(!form.RestoreConfigMenu->isEnabled());
    // Menu bar "&File", "&View" and "&Help"; the File menu's order with its separators.
    const QList<QAction*> menus = form.menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    QCOMPARE(menus[1]->text(), QStringLiteral("&View"));
    QCOMPARE(menus[2]->text(), QStringLiteral("&Help"));
    QCOMPARE(menus[1]->menu()->actions().first(), form.FilterMenu);
    QCOMPARE(form.FilterMenu->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
    QCOMPARE(menus[2]->menu()->actions(),
             (QList<QAction*>{form.AboutMenu, form.SaveDiagnosticsMenu}));
    QCOMPARE(form.SaveDiagnosticsMenu->text(), QStringLiteral("Save &diagnostics\u2026"));
    const QList<QAction*> file = menus[0]->menu()->actions();
    QCOMPARE(file.size(), 12);
    QCOMPARE(file[0], form.ScanMenu);
    QCOMPARE(file[1], form.ConfigMenu);
    QCOMPARE(file[2], form.WebMenu);
    QVERIFY(file[3]->isSeparator());
    QCOMPARE(file[4], form.SaveConfigMenu);
    QCOMPARE(file[5], form.RestoreConfigMenu);
    QCOMPARE(file[6], form.UpgradeMenu);
    QCOMPARE(file[7], form.ExportListMenu);
    QCOMPARE(form.ExportListMenu->text(), QStringLiteral("&Export list\u2026"));
    QVERIFY(file[8]->isSeparator());
    QCOMPARE(file[9]->menu(), form.Interfaces->Menu());
    QCOMPARE(file[9]->text(), QStringLiteral("&Interfaces"));
    // The simulator's explicit target overrides the interfaces.
    QVERIFY(!file[9]->menu()->isEnabled());
    QVERIFY(file[10]->isSeparator());
    QCOMPARE(file[11], form.ExitMenu);

    // This test program has no version block: SelectOem keeps the upgrade offered.
    QVERIFY(form.Session.oem.upgradeOffered);
    QVERIFY(form.UpgradeButton->isEnabled());
    QVERIFY(form.UpgradeButton->isVisible());

    QCOMPARE(form.StringGrid->columnCount(), 7);
    QCOMPARE(form.StringGrid->rowCount(), 0);  // the hint stands in the empty grid
    const QStringList headers = {"Name", "Type", "IP Address", "MAC Address", "Interface", "State"};
    for (int c = 0; c < 6; ++c)
      QCOMPARE(form.StringGrid->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
    QVERIFY(form.StringGrid->isColumnHidden(5));  // until devices are watched
    QVERIFY(form.SizeScale() >= 1.0);
    QCOMPARE(form.StringGrid->columnWidth(0), form.Scaled(150));
    QCOMPARE(form.StringGrid->columnWidth(1), form.Scaled(160));
    QCOMPARE(form.StringGrid->columnWidth(2), form.Scaled(90));
    QCOMPARE(form.StringGrid->columnWidth(3), form.Scaled(100));
    QCOMPARE(form.StringGrid->columnWidth(4), form.Scaled(70));
    QCOMPARE(form.StringGrid->columnWidth(6), form.width() - 8 - ColumnSum(form));
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

    QCOMPARE(form.Session.SelectedDevice, 0);
  }

  // Every entry of every menu, the submenus' fixed ones included, has an access key of its
  // own within its menu.
  void everyMenuEntryHasItsOwnAccessKey() {
    TFormMain form(Aimed());
    const auto keyOf = [](const QString& text) {
      for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] != u'&') return text[i + 1].toLower();
        ++i;
      }
      return QChar();
    };
    const std::function<void(QMenu*)> check = [&](QMenu* menu) {
      QList<QChar> keys;
      for (QAction* a : menu->actions()) {
        if (a->isSeparator() || !a->data().toString().isEmpty()) continue;  // interface names
        const QChar key = keyOf(a->text());
        QVERIFY2(!key.isNull(), qPrintable(a->text()));
        QVERIFY2(!keys.contains(key), qPrintable(menu->title() + u' ' + a->text()));
        keys << key;
        if (a->menu()) check(a->menu());
      }
    };
    for (QAction* menu : form.menuBar()->actions()) {
      QVERIFY(!keyOf(menu->text()).isNull());
      check(menu->menu());
    }
  }

  // A desktop font that scales the classic sizes beyond the screen: the first window still fits
  // on it, whole.
  void firstWindowIsNeverLargerThanItsScreen() {
    const QFont usual = QApplication::font();
    QFont large = usual;
    large.setPointSize(usual.pointSize() * 4);
    QApplication::setFont(large);
    TFormMain form(Aimed());
    QApplication::setFont(usual);
    QVERIFY2(form.SizeScale() > 2, "the font did not scale the window");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(form.Scaled(586) > screen.width());  // what the classic size would have been
    QVERIFY(form.width() <= screen.width() && form.height() <= screen.height());
    QVERIFY(screen.contains(form.geometry()));
  }

  // Run again by ctest on a 1280x800 screen at a scale factor of 2, where the classic size
  // would have been wider than the screen.
  void firstWindowFitsTheScreenItOpensOn() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
      QCOMPARE(screen->devicePixelRatio(), 2.0);
      QCOMPARE(screen->geometry().width(), 640);
    }
    TFormMain form(Aimed());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY2(screen->availableGeometry().contains(form.frameGeometry()),
             qPrintable(QStringLiteral("window %1,%2 %3x%4 on a %5x%6 screen")
                            .arg(form.frameGeometry().x())
                            .arg(form.frameGeometry().y())
                            .arg(form.frameGeometry().width())
                            .arg(form.frameGeometry().height())
                            .arg(screen->availableGeometry().width())
                            .arg(screen->availableGeometry().height())));
  }

  void menuEntriesOfANewWindow_data() { test::AddRows(kMenus); }
  void menuEntriesOfANewWindow() {
    const auto& row = test::FetchRow(kMenus);
    TFormMain form(Aimed());
    QAction* action = form.*row.action;
    QCOMPARE(action->text(), QString::fromLatin1(row.text));
    QCOMPARE(action->isEnabled(), row.enabled);
  }

  void toolButtonsOfANewWindow_data() { test::AddRows(kButtons); }
  void toolButtonsOfANewWindow() {
    const auto& row = test::FetchRow(kButtons);
    TFormMain form(Aimed());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QToolButton* button = form.*row.button;
    QCOMPARE(button->toolTip(), QString::fromLatin1(row.toolTip));
    QCOMPARE(button->isEnabled(), row.enabled);
    QCOMPARE(button->size(), QSize(39, 38));
    QCOMPARE(button->iconSize(), QSize(32, 32));
    QVERIFY(!button->icon().isNull());
  }

  void discoveryFillsOneRowPerDeviceAndEnablesActions() {
    TFormMain form(Aimed());
    DiscoverOnce(form);
    QCOMPARE(form.StringGrid->rowCount(), 3);
    QCOMPARE(form.Session.DeviceList.size(), std::size_t{3});
    for (std::size_t i = 0; i < sim_->DeviceCount(); ++i) {
      const TZEL device = sim_->Snapshot(i);
      const int row = RowOfMac(form, device.MAC);
      QVERIFY(row >= 0);
      QCOMPARE(Cell(form, row, 0), QString::fromStdString(device.values.AsText(7)));
      QCOMPARE(Cell(form, row, 1), QString::fromStdString(device.values.AsText(5)));
      QCOMPARE(Cell(form, row, 2), QString::fromStdString(IpToText(device.values.AsUInt(2))));
      QCOMPARE(Cell(form, row, 4), QStringLiteral("-"));  // an explicit target: no interface
      QVERIFY(Cell(form, row, 6).isEmpty());
    }
    for (QAction* a : {form.ConfigMenu, form.WebMenu, form.SaveConfigMenu}) QVERIFY(a->isEnabled());
    QVERIFY(form.ConfigButton->isEnabled());
    QVERIFY(form.WebButton->isEnabled());

    // A repeated answer refreshes the row in place.
    sim_->SetValue(0, 7, std::string("Renamed & moved"));
    DiscoverOnce(form);
    QCOMPARE(form.StringGrid->rowCount(), 3);
    QCOMPARE(Cell(form, RowOfMac(form, sim_->Snapshot(0).MAC), 0),
             QStringLiteral("Renamed & moved"));
    sim_->SetValue(0, 7, std::string("Switch 1"));
  }

  void rowOfKindTwoAddressShowsZeroMac() {
    TFormMain form(Aimed());
    const int index = form.Session.DeviceList.Append(IpPortAddress(TextToIp("10.1.2.3")));
    form.Session.DeviceList[static_cast<std::size_t>(index)].values.Set(2, TextToIp("10.1.2.3"));
    form.ShowDeviceRow(index);
    QCOMPARE(Cell(form, 0, 2), QStringLiteral("10.1.2.3"));
    QCOMPARE(Cell(form, 0, 3), QStringLiteral("00.00.00.00.00.00"));
  }

  void selectingARowSelectsTheDevice() {
    TFormMain form(Aimed());
    DiscoverOnce(form);
    form.StringGrid->setCurrentCell(2, 1);
    QCOMPARE(form.Session.SelectedDevice, 2);
    form.StringGridSelectCell(0, 2);
    QCOMPARE(form.Session.SelectedDevice, 1);
    form.ResetGrid();
    QCOMPARE(form.Session.SelectedDevice, 0);
    QCOMPARE(form.StringGrid->rowCount(), 0);
    QVERIFY(form.Session.DeviceList.empty());
    QVERIFY(!form.ConfigMenu->isEnabled());
    QVERIFY(!form.SaveConfigMenu->isEnabled());
  }

  void emptyRowSelectedActionsDoNothing() {
    TFactoryCalls calls;
    TFormMain form(Aimed(), CountingFactories(calls));
    form.StringGrid->setCurrentCell(0, 0);
    QCOMPARE(form.Session.SelectedDevice, 0);
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
    TFormMain form(Aimed());
    const int index = form.Session.DeviceList.Append(NumberToAddress(0x0001020000000005ull));
    form.Session.DeviceList[static_cast<std::size_t>(index)].values.Set(2, TextToIp("192.168.0.5"));
    form.Session.DeviceList[static_cast<std::size_t>(index)].values.Set(4, std::uint32_t{8080});
    form.ShowDeviceRow(index);
    ui_.openUrlResult = false;  // a desktop that refuses is not reported
    form.Web();
    QCOMPARE(ui_.urls, QStringList{QStringLiteral("http://192.168.0.5:8080/")});
    QVERIFY(ui_.messages.isEmpty());
  }

  void webAndDoubleClickUseTheSelectedDevice() {
    TFormMain form(Aimed());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    DiscoverOnce(form);
    const int row = RowOfModel(form, kModelZel4);
    QVERIFY(row >= 0);
    form.StringGrid->setCurrentCell(row, 0);
    const TZEL& record = form.Session.DeviceList[static_cast<std::size_t>(row)];
    const QString expected = QStringLiteral("http://%1:%2/")
                                 .arg(QString::fromStdString(IpToText(record.values.AsUInt(2))))
                                 .arg(record.values.AsUInt(4));
    form.Web();
    const QRect cell = form.StringGrid->visualRect(form.StringGrid->model()->index(row, 0));
    QTest::mouseClick(form.StringGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(form.StringGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(ui_.urls, (QStringList{expected, expected}));
  }

  void saveConfigReadsAndWritesTheFile() {
    TFormMain form(Aimed());
    DiscoverOnce(form);
    const int row = RowOfModel(form, kModelZel1);
    form.StringGrid->setCurrentCell(row, 0);
    const QString path = QString::fromStdString(dir_.File("saved.cfg"));
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
    const TZEL device = form.Session.DeviceList[static_cast<std::size_t>(row)];
    const QString section = QStringLiteral("[%1  %2]")
                                .arg(QString::fromStdString(device.values.AsText(5)),
                                     QString::fromStdString(device.values.AsText(12)));
    QVERIFY2(text.startsWith(section), qPrintable(text.left(80)));
    QVERIFY(text.contains(QStringLiteral("13=16843008")));
    QCOMPARE(form.StatusBar->currentMessage(), QStringLiteral("Saved to ") + path);
  }

  void saveConfigSilentDeviceWritesNothing() {
    TFormMain form(Aimed());
    DiscoverOnce(form);
    form.StringGrid->setCurrentCell(RowOfModel(form, kModelZel1), 0);
    const QString path = QString::fromStdString(dir_.File("silent.cfg"));
    ui_.saveAnswer = path;
    sim_->SetSilent(true);
    form.SaveClick();
    sim_->SetSilent(false);
    QVERIFY(!form.SaveAnswered());
    QCOMPARE(ui_.messages, QStringList{QStringLiteral("Device not responding")});
    QVERIFY(!QFile::exists(path));
    QVERIFY(form.StatusBar->currentMessage().isEmpty());
  }

  void saveConfigCancelledSendsNothing() {
    TFormMain form(Aimed());
    DiscoverOnce(form);
    ui_.saveAnswer.clear();
    sim_->ClearRequests();
    form.SaveClick();
    QCOMPARE(ui_.saveRequests.size(), 1);
    QCOMPARE(sim_->RequestCount(), std::size_t{0});
    QVERIFY(ui_.messages.isEmpty());
  }

  void saveConfigUnwritableFileIsReported() {
    TFormMain form(Aimed());
    DiscoverOnce(form);
    form.StringGrid->setCurrentCell(RowOfModel(form, kModelZel1), 0);
    ui_.saveAnswer = QString::fromStdString(dir_.File("missing-folder/x.cfg"));
    form.SaveClick();
    QCOMPARE(ui_.messages.size(), 1);
    QVERIFY2(ui_.messages[0].contains(QStringLiteral("missing-folder/x.cfg")),
             qPrintable(ui_.messages[0]));
    QVERIFY(form.StatusBar->currentMessage().isEmpty());
  }

  void saveProposesNameWithoutFolders() {
    TFormMain form(Aimed());
    const int index = form.Session.DeviceList.Append(NumberToAddress(0x0001020000000009ull));
    TZEL& record = form.Session.DeviceList[static_cast<std::size_t>(index)];
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
    TFormMain form(Aimed(), CountingFactories(calls));
    const int index = form.Session.DeviceList.Append(NumberToAddress(0x0001020000000007ull));
    form.Session.DeviceList[static_cast<std::size_t>(index)].values.Set(13,
                                                                        std::uint32_t{0x12345678});
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
    TFakeDialog::TFailure fail = TFakeDialog::TFailure::None;
    TModelFactories factories;
    factories.zel4 = [&](QWidget* owner) -> std::unique_ptr<TPropertyDialog> {
      return std::make_unique<TFakeDialog>(log, owner, result, fail);
    };
    TFormMain form(Aimed(), factories);
    DiscoverOnce(form);
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
    QCOMPARE(form.StringGrid->rowCount(), 0);
    QVERIFY(form.Session.DeviceList.empty());
    form.Timer->stop();

    DiscoverOnce(form);
    form.StringGrid->setCurrentCell(RowOfModel(form, kModelZel4), 0);
    // A failing dialog is reported and still released; only a failed exchange is a connection
    // error.
    fail = TFakeDialog::TFailure::Other;
    form.Config();
    QCOMPARE(log.destroyed, 3);
    QCOMPARE(ui_.messages, QStringList{QStringLiteral("dialog failed")});
    fail = TFakeDialog::TFailure::Socket;
    form.Config();
    QCOMPARE(log.destroyed, 4);
    QCOMPARE(ui_.messages.size(), 2);
    QVERIFY(
        ui_.messages[1].startsWith(QString::fromUtf8("Connection Error:  Erreur d'émission UDP")));

    // A model registered without a dialog does nothing.
    form.StringGrid->setCurrentCell(RowOfModel(form, kModelZel1), 0);
    form.Config();
    QCOMPARE(log.executed, 4);
  }

  // During a scan a failure goes to the status bar; the box waits for the end of the scan.
  void receiveErrorDuringScanGoesToTheStatusBar() {
    TFormMain form(Aimed());
    sim_->SetMalformed(true, sim::TMalformKind::Empty);
    form.TimerTimer();  // one tick of a scan
    QTRY_VERIFY_WITH_TIMEOUT(!form.RoundRunning(), 2000);
    form.Timer->stop();
    sim_->SetMalformed(false);
    QVERIFY(ui_.messages.isEmpty());
    QCOMPARE(form.StatusBar->currentMessage(),
             QString::fromUtf8("Connection Error:  Erreur de réception UDP = 0."));
    QCOMPARE(form.ScanCounter(), 1);
  }

  // A tick that comes while the round is still on the exchange thread waits for it and then
  // runs at once: rounds never overlap.
  void aTickDuringARoundRunsWhenTheRoundIsOver() {
    TFormMain form(Aimed());
    sim_->SetReplyDelay(60);
    sim_->ClearRequests();
    form.TimerTimer();
    form.TimerTimer();
    QCOMPARE(form.ScanCounter(), 1);
    QVERIFY(form.RoundRunning());
    QTRY_VERIFY_WITH_TIMEOUT(form.ScanCounter() == 2, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!form.RoundRunning(), 2000);
    form.Timer->stop();
    sim_->SetReplyDelay(0);
    const auto requests = sim_->Requests();
    QCOMPARE(requests.size(), std::size_t{2});
    // The second request left only after the first round's quiet period.
    QVERIFY(requests[1].at - requests[0].at >= std::chrono::milliseconds(150));
  }

  void scanTickStepsProgressAndRearmsTimer() {
    TFormMain form(Aimed());
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
    QTRY_VERIFY_WITH_TIMEOUT(!form.RoundRunning(), 2000);
    QCOMPARE(form.StringGrid->rowCount(), 3);
    form.TimerTimer();
    QCOMPARE(form.ProgressBar->value(), 10);
    QCOMPARE(form.ScanCounter(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!form.RoundRunning(), 2000);
    form.Timer->stop();
  }

  void upgradeButtonRunsTheHandler() {
    TFormMain form(Aimed());
    int calls = 0;
    form.UpgradeButtonClick();  // no dialog yet: nothing
    form.SetUpgradeHandler([&calls](auto&&...) { ++calls; });
    QTest::mouseClick(form.UpgradeButton, Qt::LeftButton);
    QCOMPARE(calls, 1);
  }

  void fitLastColumnTakesTheFreeWidth() {
    TFormMain form(Aimed());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(900, 250);
    const int columns = ColumnSum(form);
    QCOMPARE(form.StringGrid->columnWidth(6), 900 - 8 - columns);
    form.StringGrid->setColumnWidth(0, form.StringGrid->columnWidth(0) + 50);  // a user's drag
    QCOMPARE(form.StringGrid->columnWidth(6), 900 - 8 - columns - 50);
    form.resize(300, 250);  // narrower than the five columns plus 8
    QCOMPARE(form.StringGrid->columnWidth(6), 0);
    form.resize(8 + columns + 50, 250);  // exactly as wide: nothing left
    QCOMPARE(form.StringGrid->columnWidth(6), 0);
    form.resize(8 + columns + 50 + 1, 250);
    QCOMPARE(form.StringGrid->columnWidth(6), 1);
  }

  void interfacesMenuChoosesForTheNextScan() {
    QMenu file;
    const std::vector<TNetInterface> two = {{{"eth0", 0xC0A80105}, 0xC0A801FF},
                                            {{"wlan0", 0x0A000007}, 0x0A0000FF}};
    TInterfaceMenu menu(&file, {}, [&two] { return two; });
    const auto entries = [&menu] { return menu.Menu()->actions(); };
    QCOMPARE(entries().size(), 4);  // All, separator, eth0, wlan0
    QCOMPARE(entries()[0]->text(), QStringLiteral("&All interfaces"));
    QVERIFY(entries()[0]->isChecked());
    QCOMPARE(entries()[2]->text(), QStringLiteral("eth0  (192.168.1.5)"));
    QVERIFY(entries()[2]->isCheckable() && !entries()[2]->isChecked());

    entries()[3]->trigger();  // wlan0
    QCoreApplication::processEvents();
    QCOMPARE(menu.Chosen(), std::vector<std::string>{"wlan0"});
    QVERIFY(!entries()[0]->isChecked());
    QVERIFY(entries()[3]->isChecked());
    entries()[2]->trigger();  // eth0 as well
    QCoreApplication::processEvents();
    QCOMPARE(menu.Chosen(), (std::vector<std::string>{"wlan0", "eth0"}));
    entries()[0]->trigger();  // back to all
    QCoreApplication::processEvents();
    QVERIFY(menu.Chosen().empty());
    QVERIFY(entries()[0]->isChecked());
    QVERIFY(!entries()[2]->isChecked() && !entries()[3]->isChecked());
  }

  void scanWithoutUsableInterfaceSaysSoOnceAndSendsNothing() {
    TExchangeSettings settings;  // every interface, but only one that does not exist is chosen
    settings.interfaces = {"velkaro-no-such-interface"};
    const std::size_t before = sim_->RequestCount();
    TFormMain form(settings);
    // Still listed last, ticked, so that it can be unticked; "All interfaces" is not ticked.
    const QList<QAction*> entries = form.Interfaces->Menu()->actions();
    QVERIFY(!entries.front()->isChecked());
    QCOMPARE(entries.back()->data().toString(), QStringLiteral("velkaro-no-such-interface"));
    QVERIFY(entries.back()->isChecked());
    form.Scan();
    QVERIFY(!form.Timer->isActive());
    QCOMPARE(form.StatusBar->currentMessage(), QString::fromUtf8(ops::kNoInterfaceText));
    QCOMPARE(sim_->RequestCount(), before);
    QVERIFY(ui_.messages.isEmpty());
  }

  void aboutMenuShowsTheModalAboutBox() {
    TFormMain form(Aimed());
    QString title;
    const test::TModalDriver<QDialog> box([&](QDialog& shown) {
      title = shown.windowTitle();
      shown.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    form.AboutMenu->trigger();
    QCOMPARE(title, QStringLiteral("About Velkaro ..."));
    QVERIFY(!QApplication::activeModalWidget());
  }
};

QTEST_MAIN(FormMainTest)
#include "FormMainTest.moc"
