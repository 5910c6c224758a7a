// The three model dialogs: page order and captions after construction, the controls and binding
// tags of their form descriptions, sizes, and whole Configure runs against a simulated device.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>
#include <set>

#include "DialogTestSupport.h"
#include "dialog/CompactTabs.h"
#include "dialog/DialogFactories.h"
#include "dialog/MyCheckBox.h"
#include "dialog/Rack.h"
#include "dialog/Zel1Form.h"
#include "dialog/Zel4Form.h"
#include "dialog/Zel8Form.h"
#include "pages/BindingTag.h"
#include "pages/IPEdit.h"
#include "pages/Lab.h"
#include "pages/Misc.h"
#include "pages/Security.h"
#include "pages/Superv.h"
#include "protocol/ModelRegistry.h"
#include "support/DataRows.h"
#include "support/UiRecorder.h"

using namespace velkaro;
using velkaro::test::ExecuteWith;
using velkaro::test::WriteRequests;

namespace {

QStringList TabCaptions(const QTabWidget* tabs) {
  QStringList captions;
  for (int i = 0; i < tabs->count(); ++i) captions << tabs->tabText(i);
  return captions;
}

QStringList TabNames(const QTabWidget* tabs) {
  QStringList names;
  for (int i = 0; i < tabs->count(); ++i) names << tabs->widget(i)->objectName();
  return names;
}

template <class T = QWidget>
T* Named(const QWidget& form, const char* name) {
  return form.findChild<T*>(QString::fromLatin1(name));
}

// Labels with exactly this text inside `parent`.
int LabelCount(const QWidget* parent, const QString& text) {
  int n = 0;
  for (const QLabel* l : parent->findChildren<QLabel*>())
    if (l->text() == text) ++n;
  return n;
}

// Controls of the form descriptions, by object name.
const struct {
  const char* name;
  std::uint32_t model;
  const char* object;
  int tag;
} kEdits[] = {
    {"zel1 device name", kModelZel1, "zel1_DeviceName", 7},
    {"zel1 socket name", kModelZel1, "zel1_SocketName", 40},
    {"zel1 admin login", kModelZel1, "zel1_AdminLogin", 8},
    {"zel1 admin password", kModelZel1, "zel1_AdminPwd", 9},
    {"zel1 user login", kModelZel1, "zel1_UserLogin", 41},
    {"zel1 user password", kModelZel1, "zel1_UserPwd", 42},
    {"zel4 device name", kModelZel4, "zel4_DeviceName", 7},
    {"zel4 admin login", kModelZel4, "zel1_AdminLogin", 8},
    {"zel4 admin password", kModelZel4, "zel1_AdminPwd", 9},
    {"zel4 socket name 1", kModelZel4, "zel4_SocketName1", 56},
    {"zel4 user login 1", kModelZel4, "zel4_UserLogin1", 57},
    {"zel4 user password 1", kModelZel4, "zel4_UserPwd1", 58},
    {"zel4 socket name 2", kModelZel4, "zel4_SocketName2", 60},
    {"zel4 user login 2", kModelZel4, "zel4_UserLogin2", 61},
    {"zel4 user password 2", kModelZel4, "zel4_UserPwd2", 62},
    {"zel4 socket name 3", kModelZel4, "zel4_SocketName3", 64},
    {"zel4 user login 3", kModelZel4, "zel4_UserLogin3", 65},
    {"zel4 user password 3", kModelZel4, "zel4_UserPwd3", 66},
    {"zel4 socket name 4", kModelZel4, "zel4_SocketName4", 68},
    {"zel4 user login 4", kModelZel4, "zel4_UserLogin4", 69},
    {"zel4 user password 4", kModelZel4, "zel4_UserPwd4", 70},
    {"zel8 device name", kModelZel8, "zel4_DeviceName", 7},
    {"zel8 admin login", kModelZel8, "zel1_AdminLogin", 8},
    {"zel8 admin password", kModelZel8, "zel1_AdminPwd", 9},
    {"zel8 mail to", kModelZel8, "Edit1", 37},
};

const struct {
  const char* name;
  std::uint32_t model;
  const char* object;
  int tag;
  const char* caption;
} kRadios[] = {
    {"zel1 power up on", kModelZel1, "Power_Up_On", 3149894, "ON"},
    {"zel1 power up off", kModelZel1, "Power_Up_Off", 3153990, "OFF"},
    {"zel1 power up last", kModelZel1, "Power_Up_Last", 3145798, "Last Status"},
    {"zel1 delay 5", kModelZel1, "d5", 267407410, ""},
    {"zel1 delay 10", kModelZel1, "d6", 267427890, ""},
    {"zel1 delay 15", kModelZel1, "d7", 267448370, ""},
    {"zel1 delay 30", kModelZel1, "d8", 267509810, ""},
    {"zel1 delay 60", kModelZel1, "d9", 267632690, ""},
    {"zel8 delay 5", kModelZel8, "d5", 267407396, ""},
    {"zel8 delay 10", kModelZel8, "d6", 267427876, ""},
    {"zel8 delay 15", kModelZel8, "d7", 267448356, ""},
    {"zel8 delay 30", kModelZel8, "d8", 267509796, ""},
    {"zel8 delay 60", kModelZel8, "d9", 267632676, ""},
};

const struct {
  const char* name;
  std::uint32_t model;
  const char* object;
  const char* title;
} kGroups[] = {
    {"zel1 labels", kModelZel1, "LabelsBox", " Labels "},
    {"zel1 admin", kModelZel1, "AdminBox", " Administrator Account "},
    {"zel1 user", kModelZel1, "UserBox", " User Account "},
    {"zel1 power up", kModelZel1, "PowerUpBox", " Default Power Up "},
    {"zel1 delay", kModelZel1, "DelayBox", " Delay before Restart "},
    {"zel4 users", kModelZel4, "UsersBox", " Users Accounts "},
    {"zel4 power up", kModelZel4, "PowerUpBox", " Default Power Up "},
    {"zel4 delay", kModelZel4, "DelayBox", " Delay before Restart "},
    {"zel8 mail", kModelZel8, "MailBox", "Mail To"},
    {"zel8 delay", kModelZel8, "DelayBox", " Delay before Restart "},
};

// The dialog frame of each model; only the rack model hides the HTTP switch.
const struct {
  const char* name;
  std::uint32_t model;
  QSize client;
  QRect pages;
  int buttonsTop;
  bool httpHidden;
} kFrames[] = {
    {"zel1", kModelZel1, {345, 373}, {8, 8, 330, 329}, 345, false},
    {"zel4", kModelZel4, {345, 411}, {8, 8, 330, 368}, 384, false},
    {"zel8", kModelZel8, {447, 411}, {8, 8, 430, 368}, 384, true},
};

const struct {
  const char* name;
  std::uint32_t model;
  const TConfigFile& (*table)();
} kModels[] = {
    {"zel1", kModelZel1, Zel1Descriptors},
    {"zel4", kModelZel4, Zel4Descriptors},
    {"zel8", kModelZel8, Zel8Descriptors},
};

bool InComponents(const TZelForm& form, const QWidget* w) {
  const auto list = form.Components();
  return std::find(list.begin(), list.end(), w) != list.end();
}

std::unique_ptr<TZelForm> Create(std::uint32_t model) {
  const TDialogFactories factories = BuiltinDialogFactories();
  const auto found = factories.find(model);
  if (found == factories.end()) return nullptr;
  std::unique_ptr<TPropertyDialog> made = found->second(nullptr);
  auto* form = dynamic_cast<TZelForm*>(made.get());
  if (!form) return nullptr;
  made.release();
  return std::unique_ptr<TZelForm>(form);
}

// The items of every write request the simulator received, merged; a write of many
// parameters takes several requests.
velkaro::test::TItems Written(const sim::TSimulator& simulator) {
  velkaro::test::TItems all;
  for (const auto& request : WriteRequests(simulator))
    for (const auto& [tag, value] : request) all[tag] = value;
  return all;
}

// Value bytes of one item of a request; empty when the request does not carry the tag.
TBytes Item(const velkaro::test::TItems& items, int tag) {
  const auto it = items.find(tag);
  return it == items.end() ? TBytes{} : it->second;
}

}  // namespace

