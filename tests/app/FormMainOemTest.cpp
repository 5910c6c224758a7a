// The main window of a program whose version block selects an OEM variant without upgrade
// (build 2): the Upgrade button is hidden and disabled, the maker addresses are empty.
#include <QApplication>
#include <QTest>
#include <QToolButton>

#include "app/FormMain.h"
#include "support/LoopbackSimulator.h"
#include "version/Oem.h"

using namespace velkaro;

class FormMainOemTest : public QObject {
  Q_OBJECT

 private slots:
  void upgradeHiddenForBuildTwo() {
    QApplication::setApplicationName(QStringLiteral("Velkaro"));
    TFormMain form(testing::NowhereSettings());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.Session.settings.oemCode, std::uint16_t{5157});
    QVERIFY(!form.Session.oem.upgradeOffered);
    QVERIFY(form.Session.oem.makerWebAddress.empty());
    QVERIFY(form.Session.oem.makerEmail.empty());
    QVERIFY(!form.UpgradeMenu->isVisible());
    QVERIFY(!form.UpgradeButton->isVisible());
    QVERIFY(!form.UpgradeButton->isEnabled());
    QVERIFY(form.ScanButton->isVisible());
    int calls = 0;
    form.SetUpgradeHandler([&calls](auto&&...) { ++calls; });
    QTest::mouseClick(form.UpgradeButton, Qt::LeftButton);
    QCOMPARE(calls, 0);
  }
};

QTEST_MAIN(FormMainOemTest)
#include "FormMainOemTest.moc"
