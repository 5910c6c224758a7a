// Restore Config from the main window against the simulator: the differences of a saved section,
// Apply of the ticked rows with one write, templates that keep name and IP address, and sections
// that cannot be applied.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>

#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "app/RestoreForm.h"
#include "dialog/DialogFactories.h"
#include "operations/ConfigRestore.h"
#include "operations/DeviceOperations.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "support/LoopbackSimulator.h"
#include "support/ScreenshotSupport.h"
#include "support/TempDir.h"
#include "support/UiRecorder.h"

using namespace velkaro;

namespace {

constexpr std::uint8_t kWriteCommand = 2;
constexpr int kGateway = 3, kInterval = 23, kName = 7, kIp = 2;

std::size_t WriteRequestCount(const sim::TSimulator& simulator) {
  std::size_t n = 0;
  for (const auto& r : simulator.Requests())
    if (r.data.size() > kCommandOffset && r.data[kCommandOffset] == kWriteCommand) ++n;
  return n;
}

void WriteCfg(const QString& file, const std::vector<ops::TCfgSection>& sections) {
  std::ofstream out(QFile::encodeName(file).toStdString(), std::ios::trunc);
  for (const auto& s : sections) {
    out << '[' << s.name << "]\n";
    for (const auto& [key, value] : s.entries) out << key << '=' << value << '\n';
  }
}

void SetEntry(ops::TCfgSection& section, const std::string& key, const std::string& value) {
  for (auto& [k, v] : section.entries)
    if (k == key) v = value;
}

// Row tags of the differences table.
std::vector<int> RowTags(const TRestoreForm& form) {
  std::vector<int> tags;
  for (int row = 0; row < form.DiffGrid->rowCount(); ++row)
    tags.push_back(form.DiffGrid->item(row, TRestoreForm::ColTag)->data(Qt::UserRole).toInt());
  return tags;
}

}  // namespace

class RestoreConfigTest : public QObject {
  Q_OBJECT

  std::unique_ptr<sim::TSimulator> sim_;
  std::unique_ptr<TFormMain> window_;
  testing::TTempDir dir_;
  QString saved_;  // the device's own section, saved before each test
  test::TUiRecorder ui_;

  // Chooses `file` in the file chooser and lets `user` act on the restore dialog.
  bool Restore(const QString& file, const std::function<void(TRestoreForm&)>& user) {
    ui_.openAnswer = file;
    bool shown = false;
    window_->SetRestoreRunner([&](TRestoreForm& form) {
      shown = true;
      user(form);
    });
    window_->RestoreConfigMenu->trigger();
    return shown;
  }

  ops::TCfgSection SavedSection() {
    std::vector<ops::TCfgSection> sections;
    std::string error;
    if (!ops::ReadCfgFile(QFile::encodeName(saved_).toStdString(), sections, error) ||
        sections.size() != 1)
      qFatal("saved file unreadable: %s", error.c_str());
    return sections.front();
  }

 private slots:
  void init() {
    sim::TSimOptions options;
    options.models = {kModelZel1};
    sim_ = testing::StartLoopbackSimulator(options);
    window_ = std::make_unique<TFormMain>(
        testing::SettingsFor(*sim_),
        TModelFactories{MakeZel1Factory(), MakeZel4Factory(), MakeZel8Factory()});
    ui_.Clear();
    ui_.Install();

    Discover(window_->Session.settings, MergeInto(window_->Session));
    QCOMPARE(window_->Session.DeviceList.size(), std::size_t{1});
    window_->StringGridSelectCell(0, 1);
    QVERIFY(window_->RestoreConfigMenu->isEnabled());
    saved_ = QString::fromStdString(dir_.File("saved.cfg"));
    QFile::remove(saved_);
    QVERIFY(ops::SaveDevice(window_->Session, 0, QFile::encodeName(saved_).toStdString()).saved);
    sim_->ClearRequests();
  }
  void cleanup() {
    window_.reset();
    sim_.reset();
    ui::ResetUiHooks();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
  }