class ModelDialogsTest : public QObject {
  Q_OBJECT

  velkaro::test::TUiRecorder ui_;
  TSession session;  // each test\'s own, made afresh in init()
  std::unique_ptr<sim::TSimulator> sim_;

  // Configure, Options, one change on a page built in code, OK: the device holds the new value
  // and every other parameter as before.
  void EndToEnd(std::uint32_t model, int changedTag, const TValue& newValue,
                const std::function<void(TZelForm&)>& change) {
    sim_ = velkaro::test::StartDevice(session, model);
    const TZEL before = sim_->Snapshot(0);
    QVERIFY(before.values.Get(changedTag) != newValue);
    std::unique_ptr<TZelForm> form = Create(model);
    QVERIFY(form);
    form->SetDevice(session, 0);
    bool loaded = false;
    const int r = ExecuteWith(*form, [&](TZelForm& f) {
      f.AvanceButton->click();
      loaded = f.OptionsLoaded();
      change(f);
      f.OKBtn->click();
    });
    QCOMPARE(r, 1);
    QVERIFY(loaded);
    QVERIFY2(ui_.messages.isEmpty(), qPrintable(ui_.messages.join(QLatin1Char('\n'))));
    const TZEL after = sim_->Snapshot(0);
    QCOMPARE(after.values.Count(), before.values.Count());
    for (const auto& [tag, value] : before.values) {
      const TValue& now = after.values.Get(tag);
      if (tag == changedTag)
        QVERIFY2(now == newValue, qPrintable(QString::number(tag)));
      else
        QVERIFY2(now == value, qPrintable(QString::number(tag)));
    }
    // The write carried the whole writable set, the change included.
    QVERIFY(Written(*sim_).count(changedTag) == 1);
  }

