// Reads and writes of the property dialog run off the UI thread: the event loop keeps running
// during a silent write, the busy panel says what is going on, and Cancel ends the wait early
// without merging anything of a read.
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "DialogTestSupport.h"
#include "dialog/DialogFactories.h"
#include "protocol/ModelRegistry.h"
#include "support/LoopbackSimulator.h"
#include "support/UiRecorder.h"
#include "ui/ExchangeWorker.h"

using namespace velkaro;

namespace {

QProgressDialog* VisibleBusyPanel() {
  for (QWidget* w : QApplication::allWidgets())
    if (w->objectName() == QLatin1String(ui::kBusyPanelName) && w->isVisible())
      return qobject_cast<QProgressDialog*>(w);
  return nullptr;
}

// Clicks Cancel on the busy panel after `ms`, noting the panel's text.
void CancelBusyPanelAfter(int ms, QString& seenText) {
  QTimer::singleShot(ms, qApp, [&seenText] {
    QProgressDialog* panel = VisibleBusyPanel();
    if (!panel) return;
    seenText = panel->labelText();
    if (auto* cancel = panel->findChild<QPushButton*>()) cancel->click();
  });
}

std::unique_ptr<TPropertyDialog> MakeDialog(TSession& session, const DialogFactory& factory) {
  auto dialog = factory(nullptr);
  dialog->SetDevice(session, 0);
  return dialog;
}

}  // namespace

class BusyExchangeTest : public QObject {
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
  void cleanup() { ui::ResetUiHooks(); }

  // OK on a device that stays silent: ten empty waits on the exchange thread while a timer of
  // the UI thread keeps ticking and the panel says "Writing…".
  void silentWriteKeepsTheEventLoopRunning() {
    auto simulator = test::StartDevice(session, kModelZel1);
    simulator->SetSilent(true);
    auto dialog = MakeDialog(session, MakeZel1Factory());
    auto& form = dynamic_cast<TZelForm&>(*dialog);

    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(50);
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    QString panelText;
    QTimer::singleShot(500, qApp, [&panelText] {
      if (QProgressDialog* panel = VisibleBusyPanel()) panelText = panel->labelText();
    });
    QElapsedTimer clock;
    const int result = test::ExecuteWith(form, [&](TZelForm& f) {
      ticker.start();
      clock.start();
      f.OKBtn->click();
    });
    const qint64 took = clock.elapsed();
    ticker.stop();

    QCOMPARE(result, 1);
    // Ten silent periods of 100 ms for the write and for each of its two resends.
    QVERIFY2(took >= 3000 && took < 3800, qPrintable(QString::number(took)));
    // One tick every 50 ms, give or take a loaded machine.
    QVERIFY2(ticks >= 12, qPrintable(QString::number(ticks)));
    QCOMPARE(panelText, QString::fromUtf8("Writing…"));
    QCOMPARE(ui_.messages, QStringList{QStringLiteral("Device not responding")});
    QVERIFY(!form.WriteAnswered());
    QCOMPARE(simulator->RequestCount(), std::size_t{1 + kWriteResends});
    QVERIFY(!VisibleBusyPanel());
  }

  // Cancel ends the silent write at its next listening check; the user is told nothing more.
  void cancelEndsASilentWriteEarly() {
    auto simulator = test::StartDevice(session, kModelZel1);
    simulator->SetSilent(true);
    auto dialog = MakeDialog(session, MakeZel1Factory());
    auto& form = dynamic_cast<TZelForm&>(*dialog);
    QString panelText;
    QElapsedTimer clock;
    const int result = test::ExecuteWith(form, [&](TZelForm& f) {
      CancelBusyPanelAfter(300, panelText);
      clock.start();
      f.OKBtn->click();
    });
    const qint64 took = clock.elapsed();
    QCOMPARE(result, 1);
    QCOMPARE(panelText, QString::fromUtf8("Writing…"));
    QVERIFY2(took >= 300 && took < 300 + 250, qPrintable(QString::number(took)));
    QVERIFY(ui_.messages.isEmpty());
    QCOMPARE(simulator->RequestCount(), std::size_t{1});
  }

  // A rack read cancelled after its first batch was answered: nothing of it reaches the device
  // list and the dialog stays on the General page.
  void cancelledReadMergesNothing() {
    auto simulator = test::StartDevice(session, kModelZel8);
    simulator->SetReplyDelay(80);
    const TZEL before = session.DeviceList[0];
    QVERIFY(!before.values.Reported(37));  // a tag of the first batch
    auto dialog = MakeDialog(session, MakeZel8Factory());
    auto& form = dynamic_cast<TZelForm&>(*dialog);
    QString panelText;
    bool optionsLoaded = true;
    test::ExecuteWith(form, [&](TZelForm& f) {
      CancelBusyPanelAfter(450, panelText);
      f.AvanceButton->click();
      optionsLoaded = f.OptionsLoaded();
      f.done(2);
    });
    QCOMPARE(panelText, QString::fromUtf8("Reading device…"));
    QVERIFY(simulator->RequestCount() >= 2);  // the second batch is sent once the first is heard
    QVERIFY(simulator->RequestCount() < 5);
    QVERIFY(!optionsLoaded);
    QVERIFY(!session.DeviceList[0].values.Reported(37));
    QCOMPARE(session.DeviceList[0].values.AsText(7), before.values.AsText(7));
    QVERIFY(ui_.messages.isEmpty());
  }
};

QTEST_MAIN(BusyExchangeTest)
#include "BusyExchangeTest.moc"
