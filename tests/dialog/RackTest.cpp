// The rack model's Accounts page on its own: layout, binding tags, registration with the
// dialog, and the activation and twin-mode rules on loaded values and on clicks.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QtTest>
#include <algorithm>

#include "dialog/MyCheckBox.h"
#include "dialog/Rack.h"
#include "dialog/ZelForm.h"
#include "pages/BindingTag.h"
#include "support/Wine.h"

using namespace velkaro;

namespace {

// A dialog with one nested page control holding one rack page, and access to its record.
class TRackHost : public TZelForm {
 public:
  explicit TRackHost(int tagBase, int firstSocket = 1) {
    Holder = new QWidget;
    InsertPage(PageControl, Holder, QStringLiteral("Accounts"), 1);
    AddComponent(Holder);
    Nested = new QTabWidget(Holder);
    Nested->setGeometry(0, 0, 322, 340);
    AddComponent(Nested);
    Rack = new TRack(this, Nested, QStringLiteral("Device 1"), 0, tagBase, firstSocket);
  }
  TZEL& Record() { return local_zel_; }
  QWidget* Holder;
  QTabWidget* Nested;
  TRack* Rack;
};

int LoginTag(int b, int i) {
  return b + 4 * i - 2;
}
int PasswordTag(int b, int i) {
  return b + 4 * i - 1;
}
int SocketsTag(int b, int i) {
  return b + 4 * i;
}

// A device block with named users and the given activation byte and socket bytes.
void FillBlock(TZEL& record, int b, std::uint32_t activation,
               const std::array<std::uint32_t, 8>& sockets) {
  record.values.Set(b, activation);
  for (int i = 1; i <= 8; ++i) {
    record.values.Set(LoginTag(b, i), "user" + std::to_string(i));
    record.values.Set(PasswordTag(b, i), "secret" + std::to_string(i));
    record.values.Set(SocketsTag(b, i), sockets[static_cast<std::size_t>(i - 1)]);
  }
}

}  // namespace

class RackTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

  void layoutAndCaptions() {
    if (velkaro::testing::RunningUnderWine()) QSKIP(velkaro::testing::kWineTextWidths);
    TRackHost host(40, 1);
    TRack* rack = host.Rack;
    QCOMPARE(host.Nested->count(), 1);
    QCOMPARE(host.Nested->tabText(0), QStringLiteral("Device 1"));
    QCOMPARE(host.Nested->widget(0), rack);
    QCOMPARE(rack->AccountGroup()->title(), QStringLiteral(" Users Accounts "));
    QCOMPARE(rack->AccountGroup()->geometry(), QRect(8, 4, 369, 502));
    QCOMPARE(rack->AccountGroup()->parentWidget(), rack->ScrollBox()->widget());
    QCOMPARE(rack->ScrollBox()->parentWidget(), rack);
    QCOMPARE(rack->ScrollBox()->frameShape(), QFrame::NoFrame);
    QCOMPARE(rack->DeviceActivated->text(), QStringLiteral("Device Activated"));
    QCOMPARE(rack->DeviceActivated->pos(), QPoint(8, 24));
    QVERIFY(rack->DeviceActivated->isChecked());
    QCOMPARE(rack->TwinMode->text(), QStringLiteral("Twin Mode"));
    QCOMPARE(rack->TwinMode->pos(), QPoint(150, 24));
    QVERIFY(!rack->TwinMode->isChecked());
    QCOMPARE(rack->Heading()->text(), QStringLiteral("Authorized Sockets"));
    QCOMPARE(rack->Heading()->pos(), QPoint(248, 16));
    for (int k = 1; k <= 8; ++k) {
      QCOMPARE(rack->SocketNumber(k)->text(), QString::number(k));
      QCOMPARE(rack->SocketNumber(k)->geometry().topLeft(), QPoint(221 + 16 * k, 32));
      // Columns as wide as the style's check indicator (at least 12), centred over the boxes.
      QCOMPARE(rack->SocketNumber(k)->width(), rack->Box(1, k)->width());
      QVERIFY(rack->SocketNumber(k)->alignment() & Qt::AlignHCenter);
    }
    for (int i = 1; i <= 8; ++i) {
      const int y = 56 * i;
      QCOMPARE(rack->LoginEdit(i)->geometry(), QRect(77, y - 4, 153, 21));
      QCOMPARE(rack->PasswordEdit(i)->geometry(), QRect(77, y + 20, 153, 21));
      QCOMPARE(rack->LoginEdit(i)->maxLength(), 32);
      QCOMPARE(rack->PasswordEdit(i)->maxLength(), 32);
      for (int k = 1; k <= 8; ++k) {
        TMyCheckBox* box = rack->Box(i, k);
        QCOMPARE(box->UserRow, i);
        QCOMPARE(box->SocketColumn, k);
        QCOMPARE(box->geometry().topLeft(), QPoint(221 + 16 * k, y - 2));
        QVERIFY(box->width() >= 12 && box->width() < 16);
        QVERIFY(box->width() >= box->style()->pixelMetric(QStyle::PM_IndicatorWidth));
        QVERIFY(box->text().isEmpty());
        QVERIFY(!box->isChecked());
        QVERIFY(!(box->focusPolicy() & Qt::TabFocus));
      }
    }
    QCOMPARE(rack->Box(0, 1), nullptr);
    QCOMPARE(rack->Box(1, 9), nullptr);
    QCOMPARE(rack->LoginEdit(9), nullptr);
  }

  void firstSocketNumbersTheColumns() {
    TRackHost host(140, 9);
    QCOMPARE(host.Rack->SocketNumber(1)->text(), QStringLiteral("9"));
    QCOMPARE(host.Rack->SocketNumber(8)->text(), QStringLiteral("16"));
  }

  void bindingTagsFollowTheBase_data() {
    QTest::addColumn<int>("b");
    QTest::newRow("device 1") << 40;
    QTest::newRow("device 3") << 240;
    QTest::newRow("device 5") << 440;
  }
  void bindingTagsFollowTheBase() {
    QFETCH(int, b);
    TRackHost host(b);
    TRack* rack = host.Rack;
    QCOMPARE(TagOf(rack->DeviceActivated), b);
    QCOMPARE(TagOf(rack->TwinMode), b + 4096);
    QCOMPARE(TagOf(rack->Heading()), 0);
    QCOMPARE(TagOf(rack->AccountGroup()), 0);
    QCOMPARE(TagOf(rack), 0);
    for (int i = 1; i <= 8; ++i) {
      QCOMPARE(TagOf(rack->LoginEdit(i)), LoginTag(b, i));
      QCOMPARE(TagOf(rack->PasswordEdit(i)), PasswordTag(b, i));
      for (int k = 1; k <= 8; ++k)
        QCOMPARE(TagOf(rack->Box(i, k)), BindingTag(SocketsTag(b, i), k - 1));
    }
  }

  // Device 5's last user ends the block at tag 472.
  void lastBoxOfTheRackEndsTheBlock() {
    TRackHost host(440);
    QCOMPARE(TagOf(host.Rack->Box(8, 8)), 472 + 4096 * 7);
  }

  void everyControlIsListedInCreationOrderAndLeavesWithThePage() {
    TRackHost host(40);
    TRack* rack = host.Rack;
    const std::vector<QWidget*> list = host.Components();
    const auto pos = [&list](QWidget* w) {
      return static_cast<int>(std::find(list.begin(), list.end(), w) - list.begin());
    };
    const int n = static_cast<int>(list.size());
    // The page, the scroll box and everything in the group are listed.
    for (QWidget* w : {static_cast<QWidget*>(rack), static_cast<QWidget*>(rack->ScrollBox()),
                       static_cast<QWidget*>(rack->AccountGroup())})
      QVERIFY(pos(w) < n);
    const QList<QWidget*> inGroup =
        rack->AccountGroup()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(inGroup.size(), 2 + 1 + 8 + 8 * (4 + 8));
    for (QWidget* w : inGroup) QVERIFY(pos(w) < n);
    // Creation order, which the load relies on: the switches first, then row by row.
    QVERIFY(pos(rack) < pos(rack->ScrollBox()));
    QVERIFY(pos(rack->ScrollBox()) < pos(rack->AccountGroup()));
    QVERIFY(pos(rack->AccountGroup()) < pos(rack->DeviceActivated));
    QVERIFY(pos(rack->DeviceActivated) < pos(rack->TwinMode));
    QVERIFY(pos(rack->TwinMode) < pos(rack->Heading()));
    QVERIFY(pos(rack->Heading()) < pos(rack->SocketNumber(1)));
    QVERIFY(pos(rack->SocketNumber(8)) < pos(rack->LoginEdit(1)));
    for (int i = 1; i <= 8; ++i) {
      QVERIFY(pos(rack->LoginEdit(i)) < pos(rack->PasswordEdit(i)));
      QVERIFY(pos(rack->PasswordEdit(i)) < pos(rack->Box(i, 1)));
      for (int k = 1; k < 8; ++k) QVERIFY(pos(rack->Box(i, k)) < pos(rack->Box(i, k + 1)));
      if (i < 8) QVERIFY(pos(rack->Box(i, 8)) < pos(rack->LoginEdit(i + 1)));
    }

    const std::size_t before = list.size();
    QPointer<QCheckBox> box = rack->Box(3, 3);
    QPointer<QGroupBox> group = rack->AccountGroup();
    delete rack;
    QVERIFY(box.isNull());
    QVERIFY(group.isNull());
    QCOMPARE(host.Nested->count(), 0);
    QCOMPARE(host.Components().size(), before - (1 + 3 + inGroup.size()));
  }

  void groupIsTallerThanThePageSoItScrolls() {
    TRackHost host(40);
    host.PageControl->setTabVisible(1, true);
    host.PageControl->setCurrentIndex(1);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QScrollArea* scroll = host.Rack->ScrollBox();
    QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
    scroll->ensureWidgetVisible(host.Rack->Box(8, 8));
    QVERIFY(scroll->verticalScrollBar()->value() > 0);
    host.close();
  }

  // B = 3: activated with twin mode; user 1 holds sockets 1-4, user 6 sockets 6 and 8.
  void twinModeLoadCopiesAndStoresBothHalves() {
    TRackHost host(40);
    TRack* rack = host.Rack;
    std::array<std::uint32_t, 8> sockets{0x0F, 0, 0, 0, 0, 0xA0, 0, 0};
    FillBlock(host.Record(), 40, 3, sockets);
    host.LoadControls();

    QVERIFY(rack->DeviceActivated->isChecked());
    QVERIFY(rack->TwinMode->isChecked());
    for (int k = 1; k <= 8; ++k) {
      QVERIFY2(rack->Box(1, k)->isChecked(), qPrintable(QString::number(k)));
      QCOMPARE(rack->Box(6, k)->isChecked(), k % 2 == 0);
      for (int i = 1; i <= 8; ++i) QCOMPARE(rack->Box(i, k)->isEnabled(), k <= 4);
    }
    for (int i : {2, 3, 4, 5, 7, 8})
      for (int k = 1; k <= 8; ++k) QVERIFY(!rack->Box(i, k)->isChecked());
    // Everything else of the group stays enabled.
    QVERIFY(rack->TwinMode->isEnabled());
    QVERIFY(rack->Heading()->isEnabled());
    QVERIFY(rack->LoginEdit(5)->isEnabled());
    QCOMPARE(rack->LoginEdit(2)->text(), QStringLiteral("user2"));
    QCOMPARE(rack->PasswordEdit(8)->text(), QStringLiteral("secret8"));

    host.StoreControls();
    const TValueSlots& v = host.Record().values;
    QCOMPARE(v.AsUInt(SocketsTag(40, 1)), 0xFFu);
    QCOMPARE(v.AsUInt(SocketsTag(40, 6)), 0xAAu);
    QCOMPARE(v.AsUInt(SocketsTag(40, 2)), 0u);
    QCOMPARE(v.AsUInt(40), 3u);
    QCOMPARE(v.AsText(LoginTag(40, 3)), std::string("user3"));
    QCOMPARE(v.AsText(PasswordTag(40, 3)), std::string("secret3"));
  }

  void deactivatedDeviceDisablesAllButItsSwitchAndKeepsValues() {
    TRackHost host(140);
    TRack* rack = host.Rack;
    std::array<std::uint32_t, 8> sockets{0x81, 0x42, 0x24, 0x18, 0xF0, 0x0F, 0x55, 0xAA};
    FillBlock(host.Record(), 140, 0, sockets);
    const TValueSlots loaded = host.Record().values;
    host.LoadControls();

    QVERIFY(!rack->DeviceActivated->isChecked());
    QVERIFY(rack->DeviceActivated->isEnabled());
    QVERIFY(rack->AccountGroup()->isEnabled());
    QVERIFY(!rack->TwinMode->isChecked());
    QVERIFY(!rack->TwinMode->isEnabled());
    QVERIFY(!rack->Heading()->isEnabled());
    for (int k = 1; k <= 8; ++k) QVERIFY(!rack->SocketNumber(k)->isEnabled());
    const QList<QWidget*> inGroup =
        rack->AccountGroup()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* w : inGroup)
      if (w != rack->DeviceActivated)
        QVERIFY2(!w->isEnabled(), qPrintable(w->metaObject()->className()));
    // Shown as loaded.
    for (int i = 1; i <= 8; ++i) {
      QCOMPARE(rack->LoginEdit(i)->text(), QStringLiteral("user%1").arg(i));
      for (int k = 1; k <= 8; ++k)
        QCOMPARE(rack->Box(i, k)->isChecked(),
                 ((sockets[static_cast<std::size_t>(i - 1)] >> (k - 1)) & 1u) != 0);
    }
    host.StoreControls();
    for (int tag = 140; tag <= SocketsTag(140, 8); ++tag)
      QVERIFY2(host.Record().values.Get(tag) == loaded.Get(tag), qPrintable(QString::number(tag)));

    // Ticking the switch brings everything back.
    rack->DeviceActivated->setChecked(true);
    for (QWidget* w : inGroup) QVERIFY(w->isEnabled());
  }

  void twinModeCopiesClicksToThePartner() {
    TRackHost host(40);
    TRack* rack = host.Rack;
    FillBlock(host.Record(), 40, 3, {});
    host.LoadControls();
    QVERIFY(rack->TwinMode->isChecked());

    QTest::mouseClick(rack->Box(2, 3), Qt::LeftButton, {}, QPoint(6, 8));
    QVERIFY(rack->Box(2, 3)->isChecked());
    QVERIFY(rack->Box(2, 7)->isChecked());
    for (int k : {1, 2, 4, 5, 6, 8}) QVERIFY(!rack->Box(2, k)->isChecked());
    for (int i : {1, 3}) QVERIFY(!rack->Box(i, 3)->isChecked());
    host.StoreControls();
    QCOMPARE(host.Record().values.AsUInt(SocketsTag(40, 2)), 0x44u);

    // Unticking socket 3 again clears its partner too.
    rack->Box(2, 3)->setChecked(false);
    QVERIFY(!rack->Box(2, 7)->isChecked());
  }

  void twinModeOffLeavesCopiesAndEnablesTheRightHalf() {
    TRackHost host(40);
    TRack* rack = host.Rack;
    rack->Box(3, 2)->setChecked(true);  // user 3: socket 2 only
    rack->Box(7, 8)->setChecked(true);  // user 7: socket 8 only
    rack->Box(7, 1)->setChecked(true);  // overwritten by socket 5 of user 7

    rack->TwinMode->setChecked(true);
    QVERIFY(rack->Box(3, 6)->isChecked());
    QVERIFY(rack->Box(7, 4)->isChecked());
    QVERIFY(!rack->Box(7, 1)->isChecked());
    for (int i = 1; i <= 8; ++i)
      for (int k = 5; k <= 8; ++k) QVERIFY(!rack->Box(i, k)->isEnabled());

    rack->TwinMode->setChecked(false);
    QVERIFY(rack->Box(3, 2)->isChecked());
    QVERIFY(rack->Box(3, 6)->isChecked());
    QVERIFY(rack->Box(7, 4)->isChecked());
    QVERIFY(rack->Box(7, 8)->isChecked());
    for (int i = 1; i <= 8; ++i)
      for (int k = 1; k <= 8; ++k) QVERIFY(rack->Box(i, k)->isEnabled());
    // Without twin mode a click stays on its own box.
    rack->Box(4, 1)->setChecked(true);
    QVERIFY(!rack->Box(4, 5)->isChecked());
  }

  void activatingWhileTwinnedEnablesEverythingAndStillCopies() {
    TRackHost host(40);
    TRack* rack = host.Rack;
    FillBlock(host.Record(), 40, 2, {});  // twin mode on, device off
    host.LoadControls();
    QVERIFY(rack->TwinMode->isChecked());
    QVERIFY(!rack->Box(1, 1)->isEnabled());
    rack->DeviceActivated->setChecked(true);
    QVERIFY(rack->Box(1, 5)->isEnabled());
    rack->Box(1, 5)->setChecked(true);
    QVERIFY(rack->Box(1, 1)->isChecked());
  }

  void longDeviceTextIsShownAndStoredWhole() {
    TRackHost host(40);
    const std::string longName(60, 'n');
    FillBlock(host.Record(), 40, 1, {});
    host.Record().values.Set(LoginTag(40, 4), longName);
    host.LoadControls();
    QCOMPARE(host.Rack->LoginEdit(4)->text().size(), 60);
    host.StoreControls();
    QCOMPARE(host.Record().values.AsText(LoginTag(40, 4)), longName);
  }

  void typingStopsAtThirtyTwoCharacters() {
    TRackHost host(40);
    QLineEdit* edit = host.Rack->PasswordEdit(1);
    QTest::keyClicks(edit, QString(40, QLatin1Char('x')));
    QCOMPARE(edit->text().size(), 32);
  }
};

QTEST_MAIN(RackTest)
#include "RackTest.moc"