 private slots:
  void initTestCase() { ui_.Install(); }
  void init() {
    ui_.Clear();
    session = {};
    session.settings.busy = ui::BusyCursorHook();
  }
  void cleanup() {
    sim_.reset();
    QVERIFY(velkaro::test::NoTopLevelWindowLeft());
  }
  void cleanupTestCase() { ui::ResetUiHooks(); }

  // ---- construction ------------------------------------------------------------------------

  void factoriesMakeEachModelsDialog() {
    auto zel1 = Create(kModelZel1);
    auto zel4 = Create(kModelZel4);
    auto zel8 = Create(kModelZel8);
    QVERIFY(dynamic_cast<Tzel1Form*>(zel1.get()));
    QVERIFY(dynamic_cast<Tzel4Form*>(zel4.get()));
    QVERIFY(dynamic_cast<Tzel8Form*>(zel8.get()));
    // The owner handed to a factory becomes the dialog's parent window.
    QWidget owner;
    auto owned = BuiltinDialogFactories().at(kModelZel4)(&owner);
    QCOMPARE(dynamic_cast<QWidget*>(owned.get())->parentWidget(), &owner);
  }

  void oneOutletPageOrder() {
    Tzel1Form form;
    QCOMPARE(TabCaptions(form.PageControl),
             QStringList({"General", "Labels", "Users accounts", "Security", "Supervision",
                          "Options", "Miscellaneous"}));
    QCOMPARE(TabNames(form.PageControl).mid(0, 3),
             QStringList({"General", "zel1_Labels", "zel1_UserAccounts"}));
    QCOMPARE(form.PageControl->widget(3), form.SecurityPage);
    QCOMPARE(form.PageControl->widget(4), form.SupervisionPage);
    QCOMPARE(form.PageControl->widget(5)->objectName(), QStringLiteral("zel1_Options"));
    QCOMPARE(form.PageControl->widget(6), form.MiscPage);
    QCOMPARE(form.PageControl->currentWidget(), form.General);
    QCOMPARE(form.SecurityPage->RowCount(), 4);
    QCOMPARE(TagOf(form.SecurityPage->Row(0).mask), 30);
    QCOMPARE(TagOf(form.SecurityPage->Row(3).activated), 37);
    QCOMPARE(TagOf(form.SupervisionPage->Address()), 20);
    QCOMPARE(TagOf(form.SupervisionPage->RebootDelay()), 26);
    QCOMPARE(form.MiscPage->RowCount(), 1);
    QCOMPARE(TagOf(form.MiscPage->PowerUp()), 71);
    QCOMPARE(TagOf(form.MiscPage->Row(0).value), 72);
  }

  void fourOutletPageOrder() {
    Tzel4Form form;
    QCOMPARE(TabCaptions(form.PageControl),
             QStringList({"General", "Labels", "Administrator account", "Users accounts",
                          "Security", "Supervision 1", "Supervision 2", "Supervision 3",
                          "Supervision 4", "Options", "Miscellaneous"}));
    QCOMPARE(TabNames(form.PageControl).mid(0, 4),
             QStringList({"General", "zel4_Labels", "zel1_AdminAccounts", "zel4_UserAccounts"}));
    QCOMPARE(form.PageControl->widget(4), form.SecurityPage);
    for (int n = 1; n <= 4; ++n) {
      TSuperv* page = form.SupervisionPages[static_cast<std::size_t>(n - 1)];
      QCOMPARE(form.PageControl->widget(4 + n), page);
      QCOMPARE(TagOf(page->Address()), 28 + 7 * (n - 1));
    }
    // Third page: the reboot delay binds 48, the first-request delay 47.
    QCOMPARE(TagOf(form.SupervisionPages[2]->RebootDelay()), 48);
    QCOMPARE(TagOf(form.SupervisionPages[2]->FirstRequestDelay()), 47);
    QCOMPARE(form.PageControl->widget(9)->objectName(), QStringLiteral("zel4_Options"));
    QCOMPARE(form.PageControl->widget(10), form.MiscPage);
    QCOMPARE(TagOf(form.SecurityPage->Row(0).mask), 20);
    QCOMPARE(TagOf(form.MiscPage->PowerUp()), 81);
    QCOMPARE(TagOf(form.MiscPage->Row(3).value), 85);
  }

