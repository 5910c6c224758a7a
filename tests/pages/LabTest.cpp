// The rack model's Labels page inside a real property dialog: every socket row numbered, tags
// B + 2 + 4k, names loaded and stored whole, and no name longer than the wire can carry.
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>

#include "PageTestSupport.h"
#include "pages/BindingTag.h"
#include "pages/Lab.h"

using namespace velkaro;
using velkaro::test::THost;

namespace {

TLab* MakePage(THost& host, QTabWidget* control, int n, int rows = 8) {
  return new TLab(&host, control, QStringLiteral("Device %1").arg(n), n, 39 + 100 * (n - 1), rows,
                  1);
}

}  // namespace

class LabTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

  void layoutAndTags() {
    THost host;
    TLab* page = MakePage(host, host.PageControl, 1);
    QCOMPARE(page->Group()->title(), QStringLiteral(" Labels "));
    QCOMPARE(page->Group()->geometry(), QRect(8, 4, 305, 316));
    QCOMPARE(page->DeviceLabel()->text(), QStringLiteral("Device Name :"));
    QCOMPARE(page->DeviceLabel()->pos(), QPoint(35, 28));
    QCOMPARE(page->DeviceName()->geometry(), QRect(136, 24, 153, 21));
    QCOMPARE(TagOf(page->DeviceName()), 39);
    QCOMPARE(page->RowCount(), 8);
    for (int k = 0; k < 8; ++k) {
      const TLab::TRow row = page->Row(k);
      QCOMPARE(row.label->text(), QStringLiteral("Socket %1:").arg(k + 1));
      QCOMPARE(row.label->pos(), QPoint(35, 60 + 32 * k));
      QCOMPARE(row.name->geometry(), QRect(136, 56 + 32 * k, 153, 21));
      QCOMPARE(TagOf(row.name), 41 + 4 * k);
      QCOMPARE(TagOf(row.label), 0);
      QVERIFY(!row.name->isReadOnly());
    }
    QCOMPARE(TagOf(page->Group()), 0);
  }

  void oneRowIsNumberedToo() {
    THost host;
    TLab* page = new TLab(&host, host.PageControl, QStringLiteral("Device 1"), 1, 39, 1, 1);
    QCOMPARE(page->Row(0).label->text(), QStringLiteral("Socket 1:"));
    QCOMPARE(page->Group()->height(), 92);
    TLab* later = new TLab(&host, host.PageControl, QStringLiteral("Device 2"), 2, 139, 2, 9);
    QCOMPARE(later->Row(0).label->text(), QStringLiteral("Socket 9:"));
    QCOMPARE(TagOf(later->Row(0).name), 141);
    QCOMPARE(TagOf(later->Row(1).name), 145);
    TLab* empty = new TLab(&host, host.PageControl, QString(), 3, 239, 0, 1);
    QCOMPARE(empty->Group()->height(), 60);
  }

  // The rack model's five pages behind "Group" on the nested control; "Device 3" row 8 binds
  // 269.
  void rackPagesAndTag269() {
    THost host;
    QTabWidget* nested = host.AddNestedControl();
    nested->addTab(new QWidget, QStringLiteral("Group"));
    TLab* pages[5];
    for (int n = 1; n <= 5; ++n) pages[n - 1] = MakePage(host, nested, n);
    QCOMPARE(nested->count(), 6);
    QCOMPARE(nested->tabText(0), QStringLiteral("Group"));
    QCOMPARE(nested->tabText(3), QStringLiteral("Device 3"));
    TLab* third = pages[2];
    QCOMPARE(nested->indexOf(third), 3);
    QCOMPARE(third->Row(7).label->text(), QStringLiteral("Socket 8:"));
    QCOMPARE(TagOf(third->Row(7).name), 269);
    QCOMPARE(TagOf(third->DeviceName()), 239);

    host.Values().Set(269, std::string("Printer"));
    host.Values().Set(239, std::string("Rack B"));
    host.Values().Set(441, std::string("Fan"));
    host.LoadControls();
    QCOMPARE(third->Row(7).name->text(), QStringLiteral("Printer"));
    QCOMPARE(third->DeviceName()->text(), QStringLiteral("Rack B"));
    QCOMPARE(pages[4]->Row(0).name->text(), QStringLiteral("Fan"));
    third->Row(7).name->setText(QStringLiteral("Scanner"));
    host.StoreControls();
    QCOMPARE(host.Values().AsText(269), std::string("Scanner"));
    QCOMPARE(host.Values().AsText(239), std::string("Rack B"));
    // The tags between two socket names are not this page's.
    QVERIFY(!host.Values().Has(266));
    QVERIFY(!host.Values().Has(267));
    QVERIFY(!host.Values().Has(268));
  }

  // A name box takes what one wire item can carry: 255 characters, no more, and a name of
  // that length loads and stores whole.
  void namesStopAtTheWireLimit() {
    THost host;
    TLab* page = MakePage(host, host.PageControl, 1);
    QCOMPARE(TLab::kNameLimit, 255);
    QCOMPARE(page->DeviceName()->maxLength(), 255);
    for (int k = 0; k < 8; ++k) QCOMPARE(page->Row(k).name->maxLength(), 255);

    const std::string longest(255, 'x');
    host.Values().Set(39, longest);
    host.Values().Set(41, std::string());  // reported by the device, so its control is stored
    host.LoadControls();
    QCOMPARE(page->DeviceName()->text().size(), 255);

    QLineEdit* box = page->Row(0).name;
    QTest::keyClicks(box, QString(300, QLatin1Char('n')));
    QCOMPARE(box->text().size(), 255);
    host.StoreControls();
    QCOMPARE(host.Values().AsText(39), longest);
    QCOMPARE(host.Values().AsText(41), std::string(255, 'n'));
  }

  void everyControlIsListedAndLeavesWithThePage() {
    THost host;
    const std::size_t before = host.Components().size();
    TLab* page = MakePage(host, host.PageControl, 1);
    QVERIFY(test::ListedInCreationOrder(host, page));
    QCOMPARE(host.Components().size(), before + 1 + 1 + 2 + 8 * 2);
    QPointer<QLineEdit> box = page->Row(5).name;
    delete page;
    QVERIFY(box.isNull());
    QCOMPARE(host.Components().size(), before);
  }
};

QTEST_MAIN(LabTest)
#include "LabTest.moc"
