// The Supervision page inside a real property dialog: layout, the crossed delay tags, spin box
// bounds, and the enabled states that follow the method byte through the binding passes.
#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QSpinBox>
#include <QtTest>

#include "PageTestSupport.h"
#include "pages/BindingTag.h"
#include "pages/Superv.h"
#include "support/DataRows.h"

using namespace velkaro;
using velkaro::test::Part;
using velkaro::test::THost;

namespace {

TSuperv* MakePage(THost& host, int tagBase = 20, int pageIndex = 1,
                  const QString& caption = QStringLiteral("Supervision")) {
  return new TSuperv(&host, host.PageControl, caption, pageIndex, tagBase);
}

// Every widget inside `root`, the root included, has the given effective state.
bool AllEnabled(QWidget* root, bool enabled) {
  if (root->isEnabled() != enabled) return false;
  const QList<QWidget*> inside = root->findChildren<QWidget*>();
  return std::all_of(inside.begin(), inside.end(),
                     [enabled](QWidget* w) { return w->isEnabled() == enabled; });
}

struct TExpected {
  bool reboot, interval, port;
};

void CheckStates(TSuperv* page, TExpected e) {
  QCOMPARE(AllEnabled(page->RebootBox(), e.reboot), true);
  QCOMPARE(AllEnabled(page->Interval(), e.interval), true);
  QCOMPARE(page->IntervalLabel()->isEnabled(), e.interval);
  QCOMPARE(page->PortLabel()->isEnabled(), e.port);
  QCOMPARE(AllEnabled(page->Port(), e.port), true);
  // Never touched by the method boxes.
  QVERIFY(AllEnabled(page->EquipmentBox(), true));
  QVERIFY(page->Ping()->isEnabled());
  QVERIFY(page->Scan()->isEnabled());
  QVERIFY(page->MethodBox()->isEnabled());
}

// Designed places on the one-outlet page at the dialog's font.
const velkaro::test::TWidgetRow<TSuperv, QRect> kGeometries[] = {
    {"equipment box", Part<&TSuperv::EquipmentBox>, {8, 4, 305, 53}},
    {"method box", Part<&TSuperv::MethodBox>, {8, 64, 305, 97}},
    {"reboot box", Part<&TSuperv::RebootBox>, {8, 168, 305, 117}},
};

const velkaro::test::TWidgetRow<TSuperv, QPoint> kPositions[] = {
    {"address label", Part<&TSuperv::AddressLabel>, {35, 28}},
    {"address", Part<&TSuperv::Address>, {128, 24}},
    {"ping", Part<&TSuperv::Ping>, {128, 22}},
    {"scan", Part<&TSuperv::Scan>, {128, 46}},
    {"port label", Part<&TSuperv::PortLabel>, {173, 48}},
    {"port", Part<&TSuperv::Port>, {210, 44}},
    {"interval label", Part<&TSuperv::IntervalLabel>, {8, 72}},
    {"interval", Part<&TSuperv::Interval>, {210, 68}},
    {"failure count", Part<&TSuperv::FailureCount>, {210, 24}},
    {"reboot delay", Part<&TSuperv::RebootDelay>, {210, 60}},
    {"first request delay", Part<&TSuperv::FirstRequestDelay>, {210, 84}},
};

// Tags of the one-outlet page (base 20); the reboot delays bind crossed.
const velkaro::test::TWidgetRow<TSuperv, int> kTags[] = {
    {"address", Part<&TSuperv::Address>, 20},
    {"ping", Part<&TSuperv::Ping>, 21},
    {"scan", Part<&TSuperv::Scan>, 21 + 0x1000},
    {"port", Part<&TSuperv::Port>, 22},
    {"interval", Part<&TSuperv::Interval>, 23},
    {"failure count", Part<&TSuperv::FailureCount>, 24},
    {"reboot delay", Part<&TSuperv::RebootDelay>, 26},
    {"first request delay", Part<&TSuperv::FirstRequestDelay>, 25},
    {"reboot box", Part<&TSuperv::RebootBox>, 0},
    {"port label", Part<&TSuperv::PortLabel>, 0},
};

const struct {
  const char* name;
  QSpinBox* (TSuperv::*spin)() const;
  const char* suffix;
} kSpins[] = {{"port", &TSuperv::Port, ""},
              {"interval", &TSuperv::Interval, " sec"},
              {"failure count", &TSuperv::FailureCount, ""},
              {"reboot delay", &TSuperv::RebootDelay, " sec"},
              {"first request delay", &TSuperv::FirstRequestDelay, " sec"}};

void TypeAndLeave(QSpinBox* spin, const QString& typed) {
  QLineEdit* edit = spin->findChild<QLineEdit*>();
  QVERIFY(edit);
  edit->selectAll();
  QTest::keyClicks(spin, typed);
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(spin, &out);
}

}  // namespace

class SupervTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

  void layout() {
    THost host;
    TSuperv* page = MakePage(host);
    QCOMPARE(host.PageControl->indexOf(page), 1);
    QCOMPARE(host.PageControl->tabText(1), QStringLiteral("Supervision"));

    QCOMPARE(page->EquipmentBox()->title(), QStringLiteral(" Equipment to supervise "));
    QCOMPARE(page->AddressLabel()->text(), QStringLiteral("IP Address :"));
    QCOMPARE(page->Address()->parentWidget(), page->EquipmentBox());
    QCOMPARE(page->MethodBox()->title(), QStringLiteral(" Supervision Method "));
    QCOMPARE(page->Ping()->width(), 16);
    QVERIFY(page->Ping()->text().isEmpty());
    QCOMPARE(page->PortLabel()->text(), QStringLiteral("Port :"));
    QCOMPARE(page->Port()->width(), 87);
    QCOMPARE(page->IntervalLabel()->text(), QStringLiteral("Interval between Requests :"));
    QCOMPARE(page->RebootBox()->title(), QStringLiteral(" Reboot "));
    for (QSpinBox* s : {page->FailureCount(), page->RebootDelay(), page->FirstRequestDelay()})
      QCOMPARE(s->parentWidget(), page->RebootBox());

    QStringList texts;
    for (QLabel* l : page->RebootBox()->findChildren<QLabel*>()) texts << l->text();
    QCOMPARE(texts, QStringList({QStringLiteral("Number of unsuccessful Requests before Reboot :"),
                                 QStringLiteral("Delay before Reboot :"),
                                 QStringLiteral("Delay before First Request after Reboot :")}));
    auto* wrapped = page->RebootBox()->findChildren<QLabel*>().first();
    QVERIFY(wrapped->wordWrap());
    QCOMPARE(wrapped->geometry().topLeft(), QPoint(8, 20));
    QCOMPARE(wrapped->width(), 122);
  }

  void geometriesAsDesigned_data() { test::AddRows(kGeometries); }
  void geometriesAsDesigned() {
    THost host;
    TSuperv* page = MakePage(host);
    const auto& row = test::FetchRow(kGeometries);
    QCOMPARE(row.widget(*page)->geometry(), row.expected);
  }

  void positionsAsDesigned_data() { test::AddRows(kPositions); }
  void positionsAsDesigned() {
    THost host;
    TSuperv* page = MakePage(host);
    const auto& row = test::FetchRow(kPositions);
    QCOMPARE(row.widget(*page)->pos(), row.expected);
  }

  // A wider font: labels wrap before the control on their right, and the long Reboot label
  // takes the width up to the spin boxes rather than run into the label below.
  void wideFontKeepsLabelsClear() {
    THost host(12);
    TSuperv* page = MakePage(host);
    const auto right = [](QWidget* w) { return w->geometry().right(); };
    for (QLabel* l : page->RebootBox()->findChildren<QLabel*>()) {
      QVERIFY(right(l) < 210);
      QCOMPARE(l->x(), 8);
    }
    for (QLabel* l : page->MethodBox()->findChildren<QLabel*>())
      if (l != page->PortLabel() && l != page->IntervalLabel()) QVERIFY(right(l) < 128);
    QVERIFY(right(page->IntervalLabel()) < 210);
    QVERIFY(right(page->AddressLabel()) < 128);
    const QList<QLabel*> reboot = page->RebootBox()->findChildren<QLabel*>();
    QCOMPARE(reboot.size(), 3);
    QVERIFY(reboot[0]->width() > 122);
    QVERIFY(reboot[0]->geometry().bottom() < reboot[1]->y());
    // The designed places stay.
    QCOMPARE(reboot[1]->pos(), QPoint(8, 56));
    QCOMPARE(reboot[2]->pos(), QPoint(8, 88));
    QCOMPARE(page->RebootDelay()->geometry().topLeft(), QPoint(210, 60));
  }

  void builtTickedAndEnabled() {
    THost host;
    TSuperv* page = MakePage(host);
    QVERIFY(page->Ping()->isChecked());
    QVERIFY(page->Scan()->isChecked());
    CheckStates(page, {true, true, true});
    QVERIFY(page->Address()->Text().isEmpty());
  }

  void spinBoxesRangeSuffixAndStart_data() { test::AddRows(kSpins); }
  void spinBoxesRangeSuffixAndStart() {
    THost host;
    TSuperv* page = MakePage(host);
    const auto& row = test::FetchRow(kSpins);
    QSpinBox* spin = (page->*row.spin)();
    QCOMPARE(spin->minimum(), 1);
    QCOMPARE(spin->maximum(), 65535);
    QCOMPARE(spin->singleStep(), 1);
    QCOMPARE(spin->value(), 1);
    QCOMPARE(spin->suffix(), QString::fromLatin1(row.suffix));
    QCOMPARE(spin->text(), QStringLiteral("1") + QString::fromLatin1(row.suffix));
    spin->setValue(0);
    QCOMPARE(spin->value(), 1);
    spin->setValue(70000);
    QCOMPARE(spin->value(), 65535);
    spin->stepUp();
    QCOMPARE(spin->value(), 65535);
  }

  void typedValuesAreCorrectedToTheNearerBound() {
    THost host;
    TSuperv* page = MakePage(host);
    QSpinBox* interval = page->Interval();
    TypeAndLeave(interval, QStringLiteral("70000"));
    QCOMPARE(interval->value(), 65535);
    QCOMPARE(interval->text(), QStringLiteral("65535 sec"));
    TypeAndLeave(interval, QStringLiteral("0"));
    QCOMPARE(interval->value(), 1);
    TypeAndLeave(interval, QStringLiteral("300"));
    QCOMPARE(interval->value(), 300);
    TypeAndLeave(page->Port(), QStringLiteral("99999999999"));
    QCOMPARE(page->Port()->value(), 65535);
    TypeAndLeave(page->Port(), QStringLiteral("8080"));
    QCOMPARE(page->Port()->value(), 8080);
    // Letters are refused as they are typed.
    TypeAndLeave(page->FailureCount(), QStringLiteral("x"));
    QCOMPARE(page->FailureCount()->value(), 1);
  }

  void tagsOfTheOneOutletPage_data() { test::AddRows(kTags); }
  void tagsOfTheOneOutletPage() {
    THost host;
    TSuperv* page = MakePage(host, 20);
    const auto& row = test::FetchRow(kTags);
    QCOMPARE(TagOf(row.widget(*page)), row.expected);
  }

  // The third page of the four-outlet model: the reboot delay binds 48, the first-request
  // delay 47, and loading and storing follow that.
  void thirdFourOutletPageCrossesTheDelays() {
    THost host;
    TSuperv* page = MakePage(host, 42, 1, QStringLiteral("Supervision 3"));
    QCOMPARE(TagOf(page->RebootDelay()), 48);
    QCOMPARE(TagOf(page->FirstRequestDelay()), 47);
    host.Values().Set(42, 0xC0A8000Au);
    host.Values().Set(43, std::uint32_t{0x03});
    host.Values().Set(44, std::uint32_t{80});
    host.Values().Set(45, std::uint32_t{30});
    host.Values().Set(46, std::uint32_t{3});
    host.Values().Set(47, std::uint32_t{120});
    host.Values().Set(48, std::uint32_t{15});
    host.LoadControls();
    QCOMPARE(page->Address()->Text(), QStringLiteral("192.168.0.10"));
    QCOMPARE(page->Port()->value(), 80);
    QCOMPARE(page->Interval()->value(), 30);
    QCOMPARE(page->FailureCount()->value(), 3);
    QCOMPARE(page->RebootDelay()->value(), 15);
    QCOMPARE(page->FirstRequestDelay()->value(), 120);
    page->RebootDelay()->setValue(25);
    page->FirstRequestDelay()->setValue(240);
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(48), 25u);
    QCOMPARE(host.Values().AsUInt(47), 240u);
    QCOMPARE(host.Values().AsUInt(42), 0xC0A8000Au);
    QCOMPARE(host.Values().AsUInt(43), 0x03u);
    QCOMPARE(host.Values().AsUInt(44), 80u);
  }

  void methodByteSetsTheEnabledStates_data() {
    QTest::addColumn<int>("method");
    QTest::addColumn<bool>("reboot");
    QTest::addColumn<bool>("port");
    QTest::newRow("0x00 none") << 0x00 << false << false;
    QTest::newRow("0x01 ping") << 0x01 << true << false;
    QTest::newRow("0x02 scan") << 0x02 << true << true;
    QTest::newRow("0x03 both") << 0x03 << true << true;
    QTest::newRow("0xFC none, other bits set") << 0xFC << false << false;
  }
  void methodByteSetsTheEnabledStates() {
    QFETCH(int, method);
    QFETCH(bool, reboot);
    QFETCH(bool, port);
    THost host;
    TSuperv* page = MakePage(host);
    host.Values().Set(21, static_cast<std::uint32_t>(method));
    host.LoadControls();
    QCOMPARE(page->Ping()->isChecked(), (method & 1) != 0);
    QCOMPARE(page->Scan()->isChecked(), (method & 2) != 0);
    CheckStates(page, {reboot, reboot, port});
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(21), static_cast<std::uint32_t>(method));
  }

  // After everything was disabled, a later load enables the whole group again, down to the
  // labels and the spin boxes' inner edits.
  void reloadReenablesRecursively() {
    THost host;
    TSuperv* page = MakePage(host);
    host.Values().Set(21, std::uint32_t{0x00});
    host.LoadControls();
    CheckStates(page, {false, false, false});
    host.Values().Set(21, std::uint32_t{0x02});
    host.LoadControls();
    CheckStates(page, {true, true, true});
    host.Values().Set(21, std::uint32_t{0x01});
    host.LoadControls();
    CheckStates(page, {true, true, false});
  }

  void clicksRunTheHandler() {
    THost host;
    TSuperv* page = MakePage(host);
    page->Scan()->click();
    CheckStates(page, {true, true, false});
    page->Ping()->click();
    CheckStates(page, {false, false, false});
    page->Scan()->click();
    CheckStates(page, {true, true, true});
  }

  void storingKeepsTheOtherBits() {
    THost host;
    TSuperv* page = MakePage(host);
    host.Values().Set(21, std::uint32_t{0xA5});
    host.LoadControls();
    page->Ping()->click();
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(21), 0xA4u);
    page->Scan()->click();
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(21), 0xA6u);
  }

  void zeroIsShownAndStoredAsOne() {
    THost host;
    TSuperv* page = MakePage(host);
    host.Values().Set(22, std::uint32_t{0});
    host.Values().Set(23, std::uint32_t{0});
    host.Values().Set(24, std::uint32_t{100000});
    host.LoadControls();
    QCOMPARE(page->Port()->value(), 1);
    QCOMPARE(page->Interval()->text(), QStringLiteral("1 sec"));
    QCOMPARE(page->FailureCount()->value(), 65535);
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(22), 1u);
    QCOMPARE(host.Values().AsUInt(23), 1u);
    QCOMPARE(host.Values().AsUInt(24), 65535u);
  }

  void fourPagesInsertAtTheirIndices() {
    THost host;
    // Stand-ins for the form description's pages up to the four-outlet Options page.
    for (int i = 1; i <= 4; ++i)
      host.InsertPage(host.PageControl, new QWidget, QStringLiteral("P%1").arg(i), i);
    TSuperv* pages[4];
    for (int n = 1; n <= 4; ++n)
      pages[n - 1] =
          MakePage(host, 28 + 7 * (n - 1), 4 + n, QStringLiteral("Supervision %1").arg(n));
    for (int n = 1; n <= 4; ++n) {
      QCOMPARE(host.PageControl->indexOf(pages[n - 1]), 4 + n);
      QCOMPARE(host.PageControl->tabText(4 + n), QStringLiteral("Supervision %1").arg(n));
      QCOMPARE(TagOf(pages[n - 1]->Address()), 28 + 7 * (n - 1));
    }
    // The tabs follow the dialog's General-only state until the options are read.
    QVERIFY(!host.PageControl->isTabVisible(5));
  }

  void everyControlIsListedAndLeavesWithThePage() {
    THost host;
    const std::size_t before = host.Components().size();
    TSuperv* page = MakePage(host);
    QVERIFY(test::ListedInCreationOrder(host, page));
    QCOMPARE(host.Components().size(), before + 1 + 3 + 2 + 8 + 6);
    QPointer<QSpinBox> spin = page->RebootDelay();
    delete page;
    QVERIFY(spin.isNull());
    QCOMPARE(host.Components().size(), before);
    host.LoadControls();
  }
};

QTEST_MAIN(SupervTest)
#include "SupervTest.moc"
