// The main window by keyboard: Tab walks through the tool bar, File > Upgrade (Ctrl+U) does
// what the Upgrade button does, and Enter on a row opens Configure. Devices come from the
// simulator on 127.0.0.1; the property dialog is a fake that only counts.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
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

class TCountingDialog : public TPropertyDialog {
 public:
  explicit TCountingDialog(int& executed) : executed_(executed) {}
  void SetDevice(TSession&, int) override {}
  int Execute() override {
    ++executed_;
    return 2;  // cancelled: no rescan
  }

 private:
  int& executed_;
};

}  // namespace

class KeyboardPathsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<sim::TSimulator> sim_;
  test::TUiRecorder ui_;
  int executed_ = 0;

  TExchangeSettings Aimed() const { return testing::SettingsFor(*sim_); }

  TModelFactories Factories() {
    const auto factory = [this](QWidget*) -> std::unique_ptr<TPropertyDialog> {
      return std::make_unique<TCountingDialog>(executed_);
    };
    return {factory, factory, factory};
  }

 private slots:
  void init() {
    sim::TSimOptions options;
    options.models = {kModelZel1, kModelZel4};
    sim_ = testing::StartLoopbackSimulator(options);
    executed_ = 0;
  }
  void cleanup() {
    sim_.reset();
    ui::ResetUiHooks();
  }

  void tabReachesTheToolBar() {
    TFormMain form(Aimed(), Factories());
    ui_.Install();
    Discover(form.Session.settings, MergeInto(form.Session));
    form.StringGridSelectCell(0, 1);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.StringGrid->setFocus();
    QList<QWidget*> reached;
    for (int i = 0; i < 12; ++i) {
      QWidget* focus = QApplication::focusWidget();
      if (!focus) break;
      reached << focus;
      QTest::keyClick(focus, Qt::Key_Tab);
    }
    for (QToolButton* b : {form.ScanButton, form.ConfigButton, form.WebButton, form.UpgradeButton})
      QVERIFY2(reached.contains(b), qPrintable(b->objectName()));
    QVERIFY(reached.contains(form.StringGrid));
    // Space on the focused Configure button runs it.
    form.ConfigButton->setFocus();
    QTest::keyClick(form.ConfigButton, Qt::Key_Space);
    QCOMPARE(executed_, 1);
  }

  void upgradeHasAMenuEntryWithShortcutAndTooltip() {
    TFormMain form(Aimed(), Factories());
    ui_.Install();
    int upgrades = 0;
    form.SetUpgradeHandler([&upgrades](auto&&...) { ++upgrades; });
    Discover(form.Session.settings, MergeInto(form.Session));
    form.StringGridSelectCell(0, 1);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.UpgradeMenu);
    const auto holders = form.UpgradeMenu->associatedObjects();
    QVERIFY(std::any_of(holders.begin(), holders.end(), [&form](QObject* o) {
      auto* menu = qobject_cast<QMenu*>(o);
      return menu && menu->actions().contains(form.RestoreConfigMenu);  // the File menu
    }));
    QCOMPARE(form.UpgradeMenu->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
    QVERIFY(!form.UpgradeMenu->toolTip().isEmpty());
    QCOMPARE(form.UpgradeButton->toolTip(), form.UpgradeMenu->toolTip());
    QVERIFY(form.UpgradeMenu->toolTip().contains(QStringLiteral("Ctrl+U")));

    QTest::keyClick(&form, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(upgrades, 1);
    form.UpgradeMenu->trigger();
    QCOMPARE(upgrades, 2);
    // A disabled button is not run through its menu entry either.
    form.UpgradeButton->setEnabled(false);
    form.UpgradeMenu->trigger();
    QCOMPARE(upgrades, 2);
  }

  void enterOnARowOpensConfigure() {
    TFormMain form(Aimed(), Factories());
    ui_.Install();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.StringGrid->setFocus();
    QTest::keyClick(form.StringGrid, Qt::Key_Return);  // no device yet: nothing
    QCOMPARE(executed_, 0);
    Discover(form.Session.settings, MergeInto(form.Session));
    form.StringGridSelectCell(0, 1);
    form.StringGrid->setFocus();
    QTest::keyClick(form.StringGrid, Qt::Key_Down);
    QTest::keyClick(form.StringGrid, Qt::Key_Return);
    QCOMPARE(executed_, 1);
    QTest::keyClick(form.StringGrid, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(executed_, 2);
  }
};

QTEST_MAIN(KeyboardPathsTest)
#include "KeyboardPathsTest.moc"
