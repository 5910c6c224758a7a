// Renders every top-level page of the three model dialogs, and the rack model's nested pages,
// to PNG files in the build folder so that reviewers can look at them. The dialogs show a
// simulated device's full parameter set.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QtTest>

#include "DialogTestSupport.h"
#include "dialog/Zel1Form.h"
#include "dialog/Zel4Form.h"
#include "dialog/Zel8Form.h"
#include "sim/DeviceProfile.h"
#include "support/ScreenshotSupport.h"

using namespace velkaro;

namespace {

// The font resolution is part of the name: ctest takes the pictures at 96 and at 120 dpi.
QString FileName(const QString& model, int index, const QString& caption) {
  QString name = caption.trimmed();
  name.replace(QLatin1Char(' '), QLatin1Char('_'));
  static const int dpi = test::UseTestFontDpi();
  return QStringLiteral("%1_%2_%3_%4dpi.png")
      .arg(model)
      .arg(index, 2, 10, QLatin1Char('0'))
      .arg(name)
      .arg(dpi);
}

}  // namespace

class ModelScreenshotTest : public QObject {
  Q_OBJECT

  QDir out_{QStringLiteral(VELKARO_SCREENSHOT_DIR)};
  int saved_ = 0;

  void Save(QWidget& dialog, const QString& name) {
    QApplication::processEvents();
    test::SaveScreenshot(dialog, out_, name);
    if (!QTest::currentTestFailed()) ++saved_;
  }

  // One picture per top-level page.
  void SaveEveryPage(TZelForm& dialog, const QString& model) {
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (int i = 0; i < dialog.PageControl->count(); ++i) {
      QVERIFY(dialog.PageControl->isTabVisible(i));
      dialog.PageControl->setCurrentIndex(i);
      Save(dialog, FileName(model, i, dialog.PageControl->tabText(i)));
    }
  }

 private slots:
  void initTestCase() { QVERIFY(out_.mkpath(QStringLiteral("."))); }
  void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

  void oneOutletModel() {
    test::TLoadedForm<Tzel1Form> dialog(kModelZel1);
    SaveEveryPage(dialog, QStringLiteral("zel1"));
  }

  void fourOutletModel() {
    test::TLoadedForm<Tzel4Form> dialog(kModelZel4);
    SaveEveryPage(dialog, QStringLiteral("zel4"));
  }

  void rackModel() {
    test::TLoadedForm<Tzel8Form> dialog(kModelZel8);
    SaveEveryPage(dialog, QStringLiteral("zel8"));
    // The nested pages: first and second device, and a device that is not chained in.
    struct TNested {
      QTabWidget* control;
      QString name;
    };
    const TNested nested[] = {{dialog.LabelControl, QStringLiteral("Labels")},
                              {dialog.AccountControl, QStringLiteral("Accounts")},
                              {dialog.MiscControl, QStringLiteral("Misc")}};
    for (const TNested& n : nested) {
      dialog.PageControl->setCurrentWidget(n.control->parentWidget());
      for (int i = 0; i < n.control->count(); ++i) {
        n.control->setCurrentIndex(i);
        Save(dialog, FileName(QStringLiteral("zel8_") + n.name, i, n.control->tabText(i)));
      }
    }
  }

  void cleanupTestCase() { qInfo("%d screenshots in %s", saved_, qPrintable(out_.path())); }
};

QTEST_MAIN(ModelScreenshotTest)
#include "ModelScreenshotTest.moc"
