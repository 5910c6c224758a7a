// What the user types into the property dialogs: refused characters say so, long texts reload
// showing their start, passwords are masked with a reveal toggle, and the dialog works with the
// keyboard alone against a simulated device on 127.0.0.1.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolTip>
#include <QtTest>
#include <set>

#include "DialogTestSupport.h"
#include "dialog/DeviceTextValidator.h"
#include "dialog/PasswordReveal.h"
#include "dialog/Zel1Form.h"
#include "dialog/Zel4Form.h"
#include "dialog/Zel8Form.h"
#include "pages/BindingTag.h"
#include "pages/IPEdit.h"
#include "sim/DeviceProfile.h"
#include "support/UiRecorder.h"

using namespace velkaro;

namespace {

QLineEdit* EditWithTag(const TZelForm& form, int tag) {
  for (QWidget* w : form.Components())
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit && TagOf(edit) == tag) return edit;
  return nullptr;
}

// Password parameters of each model.
std::set<int> PasswordTags(std::uint32_t model) {
  if (model == kModelZel1) return {9, 42};
  if (model == kModelZel4) return {9, 58, 62, 66, 70};
  std::set<int> tags{9};
  for (int device = 1; device <= 5; ++device)
    for (int user = 1; user <= 8; ++user) tags.insert(40 + 100 * (device - 1) + 4 * user - 1);
  return tags;
}

// Types `text` character by character, as a keyboard with those keys would.
void Type(QWidget* target, const QString& text) {
  for (const QChar c : text)
    QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

}  // namespace

class DialogInputTest : public QObject {
  Q_OBJECT

  test::TUiRecorder ui_;
  TSession session;  // each test\'s own, made afresh in init()

 private slots:
  void init() {
    session = {};
    session.settings.busy = ui::BusyCursorHook();
    ui_.Clear();
    ui_.Install();
  }
  void cleanup() {
    ui::ResetUiHooks();
    QTRY_VERIFY(test::NoTopLevelWindowLeft());  // a tooltip may fade out first
  }

