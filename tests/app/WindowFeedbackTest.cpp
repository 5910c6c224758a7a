// What the main window tells its user and remembers: the first-run hint, the box for a URL no
// browser could open, the status after a written configuration, settings kept between runs, and
// the demo that stays on the loopback interface.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/DemoDevices.h"
#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "dialog/DialogFactories.h"
#include "dialog/ZelForm.h"
#include "operations/DeviceOperations.h"
#include "platform/Socket.h"
#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"
#include "sim/Simulator.h"
#include "support/LoopbackSimulator.h"
#include "support/UiRecorder.h"
#include "ui/RememberedSettings.h"

using namespace velkaro;

class WindowFeedbackTest : public QObject {
  Q_OBJECT

  std::unique_ptr<sim::TSimulator> sim_;

  TExchangeSettings Aimed() const { return testing::SettingsFor(*sim_); }
  test::TUiRecorder ui_;

 private slots:
  void initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Velkaro"));
    sim_ = testing::StartLoopbackSimulator();
  }

  void init() {
    ui_ = {};
    ui_.Install();
  }

  void cleanup() { ui::ResetUiHooks(); }

  void cleanupTestCase() { sim_.reset(); }

  void emptyGridShowsTheFirstRunHint() {
    TFormMain form(Aimed());
    form.show();
    QVERIFY(form.EmptyHint->isVisible());
    QCOMPARE(form.EmptyHint->text(),
             QStringLiteral("Press Scan (Ctrl+S) to find switches on your network"));
    testing::ListDevices(form.Session);
    QVERIFY(!form.EmptyHint->isVisible());
    form.ResetGrid();
    QVERIFY(form.EmptyHint->isVisible());
    form.close();
  }

  // The URL seam says no browser started: the box gets the URL, and its Copy button puts it on
  // the clipboard without closing the box.
  void webWithoutABrowserGivesTheUrlWithCopy() {
    ui_.openUrlResult = false;
    TFormMain form(Aimed());
    testing::ListDevices(form.Session);
    form.Web();
    QCOMPARE(ui_.urls, QStringList{form.DeviceUrl()});
    QCOMPARE(ui_.urlBoxes, QStringList{form.DeviceUrl()});
    ui_.openUrlResult = true;
    form.Web();
    QCOMPARE(ui_.urlBoxes.size(), 1);

    const std::unique_ptr<QMessageBox> box = ui::MakeUrlBox(nullptr, form.DeviceUrl());
    QVERIFY(box->informativeText().contains(form.DeviceUrl()));
    box->show();
    auto* copy = box->findChild<QPushButton*>(QStringLiteral("CopyButton"));
    QVERIFY(copy);
    QCOMPARE(copy->text(), QStringLiteral("&Copy"));
    QApplication::clipboard()->clear();
    copy->click();
    QCOMPARE(QApplication::clipboard()->text(), form.DeviceUrl());
    QVERIFY(box->isVisible());
    box->close();
  }

  // OK in the real dialog on a device that answers: "Configuration written", then a new scan.
  void writtenConfigurationIsReportedInTheStatusBar() {
    TFormMain form(Aimed(), {MakeZel1Factory(), MakeZel4Factory(), MakeZel8Factory()});
    testing::ListDevices(form.Session);
    form.StringGrid->setCurrentCell(0, 0);
    QTimer::singleShot(0, &form, [] {
      if (auto* dialog = qobject_cast<TZelForm*>(QApplication::activeModalWidget()))
        dialog->OKBtn->click();
    });
    QTimer::singleShot(5000, &form, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    form.Config();
    QCOMPARE(form.StatusBar->currentMessage(), QStringLiteral("Configuration written"));
    QVERIFY(form.Scanning());
    QVERIFY(ui_.messages.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), 8000);
    QCOMPARE(form.StatusBar->currentMessage(), QStringLiteral("3 devices found"));
  }

  // Geometry, column widths and the last .cfg folder come back in the next window of the same
  // scope; the demo's scope keeps its own.
  void settingsRoundTrip() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    ui::SetSettingsScope(QStringLiteral("velkaro-test"));
    const QList<int> widths{210, 170, 120, 140};
    {
      TFormMain form(Aimed());
      form.show();
      form.resize(800, 420);
      for (int c = 0; c < 4; ++c) form.StringGrid->setColumnWidth(c, widths[c]);
      form.close();
    }
    const QString cfgFolder = dir.filePath(QStringLiteral("configs"));
    QVERIFY(QDir().mkpath(cfgFolder));
    ui::RememberFolderOf(QString::fromLatin1(ui::kConfigFolderKey),
                         cfgFolder + QStringLiteral("/rack.cfg"));
    {
      TFormMain form(Aimed());
      QCOMPARE(form.size(), QSize(800, 420));
      for (int c = 0; c < 4; ++c) QCOMPARE(form.StringGrid->columnWidth(c), widths[c]);
      testing::ListDevices(form.Session);
      form.ShowDeviceRow(0);
      form.SaveClick();  // cancelled by the recorder
      QCOMPARE(ui_.saveRequests.size(), 1);
      QVERIFY2(ui_.saveRequests[0].fileName.startsWith(cfgFolder + u'/'),
               qPrintable(ui_.saveRequests[0].fileName));
    }
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("Velkaro/velkaro-test.ini"))));

    ui::SetSettingsScope(QString::fromLatin1(ui::kDemoScope));
    QVERIFY(ui::LastFolder(QString::fromLatin1(ui::kConfigFolderKey)).isEmpty());
    // Widths out of range (a damaged file) are ignored.
    ui::OpenSettings()->setValue(QStringLiteral("window/columns"), QVariantList{0, 99999, 7, 150});
    {
      TFormMain form(Aimed());
      QCOMPARE(form.StringGrid->columnWidth(3), 150);
      QVERIFY(form.StringGrid->columnWidth(1) < 2000);
    }
    ui::SetSettingsScope(QString());
    QVERIFY(!ui::OpenSettings());
  }

  // Every address the demo's devices report lies in 127.0.0.0/8, and each device's web port
  // serves its status page on its own loopback address.
  void demoStaysOnLoopback() {
    TDemoDevices demo;
    std::string error;
    QVERIFY2(demo.Start(error), error.c_str());
    TSession session;
    session.settings.target = demo.Target();
    QCOMPARE((session.settings.target.address >> 24), 127u);
    testing::ListDevices(session);
    QCOMPARE(session.DeviceList.size(), std::size_t{3});
    for (std::size_t i = 0; i < session.DeviceList.size(); ++i) {
      TZEL record = session.DeviceList[i];
      QVERIFY(ops::ReadAll(session.settings, record).answered);
      for (int tag = 1; tag <= MaxTag(record.ModelCode()); ++tag) {
        const auto t = static_cast<std::uint16_t>(tag);
        if (!HasTag(t, record.ModelCode()) || (TypeOfTag(t, record.ModelCode()) & 0x7F) != vtIPv4)
          continue;
        const std::uint32_t value = record.values.AsUInt(tag);
        const std::uint32_t first = value >> 24;
        const bool mask = tag == 1 || first == 255;
        QVERIFY2(value == 0 || mask || first == 127,
                 qPrintable(QStringLiteral("tag %1: %2")
                                .arg(tag)
                                .arg(QString::fromStdString(IpToText(value)))));
      }
      const std::uint32_t ip = record.values.AsUInt(2);
      QCOMPARE(ip >> 24, 127u);
      TTcpStream page =
          TTcpStream::Connect(ip, static_cast<std::uint16_t>(record.values.AsUInt(4)));
      page.SendAll("GET / HTTP/1.0\r\nHost: x\r\n\r\n");
      std::string reply;
      for (int part = 0; part < 20; ++part) {
        const std::string got = page.Receive(4096, std::chrono::milliseconds(1000));
        if (got.empty()) break;
        reply += got;
      }
      QVERIFY2(reply.rfind("HTTP/1.0 200 OK\r\n", 0) == 0, reply.c_str());
      QVERIFY2(reply.find("<h1>" + record.values.AsText(7) + "</h1>") != std::string::npos,
               reply.c_str());
    }
    TFormMain form(session.settings);
    testing::ListDevices(form.Session);
    QVERIFY(form.DeviceUrl().startsWith(QStringLiteral("http://127.0.0.")));
  }
};

QTEST_MAIN(WindowFeedbackTest)
#include "WindowFeedbackTest.moc"