  void textEditsRefuseCharactersWithoutAByte() {
    Tzel1Form form;
    auto* name = form.findChild<QLineEdit*>(QStringLiteral("zel1_Name"));
    if (!name) {
      for (QWidget* w : form.Components())
        if (auto* e = qobject_cast<QLineEdit*>(w); e && TagOf(e) == 7) name = e;
    }
    QVERIFY(name);
    name->clear();
    // Typed as text-carrying key events: QTest::keyClicks only knows ASCII keys.
    for (const QChar c : QStringLiteral("Caf\u00e9 \u03a9\u20ac1"))
      QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QCOMPARE(name->text(), QStringLiteral("Caf\u00e9 \u20ac1"));  // omega has no Windows-1252 byte
    name->setText(QStringLiteral("\u4e2d"));
    QVERIFY(!name->hasAcceptableInput());
  }

  void rackPageOrderAndNestedPages() {
    Tzel8Form form;
    QCOMPARE(TabCaptions(form.PageControl),
             QStringList({"General", "Labels", "Accounts", "Security", "Options",
                          "Miscellaneous "}));  // trailing space
    QCOMPARE(TabNames(form.PageControl),
             QStringList({"General", "zel8_Labels", "zel8_Accounts",
                          form.SecurityPage->objectName(), "zel8_Options", "zel8_Miscellaneous"}));
    QCOMPARE(form.PageControl->widget(3), form.SecurityPage);
    QCOMPARE(form.SecurityPage->RowCount(), 8);
    QCOMPARE(TagOf(form.SecurityPage->Row(7).mask), 34);
    QCOMPARE(TagOf(form.SecurityPage->Row(7).activated), 35);

    const QStringList devices{"Device 1", "Device 2", "Device 3", "Device 4", "Device 5"};
    QCOMPARE(TabCaptions(form.LabelControl), QStringList{"Group"} + devices);
    QCOMPARE(TabCaptions(form.AccountControl), QStringList{"Group"} + devices);
    QCOMPARE(TabCaptions(form.MiscControl), devices);
    QCOMPARE(form.LabelControl->widget(0)->objectName(), QStringLiteral("LabelDevice"));
    QCOMPARE(form.AccountControl->widget(0)->objectName(), QStringLiteral("AccountAdmin"));
    // Active pages: the two "Group" pages and the first device's counters.
    QCOMPARE(form.LabelControl->currentIndex(), 0);
    QCOMPARE(form.AccountControl->currentIndex(), 0);
    QCOMPARE(form.MiscControl->currentIndex(), 0);
    for (int n = 1; n <= 5; ++n) {
      const auto i = static_cast<std::size_t>(n - 1);
      QCOMPARE(form.LabelControl->widget(n), form.LabelPages[i]);
      QCOMPARE(form.AccountControl->widget(n), form.AccountPages[i]);
      QCOMPARE(form.MiscControl->widget(n - 1), form.MiscPages[i]);
      QCOMPARE(TagOf(form.LabelPages[i]->DeviceName()), 39 + 100 * (n - 1));
      QCOMPARE(form.AccountPages[i]->TagBase(), 40 + 100 * (n - 1));
      QCOMPARE(TagOf(form.MiscPages[i]->PowerUp()), 81 + 100 * (n - 1));
      QCOMPARE(TagOf(form.MiscPages[i]->Row(7).value), 89 + 100 * (n - 1));
      QCOMPARE(form.AccountPages[i]->SocketNumber(1)->text(), QStringLiteral("1"));
    }
    QCOMPARE(TagOf(form.LabelPages[2]->Row(7).name), 269);
    // Nested page controls fill their page with every tab on the left, none scrolled away.
    for (QTabWidget* nested : {form.LabelControl, form.AccountControl, form.MiscControl}) {
      QCOMPARE(nested->tabPosition(), QTabWidget::West);
      QVERIFY(!nested->usesScrollButtons());
      QCOMPARE(nested->elideMode(), Qt::ElideNone);
      for (int i = 0; i < nested->count(); ++i) QVERIFY(nested->isTabVisible(i));
    }
    form.PageControl->setTabVisible(2, true);
    form.PageControl->setCurrentIndex(2);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTabBar* side = form.AccountControl->tabBar();
    const QRect lastTab = side->tabRect(side->count() - 1);
    QVERIFY2(side->rect().contains(lastTab), "the last side tab lies beyond the tab bar");
    QCOMPARE(form.AccountControl->geometry(), form.AccountControl->parentWidget()->rect());
    form.close();
  }

