// Restore Config with several rows selected, against the simulator: one section as a template
// for each device, its plan read with nothing written, Apply with name and IP address kept, a
// silent device and one of another model failing with their reasons, a second run finding
// nothing to do, and the dialog closed or destroyed while its exchanges run. Also the restore
// chooser, which opens in the remembered folder with no name typed.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QtTest>
#include <fstream>
#include <functional>
#include <memory>

#include "app/ApplyForm.h"
#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "dialog/DialogFactories.h"
#include "operations/ConfigRestore.h"
#include "operations/DeviceOperations.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "protocol/Frame.h"
#include "sim/Simulator.h"
#include "support/LoopbackSimulator.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"
#include "support/UiRecorder.h"
#include "ui/DeviceTextQt.h"
#include "ui/ExchangeWorker.h"
#include "ui/RememberedSettings.h"

using namespace velkaro;

namespace {

constexpr int kIp = 2, kName = 7, kPassword = 9, kInterval = 23;
const std::string kSecret = "s3cret-pw";

// Write requests the simulator received for the device at `address`.
std::size_t WritesTo(const sim::TSimulator& simulator, const TDeviceAddress& address) {
  std::size_t n = 0;
  for (const auto& r : simulator.Requests())
    if (r.data.size() > kCommandOffset &&
        r.data[kCommandOffset] == static_cast<std::uint8_t>(TCommand::Write) &&
        std::equal(address.begin(), address.end(), r.data.begin() + kDestinationOffset))
      ++n;
  return n;
}

std::size_t AllWrites(const sim::TSimulator& simulator) {
  std::size_t n = 0;
  for (const auto& r : simulator.Requests())
    if (r.data.size() > kCommandOffset &&
        r.data[kCommandOffset] == static_cast<std::uint8_t>(TCommand::Write))
      ++n;
  return n;
}

void WriteCfg(const QString& file, const std::vector<ops::TCfgSection>& sections) {
  std::ofstream out(QFile::encodeName(file).toStdString(), std::ios::trunc);
  for (const auto& s : sections) {
    out << '[' << s.name << "]\n";
    for (const auto& [key, value] : s.entries) out << key << '=' << value << '\n';
  }
}

void SetEntry(ops::TCfgSection& section, int tag, const std::string& value) {
  for (auto& [k, v] : section.entries)
    if (k == std::to_string(tag)) v = value;
}

QString Cell(const TApplyForm& form, int row, int column) {
  const QTableWidgetItem* item = form.DeviceTable->item(row, column);
  return item ? item->text() : QString();
}

// What a test saw of the dialog at one moment: results and changes by row.
struct TSeen {
  QStringList results, changes;
  QString status;
  bool applyEnabled = false;
};
TSeen Look(const TApplyForm& form) {
  TSeen seen;
  for (int row = 0; row < form.DeviceTable->rowCount(); ++row) {
    seen.results << Cell(form, row, TApplyForm::ColResult);
    seen.changes << Cell(form, row, TApplyForm::ColChanges);
  }
  seen.status = form.StatusLabel->text();
  seen.applyEnabled = form.ApplyBtn->isEnabled();
  return seen;
}

}  // namespace

class ApplyTemplateTest : public QObject {
  Q_OBJECT

  std::unique_ptr<sim::TSimulator> sim_;
  std::unique_ptr<TFormMain> window_;
  std::unique_ptr<testing::TTempDir> dir_;
  test::TUiRecorder ui_;
  std::vector<int> zel1_;  // list indexes of the one-outlet devices
  int zel4_ = -1;

  // The simulator's index of a listed device.
  std::size_t SimIndex(int listIndex) const {
    const TZEL& record = window_->Session.DeviceList[static_cast<std::size_t>(listIndex)];
    for (std::size_t i = 0; i < sim_->DeviceCount(); ++i)
      if (sim_->Snapshot(i).MAC == record.MAC) return i;
    qFatal("listed device not simulated");
  }
  TZEL SimDevice(int listIndex) const { return sim_->Snapshot(SimIndex(listIndex)); }
  const TZEL& Listed(int listIndex) const {
    return window_->Session.DeviceList[static_cast<std::size_t>(listIndex)];
  }

