// The modal driver the GUI tests share: it acts once on the window it waits for, and a window
// that never shows, shows when it must not, or stays open fails the test instead of hanging it.
#include <QDialog>
#include <QElapsedTimer>
#include <QTest>
#include <chrono>

#include "support/ModalDriver.h"

using velkaro::test::TModalDriver;
using namespace std::chrono_literals;

class ModalDriverTest : public QObject {
  Q_OBJECT

 private slots:
  void actsOnceOnTheDialogItWaitsFor() {
    QDialog other;
    QDialog dialog;
    int calls = 0;
    const TModalDriver<QDialog> driver(
        [&](QDialog& shown) {
          ++calls;
          QCOMPARE(&shown, &dialog);
          shown.accept();
        },
        {.only = &dialog});
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(calls, 1);
    QVERIFY(driver.Met());
    QVERIFY(!driver.OpenAfterAction());
  }

  void closesWhatTheActionLeftOpenWhenAsked() {
    QDialog dialog;
    const TModalDriver<QDialog> driver([](QDialog&) {}, {.closeAfterAction = true});
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(driver.OpenAfterAction());
  }

  void windowThatNeverShowsFails() {
    {
      const TModalDriver<QDialog> driver([](QDialog&) {});
      QEXPECT_FAIL("", "nothing was shown", Continue);
    }
  }

  void windowLeftOpenIsClosedAtTheLimitAndFails() {
    QDialog dialog;
    QElapsedTimer elapsed;
    elapsed.start();
    int result = -1;
    {
      const TModalDriver<QDialog> driver([](QDialog&) {}, {.limit = 300ms});
      result = dialog.exec();
      QEXPECT_FAIL("", "the action left it open", Continue);
    }
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(elapsed.elapsed() >= 300);
    QVERIFY(elapsed.elapsed() < 5000);
  }

  void anotherWindowIsNotMetAndIsClosedAtTheLimit() {
    QDialog expected;
    QDialog shown;
    int calls = 0;
    {
      const TModalDriver<QDialog> driver([&](QDialog&) { ++calls; },
                                         {.only = &expected, .limit = 300ms});
      QCOMPARE(shown.exec(), int(QDialog::Rejected));
      QEXPECT_FAIL("", "the expected dialog never showed", Continue);
    }
    QCOMPARE(calls, 0);
  }

  void windowThatMustNotShowFails() {
    QDialog dialog;
    {
      const TModalDriver<QDialog> driver([](QDialog& d) { d.reject(); }, {.mustAppear = false});
      QCOMPARE(dialog.exec(), int(QDialog::Rejected));
      QEXPECT_FAIL("", "it showed", Continue);
    }
  }
};

QTEST_MAIN(ModalDriverTest)
#include "ModalDriverTest.moc"
