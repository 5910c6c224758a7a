// The binding passes on controls built the way pages and model dialogs build them: tag
// decoding, the per-kind rules, radio groups that match no value, change handlers during a load,
// the component list and page insertion, and the group-enabling helpers.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>
#include <array>

#include "dialog/ControlBinding.h"
#include "dialog/ZelForm.h"
#include "pages/BindingTag.h"
#include "pages/GroupEnabling.h"
#include "pages/IPEdit.h"

using namespace velkaro;

namespace {

// The frame with its working copy open to the test.
class TBindForm : public TZelForm {
 public:
  TValueSlots& Values() { return local_zel_.values; }

  // A page built in code: the page and then each control, registered in creation order.
  QWidget* NewPage(const QString& caption) {
    auto* page = new QWidget;
    InsertPage(PageControl, page, caption, PageControl->count());
    AddComponent(page);
    return page;
  }
  template <class T>
  T* Add(QWidget* parent, int tag) {
    auto* w = new T(parent);
    SetTag(w, tag);
    AddComponent(w);
    return w;
  }
};

// Counts toggled signals of one button.
struct TToggles {
  int on = 0;
  int off = 0;
  explicit TToggles(QAbstractButton* b) {
    QObject::connect(b, &QAbstractButton::toggled, b, [this](bool c) { ++(c ? on : off); });
  }
};

}  // namespace

class ControlBindingTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

  void tagEncoding() {
    static_assert(BindingTag(6, 1) == 4102);
    static_assert(BindingTag(59, 3) == 12347);
    static_assert(BindingTag(70, 1, 0x03) == 3149894);
    static_assert(BindingTag(80, 8, 0x0C) == 12615760);
    static_assert(BindingTag(50, 5, 0xFF) == 267407410);
    constexpr TBinding b = DecodeBindingTag(267632690);
    static_assert(b.parameter == 50 && b.field == 60 && b.mask == 0xFF);
    constexpr TBinding n = DecodeBindingTag(-1);  // read as a bit pattern
    static_assert(n.parameter == 0xFFF && n.field == 0xFF && n.mask == 0xFF);
    QLabel label;
    QCOMPARE(TagOf(&label), 0);
    SetTag(&label, 3149894);
    QCOMPARE(TagOf(&label), 3149894);
  }

  void parameter6HoldingThreeTicksBothBoxes() {
    TBindForm form;
    form.Values().Set(6, std::uint32_t{3});
    form.LoadControls();
    QVERIFY(form.velkaro_authorized->isChecked());
    QVERIFY(form.http_authorized->isChecked());
    form.http_authorized->setChecked(false);
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(6), 1u);
    // Upper bits are the device's own: a store touches only the boxes' bits.
    form.Values().Set(6, std::uint32_t{0xF2});
    form.LoadControls();
    QVERIFY(!form.velkaro_authorized->isChecked());
    form.velkaro_authorized->setChecked(true);
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(6), 0xF3u);
  }

  void radioGroupMatchingNoValueKeepsIt() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Options"));
    auto* group = form.Add<QGroupBox>(page, 0);
    const int seconds[] = {5, 10, 15, 30, 60};
    std::array<QRadioButton*, 5> d{};
    for (int i = 0; i < 5; ++i)
      d[i] = form.Add<QRadioButton>(group, BindingTag(50, seconds[i], 0xFF));
    QCOMPARE(TagOf(d[0]), 267407410);
    QCOMPARE(TagOf(d[4]), 267632690);

    form.Values().Set(50, std::uint32_t{10});
    form.LoadControls();
    QVERIFY(d[1]->isChecked());
    TToggles ten(d[1]);

    // 20 s is not offered: the group ends with no button selected, d[1] cleared as by a click.
    form.Values().Set(50, std::uint32_t{20});
    form.LoadControls();
    for (auto* b : d) QVERIFY(!b->isChecked());
    QCOMPARE(ten.off, 1);
    QVERIFY(d[1]->autoExclusive());  // exclusivity is back for the user
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(50), 20u);

    d[3]->click();
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(50), 30u);
    d[0]->click();  // still one group: the click clears d[3]
    QVERIFY(!d[3]->isChecked());
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(50), 5u);
  }

  void maskedRadioFieldsRoundTrip() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Options"));
    // One panel per socket; On = 1, Off = 2, Last = 0 in the socket's two bits.
    std::array<std::array<QRadioButton*, 3>, 4> socket{};
    for (int s = 0; s < 4; ++s) {
      auto* panel = form.Add<QWidget>(page, 0);
      const int shift = 2 * s;
      const int mask = 0x03 << shift;
      socket[s][0] = form.Add<QRadioButton>(panel, BindingTag(80, 1 << shift, mask));
      socket[s][1] = form.Add<QRadioButton>(panel, BindingTag(80, 2 << shift, mask));
      socket[s][2] = form.Add<QRadioButton>(panel, BindingTag(80, 0, mask));
    }
    QCOMPARE(TagOf(socket[0][0]), 3149904);
    QCOMPARE(TagOf(socket[1][1]), 12615760);
    QCOMPARE(TagOf(socket[3][2]), 201326672);
    form.Values().Set(80, std::uint32_t{0x19});
    form.LoadControls();
    auto selected = [&](int s) {
      for (int k = 0; k < 3; ++k)
        if (socket[s][k]->isChecked()) return k;
      return -1;
    };
    QCOMPARE(selected(0), 0);  // On
    QCOMPARE(selected(1), 1);  // Off
    QCOMPARE(selected(2), 0);  // On
    QCOMPARE(selected(3), 2);  // Last
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(80), 0x19u);
    socket[3][0]->click();
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(80), 0x59u);
    socket[3][1]->click();
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(80), 0x99u);
  }

  void bitStoresAreIdempotent() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Users"));
    auto* sock3 = form.Add<QCheckBox>(page, BindingTag(59, 2));
    QCOMPARE(TagOf(sock3), 59 + 4096 * 2);
    form.Values().Set(59, std::uint32_t{0x04});
    form.LoadControls();
    QVERIFY(sock3->isChecked());
    sock3->setChecked(true);  // already set
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(59), 0x04u);
    form.Values().Set(59, std::uint32_t{0x0B});
    form.LoadControls();
    QVERIFY(!sock3->isChecked());
    sock3->setChecked(false);  // already clear
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(59), 0x0Bu);
  }

  void neverReceivedParametersKeepDefaults() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Page"));
    auto* edit = form.Add<QLineEdit>(page, 41);
    auto* spin = form.Add<QSpinBox>(page, 22);
    spin->setRange(1, 65535);
    spin->setValue(1);
    auto* box = form.Add<QCheckBox>(page, 21);
    auto* radio = form.Add<QRadioButton>(page, BindingTag(70, 1, 0x03));
    auto* ip = form.Add<TIPEdit>(page, 20);
    form.LoadControls();
    QCOMPARE(edit->text(), QString());
    QCOMPARE(spin->value(), 1);
    QVERIFY(!box->isChecked());
    QVERIFY(!radio->isChecked());
    QCOMPARE(ip->Text(), QString());
    QCOMPARE(form.Port->value(), 1);
    // A later load keeps what the controls show for slots that are still empty.
    edit->setText(QStringLiteral("typed"));
    box->setChecked(true);
    form.LoadControls();
    QCOMPARE(edit->text(), QStringLiteral("typed"));
    QVERIFY(box->isChecked());
    // Nor does a store make up values for them: they would be written to the device.
    form.StoreControls();
    for (const int tag : {41, 22, 21, 70, 20}) QVERIFY(!form.Values().Has(tag));
  }

  void loadRunsChangeHandlersOnRealChangesOnly() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Page"));
    auto* box = form.Add<QCheckBox>(page, 40);
    int calls = 0;
    bool seen = false;
    QObject::connect(box, &QCheckBox::toggled, box, [&](bool c) {
      ++calls;
      seen = c;
    });
    form.Values().Set(40, std::uint32_t{0});
    form.LoadControls();
    QCOMPARE(calls, 0);  // state unchanged
    form.Values().Set(40, std::uint32_t{1});
    form.LoadControls();
    QCOMPARE(calls, 1);
    QVERIFY(seen);
    form.LoadControls();
    QCOMPARE(calls, 1);
    form.Values().Set(40, std::uint32_t{0});
    form.LoadControls();
    QCOMPARE(calls, 2);
    QVERIFY(!seen);
  }

  void passesVisitLastCreatedFirst() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Page"));
    QStringList order;
    for (int bit = 0; bit < 3; ++bit) {
      auto* box = form.Add<QCheckBox>(page, BindingTag(100, bit));
      QObject::connect(box, &QCheckBox::toggled, box,
                       [&order, bit](bool) { order << QString::number(bit); });
    }
    form.Values().Set(100, std::uint32_t{7});
    form.LoadControls();
    QCOMPARE(order, (QStringList{"2", "1", "0"}));
  }

  void unmaskedRadioActsAsCheckBox() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Security"));
    auto* panel = form.Add<QWidget>(page, 0);
    auto* permit = form.Add<QRadioButton>(panel, BindingTag(31, 1));
    auto* deny = form.Add<QRadioButton>(panel, 0);
    deny->setChecked(true);
    form.Values().Set(31, std::uint32_t{0x03});
    form.LoadControls();
    QVERIFY(permit->isChecked());
    QVERIFY(!deny->isChecked());
    TToggles permitToggles(permit);
    form.Values().Set(31, std::uint32_t{0x01});
    form.LoadControls();
    QVERIFY(!permit->isChecked());
    QVERIFY(!deny->isChecked());  // a load never selects the unbound partner
    QCOMPARE(permitToggles.off, 1);
    form.Values().Set(31, std::uint32_t{0xF2});
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(31), 0xF0u);  // not selected clears its bit
    permit->click();
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(31), 0xF2u);
  }

  void exclusiveButtonGroupCanEndEmpty() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Page"));
    auto* a = form.Add<QRadioButton>(page, BindingTag(36, 5, 0xFF));
    auto* b = form.Add<QRadioButton>(page, BindingTag(36, 10, 0xFF));
    QButtonGroup group;
    group.addButton(a);
    group.addButton(b);
    form.Values().Set(36, std::uint32_t{5});
    form.LoadControls();
    QVERIFY(a->isChecked());
    form.Values().Set(36, std::uint32_t{7});
    form.LoadControls();
    QVERIFY(!a->isChecked());
    QVERIFY(!b->isChecked());
    QVERIFY(group.exclusive());
  }

  void otherKindsAreVisitedButUntouched() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Page"));
    SetTag(page, 7);
    auto* label = form.Add<QLabel>(page, 7);
    label->setText(QStringLiteral("Device :"));
    auto* group = form.Add<QGroupBox>(page, 7);
    group->setTitle(QStringLiteral(" Labels "));
    form.Values().Set(7, std::string("Switch 1"));
    form.LoadControls();
    QCOMPARE(label->text(), QStringLiteral("Device :"));
    QCOMPARE(group->title(), QStringLiteral(" Labels "));
    form.StoreControls();
    QCOMPARE(form.Values().AsText(7), std::string("Switch 1"));
    QCOMPARE(KindOf(label), TControlKind::Other);
    QCOMPARE(KindOf(page), TControlKind::Other);
  }

  void outOfRangeTagsBindNothing() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Page"));
    auto* noParameter = form.Add<QCheckBox>(page, BindingTag(0, 1));
    auto* beyond = form.Add<QLineEdit>(page, 1000);
    auto* highBit = form.Add<QCheckBox>(page, BindingTag(6, 40));
    form.Values().Set(6, std::uint32_t{0xFF});
    form.LoadControls();
    QVERIFY(!noParameter->isChecked());
    QVERIFY(!highBit->isChecked());
    beyond->setText(QStringLiteral("x"));
    highBit->setChecked(true);
    QVERIFY(!StoreControl(highBit, form.Values()));
    QVERIFY(!StoreControl(beyond, form.Values()));
    QVERIFY(!StoreControl(noParameter, form.Values()));
    QCOMPARE(form.Values().AsUInt(6), 0xFFu);
  }

  void addressesNumbersAndTexts() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Page"));
    auto* ip = form.Add<TIPEdit>(page, 20);
    auto* port = form.Add<QSpinBox>(page, 22);
    port->setRange(1, 65535);
    auto* counter = form.Add<QLineEdit>(page, 71);
    counter->setReadOnly(true);
    auto* name = form.Add<QLineEdit>(page, 40);
    name->setMaxLength(32);
    form.Values().Set(20, std::uint32_t{0xC0A80A01});
    form.Values().Set(22, std::uint32_t{0});
    form.Values().Set(71, std::uint32_t{1234});
    const std::string longName(40, 'n');
    form.Values().Set(40, longName);
    form.LoadControls();
    QCOMPARE(ip->Text(), QStringLiteral("192.168.10.1"));
    QCOMPARE(port->value(), 1);  // held within its bounds
    QCOMPARE(counter->text(), QStringLiteral("1234"));
    QCOMPARE(name->text().size(), 40);  // shown whole despite the typing limit
    form.StoreControls();
    QCOMPARE(form.Values().AsUInt(20), 0xC0A80A01u);
    QCOMPARE(form.Values().AsUInt(22), 1u);
    QCOMPARE(form.Values().AsText(71), std::string("1234"));
    QCOMPARE(form.Values().AsText(40), longName);
    // A short text restores the designed limit.
    form.Values().Set(40, std::string("short"));
    form.LoadControls();
    QCOMPARE(name->maxLength(), 32);
    form.Values().Set(22, std::uint32_t{70000});
    form.LoadControls();
    QCOMPARE(port->value(), 65535);
    // Device texts are bytes: every byte survives the round trip.
    const std::string bytes = "Caf\xE9 \x80\xFF\x81\x9D";
    form.Values().Set(40, bytes);
    form.LoadControls();
    form.StoreControls();
    QCOMPARE(form.Values().AsText(40), bytes);
  }

  void hiddenNestedAndDisabledControlsAreBound() {
    TBindForm form;
    QWidget* page = form.NewPage(QStringLiteral("Labels"));
    auto* nested = form.Add<QTabWidget>(page, 0);
    auto* inner = new QWidget;
    form.InsertPage(nested, inner, QStringLiteral("Device 1"), 1);
    form.AddComponent(inner);
    auto* scroll = form.Add<QScrollArea>(inner, 0);
    auto* holder = new QWidget;
    scroll->setWidget(holder);
    form.AddComponent(holder);
    auto* edit = form.Add<QLineEdit>(holder, 139);
    edit->setEnabled(false);
    edit->hide();
    form.Values().Set(139, std::string("Device name"));
    form.LoadControls();
    QCOMPARE(edit->text(), QStringLiteral("Device name"));
  }

  void componentTreeSkipsInnerParts() {
    TBindForm form;
    auto* page = new QWidget;
    auto* group = new QGroupBox(page);
    auto* spin = new QSpinBox(group);
    auto* ip = new TIPEdit(group);
    auto* edit = new QLineEdit(group);
    auto* tabs = new QTabWidget(group);
    auto* sub = new QWidget;
    tabs->addTab(sub, QStringLiteral("Device 1"));
    auto* box = new QCheckBox(sub);
    const std::size_t before = form.Components().size();
    form.AddFormPage(page, QStringLiteral("Labels"));
    QCOMPARE(form.PageControl->indexOf(page), 1);
    QVERIFY(!form.PageControl->isTabVisible(1));  // General only until the options are read
    const std::vector<QWidget*> all = form.Components();
    const std::vector<QWidget*> added(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    const std::vector<QWidget*> expected{page, group, spin, ip, edit, tabs, sub, box};
    QVERIFY(added == expected);
    form.AddComponent(box);  // listed once only
    QCOMPARE(form.Components().size(), all.size());
    // A released control drops out; the passes keep working.
    delete box;
    QCOMPARE(form.Components().size(), all.size() - 1);
    form.LoadControls();
    form.StoreControls();
    form.RemoveComponent(edit);
    QCOMPARE(form.Components().size(), all.size() - 2);
  }

  void insertedPagesPushLaterOnesRight() {
    TBindForm form;
    auto* a = new QWidget;
    auto* b = new QWidget;
    auto* c = new QWidget;
    QCOMPARE(form.InsertPage(form.PageControl, a, QStringLiteral("Options"), 1), 1);
    QCOMPARE(form.InsertPage(form.PageControl, b, QStringLiteral("Security"), 1), 1);
    QCOMPARE(form.InsertPage(form.PageControl, c, QStringLiteral("Misc"), 9), 3);  // clamped
    QCOMPARE(form.PageControl->tabText(0), QStringLiteral("General"));
    QCOMPARE(form.PageControl->tabText(1), QStringLiteral("Security"));
    QCOMPARE(form.PageControl->tabText(2), QStringLiteral("Options"));
    QCOMPARE(form.PageControl->tabText(3), QStringLiteral("Misc"));
    for (int i = 1; i < 4; ++i) QVERIFY(!form.PageControl->isTabVisible(i));
  }

  void groupEnablingTreatsChildrenFirst() {
    QWidget top;
    auto* group = new QGroupBox(&top);
    auto* a = new QSpinBox(group);
    auto* panel = new QWidget(group);
    auto* b = new QCheckBox(panel);
    QStringList order;
    struct TWatch : QObject {
      QStringList* order;
      bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::EnabledChange) *order << o->objectName();
        return false;
      }
    } watch;
    watch.order = &order;
    for (auto [w, n] :
         {std::pair<QWidget*, const char*>{group, "group"}, {a, "a"}, {panel, "panel"}, {b, "b"}}) {
      w->setObjectName(QString::fromLatin1(n));
      w->installEventFilter(&watch);
    }
    DisableGroup(group);
    QCOMPARE(order, (QStringList{"a", "b", "panel", "group"}));
    for (QWidget* w :
         {static_cast<QWidget*>(group), static_cast<QWidget*>(a), panel, static_cast<QWidget*>(b)})
      QVERIFY(!w->isEnabled());
    // Each one carries its own state: enabling only the container leaves the rest disabled.
    group->setEnabled(true);
    QVERIFY(!a->isEnabled());
    QVERIFY(!b->isEnabled());
    EnableGroup(group);
    for (QWidget* w :
         {static_cast<QWidget*>(group), static_cast<QWidget*>(a), panel, static_cast<QWidget*>(b)})
      QVERIFY(w->isEnabled());
    QVERIFY(a->findChild<QLineEdit*>()->isEnabled());  // the spin box's inner editor too
  }
};

QTEST_MAIN(ControlBindingTest)
#include "ControlBindingTest.moc"