  void framesOfTheThreeModels_data() { velkaro::test::AddRows(kFrames); }
  void framesOfTheThreeModels() {
    const auto& c = velkaro::test::FetchRow(kFrames);
    const std::unique_ptr<TZelForm> form = Create(c.model);
    QVERIFY(form);
    TZelForm& f = *form;
    // The classic sizes, widened by the side tabs, which hold the longest caption.
    const int tabs = SideTabsWidth(f.PageControl);
    int longest = 0;
    for (int i = 0; i < f.PageControl->count(); ++i)
      longest = std::max(longest, f.fontMetrics().horizontalAdvance(f.PageControl->tabText(i)));
    QVERIFY(tabs > longest);
    QSize client = c.client;
    client.rwidth() += tabs;
    QRect pages = c.pages;
    pages.setWidth(pages.width() + tabs);
    const int w = f.AvanceButton->width();
    QVERIFY(w >= 75);
    QCOMPARE(f.windowTitle(), QStringLiteral("Properties"));
    QCOMPARE(f.size(), client);
    QCOMPARE(f.minimumSize(), f.maximumSize());
    QCOMPARE(f.PageControl->geometry(), pages);
    QCOMPARE(f.AvanceButton->geometry(), QRect(8, c.buttonsTop, w, 25));
    QCOMPARE(f.CancelBtn->geometry(), QRect(client.width() - 8 - w, c.buttonsTop, w, 25));
    QCOMPARE(f.OKBtn->geometry(), QRect(client.width() - 13 - 2 * w, c.buttonsTop, w, 25));
    QVERIFY(f.OKBtn->isDefault());
    QCOMPARE(f.Port->value(), 1);
    // A hidden HTTP switch stays bound.
    QCOMPARE(f.httpLabel->isHidden(), c.httpHidden);
    QCOMPARE(f.http_authorized->isHidden(), c.httpHidden);
    QCOMPARE(TagOf(f.http_authorized), 4102);
    QVERIFY(InComponents(f, f.http_authorized));
  }

  // A form-description text edit: bound, 32 characters, 153 pixels wide, empty at first.
  void formDescriptionEdits_data() { velkaro::test::AddRows(kEdits); }
  void formDescriptionEdits() {
    const auto& c = velkaro::test::FetchRow(kEdits);
    const std::unique_ptr<TZelForm> form = Create(c.model);
    QVERIFY(form);
    auto* edit = Named<QLineEdit>(*form, c.object);
    QVERIFY(edit);
    QCOMPARE(TagOf(edit), c.tag);
    QCOMPARE(edit->maxLength(), 32);
    QCOMPARE(edit->width(), 153);
    QVERIFY(edit->text().isEmpty());
  }

  void formDescriptionRadios_data() { velkaro::test::AddRows(kRadios); }
  void formDescriptionRadios() {
    const auto& c = velkaro::test::FetchRow(kRadios);
    const std::unique_ptr<TZelForm> form = Create(c.model);
    QVERIFY(form);
    auto* radio = Named<QRadioButton>(*form, c.object);
    QVERIFY(radio);
    QCOMPARE(TagOf(radio), c.tag);
    QCOMPARE(radio->text(), QString::fromLatin1(c.caption));
    QVERIFY(!radio->isChecked());
  }

  void formDescriptionGroups_data() { velkaro::test::AddRows(kGroups); }
  void formDescriptionGroups() {
    const auto& c = velkaro::test::FetchRow(kGroups);
    const std::unique_ptr<TZelForm> form = Create(c.model);
    QVERIFY(form);
    auto* group = Named<QGroupBox>(*form, c.object);
    QVERIFY(group);
    QCOMPARE(group->title(), QString::fromLatin1(c.title));
  }

  void oneOutletFormDescription() {
    Tzel1Form form;
    auto* labels = Named(form, "zel1_Labels");
    QCOMPARE(LabelCount(labels, QStringLiteral("Device :")), 1);
    QCOMPARE(LabelCount(labels, QStringLiteral("Socket :")), 1);
    auto* users = Named(form, "zel1_UserAccounts");
    QCOMPARE(LabelCount(users, QStringLiteral("Login :")), 2);
    QCOMPARE(LabelCount(users, QStringLiteral("Password :")), 2);
    auto* delayBox = Named(form, "DelayBox");
    for (const char* t : {"5", "10", "15", "30", "60", "sec"})
      QCOMPARE(LabelCount(delayBox, QString::fromLatin1(t)), 1);
    // The two radio groups are separate containers.
    QVERIFY(Named(form, "Power_Up_On")->parentWidget() != Named(form, "d5")->parentWidget());
    QVERIFY(InComponents(form, Named(form, "d9")));
    QVERIFY(InComponents(form, Named(form, "zel1_UserPwd")));
  }