  void restoreWritesTheSavedValuesOnceThenFindsNothing() {
    const TZEL before = sim_->Snapshot(0);
    sim_->SetValue(0, kGateway, std::uint32_t{0x0A090807});
    sim_->SetValue(0, kInterval, std::uint32_t{99});
    sim_->SetValue(0, kName, std::string("Renamed"));

    QVERIFY(Restore(saved_, [&](TRestoreForm& form) {
      QCOMPARE(form.SectionBox->count(), 1);
      QVERIFY(!form.IsTemplate());
      QVERIFY(!form.SectionBox->currentText().contains(QStringLiteral("template")));
      QCOMPARE(RowTags(form), (std::vector<int>{kGateway, kName, kInterval}));
      QCOMPARE(form.TickedTags(), RowTags(form));
      QCOMPARE(form.DiffGrid->item(0, TRestoreForm::ColDevice)->text(), QStringLiteral("10.9.8.7"));
      QCOMPARE(form.DiffGrid->item(0, TRestoreForm::ColFile)->text(),
               QString::fromStdString(IpToText(before.values.AsUInt(kGateway))));
      QVERIFY2(form.DiffGrid->item(0, TRestoreForm::ColSetting)
                   ->text()
                   .contains(QStringLiteral("Gateway")),
               qPrintable(form.DiffGrid->item(0, TRestoreForm::ColSetting)->text()));
      QVERIFY(!form.DiffGrid->item(2, TRestoreForm::ColSetting)->text().isEmpty());
      QVERIFY(form.ApplyBtn->isEnabled());

      QDir shots(QStringLiteral(VELKARO_SCREENSHOT_DIR));
      QVERIFY(shots.mkpath(QStringLiteral(".")));
      form.show();
      test::SaveScreenshot(form, shots, QStringLiteral("restore-dialog.png"));
      form.hide();

      form.ApplyBtn->click();
      QVERIFY2(form.StatusLabel->text().contains(QStringLiteral("confirmed")),
               qPrintable(form.StatusLabel->text()));
      QCOMPARE(form.DiffGrid->rowCount(), 0);
      QVERIFY(!form.ApplyBtn->isEnabled());
    }));
    QCOMPARE(ui_.openRequests.size(), 1);
    QVERIFY(ui_.openRequests.front().mustExist);
    QVERIFY(ui_.openRequests.front().filter.contains(QStringLiteral("*.cfg")));
    QCOMPARE(WriteRequestCount(*sim_), std::size_t{1});
    QVERIFY(sim_->Snapshot(0).values == before.values);
    QVERIFY(window_->Scanning());  // the list shows the restored name after the scan
    window_->Timer->stop();
    Discover(window_->Session.settings, MergeInto(window_->Session));
    window_->StringGridSelectCell(0, 1);

    sim_->ClearRequests();
    QVERIFY(Restore(saved_, [](TRestoreForm& form) {
      QCOMPARE(form.DiffGrid->rowCount(), 0);
      QVERIFY(!form.ApplyBtn->isEnabled());
      form.ApplyClick();  // nothing ticked, nothing to write
    }));
    QCOMPARE(WriteRequestCount(*sim_), std::size_t{0});
    QVERIFY(!window_->Scanning());
    QVERIFY(ui_.messages.isEmpty());
  }

  void templateKeepsNameAndAddress() {
    const TZEL before = sim_->Snapshot(0);
    ops::TCfgSection other = SavedSection();
    other.name = ops::SectionTypeText(other.name) + "  SN-OTHER";
    SetEntry(other, std::to_string(kName), "Other name");
    SetEntry(other, std::to_string(kIp), "192.0.2.77");
    SetEntry(other, std::to_string(kInterval), "42");
    const QString file = QString::fromStdString(dir_.File("template.cfg"));
    WriteCfg(file, {other, SavedSection()});

    QVERIFY(Restore(file, [](TRestoreForm& form) {
      QCOMPARE(form.SectionBox->currentIndex(), 1);  // the device's own section
      QCOMPARE(form.DiffGrid->rowCount(), 0);
      form.SectionBox->setCurrentIndex(0);
      QVERIFY(form.IsTemplate());
      QVERIFY(form.SectionBox->currentText().contains(
          QStringLiteral("template: name and IP address are kept")));
      QCOMPARE(RowTags(form), std::vector<int>{kInterval});
      form.ApplyBtn->click();
    }));
    const TZEL after = sim_->Snapshot(0);
    QCOMPARE(after.values.AsUInt(kInterval), 42u);
    QCOMPARE(after.values.AsText(kName), before.values.AsText(kName));
    QCOMPARE(after.values.AsUInt(kIp), before.values.AsUInt(kIp));
    QCOMPARE(WriteRequestCount(*sim_), std::size_t{1});
    window_->Timer->stop();
  }