  void refusedCharacterIsNamedInATip() {
    test::TLoadedForm<Tzel1Form> form(kModelZel1);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QLineEdit* name = EditWithTag(form, 7);
    QVERIFY(name);
    form.PageControl->setCurrentWidget(name->parentWidget()->parentWidget());
    name->setFocus();
    name->clear();
    Type(name, QStringLiteral("Caf\u00E9 Stra\u00DFe"));
    QCOMPARE(name->text(), QStringLiteral("Caf\u00E9 Stra\u00DFe"));
    QVERIFY(!QToolTip::isVisible());
    Type(name, QStringLiteral(" \u20AC"));  // the euro sign has a byte
    Type(name, QStringLiteral("\u03A9"));   // omega has none
    QCOMPARE(name->text(), QStringLiteral("Caf\u00E9 Stra\u00DFe \u20AC"));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), TDeviceTextValidator::RefusalText(QStringLiteral("\u03A9")));
    QVERIFY(QToolTip::text().contains(QStringLiteral("\u03A9")));
    QToolTip::hideText();
    form.close();
  }

  void longTextReloadsShowingItsStart() {
    const std::string longName = "Start-of-the-name" + std::string(15, 'x');  // 32 characters
    test::TLoadedForm<Tzel1Form> form(kModelZel1, [&](TValueSlots& v) { v.Set(7, longName); });
    QLineEdit* name = EditWithTag(form, 7);
    QVERIFY(name);
    QCOMPARE(name->text(), QString::fromStdString(longName));
    QCOMPARE(name->cursorPosition(), 0);
    QVERIFY(name->fontMetrics().horizontalAdvance(name->text()) > name->width());  // it is long
    name->setCursorPosition(name->text().size());
    form.LoadControls();
    QCOMPARE(name->cursorPosition(), 0);
  }

  void passwordsMaskedWithARevealToggle_data() {
    QTest::addColumn<std::uint32_t>("model");
    QTest::newRow("one outlet") << kModelZel1;
    QTest::newRow("four outlets") << kModelZel4;
    QTest::newRow("rack") << kModelZel8;
  }
  void passwordsMaskedWithARevealToggle() {
    QFETCH(std::uint32_t, model);
    const auto form = test::MakeLoadedForm(model);
    const std::set<int> expected = PasswordTags(model);
    std::set<int> masked;
    for (QWidget* w : form->Components()) {
      auto* edit = qobject_cast<QLineEdit*>(w);
      if (!edit || TagOf(edit) == 0) continue;
      const bool password = expected.count(TagOf(edit)) != 0;
      QCOMPARE(edit->echoMode() == QLineEdit::Password, password);
      QCOMPARE(RevealToggle(edit) != nullptr, password);
      if (!password) continue;
      masked.insert(TagOf(edit));
      QAction* reveal = RevealToggle(edit);
      QVERIFY(edit->actions().contains(reveal));
      reveal->trigger();
      QCOMPARE(edit->echoMode(), QLineEdit::Normal);
      reveal->trigger();
      QCOMPARE(edit->echoMode(), QLineEdit::Password);
    }
    QCOMPARE(masked, expected);
  }

  // Tab reaches every General control and the buttons, Space on "Options -->>" reads the device,
  // Ctrl+Tab turns the page, Enter in a field is OK and writes; Escape cancels.
  void keyboardAlone() {
    const auto sim = test::StartDevice(session, kModelZel1);
    Tzel1Form form;
    form.SetDevice(session, 0);
    QList<QWidget*> reached;
    const int result = test::ExecuteWith(form, [&](TZelForm& f) {
      f.activateWindow();
      if (!QTest::qWaitForWindowActive(&f)) return f.done(2);
      f.ipaddress->setFocus();
      for (int i = 0; i < 30; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus) break;
        reached << focus;
        QTest::keyClick(focus, Qt::Key_Tab);
      }
      f.Port->setFocus();
      f.Port->selectAll();
      QTest::keyClicks(f.Port, QStringLiteral("8081"));
      QTest::keyClick(f.Port, Qt::Key_Return);
    });
    for (QWidget* w :
         {static_cast<QWidget*>(form.Port), static_cast<QWidget*>(form.velkaro_authorized),
          static_cast<QWidget*>(form.http_authorized), static_cast<QWidget*>(form.AvanceButton),
          static_cast<QWidget*>(form.OKBtn), static_cast<QWidget*>(form.CancelBtn)}) {
      const bool found = std::any_of(reached.begin(), reached.end(),
                                     [w](QWidget* r) { return r == w || w->isAncestorOf(r); });
      QVERIFY2(found, qPrintable(w->objectName()));
    }
    for (TIPEdit* address : {form.ipaddress, form.submask, form.gateway}) {
      const bool found = std::any_of(reached.begin(), reached.end(),
                                     [address](QWidget* r) { return address->isAncestorOf(r); });
      QVERIFY2(found, qPrintable(address->objectName()));
    }
    QVERIFY(reached.contains(form.PageControl->tabBar()));
    QCOMPARE(result, 1);
    const auto writes = test::WriteRequests(*sim);
    const auto port = std::find_if(writes.begin(), writes.end(),
                                   [](const test::TItems& w) { return w.count(4) != 0; });
    QVERIFY(port != writes.end());
    QCOMPARE(port->at(4), (TBytes{0x1F, 0x91}));  // 8081

    sim->ClearRequests();
    Tzel1Form again;
    again.SetDevice(session, 0);
    bool turned = false;
    const int cancelled = test::ExecuteWith(again, [&turned](TZelForm& f) {
      f.activateWindow();
      if (!QTest::qWaitForWindowActive(&f)) return;  // the watchdog cancels, writing nothing
      // Options by keyboard, then the next page by Ctrl+Tab.
      f.AvanceButton->setFocus();
      QTest::keyClick(f.AvanceButton, Qt::Key_Space);
      // The read runs off the UI thread behind its busy panel.
      if (QTest::qWaitFor([&f] { return f.OptionsLoaded(); }, 5000)) {
        f.activateWindow();
        (void)QTest::qWaitForWindowActive(&f);
        QTest::keyClick(f.PageControl, Qt::Key_Tab, Qt::ControlModifier);
        turned = f.PageControl->currentIndex() == 1;
      }
      f.ipaddress->setFocus();
      QWidget* focus = QApplication::focusWidget();
      QTest::keyClick(focus ? focus : &f, Qt::Key_Escape);
    });
    QVERIFY(turned);
    QCOMPARE(cancelled, 2);
    QVERIFY(test::WriteRequests(*sim).empty());
    QVERIFY(again.OptionsLoaded());
  }
};

QTEST_MAIN(DialogInputTest)
#include "DialogInputTest.moc"
