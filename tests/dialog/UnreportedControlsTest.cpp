// A device that does not report some tags: their controls are disabled with a tooltip saying so,
// stay disabled when page logic enables their group, and OK writes nothing for them.
#include <QAbstractButton>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "DialogTestSupport.h"
#include "dialog/ControlBinding.h"
#include "dialog/Zel1Form.h"
#include "pages/BindingTag.h"
#include "support/UiRecorder.h"

using namespace velkaro;

namespace {

// The first listed control bound to `parameter` whose kind is `T`.
template <class T>
T* BoundTo(const TZelForm& form, int parameter) {
  for (QWidget* w : form.Components())
    if (auto* c = qobject_cast<T*>(w); c && DecodeBindingTag(TagOf(c)).parameter == parameter)
      return c;
  return nullptr;
}

}  // namespace

class UnreportedControlsTest : public QObject {
  Q_OBJECT

  test::TUiRecorder ui_;
  TSession session;  // each test\'s own, made afresh in init()

 private slots:
  void initTestCase() {}
  void init() {
    session = {};
    session.settings.busy = ui::BusyCursorHook();
    ui_.Clear();
    ui_.Install();
  }
  void cleanup() {
    ui::ResetUiHooks();
    QVERIFY(test::NoTopLevelWindowLeft());
  }

  void unreportedControlIsDisabledAndNeverWritten_data() {
    QTest::addColumn<int>("cleared");     // the tag the device never reports
    QTest::addColumn<bool>("options");    // reach it through "Options -->>"
    QTest::addColumn<int>("writtenToo");  // a reported tag of the same write
    QTest::newRow("General page, gateway") << 3 << false << 2;
    QTest::newRow("Supervision, interval") << 23 << true << 24;
  }
  void unreportedControlIsDisabledAndNeverWritten() {
    QFETCH(int, cleared);
    QFETCH(bool, options);
    QFETCH(int, writtenToo);
    auto simulator = test::StartDevice(
        session, kModelZel1, [cleared](sim::TSimulator& s) { s.SetValue(0, cleared, TValue{}); });
    const TZEL before = simulator->Snapshot(0);

    Tzel1Form form;
    form.SetDevice(session, 0);
    bool disabled = false, heldAgainstPage = false;
    QString tip;
    const int result = test::ExecuteWith(form, [&](TZelForm& f) {
      if (options) f.AvanceButton->click();
      auto* control = BoundTo<QWidget>(f, cleared);
      if (!control) return f.reject();
      disabled = !control->isEnabled();
      tip = control->toolTip();
      // Supervision on and off and on again enables the interval's group each time.
      if (auto* ping = BoundTo<QAbstractButton>(f, 21)) {
        ping->setChecked(!ping->isChecked());
        ping->setChecked(!ping->isChecked());
      }
      control->setEnabled(true);
      heldAgainstPage = !control->isEnabled();
      f.OKBtn->click();
    });
    QCOMPARE(result, TZelForm::kResultOk);
    QVERIFY(disabled);
    QCOMPARE(tip, QString::fromLatin1(kNotReportedText));
    QVERIFY(heldAgainstPage);
    QVERIFY(ui_.messages.isEmpty());  // an empty unreported address is no input error

    const auto writes = test::WriteRequests(*simulator);
    QVERIFY(!writes.empty());
    bool carriesReported = false;
    for (const auto& items : writes) {
      QVERIFY(!items.count(cleared));
      carriesReported = carriesReported || items.count(writtenToo);
    }
    QVERIFY(carriesReported);
    QVERIFY(!simulator->Snapshot(0).values.Has(cleared));
    QCOMPARE(simulator->Snapshot(0).values.AsUInt(writtenToo), before.values.AsUInt(writtenToo));
  }

  void reportedAgainGivesTheControlBack() {
    TValueSlots values;
    QSpinBox spin;
    SetTag(&spin, 23);
    spin.setToolTip(QStringLiteral("seconds"));
    QVERIFY(MarkUnreported(&spin, values));
    QVERIFY(!spin.isEnabled());
    values.SetPartial(23, std::uint32_t{5});  // a part of a value is not a report either
    QVERIFY(MarkUnreported(&spin, values));
    QVERIFY(!StoreControl(&spin, values));
    values.Set(23, std::uint32_t{5});
    QVERIFY(!MarkUnreported(&spin, values));
    QVERIFY(spin.isEnabled());
    QCOMPARE(spin.toolTip(), QStringLiteral("seconds"));
    QVERIFY(StoreControl(&spin, values));
  }
};

QTEST_MAIN(UnreportedControlsTest)
#include "UnreportedControlsTest.moc"