  void fourOutletFormDescription() {
    Tzel4Form form;
    auto* labels = Named(form, "zel4_Labels");
    QCOMPARE(LabelCount(labels, QStringLiteral("Device :")), 1);
    auto* users = Named(form, "UsersBox");
    QCOMPARE(LabelCount(users, QStringLiteral("Authorized Sockets")), 1);
    auto* options = Named(form, "zel4_Options");
    for (int n = 1; n <= 4; ++n) {
      const int step = 4 * (n - 1);
      QCOMPARE(LabelCount(labels, QStringLiteral("Socket %1:").arg(n)), 1);
      auto* login = Named(form, qPrintable(QStringLiteral("zel4_UserLogin%1").arg(n)));
      auto* pwd = Named(form, qPrintable(QStringLiteral("zel4_UserPwd%1").arg(n)));
      QVERIFY(login && pwd);
      QVERIFY(login->y() < pwd->y());  // login above password
      if (n > 1) {
        auto* previous = Named(form, qPrintable(QStringLiteral("zel4_UserLogin%1").arg(n - 1)));
        QCOMPARE(login->y() - previous->y(), 64);
      }
      QCOMPARE(LabelCount(users, QString::number(n)), 1);  // column heading
      for (int k = 1; k <= 4; ++k) {
        auto* box =
            Named<QCheckBox>(form, qPrintable(QStringLiteral("zel4_User%1Socket%2").arg(n).arg(k)));
        QVERIFY(box);
        QCOMPARE(TagOf(box), 59 + step + 4096 * (k - 1));
        QVERIFY(!box->isChecked());
      }
      // Power-up states of parameter 80 and the restart delays 72-75, one panel per row.
      const int shift = 2 * (n - 1);
      const int mask = 3 << shift;
      auto* on = Named<QRadioButton>(form, qPrintable(QStringLiteral("PowerUp%1On").arg(n)));
      auto* off = Named<QRadioButton>(form, qPrintable(QStringLiteral("PowerUp%1Off").arg(n)));
      auto* last = Named<QRadioButton>(form, qPrintable(QStringLiteral("PowerUp%1Last").arg(n)));
      QVERIFY(on && off && last);
      QCOMPARE(TagOf(on), BindingTag(80, 1 << shift, mask));
      QCOMPARE(TagOf(off), BindingTag(80, 2 << shift, mask));
      QCOMPARE(TagOf(last), BindingTag(80, 0, mask));
      QCOMPARE(on->parentWidget(), last->parentWidget());
      QCOMPARE(on->parentWidget()->findChildren<QRadioButton*>().size(), 3);
      QCOMPARE(LabelCount(options, QStringLiteral("Socket %1").arg(n)), 2);
      const int delayValues[] = {5, 10, 15, 30, 60};
      const int firstTags[] = {267407432, 267427912, 267448392, 267509832, 267632712};
      QWidget* delayPanel = nullptr;
      for (int j = 0; j < 5; ++j) {
        auto* radio = Named<QRadioButton>(
            form, qPrintable(QStringLiteral("Delay%1_%2").arg(n).arg(delayValues[j])));
        QVERIFY(radio);
        QCOMPARE(TagOf(radio), firstTags[j] + (n - 1));
        QVERIFY(!radio->isChecked());
        if (!delayPanel) delayPanel = radio->parentWidget();
        QCOMPARE(radio->parentWidget(), delayPanel);
      }
      QCOMPARE(delayPanel->findChildren<QRadioButton*>().size(), 5);
    }
    for (const char* t : {"On", "Off", "Last", "5", "10", "15", "30", "60", "sec"})
      QCOMPARE(LabelCount(options, QString::fromLatin1(t)), 1);
  }

  void rackFormDescription() {
    Tzel8Form form;
    QCOMPARE(LabelCount(Named(form, "LabelDevice"), QStringLiteral("Group Name :")), 1);
    QCOMPARE(LabelCount(Named(form, "zel8_Options"), QStringLiteral("Mail to :")), 1);
    QCOMPARE(LabelCount(Named(form, "AccountAdmin"), QStringLiteral("Login :")), 1);
    // Form-description components come before every page built in code.
    const auto list = form.Components();
    const auto pos = [&list](const QWidget* w) {
      return std::find(list.begin(), list.end(), w) - list.begin();
    };
    QVERIFY(pos(Named(form, "Edit1")) < pos(form.SecurityPage));
    QVERIFY(pos(form.SecurityPage) < pos(form.LabelPages[0]));
    QVERIFY(pos(form.LabelPages[4]) < pos(form.AccountPages[0]));
    QVERIFY(pos(form.AccountPages[4]) < pos(form.MiscPages[0]));
    QVERIFY(pos(form.MiscPages[4]->Row(7).value) < static_cast<std::ptrdiff_t>(list.size()));
  }

