// Escape, the close box and reject() leave a busy dialog open; done() and an idle dialog close.
#include <QTest>

#include "ui/BusyDialog.h"

using velkaro::ui::TBusyDialog;

namespace {

class TWorkDialog : public TBusyDialog {
 public:
  bool busy = false;
  bool Busy() const override { return busy; }
};

}  // namespace

class BusyDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void closingWaitsForTheWork_data() {
    QTest::addColumn<int>("way");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("closes");
    const char* ways[] = {"reject", "close", "escape", "done"};
    for (int way = 0; way < 4; ++way) {
      QTest::addRow("%s idle", ways[way]) << way << false << true;
      QTest::addRow("%s busy", ways[way]) << way << true << (way == 3);
    }
  }

  void closingWaitsForTheWork() {
    QFETCH(int, way);
    QFETCH(bool, busy);
    QFETCH(bool, closes);
    TWorkDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.busy = busy;
    if (way == 0) dialog.reject();
    if (way == 1) dialog.close();
    if (way == 2) QTest::keyClick(&dialog, Qt::Key_Escape);
    if (way == 3) dialog.done(QDialog::Rejected);
    QCOMPARE(dialog.isVisible(), !closes);
  }
};

QTEST_MAIN(BusyDialogTest)
#include "BusyDialogTest.moc"
