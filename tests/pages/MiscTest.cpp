// The Miscellaneous page inside a real property dialog: labels numbered only for two or more
// rows, read-only counter boxes outside Tab navigation, and their tags.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include "PageTestSupport.h"
#include "pages/BindingTag.h"
#include "pages/Misc.h"
#include "support/DataRows.h"

using namespace velkaro;
using velkaro::test::Part;
using velkaro::test::THost;

namespace {

TMisc* MakePage(THost& host, int tagBase, int rows, int first = 1, int pageIndex = 1) {
  return new TMisc(&host, host.PageControl, QStringLiteral("Miscellaneous"), pageIndex, tagBase,
                   rows, first);
}

QWidget* FirstRowLabel(TMisc& page) {
  return page.Row(0).label;
}
QWidget* FirstRowValue(TMisc& page) {
  return page.Row(0).value;
}

// The one-row page with tag base 71, at the dialog's font.
const velkaro::test::TWidgetRow<TMisc, QRect> kGeometries[] = {
    {"group", Part<&TMisc::Group>, {8, 4, 305, 102}},
    {"power up", Part<&TMisc::PowerUp>, {180, 24, 100, 21}},
    {"switching", FirstRowValue, {180, 64, 100, 21}},
};

const velkaro::test::TWidgetRow<TMisc, QPoint> kPositions[] = {
    {"power up label", Part<&TMisc::PowerUpLabel>, {16, 28}},
    {"switching label", FirstRowLabel, {16, 68}},
};

const velkaro::test::TWidgetRow<TMisc, int> kTags[] = {
    {"power up", Part<&TMisc::PowerUp>, 71},
    {"switching", FirstRowValue, 72},
    {"switching label", FirstRowLabel, 0},
    {"group", Part<&TMisc::Group>, 0},
};

}  // namespace

class MiscTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

  void oneRowIsNotNumbered() {
    THost host;
    TMisc* page = MakePage(host, 71, 1);
    QCOMPARE(host.PageControl->tabText(host.PageControl->indexOf(page)),
             QStringLiteral("Miscellaneous"));
    QCOMPARE(page->Group()->title(), QStringLiteral(" Miscellaneous "));
    QCOMPARE(page->PowerUpLabel()->text(), QStringLiteral("Number of Power Up :"));
    QCOMPARE(page->RowCount(), 1);
    QCOMPARE(page->Row(0).label->text(), QStringLiteral("Number of OFF/ON Switching :"));
  }

  void oneRowGeometries_data() { test::AddRows(kGeometries); }
  void oneRowGeometries() {
    THost host;
    TMisc* page = MakePage(host, 71, 1);
    const auto& row = test::FetchRow(kGeometries);
    QCOMPARE(row.widget(*page)->geometry(), row.expected);
  }

  void oneRowPositions_data() { test::AddRows(kPositions); }
  void oneRowPositions() {
    THost host;
    TMisc* page = MakePage(host, 71, 1);
    const auto& row = test::FetchRow(kPositions);
    QCOMPARE(row.widget(*page)->pos(), row.expected);
  }

  void oneRowTags_data() { test::AddRows(kTags); }
  void oneRowTags() {
    THost host;
    TMisc* page = MakePage(host, 71, 1);
    const auto& row = test::FetchRow(kTags);
    QCOMPARE(TagOf(row.widget(*page)), row.expected);
  }

  void severalRowsAreNumberedFromTheFirstNumber() {
    THost host;
    TMisc* page = MakePage(host, 81, 4);
    QCOMPARE(page->Group()->height(), 174);
    for (int k = 1; k <= 4; ++k) {
      QCOMPARE(page->Row(k - 1).label->text(),
               QStringLiteral("Number of OFF/ON Switching %1:").arg(k));
      QCOMPARE(page->Row(k - 1).label->pos(), QPoint(16, 68 + 24 * (k - 1)));
      QCOMPARE(page->Row(k - 1).value->pos(), QPoint(180, 64 + 24 * (k - 1)));
      QCOMPARE(TagOf(page->Row(k - 1).value), 81 + k);
    }
    // The first number moves the labels, never the tags.
    TMisc* later = MakePage(host, 81, 2, 5);
    QCOMPARE(later->Row(0).label->text(), QStringLiteral("Number of OFF/ON Switching 5:"));
    QCOMPARE(later->Row(1).label->text(), QStringLiteral("Number of OFF/ON Switching 6:"));
    QCOMPARE(TagOf(later->Row(0).value), 82);
    QCOMPARE(TagOf(later->Row(1).value), 83);
  }

  // A wider font moves the boxes right, all alike and inside the group, so that no label
  // ends under a box.
  void wideFontMovesTheBoxesClearOfTheLabels() {
    THost host(12);
    TMisc* page = MakePage(host, 81, 4);
    QList<QLabel*> labels{page->PowerUpLabel()};
    QList<QLineEdit*> boxes{page->PowerUp()};
    for (int i = 0; i < 4; ++i) {
      labels << page->Row(i).label;
      boxes << page->Row(i).value;
    }
    const int left = boxes[0]->x();
    QVERIFY(left > 180);
    for (int i = 0; i < labels.size(); ++i) {
      QCOMPARE(labels[i]->x(), 16);
      QVERIFY(labels[i]->geometry().right() < left);
      QCOMPARE(boxes[i]->x(), left);
      QVERIFY(boxes[i]->geometry().right() < 305);
      QVERIFY(boxes[i]->width() >= 72);
      QCOMPARE(boxes[i]->y(), labels[i]->y() - 4);
    }
  }

  void eightRowsAndZeroRows() {
    THost host;
    QCOMPARE(MakePage(host, 81, 8)->Group()->height(), 270);
    TMisc* empty = MakePage(host, 81, 0);
    QCOMPARE(empty->RowCount(), 0);
    QCOMPARE(empty->Group()->height(), 78);
    QCOMPARE(MakePage(host, 81, -1)->RowCount(), 0);
  }

  void counterBoxesAreReadOnlyAndNoTabStops() {
    THost host;
    TMisc* page = MakePage(host, 81, 4);
    QList<QLineEdit*> boxes{page->PowerUp()};
    for (int i = 0; i < 4; ++i) boxes << page->Row(i).value;
    for (QLineEdit* box : boxes) {
      QVERIFY(box->isReadOnly());
      QVERIFY(!(box->focusPolicy() & Qt::TabFocus));
      QVERIFY(box->isEnabled());
    }
    host.Values().Set(81, std::uint32_t{17});
    host.LoadControls();
    QTest::keyClicks(page->PowerUp(), QStringLiteral("99"));
    QTest::keyClick(page->PowerUp(), Qt::Key_Backspace);
    QCOMPARE(page->PowerUp()->text(), QStringLiteral("17"));

    // Tab from the power-up box's neighbours never lands on a counter box.
    host.PageControl->setTabVisible(host.PageControl->indexOf(page), true);
    host.PageControl->setCurrentWidget(page);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QWidget* w = host.OKBtn;
    w->setFocus(Qt::OtherFocusReason);
    QVERIFY(page->PowerUp()->isVisible());
    int tabStops = 0;
    for (int i = 0; i < 200; ++i) {
      w = w->nextInFocusChain();
      if (w == host.OKBtn) break;
      if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
        ++tabStops;
        QVERIFY(!boxes.contains(qobject_cast<QLineEdit*>(w)));
      }
    }
    QVERIFY(tabStops >= 3);  // Cancel, Options and the tab bar at least
    host.close();
  }

  void countersLoadAsDecimalAndStoreTheSameNumbers() {
    THost host;
    TMisc* page = MakePage(host, 81, 4);
    const std::uint32_t values[] = {4000000000u, 0u, 12u, 65536u, 7u};
    for (int i = 0; i < 5; ++i) host.Values().Set(81 + i, values[i]);
    host.LoadControls();
    QCOMPARE(page->PowerUp()->text(), QStringLiteral("4000000000"));
    QCOMPARE(page->Row(0).value->text(), QStringLiteral("0"));
    QCOMPARE(page->Row(2).value->text(), QStringLiteral("65536"));
    host.StoreControls();
    for (int i = 0; i < 5; ++i) QCOMPARE(host.Values().AsUInt(81 + i), values[i]);
  }

  // The rack model's fifth page on the nested control: page index 4, tags 481-489.
  void fifthRackPageOnTheNestedControl() {
    THost host;
    QTabWidget* nested = host.AddNestedControl();
    TMisc* pages[5];
    for (int n = 1; n <= 5; ++n)
      pages[n - 1] = new TMisc(&host, nested, QStringLiteral("Device %1").arg(n), n - 1,
                               81 + 100 * (n - 1), 8, 1);
    QCOMPARE(nested->count(), 5);
    QCOMPARE(nested->indexOf(pages[4]), 4);
    QCOMPARE(nested->tabText(4), QStringLiteral("Device 5"));
    QCOMPARE(TagOf(pages[4]->PowerUp()), 481);
    for (int k = 1; k <= 8; ++k) QCOMPARE(TagOf(pages[4]->Row(k - 1).value), 481 + k);
    for (int t = 481; t <= 489; ++t) host.Values().Set(t, static_cast<std::uint32_t>(t * 10));
    host.LoadControls();
    QCOMPARE(pages[4]->Row(7).value->text(), QStringLiteral("4890"));
    QCOMPARE(pages[4]->PowerUp()->text(), QStringLiteral("4810"));
    QVERIFY(pages[3]->PowerUp()->text().isEmpty());
  }

  void everyControlIsListedAndLeavesWithThePage() {
    THost host;
    const std::size_t before = host.Components().size();
    TMisc* page = MakePage(host, 81, 4);
    QVERIFY(test::ListedInCreationOrder(host, page));
    QCOMPARE(host.Components().size(), before + 1 + 1 + 2 + 4 * 2);
    QPointer<QLineEdit> box = page->Row(3).value;
    delete page;
    QVERIFY(box.isNull());
    QCOMPARE(host.Components().size(), before);
  }
};

QTEST_MAIN(MiscTest)
#include "MiscTest.moc"