  void unappliableSectionDisablesApply_data() {
    QTest::addColumn<QString>("sectionName");  // empty: the device's own
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason");
    QTest::newRow("other model") << "ZEL-8 Rack  SN-1"
                                 << ""
                                 << ""
                                 << "is for a 'ZEL-8 Rack'";
    QTest::newRow("model code") << ""
                                << "13"
                                << "99"
                                << "holds model code 99";
    QTest::newRow("bad value") << ""
                               << "4"
                               << "eighty"
                               << "expected a whole number";
    QTest::newRow("unknown tag") << ""
                                 << "998"
                                 << "1"
                                 << "'998' is not a tag";
  }
  void unappliableSectionDisablesApply() {
    QFETCH(QString, sectionName);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    ops::TCfgSection section = SavedSection();
    if (!sectionName.isEmpty()) section.name = sectionName.toStdString();
    // The key's value is replaced where the section has it: a key given twice is refused first.
    if (!key.isEmpty()) {
      auto it = std::find_if(section.entries.begin(), section.entries.end(),
                             [&](const auto& e) { return e.first == key.toStdString(); });
      if (it != section.entries.end())
        it->second = value.toStdString();
      else
        section.entries.emplace_back(key.toStdString(), value.toStdString());
    }
    const QString file = QString::fromStdString(dir_.File("bad.cfg"));
    WriteCfg(file, {section});
    sim_->SetValue(0, kInterval, std::uint32_t{99});

    QString status;
    QVERIFY(Restore(file, [&](TRestoreForm& form) {
      status = form.StatusLabel->text();
      QVERIFY(!form.ApplyBtn->isEnabled());
      QCOMPARE(form.DiffGrid->rowCount(), 0);
      form.ApplyClick();
    }));
    QVERIFY2(status.contains(reason), qPrintable(status));
    QCOMPARE(sim_->RequestCount(), std::size_t{0});  // checked before anything is sent
    QVERIFY(!window_->Scanning());
  }

  void untickedRowIsLeftAsItIs() {
    const TZEL before = sim_->Snapshot(0);
    sim_->SetValue(0, kGateway, std::uint32_t{0x0A090807});
    sim_->SetValue(0, kInterval, std::uint32_t{99});
    QVERIFY(Restore(saved_, [](TRestoreForm& form) {
      QCOMPARE(RowTags(form), (std::vector<int>{kGateway, kInterval}));
      form.DiffGrid->item(1, TRestoreForm::ColTag)->setCheckState(Qt::Unchecked);
      QCOMPARE(form.TickedTags(), std::vector<int>{kGateway});
      form.ApplyBtn->click();
      QCOMPARE(RowTags(form), std::vector<int>{kInterval});  // still differs
      // Left unticked by the user: not offered again by the next Apply.
      QCOMPARE(form.TickedTags(), std::vector<int>{});
      QVERIFY(!form.ApplyBtn->isEnabled());
      form.DiffGrid->item(0, TRestoreForm::ColTag)->setCheckState(Qt::Checked);
      QVERIFY(form.ApplyBtn->isEnabled());
    }));
    QCOMPARE(sim_->Snapshot(0).values.AsUInt(kGateway), before.values.AsUInt(kGateway));
    QCOMPARE(sim_->Snapshot(0).values.AsUInt(kInterval), 99u);
    window_->Timer->stop();
  }

  void unreadableFileShowsWhyAndOpensNothing() {
    QVERIFY(!Restore(QString::fromStdString(dir_.File("missing.cfg")), [](TRestoreForm&) {}));
    QCOMPARE(ui_.messages.size(), 1);
    QVERIFY(ui_.messages.front().contains(QStringLiteral("missing.cfg")));
    QVERIFY(!Restore(QString(), [](TRestoreForm&) {}));  // chooser cancelled
    QCOMPARE(ui_.messages.size(), 1);
    QCOMPARE(sim_->RequestCount(), std::size_t{0});
  }
};

QTEST_MAIN(RestoreConfigTest)
#include "RestoreConfigTest.moc"