  void Select(const std::vector<int>& listIndexes) {
    QItemSelectionModel* selection = window_->StringGrid->selectionModel();
    selection->clearSelection();
    for (const int index : listIndexes)
      selection->select(window_->StringGrid->model()->index(window_->StringGrid->ViewRow(index), 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(window_->SelectedDeviceIndexes().size(), listIndexes.size());
  }

  // The saved section of a listed device.
  ops::TCfgSection Saved(int listIndex) {
    const std::string file = dir_->File("saved-" + std::to_string(listIndex) + ".cfg");
    std::filesystem::remove(file);
    if (!ops::SaveDevice(window_->Session, listIndex, file).saved) qFatal("save failed");
    std::vector<ops::TCfgSection> sections;
    std::string error;
    if (!ops::ReadCfgFile(file, sections, error) || sections.size() != 1)
      qFatal("%s", error.c_str());
    return sections.front();
  }

  // A file whose first section is the four-outlet device's own, then a one-outlet template
  // that sets the interval and the password and would rename and move every device.
  QString TemplateFile() {
    ops::TCfgSection tmpl = Saved(zel1_[0]);
    tmpl.name = ops::SectionTypeText(tmpl.name) + "  SN-TEMPLATE";
    SetEntry(tmpl, kInterval, "42");
    SetEntry(tmpl, kPassword, kSecret);
    SetEntry(tmpl, kName, "Template name");
    SetEntry(tmpl, kIp, "192.0.2.77");
    const QString file = QString::fromStdString(dir_->File("template.cfg"));
    WriteCfg(file, {Saved(zel4_), tmpl});
    return file;
  }

  // Restore Config on the selected rows with `file` chosen; `user` acts on the dialog inside
  // its modal loop.
  void RunDialog(const QString& file, const std::function<void(TApplyForm&)>& user) {
    ui_.openAnswer = file;
    test::TModalOptions options;
    options.limit = std::chrono::seconds(30);
    options.closeAfterAction = true;
    test::TModalDriver<TApplyForm> driver(user, options);
    window_->RestoreConfigMenu->trigger();
  }

 private slots:
  void init() {
    sim::TSimOptions options;
    options.models = {kModelZel1, kModelZel4, kModelZel1, kModelZel1};
    sim_ = testing::StartLoopbackSimulator(options);
    window_ = std::make_unique<TFormMain>(
        testing::SettingsFor(*sim_),
        TModelFactories{MakeZel1Factory(), MakeZel4Factory(), MakeZel8Factory()});
    dir_ = std::make_unique<testing::TTempDir>();
    ui_.Clear();
    ui_.Install();
    ListDevices();
    // Different starting values, so each plan says what it changes from.
    for (std::size_t k = 0; k < zel1_.size(); ++k)
      sim_->SetValue(SimIndex(zel1_[k]), kInterval, std::uint32_t(10 + k));
    sim_->ClearRequests();
  }
  void cleanup() {
    window_.reset();
    sim_.reset();
    ui::ResetUiHooks();
    ui::SetSettingsScope(QString());
    QStringList left;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) left << w->metaObject()->className();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u',')));
  }

  void templateToThreeRowsPlansThenAppliesWithOneSilentDevice() {
    const QString file = TemplateFile();
    const int silent = zel1_[2];
    std::vector<TZEL> before;
    for (const int i : zel1_) before.push_back(SimDevice(i));
    sim_->SilenceDevice(SimIndex(silent));
    Select(zel1_);
    QCOMPARE(window_->SelectedDeviceIndexes(), zel1_);  // the dialog's rows in this order
    sim_->ClearRequests();

    bool runningAtOpen = false, closeRefused = false;
    int sectionShown = -1;
    TSeen plan, done;
    std::vector<std::uint32_t> intervalsAfterPlan;
    std::size_t writesAfterPlan = 99;
    QStringList names;
    RunDialog(file, [&](TApplyForm& form) {
      sectionShown = form.SectionBox->currentIndex();
      runningAtOpen = form.Running();
      form.reject();  // refused while the plan is read
      closeRefused = form.isVisible() && !form.CloseBtn->isEnabled();
      QTRY_VERIFY_WITH_TIMEOUT(!form.Running(), 20000);
      plan = Look(form);
      for (const int i : zel1_) intervalsAfterPlan.push_back(SimDevice(i).values.AsUInt(kInterval));
      writesAfterPlan = AllWrites(*sim_);
      for (int row = 0; row < form.DeviceTable->rowCount(); ++row)
        names << Cell(form, row, TApplyForm::ColName);
      form.ApplyBtn->click();
      QTRY_VERIFY_WITH_TIMEOUT(!form.Running(), 20000);
      done = Look(form);
    });
    QCOMPARE(ui_.openRequests.size(), 1);
    QVERIFY(ui_.openRequests.front().mustExist);
    QCOMPARE(sectionShown, 1);  // the first section that fits the one-outlet devices
    QVERIFY(runningAtOpen);
    QVERIFY(closeRefused);

    // The plan: every change listed, the password masked, nothing written yet.
    QCOMPARE(names.size(), 3);
    QCOMPARE(names[2], ui::DeviceTextToQString(Listed(silent).values.AsText(kName)));
    QCOMPARE(plan.results, (QStringList{"planned", "planned", "failed"}));
    for (int row = 0; row < 2; ++row) {
      const QString& changes = plan.changes[row];
      QVERIFY2(changes.contains(QStringLiteral(": %1 -> 42").arg(10 + row)), qPrintable(changes));
      QVERIFY2(changes.contains(QString::fromUtf8(kMaskedValue)), qPrintable(changes));
      QVERIFY2(!changes.contains(QString::fromStdString(kSecret)), qPrintable(changes));
      QVERIFY2(!changes.contains(QStringLiteral("Template name")), qPrintable(changes));
      QVERIFY2(!changes.contains(QStringLiteral("192.0.2.77")), qPrintable(changes));
      QVERIFY2(!changes.contains(QStringLiteral("Tag ")), qPrintable(changes));  // all named
    }
    QVERIFY2(plan.changes[2].contains(QStringLiteral("Device not responding")),
             qPrintable(plan.changes[2]));
    QVERIFY(plan.applyEnabled);
    QCOMPARE(writesAfterPlan, std::size_t{0});
    QCOMPARE(intervalsAfterPlan, (std::vector<std::uint32_t>{10, 11, 12}));

    // After Apply: two written with identity kept, the silent one failed and untouched.
    QCOMPARE(done.results, (QStringList{"applied", "applied", "failed"}));
    QVERIFY2(done.changes[0].contains(QStringLiteral(": 10 -> 42")), qPrintable(done.changes[0]));
    QVERIFY2(done.changes[2].contains(QStringLiteral("Device not responding")),
             qPrintable(done.changes[2]));
    QVERIFY2(done.status.contains(QStringLiteral("Applied to 2")), qPrintable(done.status));
    QVERIFY(!done.applyEnabled);
    for (std::size_t k = 0; k < 2; ++k) {
      const TZEL after = SimDevice(zel1_[k]);
      QCOMPARE(after.values.AsUInt(kInterval), 42u);
      QCOMPARE(after.values.AsText(kPassword), kSecret);
      QCOMPARE(after.values.AsText(kName), before[k].values.AsText(kName));
      QCOMPARE(after.values.AsUInt(kIp), before[k].values.AsUInt(kIp));
      QVERIFY(WritesTo(*sim_, Listed(zel1_[k]).address) > 0);
    }
    QCOMPARE(SimDevice(silent).values.AsUInt(kInterval), 12u);
    QVERIFY(SimDevice(silent).values == before[2].values);
    QCOMPARE(WritesTo(*sim_, Listed(silent).address), std::size_t{0});
    QVERIFY(window_->Scanning());  // the list is read again
    window_->Timer->stop();
    QVERIFY(ui_.messages.isEmpty());
  }

  void secondRunFindsEveryDeviceUnchanged() {
    const QString file = TemplateFile();
    Select(zel1_);
    RunDialog(file, [](TApplyForm& form) {
      QTRY_VERIFY_WITH_TIMEOUT(!form.Running(), 20000);
      form.ApplyBtn->click();
      QTRY_VERIFY_WITH_TIMEOUT(form.Applied(), 20000);
    });
    QCOMPARE(SimDevice(zel1_[0]).values.AsUInt(kInterval), 42u);
    ListDevices();
    Select(zel1_);
    sim_->ClearRequests();

    TSeen again;
    bool applied = true;
    RunDialog(file, [&](TApplyForm& form) {
      QTRY_VERIFY_WITH_TIMEOUT(!form.Running(), 20000);
      again = Look(form);
      form.ApplyClick();  // nothing to write: not run
      applied = form.Applied() || form.Running();
    });
    QCOMPARE(again.results, (QStringList{"unchanged", "unchanged", "unchanged"}));
    QCOMPARE(again.changes, (QStringList{"", "", ""}));
    QVERIFY(!again.applyEnabled);
    QVERIFY(!applied);
    QCOMPARE(AllWrites(*sim_), std::size_t{0});
    QVERIFY(!window_->Scanning());
  }

  void deviceOfAnotherModelFailsAndIsNeverWritten() {
    const QString file = TemplateFile();
    const TZEL otherBefore = SimDevice(zel4_);
    Select({zel1_[0], zel4_});
    const std::vector<int> order = window_->SelectedDeviceIndexes();  // the dialog's rows
    const int rackRow = order[0] == zel4_ ? 0 : 1;
    sim_->ClearRequests();
    TSeen plan, done;
    RunDialog(file, [&](TApplyForm& form) {
      form.SectionBox->setCurrentIndex(1);  // the template; index 0 is the rack's own section
      QTRY_VERIFY_WITH_TIMEOUT(!form.Running(), 20000);
      plan = Look(form);
      form.ApplyBtn->click();
      QTRY_VERIFY_WITH_TIMEOUT(form.Applied(), 20000);
      done = Look(form);
    });
    QCOMPARE(plan.results[rackRow], QStringLiteral("failed"));
    QVERIFY2(plan.changes[rackRow].contains(QStringLiteral("is for a")),
             qPrintable(plan.changes[rackRow]));
    QCOMPARE(plan.results[1 - rackRow], QStringLiteral("planned"));
    QCOMPARE(done.results[rackRow], QStringLiteral("failed"));
    QCOMPARE(done.results[1 - rackRow], QStringLiteral("applied"));
    QCOMPARE(WritesTo(*sim_, Listed(zel4_).address), std::size_t{0});
    QVERIFY(SimDevice(zel4_).values == otherBefore.values);
    window_->Timer->stop();
  }

  // Closing is refused while the exchanges run; a dialog destroyed meanwhile waits for them,
  // and the exchange thread serves the next work afterwards.
  void dialogDestroyedWhileItsExchangesRun() {
    const QString file = TemplateFile();
    std::vector<ops::TCfgSection> sections;
    std::string error;
    QVERIFY(ops::ReadCfgFile(QFile::encodeName(file).toStdString(), sections, error));
    std::vector<TZEL> devices;
    for (const int i : zel1_) devices.push_back(Listed(i));
    sim_->SilenceDevice(SimIndex(zel1_[2]));  // keeps the plan's read going for a while

    auto form = std::make_unique<TApplyForm>(window_->Session.settings, devices, file, sections,
                                             std::map<std::uint32_t, TTagNames>{});
    form->show();
    QVERIFY(form->Running());
    form->close();
    QVERIFY(form->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!form->Running(), 20000);
    form->ApplyBtn->click();
    QVERIFY(form->Running());
    QElapsedTimer clock;
    clock.start();
    form.reset();  // during the write
    QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));

    bool served = false;
    QVERIFY(ui::RunWhileBusy(nullptr, QStringLiteral("next"), [&served] { served = true; }));
    QVERIFY(served);
    QCoreApplication::processEvents();  // the ended run's result, to a dialog no longer there
  }

  // The chooser itself: Restore opens in the remembered folder with no name typed, Save Config
  // still proposes the device's file name there.
  void restoreChooserOpensInTheRememberedFolder() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(dir_->Path().string()));
    ui::SetSettingsScope(QStringLiteral("velkaro-apply-test"));
    const QString folder = QString::fromStdString(dir_->File("configs"));
    QVERIFY(QDir().mkpath(folder));
    ui::RememberFolderOf(QString::fromLatin1(ui::kConfigFolderKey),
                         QDir(folder).filePath(QStringLiteral("earlier.cfg")));
    ui::ResetUiHooks();  // the real chooser
    window_->StringGrid->setCurrentCell(window_->StringGrid->ViewRow(zel1_[0]), 0);
    QCOMPARE(window_->SelectedDeviceIndexes().size(), std::size_t{1});

    struct TChooser {
      QString directory, typed;
      bool found = false;
    };
    const auto look = [](TChooser& seen) {
      return [&seen](QFileDialog& chooser) {
        seen.directory = QDir(chooser.directory()).canonicalPath();
        if (const auto* edit = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
          seen.found = true;
          seen.typed = edit->text();
        }
        chooser.reject();
      };
    };
    TChooser restore, save;
    {
      test::TModalDriver<QFileDialog> driver(look(restore));
      window_->RestoreConfigMenu->trigger();
    }
    {
      test::TModalDriver<QFileDialog> driver(look(save));
      window_->SaveConfigMenu->trigger();
    }
    const QString canonical = QDir(folder).canonicalPath();
    QCOMPARE(restore.directory, canonical);
    QVERIFY(restore.found);
    QCOMPARE(restore.typed, QString());
    QCOMPARE(save.directory, canonical);
    QVERIFY(save.found);
    QCOMPARE(save.typed, ui::DeviceTextToQString(Listed(zel1_[0]).values.AsText(kName)) +
                             QStringLiteral(".cfg"));
    QCOMPARE(sim_->RequestCount(), std::size_t{0});
  }

 private:
  // A fresh list of the four devices, as after a scan.
  void ListDevices() {
    if (!window_->Scanning()) window_->Scan();  // empties the list and the grid
    window_->Timer->stop();
    for (int round = 0; round < 10 && window_->Session.DeviceList.size() < 4; ++round)
      Discover(window_->Session.settings, MergeInto(window_->Session));
    QCOMPARE(window_->Session.DeviceList.size(), std::size_t{4});
    zel1_.clear();
    zel4_ = -1;
    for (int i = 0; i < 4; ++i) {
      if (Listed(i).ModelCode() == kModelZel1)
        zel1_.push_back(i);
      else
        zel4_ = i;
    }
    QCOMPARE(zel1_.size(), std::size_t{3});
  }
};

QTEST_MAIN(ApplyTemplateTest)
#include "ApplyTemplateTest.moc"
