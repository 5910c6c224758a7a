// The Security page inside a real property dialog: layout, tags, registration, and the flag
// byte's round trips through the dialog's binding passes.
#include <QCheckBox>
#include <QGroupBox>
#include <QPointer>
#include <QRadioButton>
#include <QtTest>

#include "PageTestSupport.h"
#include "pages/BindingTag.h"
#include "pages/Security.h"

using namespace velkaro;
using velkaro::test::THost;

namespace {

TSecurity* MakePage(THost& host, int tagBase = 30, int rows = 4, int first = 1) {
  return new TSecurity(&host, host.PageControl, QStringLiteral("Security"), 1, tagBase, rows,
                       first);
}

}  // namespace

class SecurityTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

  void layoutOfTheOneOutletPage() {
    THost host;
    TSecurity* page = MakePage(host);
    QCOMPARE(host.PageControl->indexOf(page), 1);
    QCOMPARE(host.PageControl->tabText(1), QStringLiteral("Security"));
    QCOMPARE(page->Group()->title(), QStringLiteral(" IP Security Masks "));
    QCOMPARE(page->Group()->geometry(), QRect(8, 4, 305, 36 + 32 * 4));
    QCOMPARE(page->PermitHeading()->text(), QStringLiteral("Permit"));
    QCOMPARE(page->PermitHeading()->pos(), QPoint(168, 16));
    QCOMPARE(page->DenyHeading()->text(), QStringLiteral("Deny"));
    QCOMPARE(page->DenyHeading()->pos(), QPoint(208, 16));
    QCOMPARE(page->ActivatedHeading()->text(), QStringLiteral("Activated"));
    QCOMPARE(page->ActivatedHeading()->pos(), QPoint(240, 16));
    QCOMPARE(page->RowCount(), 4);
    for (int i = 0; i < 4; ++i) {
      const TSecurity::TRow row = page->Row(i);
      const int y = 36 + 32 * i;
      QCOMPARE(row.number->text(), QStringLiteral("#%1").arg(i + 1));
      QCOMPARE(row.number->pos(), QPoint(35, y));
      // The control's own default size, which follows the font.
      QCOMPARE(row.mask->geometry(), QRect(QPoint(56, y - 4), row.mask->sizeHint()));
      QVERIFY(row.mask->Text().isEmpty());
      QCOMPARE(row.radioPanel->geometry(), QRect(168, y - 6, 73, 25));
      QCOMPARE(row.permit->parentWidget(), row.radioPanel);
      QCOMPARE(row.permit->geometry(), QRect(8, 4, 17, 17));
      QVERIFY(row.permit->text().isEmpty());
      QVERIFY(!row.permit->isChecked());
      QCOMPARE(row.deny->parentWidget(), row.radioPanel);
      QCOMPARE(row.deny->geometry(), QRect(48, 4, 17, 17));
      QVERIFY(row.deny->text().isEmpty());
      QVERIFY(row.deny->isChecked());
      QCOMPARE(row.activated->parentWidget(), page->Group());
      QCOMPARE(row.activated->geometry(), QRect(256, y - 2, 17, 17));
      QVERIFY(row.activated->text().isEmpty());
      QVERIFY(!row.activated->isChecked());
    }
    QCOMPARE(page->Row(4).mask, nullptr);
    QCOMPARE(page->Row(-1).permit, nullptr);
  }

  void firstNumberChangesTheLabelsOnly() {
    THost host;
    TSecurity* page = MakePage(host, 20, 2, 7);
    QCOMPARE(page->Row(0).number->text(), QStringLiteral("#7"));
    QCOMPARE(page->Row(1).number->text(), QStringLiteral("#8"));
    QCOMPARE(TagOf(page->Row(0).mask), 20);
    QCOMPARE(TagOf(page->Row(1).mask), 22);
  }

  void tagsFollowTheBase() {
    THost host;
    TSecurity* page = MakePage(host, 30, 4);
    for (int i = 0; i < 4; ++i) {
      const TSecurity::TRow row = page->Row(i);
      QCOMPARE(TagOf(row.mask), 30 + 2 * i);
      QCOMPARE(TagOf(row.permit), 30 + 2 * i + 1 + 0x1000);
      QCOMPARE(TagOf(row.deny), 0);
      QCOMPARE(TagOf(row.activated), 30 + 2 * i + 1);
      QCOMPARE(TagOf(row.number), 0);
      QCOMPARE(TagOf(row.radioPanel), 0);
    }
    QCOMPARE(TagOf(page->Group()), 0);
    QCOMPARE(TagOf(page->PermitHeading()), 0);
    QCOMPARE(TagOf(page), 0);
  }

  // The rack model's arguments: the eighth row is numbered 8 and binds 34 and 35.
  void eighthRowOfTheRackPage() {
    THost host;
    TSecurity* page = MakePage(host, 20, 8);
    QCOMPARE(page->Group()->height(), 36 + 32 * 8);
    const TSecurity::TRow row = page->Row(7);
    QCOMPARE(row.number->text(), QStringLiteral("#8"));
    QCOMPARE(TagOf(row.mask), 34);
    QCOMPARE(TagOf(row.activated), 35);
    QCOMPARE(DecodeBindingTag(TagOf(row.permit)).parameter, 35);
    QCOMPARE(DecodeBindingTag(TagOf(row.permit)).field, 1);
    QCOMPARE(DecodeBindingTag(TagOf(row.permit)).mask, 0);
  }

  void zeroRowsLeaveTheHeadingsOnly() {
    THost host;
    const std::size_t before = host.Components().size();
    TSecurity* page = MakePage(host, 30, 0);
    QCOMPARE(page->RowCount(), 0);
    QCOMPARE(page->Group()->geometry(), QRect(8, 4, 305, 36));
    QCOMPARE(page->Group()->findChildren<QWidget*>().size(), 3);
    QCOMPARE(host.Components().size(), before + 5);  // page, group, three headings
    QVERIFY(test::ListedInCreationOrder(host, page));
    host.Values().Set(31, std::uint32_t{3});
    host.LoadControls();
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(31), 3u);
  }

  void negativeRowCountIsZero() {
    THost host;
    TSecurity* page = MakePage(host, 30, -3);
    QCOMPARE(page->RowCount(), 0);
    QCOMPARE(page->Group()->height(), 36);
  }

  void everyControlIsListedAndLeavesWithThePage() {
    THost host;
    const std::size_t before = host.Components().size();
    TSecurity* page = MakePage(host);
    QVERIFY(test::ListedInCreationOrder(host, page));
    // page, group, 3 headings, 4 rows of 6
    QCOMPARE(host.Components().size(), before + 5 + 4 * 6);
    QPointer<QRadioButton> permit = page->Row(2).permit;
    delete page;
    QVERIFY(permit.isNull());
    QCOMPARE(host.Components().size(), before);
    QCOMPARE(host.PageControl->count(), 1);
    host.LoadControls();  // nothing dangles
  }

  void flagsLoadAndStoreRoundTrip_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("permit");
    QTest::addColumn<bool>("activated");
    QTest::newRow("0x03") << 0x03 << true << true;
    QTest::newRow("0x01") << 0x01 << false << true;
    QTest::newRow("0x02") << 0x02 << true << false;
    QTest::newRow("0x00") << 0x00 << false << false;
    QTest::newRow("0xF0") << 0xF0 << false << false;
    QTest::newRow("0xAB") << 0xAB << true << true;
  }
  void flagsLoadAndStoreRoundTrip() {
    QFETCH(int, flags);
    QFETCH(bool, permit);
    QFETCH(bool, activated);
    THost host;
    TSecurity* page = MakePage(host, 30, 4);
    host.Values().Set(34, 0xC0A80100u);  // row 3: mask 192.168.1.0, flags at 35
    host.Values().Set(35, static_cast<std::uint32_t>(flags));
    host.LoadControls();
    const TSecurity::TRow row = page->Row(2);
    QCOMPARE(row.mask->Text(), QStringLiteral("192.168.1.0"));
    QCOMPARE(row.permit->isChecked(), permit);
    QCOMPARE(row.activated->isChecked(), activated);
    // Deny is what was built; a load only ever selects Permit.
    QCOMPARE(row.deny->isChecked(), !permit);
    // Rows whose slots are empty keep their built state.
    QVERIFY(page->Row(0).deny->isChecked());
    QVERIFY(page->Row(0).mask->Text().isEmpty());
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(35), static_cast<std::uint32_t>(flags));
    QCOMPARE(host.Values().AsUInt(34), 0xC0A80100u);
  }

  void upperBitsSurviveTheUsersChoice() {
    THost host;
    TSecurity* page = MakePage(host, 20, 4);
    host.Values().Set(21, std::uint32_t{0xF0});
    host.LoadControls();
    const TSecurity::TRow row = page->Row(0);
    QVERIFY(row.deny->isChecked());
    row.permit->click();
    row.activated->click();
    QVERIFY(!row.deny->isChecked());
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(21), 0xF3u);

    row.deny->click();
    row.activated->click();
    QVERIFY(!row.permit->isChecked());
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(21), 0xF0u);
  }

  void eachRowIsItsOwnRadioGroup() {
    THost host;
    TSecurity* page = MakePage(host, 20, 4);
    page->Row(1).permit->click();
    QVERIFY(page->Row(1).permit->isChecked());
    for (int i : {0, 2, 3}) {
      QVERIFY(page->Row(i).deny->isChecked());
      QVERIFY(!page->Row(i).permit->isChecked());
    }
    for (int i = 0; i < 4; ++i) host.Values().Set(21 + 2 * i, std::uint32_t{0});
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(21), 0u);
    QCOMPARE(host.Values().AsUInt(23), 2u);
    QCOMPARE(host.Values().AsUInt(25), 0u);
  }

  // A second load that clears bit 1 clears Permit without selecting Deny; what is stored still
  // means Deny.
  void reloadNeverSelectsDeny() {
    THost host;
    TSecurity* page = MakePage(host, 20, 4);
    host.Values().Set(21, std::uint32_t{0x03});
    host.LoadControls();
    const TSecurity::TRow row = page->Row(0);
    QVERIFY(row.permit->isChecked());
    QVERIFY(!row.deny->isChecked());
    host.Values().Set(21, std::uint32_t{0x01});
    host.LoadControls();
    QVERIFY(!row.permit->isChecked());
    QVERIFY(!row.deny->isChecked());
    QVERIFY(row.activated->isChecked());
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(21), 0x01u);
  }

  void masksLoadAndStoreEveryRow() {
    THost host;
    TSecurity* page = MakePage(host, 20, 8);
    for (int i = 0; i < 8; ++i) {
      host.Values().Set(20 + 2 * i, 0x0A000000u + static_cast<std::uint32_t>(i));
      host.Values().Set(21 + 2 * i, static_cast<std::uint32_t>(i & 3));
    }
    host.LoadControls();
    for (int i = 0; i < 8; ++i)
      QCOMPARE(page->Row(i).mask->Text(), QStringLiteral("10.0.0.%1").arg(i));
    page->Row(5).mask->SetText(QStringLiteral("255.255.0.0"));
    host.StoreControls();
    QCOMPARE(host.Values().AsUInt(30), 0xFFFF0000u);
    for (int i = 0; i < 8; ++i) QCOMPARE(host.Values().AsUInt(21 + 2 * i), std::uint32_t(i & 3));
  }
};

QTEST_MAIN(SecurityTest)
#include "SecurityTest.moc"
