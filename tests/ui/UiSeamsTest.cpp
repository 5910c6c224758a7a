// The filter conversion of the file dialogs and the hooks that keep tests from blocking.
#include <QTest>

#include "support/UiRecorder.h"
#include "ui/UiSeams.h"

using namespace velkaro;

class UiSeamsTest : public QObject {
  Q_OBJECT

 private slots:
  void filterPairsBecomeQtFilters_data() {
    QTest::addColumn<QString>("pairs");
    QTest::addColumn<QString>("qt");
    QTest::newRow("config") << "Config files (*.cfg)|*.CFG|All files (*.*)|*.*"
                            << "Config files (*.cfg *.CFG);;All files (*)";
    QTest::newRow("upgrade") << "Upgrade files (*.bin)|*.BIN|All files (*.*)|*.*"
                             << "Upgrade files (*.bin *.BIN);;All files (*)";
    QTest::newRow("several patterns") << "Images|*.png;*.JPG"
                                      << "Images (*.png *.PNG *.jpg *.JPG)";
    QTest::newRow("dangling description") << "Config files (*.cfg)|*.cfg|Odd"
                                          << "Config files (*.cfg *.CFG)";
    QTest::newRow("empty") << ""
                           << "";
  }

  void filterPairsBecomeQtFilters() {
    QFETCH(QString, pairs);
    QFETCH(QString, qt);
    QCOMPARE(ui::QtFilter(pairs), qt);
  }

  void hooksReplaceTheRealDialogs() {
    test::TUiRecorder recorder;
    recorder.openUrlResult = false;
    recorder.Install();
    ui::ShowMessage(nullptr, QStringLiteral("Device not responding"));
    QCOMPARE(recorder.messages, QStringList{QStringLiteral("Device not responding")});
    QCOMPARE(recorder.kinds, QList<ui::MessageKind>{ui::MessageKind::Error});
    QVERIFY(!ui::OpenUrl(QStringLiteral("http://127.0.0.1:1/")));
    QCOMPARE(recorder.urls, QStringList{QStringLiteral("http://127.0.0.1:1/")});
    ui::ResetUiHooks();
  }
};

QTEST_MAIN(UiSeamsTest)
#include "UiSeamsTest.moc"