  // Every bound control names a parameter of its model, and every parameter of the model but
  // 5 and 10-13 has a control.
  void bindingsCoverEachModelsTable_data() { velkaro::test::AddRows(kModels); }
  void bindingsCoverEachModelsTable() {
    const auto& c = velkaro::test::FetchRow(kModels);
    const std::unique_ptr<TZelForm> form = Create(c.model);
    QVERIFY(form);
    std::set<int> bound;
    for (QWidget* w : form->Components()) {
      const int tag = TagOf(w);
      if (tag == 0) continue;
      const int p = DecodeBindingTag(tag).parameter;
      QVERIFY2(HasTag(static_cast<std::uint16_t>(p), c.model),
               qPrintable(QStringLiteral("%1 binds %2").arg(w->objectName()).arg(p)));
      bound.insert(p);
      // Nothing typed can outgrow a one-byte text length on the wire.
      if (auto* edit = qobject_cast<QLineEdit*>(w); edit && !edit->isReadOnly()) {
        QVERIFY2(edit->maxLength() <= 255, qPrintable(QString::number(p)));
        // ...nor hold a character that has no byte on the wire.
        QVERIFY2(edit->validator(), qPrintable(QString::number(p)));
      }
    }
    for (TDescriptor d : c.table()) {
      const int tag = DescriptorTag(d);
      const bool shown = bound.count(tag) == 1;
      const bool unshown = tag == 5 || (tag >= 10 && tag <= 13);
      QVERIFY2(shown != unshown, qPrintable(QStringLiteral("tag %1").arg(tag)));
    }
  }

  void destroyingADialogReleasesItsPages() {
    auto form = std::make_unique<Tzel8Form>();
    QPointer<QWidget> security = form->SecurityPage;
    QPointer<QWidget> lab = form->LabelPages[4];
    QPointer<QWidget> rack = form->AccountPages[2];
    QPointer<QCheckBox> box = form->AccountPages[2]->Box(8, 8);
    QPointer<QWidget> misc = form->MiscPages[0];
    form.reset();
    QVERIFY(security.isNull() && lab.isNull() && rack.isNull() && box.isNull() && misc.isNull());
  }

  // ---- against a simulated device ----------------------------------------------------------

  void fourOutletPowerUpStatesSendTheChangedField() {
    sim_ = velkaro::test::StartDevice(
        session, kModelZel4, [](sim::TSimulator& s) { s.SetValue(0, 80, std::uint32_t{0x19}); });
    Tzel4Form form;
    form.SetDevice(session, 0);
    QStringList shown;
    const int r = ExecuteWith(form, [&](TZelForm& f) {
      f.AvanceButton->click();
      for (int n = 1; n <= 4; ++n)
        for (const char* state : {"On", "Off", "Last"})
          if (Named<QRadioButton>(f, qPrintable(QStringLiteral("PowerUp%1%2").arg(n).arg(state)))
                  ->isChecked())
            shown << QStringLiteral("%1 %2").arg(n).arg(state);
      QTest::mouseClick(Named(f, "PowerUp4Off"), Qt::LeftButton, {}, QPoint(8, 8));
      f.OKBtn->click();
    });
    QCOMPARE(r, 1);
    QCOMPARE(shown, QStringList({"1 On", "2 Off", "3 On", "4 Last"}));
    QCOMPARE(Item(Written(*sim_), 80), TBytes{0x99});
    QCOMPARE(sim_->Snapshot(0).values.AsUInt(80), 0x99u);
  }

  void fourOutletOnForSocketFour() {
    sim_ = velkaro::test::StartDevice(
        session, kModelZel4, [](sim::TSimulator& s) { s.SetValue(0, 80, std::uint32_t{0x19}); });
    Tzel4Form form;
    form.SetDevice(session, 0);
    ExecuteWith(form, [&](TZelForm& f) {
      f.AvanceButton->click();
      Named<QRadioButton>(f, "PowerUp4On")->click();
      f.OKBtn->click();
    });
    QCOMPARE(Item(Written(*sim_), 80), TBytes{0x59});
  }

