// Help > "Save diagnostics…": the session's packet log and its summary, through the file-chooser
// seam, against the simulator on 127.0.0.1.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/Diagnostics.h"
#include "app/FormMain.h"
#include "support/LoopbackSimulator.h"
#include "support/PcapngReader.h"
#include "support/UiRecorder.h"
#include "version/VersionInfo.h"

using namespace velkaro;

namespace {

QByteArray ReadAll(const QString& name) {
  QFile f(name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QAction* HelpAction(TFormMain& form, const QString& text) {
  for (QAction* menu : form.menuBar()->actions())
    if (menu->menu())
      for (QAction* a : menu->menu()->actions())
        if (a->text() == text) return a;
  return nullptr;
}

}  // namespace

class DiagnosticsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    recorder = {};
    recorder.Install();
  }
  void cleanup() { ui::ResetUiHooks(); }

  void savesTheSessionLogAndItsSummaryFromTheHelpMenu() {
    QTemporaryDir dir;
    TSessionDiagnostics diagnostics;
    auto simulator = testing::StartLoopbackSimulator();
    TSession session;
    QVERIFY(simulator->ListDevices(session).Ok());
    ui::ShowMessage(nullptr, QStringLiteral("Connection Error:  test failure"));

    TFormMain form(session.settings);
    form.SetDiagnosticsHandler([&] { diagnostics.Save(&form, form.Session.settings); });
    QAction* save = HelpAction(form, QStringLiteral("Save &diagnostics\u2026"));
    QVERIFY(save);
    recorder.saveAnswer = dir.filePath(QStringLiteral("field.pcapng"));
    save->trigger();

    QCOMPARE(recorder.saveRequests.size(), 1);
    const QByteArray log = ReadAll(recorder.saveAnswer);
    const auto file = testing::ReadPcapng(std::vector<std::uint8_t>(log.begin(), log.end()));
    // The discovery: one request and one reply per simulated device.
    QCOMPARE(file.packets.size(), simulator->DeviceCount() + 1);
    const QString summary =
        QString::fromUtf8(ReadAll(dir.filePath(QStringLiteral("field-summary.txt"))));
    QVERIFY2(summary.contains(QString::fromStdString("Version: " + TVersionInfo().FileVersion)),
             qPrintable(summary));
    QVERIFY(summary.contains(QStringLiteral("OEM code: %1\n").arg(form.Session.settings.oemCode)));
    QVERIFY(summary.contains(QStringLiteral("Target: 127.0.0.1:%1").arg(simulator->Port())));
    QVERIFY(summary.contains(QStringLiteral("Interfaces:\n")));
    QVERIFY(summary.contains(QStringLiteral("test failure")));
    QVERIFY(recorder.messages.last().startsWith(QStringLiteral("Diagnostics saved: ")));
  }

  void cancelWritesNothingAndAFailureIsTold() {
    QTemporaryDir dir;
    TSessionDiagnostics diagnostics;
    recorder.saveAnswer.clear();
    QVERIFY(!diagnostics.Save(nullptr, testing::NowhereSettings()));
    QVERIFY(QDir(dir.path()).isEmpty());
    recorder.saveAnswer = dir.filePath(QStringLiteral("missing/field.pcapng"));
    QVERIFY(!diagnostics.Save(nullptr, testing::NowhereSettings()));
    QVERIFY(recorder.messages.last().startsWith(QStringLiteral("Cannot save the diagnostics: ")));
  }

 private:
  test::TUiRecorder recorder;
};

QTEST_MAIN(DiagnosticsTest)
#include "DiagnosticsTest.moc"
