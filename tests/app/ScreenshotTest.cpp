// Renders the main window with the demo devices listed, and the about box, to PNG files in the
// build folder so that reviewers can look at them.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "about/About.h"
#include "app/DemoDevices.h"
#include "app/DeviceGrid.h"
#include "app/FormMain.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "support/LoopbackSimulator.h"
#include "support/ScreenshotSupport.h"
#include "support/UiRecorder.h"
#include "ui/AppIcons.h"
#include "ui/ExchangeWorker.h"
#include "version/Oem.h"

using namespace velkaro;

class ScreenshotTest : public QObject {
  Q_OBJECT

 private:
  QDir out_{QStringLiteral(VELKARO_SCREENSHOT_DIR)};
  test::TUiRecorder ui_;

  void Save(QWidget& widget, const QString& name) {
    test::SaveScreenshot(widget, out_, name);
    if (!QTest::currentTestFailed()) qInfo("screenshot: %s", qPrintable(out_.filePath(name)));
  }

 private slots:
  void initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Velkaro"));
    QApplication::setWindowIcon(ui::ProgramIcon());
    QVERIFY(out_.mkpath(QStringLiteral(".")));
    ui_.Install();
  }

  void cleanupTestCase() { ui::ResetUiHooks(); }

  void mainWindowWithDemoDevices() {
    TDemoDevices demo;
    std::string error;
    QVERIFY2(demo.Start(error), error.c_str());
    TExchangeSettings settings;
    settings.target = demo.Target();
    TFormMain form(settings);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    Save(form, QStringLiteral("main_window_first_run.png"));
    form.Scan();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Scanning(), 8000);
    QCOMPARE(form.StringGrid->rowCount(), 3);
    form.StringGrid->setCurrentCell(1, 0);
    QApplication::processEvents();
    Save(form, QStringLiteral("main_window.png"));
    QVERIFY(ui_.messages.isEmpty());
  }

  // The wait for a device, as the window shows it, and the box for a URL no browser opened.
  void busyPanelAndUrlBox() {
    TFormMain form(testing::NowhereSettings());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    bool saved = false;
    QTimer::singleShot(300, &form, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() != QLatin1String(ui::kBusyPanelName) || !w->isVisible()) continue;
        Save(*w, QStringLiteral("busy_writing.png"));
        saved = true;
      }
    });
    const bool completed = ui::RunWhileBusy(&form, QString::fromUtf8("Writing…"), [] {
      std::this_thread::sleep_for(std::chrono::milliseconds(600));
    });
    QVERIFY(completed);
    QVERIFY(saved);

    const std::unique_ptr<QMessageBox> box =
        ui::MakeUrlBox(&form, QStringLiteral("http://127.0.0.3:40123/"));
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    Save(*box, QStringLiteral("url_box.png"));
    box->close();
    form.close();
  }

  void aboutBox() {
    TOemVariant oem;
    oem.makerWebAddress = kMakerWebAddress;
    oem.makerEmail = kMakerEmail;
    TFormAbout about(oem);
    about.SetProgramFile(VELKARO_PROGRAM);
    const std::unique_ptr<QDialog> box = about.BuildDialog();
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    Save(*box, QStringLiteral("about_box.png"));
    box->close();
  }
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
