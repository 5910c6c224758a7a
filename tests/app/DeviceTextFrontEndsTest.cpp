// The window and velkaro-cli read and write a device's texts alike: a name set by one shows the
// same characters in the other, and the device holds its Windows-1252 bytes.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "dialog/DialogFactories.h"
#include "dialog/ZelForm.h"
#include "pages/BindingTag.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "support/ChildProcess.h"
#include "support/LoopbackSimulator.h"
#include "support/ModalDriver.h"
#include "support/UiRecorder.h"

using namespace velkaro;

namespace {

constexpr int kScanTimeoutMs = 8000;

QLineEdit* NameEdit(const TZelForm& form) {
  for (QWidget* w : form.Components())
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit && TagOf(edit) == 7) return edit;
  return nullptr;
}

}  // namespace

class DeviceTextFrontEndsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<sim::TSimulator> sim_;
  test::TUiRecorder ui_;

  TExchangeSettings Aimed() const { return testing::SettingsFor(*sim_); }

  testing::TProgramRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(),
                {VELKARO_CLI_PATH, "--target",
                 std::string(testing::kLoopbackText) + ":" + std::to_string(sim_->Port())});
    return testing::RunProgram(args);
  }

  std::string DeviceIp() const { return IpToText(sim_->Snapshot(0).values.AsUInt(2)); }

  // A scan of the window, then what its grid and its Configure dialog show as the name.
  std::pair<QString, QString> NameInTheWindow(TFormMain& form) {
    form.Scan();
    if (!QTest::qWaitFor([&] { return !form.Scanning(); }, kScanTimeoutMs)) return {};
    form.StringGrid->setCurrentCell(0, 0);
    QString inDialog;
    const test::TModalDriver<TZelForm> driver([&](TZelForm& dialog) {
      if (QLineEdit* edit = NameEdit(dialog)) inDialog = edit->text();
      dialog.CancelBtn->click();
    });
    form.Config();
    return {form.StringGrid->CellText(0, 0), inDialog};
  }

 private slots:
  void initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Velkaro"));
    sim::TSimOptions options;
    options.models = {kModelZel1};
    options.count = 1;
    sim_ = testing::StartLoopbackSimulator(options);
  }

  void init() {
    ui_ = {};
    ui_.Install();
  }

  void cleanup() { ui::ResetUiHooks(); }

  void cleanupTestCase() { sim_.reset(); }

  void nameSetByTheCliShowsInTheWindow() {
    const QString name = QStringLiteral("Caf\u00e9 \u20ac \u201cA\u201d");
    const testing::TProgramRun set =
        Cli({"--rounds", "1", "set", DeviceIp(), "7=" + name.toStdString()});
    QCOMPARE(set.exitCode, 0);
    QCOMPARE(sim_->Snapshot(0).values.AsText(7), std::string("Caf\xE9 \x80 \x93"
                                                             "A\x94"));
    TFormMain form(Aimed(), {MakeZel1Factory(), MakeZel4Factory(), MakeZel8Factory()});
    const auto [inGrid, inDialog] = NameInTheWindow(form);
    QCOMPARE(inGrid, name);
    QCOMPARE(inDialog, name);
    QVERIFY(ui_.messages.isEmpty());
  }

  void nameTypedInTheWindowShowsInTheCli() {
    const QString name = QStringLiteral("Stra\u00dfe \u2030 \u0160");
    TFormMain form(Aimed(), {MakeZel1Factory(), MakeZel4Factory(), MakeZel8Factory()});
    form.Scan();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), kScanTimeoutMs);
    form.StringGrid->setCurrentCell(0, 0);
    const test::TModalDriver<TZelForm> driver([&](TZelForm& dialog) {
      QLineEdit* edit = NameEdit(dialog);
      QVERIFY(edit);
      dialog.AvanceButton->click();  // the name is written with the option pages only
      // Typed as text-carrying key events: QTest::keyClicks only knows ASCII keys.
      edit->selectAll();
      for (const QChar c : name)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
      QCOMPARE(edit->text(), name);
      dialog.OKBtn->click();
    });
    form.Config();
    QVERIFY(ui_.messages.isEmpty());
    QCOMPARE(sim_->Snapshot(0).values.AsText(7), std::string("Stra\xDF"
                                                             "e \x89 \x8A"));
    const testing::TProgramRun read = Cli({"--json", "--rounds", "1", "read", DeviceIp()});
    QCOMPARE(read.exitCode, 0);
    const auto doc = nlohmann::json::parse(read.out);
    QCOMPARE(QString::fromStdString(doc["values"]["7"].get<std::string>()), name);
  }
};

QTEST_MAIN(DeviceTextFrontEndsTest)
#include "DeviceTextFrontEndsTest.moc"