  void oneOutletDelayOutsideTheChoicesIsSentUnchanged() {
    sim_ = velkaro::test::StartDevice(
        session, kModelZel1, [](sim::TSimulator& s) { s.SetValue(0, 50, std::uint32_t{20}); });
    Tzel1Form form;
    form.SetDevice(session, 0);
    int selected = -1;
    ExecuteWith(form, [&](TZelForm& f) {
      f.AvanceButton->click();
      selected = 0;
      for (const char* name : {"d5", "d6", "d7", "d8", "d9"})
        if (Named<QRadioButton>(f, name)->isChecked()) ++selected;
      f.OKBtn->click();
    });
    QCOMPARE(selected, 0);
    QCOMPARE(Item(Written(*sim_), 50), TBytes{20});
    QCOMPARE(sim_->Snapshot(0).values.AsUInt(50), 20u);
  }

  void oneOutletDelayChoiceIsSent() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    Tzel1Form form;
    form.SetDevice(session, 0);
    bool tenShown = false;
    ExecuteWith(form, [&](TZelForm& f) {
      f.AvanceButton->click();
      tenShown = Named<QRadioButton>(f, "d6")->isChecked();  // the simulator's 10 s
      Named<QRadioButton>(f, "d9")->click();
      f.OKBtn->click();
    });
    QVERIFY(tenShown);
    QCOMPARE(Item(Written(*sim_), 50), TBytes{60});
  }

  void rackKeepsTheHiddenHttpBit() {
    sim_ = velkaro::test::StartDevice(
        session, kModelZel8, [](sim::TSimulator& s) { s.SetValue(0, 6, std::uint32_t{3}); });
    {
      Tzel8Form form;
      form.SetDevice(session, 0);
      const int r = ExecuteWith(form, [&](TZelForm& f) { f.OKBtn->click(); });
      QCOMPARE(r, 1);
    }
    QCOMPARE(Item(Written(*sim_), 6), TBytes{3});
    QCOMPARE(sim_->Snapshot(0).values.AsUInt(6), 3u);
    sim_->ClearRequests();
    // After a full read too, and unticking "Velkaro authorized :" leaves the HTTP bit alone.
    Tzel8Form form;
    form.SetDevice(session, 0);
    ExecuteWith(form, [&](TZelForm& f) {
      f.AvanceButton->click();
      f.velkaro_authorized->setChecked(false);
      f.OKBtn->click();
    });
    QCOMPARE(Item(Written(*sim_), 6), TBytes{2});
  }

  void rackAccountsTwinModeReachesTheDevice() {
    sim_ = velkaro::test::StartDevice(session, kModelZel8, [](sim::TSimulator& s) {
      s.SetValue(0, 140, std::uint32_t{3});  // device 2: activated, twin mode
      s.SetValue(0, 144, std::uint32_t{0x0F});
      s.SetValue(0, 164, std::uint32_t{0xA0});
    });
    Tzel8Form form;
    form.SetDevice(session, 0);
    bool twinnedShown = false;
    ExecuteWith(form, [&](TZelForm& f) {
      f.AvanceButton->click();
      TRack* rack = form.AccountPages[1];
      twinnedShown = rack->TwinMode->isChecked() && rack->Box(1, 8)->isChecked() &&
                     !rack->Box(1, 8)->isEnabled() && rack->Box(6, 2)->isChecked();
      f.OKBtn->click();
    });
    QVERIFY(twinnedShown);
    const TZEL after = sim_->Snapshot(0);
    QCOMPARE(after.values.AsUInt(144), 0xFFu);
    QCOMPARE(after.values.AsUInt(164), 0xAAu);
    QCOMPARE(after.values.AsUInt(140), 3u);
  }

  void oneOutletEndToEnd() {
    EndToEnd(kModelZel1, 23, TValue{std::uint32_t{45}}, [](TZelForm& f) {
      auto& form = dynamic_cast<Tzel1Form&>(f);
      form.SupervisionPage->Interval()->setValue(45);
    });
  }

  void fourOutletEndToEnd() {
    EndToEnd(kModelZel4, 24, TValue{std::uint32_t{0xAC100000u}}, [](TZelForm& f) {
      auto& form = dynamic_cast<Tzel4Form&>(f);
      form.SecurityPage->Row(2).mask->SetText(QStringLiteral("172.16.0.0"));
    });
  }

  void rackEndToEnd() {
    EndToEnd(kModelZel8, 150, TValue{std::string("operator")}, [](TZelForm& f) {
      auto& form = dynamic_cast<Tzel8Form&>(f);
      QLineEdit* login = form.AccountPages[1]->LoginEdit(3);  // device 2, user 3
      login->selectAll();
      QTest::keyClicks(login, QStringLiteral("operator"));
    });
  }
};

QTEST_MAIN(ModelDialogsTest)
#include "ModelDialogsTest.moc"
