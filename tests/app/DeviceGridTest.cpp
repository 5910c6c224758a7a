// The device grid against the simulator on 127.0.0.1: sort orders, the filter, the selection
// following its device, Ctrl+C, the list export, and the watch's offline and online rows.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/DeviceGrid.h"
#include "app/DeviceTableModel.h"
#include "app/FormMain.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "support/LoopbackSimulator.h"
#include "support/TempDir.h"
#include "support/UiRecorder.h"

using namespace velkaro;

namespace {

// Four devices whose names, IP addresses and MAC addresses sort differently by text and by
// value; "Alpha" and "alpha" tie without regard to case. All addresses are on the loopback
// network, and nothing is ever sent to them: requests go to the simulator's own port.
struct TDevice {
  const char* name;
  const char* ip;
};
constexpr TDevice kDevices[] = {
    {"beta", "127.0.0.10"},
    {"Alpha", "127.0.0.9"},
    {"Gamma", "127.0.1.2"},
    {"alpha", "127.0.0.100"},
};

// The simulator's MAC addresses count up from macBase + 1; the last one gets a byte that sorts
// first by value but last as text would not.
constexpr std::uint64_t kMacBase = 0x02005E000000ull;

std::uint32_t Ip(const char* text) {
  std::uint32_t ip = 0;
  for (int part = 0; part < 4; ++part) {
    ip = ip << 8 | static_cast<std::uint32_t>(std::atoi(text));
    while (*text && *text != '.') ++text;
    if (*text) ++text;
  }
  return ip;
}

// The names of the grid's rows, top to bottom.
QStringList Names(const TFormMain& form) {
  QStringList names;
  for (int row = 0; row < form.StringGrid->rowCount(); ++row)
    names << form.StringGrid->CellText(row, TDeviceTableModel::kName);
  return names;
}

int RowNamed(const TFormMain& form, const QString& name) {
  return static_cast<int>(Names(form).indexOf(name));
}

}  // namespace

class DeviceGridTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<sim::TSimulator> sim_;
  test::TUiRecorder ui_;
  testing::TTempDir dir_;

  // What one scan round lists, shown row by row as the window shows a scan's answers.
  void ListAll(TFormMain& form) {
    form.ResetGrid();
    Discover(form.Session.settings, MergeInto(form.Session));
    QCOMPARE(form.StringGrid->rowCount(), 4);
  }

 private slots:
  void initTestCase() {
    sim::TSimOptions options;
    options.count = 4;
    options.macBase = kMacBase;
    sim_ = testing::StartLoopbackSimulator(options, [](sim::TSimulator& sim) {
      for (std::size_t i = 0; i < std::size(kDevices); ++i) {
        sim.SetValue(i, 7, std::string(kDevices[i].name));
        sim.SetValue(i, 2, Ip(kDevices[i].ip));
      }
    });
  }

  void init() {
    ui_ = {};
    ui_.Install();
    for (std::size_t i = 0; i < std::size(kDevices); ++i) sim_->ResumeDevice(i);
  }

  void cleanup() { ui::ResetUiHooks(); }
  void cleanupTestCase() { sim_.reset(); }

  void headerClicksSortByValueAndKeepTies_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("names");
    // Ties ("Alpha", "alpha") keep the list order in both directions of another column.
    QTest::newRow("name") << int(TDeviceTableModel::kName) << int(Qt::AscendingOrder)
                          << QStringList{"Alpha", "alpha", "beta", "Gamma"};
    QTest::newRow("name, descending") << int(TDeviceTableModel::kName) << int(Qt::DescendingOrder)
                                      << QStringList{"Gamma", "beta", "Alpha", "alpha"};
    // As numbers: .9 < .10 < .100 < 1.2; as text .10 would come first.
    QTest::newRow("IP address") << int(TDeviceTableModel::kIp) << int(Qt::AscendingOrder)
                                << QStringList{"Alpha", "beta", "alpha", "Gamma"};
    QTest::newRow("MAC address") << int(TDeviceTableModel::kMac) << int(Qt::DescendingOrder)
                                 << QStringList{"alpha", "Gamma", "Alpha", "beta"};
  }
  void headerClicksSortByValueAndKeepTies() {
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QStringList, names);
    TFormMain form(testing::SettingsFor(*sim_));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ListAll(form);
    QCOMPARE(Names(form), (QStringList{"beta", "Alpha", "Gamma", "alpha"}));  // first answers first
    // A click on the header, as the user sorts; a second click turns the order round.
    QHeaderView* header = form.StringGrid->horizontalHeader();
    const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    if (header->sortIndicatorOrder() != static_cast<Qt::SortOrder>(order))
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(Names(form), names);
    form.close();
  }

  void filterMatchesEveryShownFieldWithoutRegardToCase_data() {
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("name, any case") << "ALPHA" << QStringList{"Alpha", "alpha"};
    QTest::newRow("IP address") << "127.0.0.10" << QStringList{"beta", "alpha"};
    QTest::newRow("MAC, the grid's dots") << "00.00.04" << QStringList{"alpha"};
    QTest::newRow("MAC, colons") << "5e:00:00:03" << QStringList{"Gamma"};
    QTest::newRow("MAC, no separators") << "02005E000001" << QStringList{"beta"};
    QTest::newRow("interface: none with a target")
        << "-" << QStringList{"beta", "Alpha", "Gamma", "alpha"};
    QTest::newRow("nothing") << "no such device" << QStringList{};
  }
  void filterMatchesEveryShownFieldWithoutRegardToCase() {
    QFETCH(QString, needle);
    QFETCH(QStringList, names);
    TFormMain form(testing::SettingsFor(*sim_));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ListAll(form);
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(form.FilterEdit->isVisible());
    QVERIFY(form.FilterEdit->hasFocus());
    QTest::keyClicks(form.FilterEdit, needle);
    QCOMPARE(Names(form), names);
    QCOMPARE(form.StatusBar->currentMessage(),
             QStringLiteral("%1 of 4 devices shown").arg(names.size()));
    // Escape clears the filter and hides its box.
    QTest::keyClick(form.FilterEdit, Qt::Key_Escape);
    QVERIFY(!form.FilterEdit->isVisible());
    QCOMPARE(form.StringGrid->rowCount(), 4);
    form.close();
  }

  void selectionFollowsItsDeviceAndNoneIsSaidSo() {
    int dialogs = 0;
    const auto factory = [&dialogs](QWidget*) -> std::unique_ptr<TPropertyDialog> {
      ++dialogs;
      return nullptr;
    };
    TFormMain form(testing::SettingsFor(*sim_), {factory, factory, factory});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ListAll(form);
    QCOMPARE(form.Session.SelectedDevice, 0);  // the first device listed
    form.StringGrid->setCurrentCell(RowNamed(form, "Gamma"), 0);
    QCOMPARE(form.Session.SelectedDevice, 2);
    form.StringGrid->sortByColumn(TDeviceTableModel::kIp, Qt::DescendingOrder);
    QCOMPARE(form.StringGrid->currentRow(), 0);  // Gamma's IP address is the highest
    QCOMPARE(form.Session.SelectedDevice, 2);
    QCOMPARE(form.SelectedDeviceIndexes(), std::vector<int>{2});

    form.FilterEdit->setText(QStringLiteral("gam"));
    QCOMPARE(form.Session.SelectedDevice, 2);
    form.FilterEdit->setText(QStringLiteral("beta"));  // Gamma hidden: nothing is selected
    QCOMPARE(form.Session.SelectedDevice, -1);
    const std::size_t requests = sim_->RequestCount();
    for (QAction* action : {form.ConfigMenu, form.WebMenu, form.SaveConfigMenu}) {
      form.StatusBar->clearMessage();
      action->trigger();
      QCOMPARE(form.StatusBar->currentMessage(), QStringLiteral("No device is selected"));
    }
    QCOMPARE(dialogs, 0);
    QVERIFY(ui_.urls.isEmpty());
    QVERIFY(ui_.saveRequests.isEmpty());
    QCOMPARE(sim_->RequestCount(), requests);
    form.close();
  }

  void ctrlCCopiesTheSelectedRowsUnderAHeader() {
    TFormMain form(testing::SettingsFor(*sim_));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ListAll(form);
    form.StringGrid->sortByColumn(TDeviceTableModel::kName, Qt::AscendingOrder);
    form.StringGrid->setCurrentCell(RowNamed(form, "Gamma"), 0);
    form.StringGrid->selectionModel()->select(
        form.StringGrid->model()->index(RowNamed(form, "Alpha"), 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.StringGrid->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(form.StringGrid, Qt::Key_C, Qt::ControlModifier);
    // In the grid's order, whatever order they were picked in.
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("Name\tType\tIP Address\tMAC Address\tInterface\n"
                            "Alpha\t%1\t127.0.0.9\t02.00.5E.00.00.02\t-\n"
                            "Gamma\t%2\t127.0.1.2\t02.00.5E.00.00.03\t-\n")
                 .arg(form.StringGrid->CellText(RowNamed(form, "Alpha"), 1),
                      form.StringGrid->CellText(RowNamed(form, "Gamma"), 1)));
    form.close();
  }

  void exportWritesTheShownRowsAsCsvOrJson() {
    TFormMain form(testing::SettingsFor(*sim_));
    ListAll(form);
    form.StringGrid->sortByColumn(TDeviceTableModel::kIp, Qt::AscendingOrder);
    form.FilterEdit->setText(QStringLiteral("alpha"));

    ui_.saveAnswer = QString::fromStdString(dir_.File("list.csv"));
    form.ExportListMenu->trigger();
    QCOMPARE(ui_.saveRequests.size(), 1);
    QFile csv(ui_.saveAnswer);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 4);  // header, two devices, nothing after the last CRLF
    QCOMPARE(lines[0], QByteArray("name,type,ip,mac,interface,model,state,first_seen,last_seen\r"));
    QVERIFY(lines[1].startsWith("Alpha,"));
    QVERIFY(lines[1].contains(",127.0.0.9,02.00.5E.00.00.02,,"));
    QVERIFY(lines[2].startsWith("alpha,"));
    QVERIFY(lines[2].contains(",online,"));
    QCOMPARE(form.StatusBar->currentMessage(),
             QStringLiteral("2 devices exported to %1").arg(ui_.saveAnswer));

    ui_.saveAnswer = QString::fromStdString(dir_.File("list.json"));
    form.ExportListMenu->trigger();
    QFile json(ui_.saveAnswer);
    QVERIFY(json.open(QIODevice::ReadOnly));
    const QJsonArray devices = QJsonDocument::fromJson(json.readAll()).array();
    QCOMPARE(devices.size(), 2);
    const QJsonObject first = devices[0].toObject();
    QCOMPARE(first["name"].toString(), QStringLiteral("Alpha"));
    QCOMPARE(first["ip"].toString(), QStringLiteral("127.0.0.9"));
    QCOMPARE(first["model"].toInteger(), qint64(sim_->Snapshot(1).ModelCode()));
    QCOMPARE(first["state"].toString(), QStringLiteral("online"));
    // ISO 8601 in UTC, first heard no later than last heard.
    QVERIFY2(first["first_seen"].toString().endsWith(u'Z'),
             qPrintable(first["first_seen"].toString()));
    QVERIFY(first["first_seen"].toString() <= first["last_seen"].toString());
  }

  void watchGreysASilentDeviceAndBringsItBack() {
    TFormMain form(testing::SettingsFor(*sim_));
    form.SetWatchTimes(std::chrono::milliseconds(100), std::chrono::milliseconds(700));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.WatchButton->click();
    QVERIFY(form.Watching());
    QVERIFY(form.WatchMenu->isChecked());
    QVERIFY(!form.StringGrid->isColumnHidden(TDeviceTableModel::kState));
    QTRY_COMPARE_WITH_TIMEOUT(form.StringGrid->rowCount(), 4, 5000);
    form.StringGrid->setCurrentCell(RowNamed(form, "Alpha"), 0);

    sim_->SilenceDevice(2);  // Gamma
    const int gamma = RowNamed(form, "Gamma");
    QTRY_VERIFY_WITH_TIMEOUT(
        form.StringGrid->CellText(gamma, TDeviceTableModel::kState).startsWith("offline since "),
        5000);
    QVERIFY(form.StatusBar->currentMessage().startsWith(
        QStringLiteral("3 online, 1 offline \u2013 Gamma went offline")));
    const QModelIndex cell = form.StringGrid->model()->index(gamma, 0);
    QCOMPARE(cell.data(Qt::ForegroundRole).value<QBrush>().color(),
             QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
    QCOMPARE(form.StringGrid->rowCount(), 4);  // rows are never removed by the watch

    sim_->ResumeDevice(2);
    QTRY_COMPARE_WITH_TIMEOUT(form.StringGrid->CellText(gamma, TDeviceTableModel::kState),
                              QStringLiteral("online"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(form.StatusBar->currentMessage(),
                              QStringLiteral("4 online, 0 offline \u2013 Gamma is back online"),
                              5000);

    // Forget removes the grey rows only; the selection stays with its device.
    sim_->SilenceDevice(3);  // alpha
    QTRY_VERIFY_WITH_TIMEOUT(form.ForgetOfflineMenu->isEnabled(), 5000);
    form.WatchMenu->trigger();  // stops, so that no answer comes between
    QVERIFY(!form.Watching());
    QVERIFY(!form.WatchButton->isChecked());
    form.ForgetOfflineMenu->trigger();
    QCOMPARE(Names(form), (QStringList{"beta", "Alpha", "Gamma"}));
    QCOMPARE(form.Session.SelectedDevice, 1);
    QCOMPARE(form.StringGrid->currentRow(), RowNamed(form, "Alpha"));
    QCOMPARE(form.StatusBar->currentMessage(), QStringLiteral("1 offline device forgotten"));
    form.close();
  }

  void watchYieldsToADialogAndCountsNoOneMissingForIt() {
    TFormMain form(testing::SettingsFor(*sim_));
    form.SetWatchTimes(std::chrono::milliseconds(100), std::chrono::milliseconds(300));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.WatchMenu->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(form.StringGrid->rowCount(), 4, 5000);
    // A dialog open for longer than the missing time: no discovery goes out meanwhile, and no
    // device is counted missing for the rounds it kept away.
    QMessageBox box(QMessageBox::Information, QStringLiteral("Busy"), QStringLiteral("Busy"),
                    QMessageBox::Ok, &form);
    std::size_t during = 0;
    QTimer::singleShot(100, &box, [&] { during = sim_->RequestCount(); });
    QTimer::singleShot(1000, &box, [&] {
      during = sim_->RequestCount() - during;
      box.accept();
    });
    box.exec();
    QVERIFY2(during <= 1, "the watch kept discovering under a dialog");  // one round may end
    QTest::qWait(500);
    for (int row = 0; row < 4; ++row)
      QCOMPARE(form.StringGrid->CellText(row, TDeviceTableModel::kState), QStringLiteral("online"));
    form.WatchMenu->trigger();
    form.close();
  }
};

QTEST_MAIN(DeviceGridTest)
#include "DeviceGridTest.moc"
