// The PNG pictures the Windows build shows (it has no Qt SVG) are the SVG pictures rendered: a
// changed SVG without new PNG files (scripts/render-icons.sh) fails here.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>
#include <cstdlib>

#include "ui/AppIcons.h"

class AppIconsTest : public QObject {
  Q_OBJECT

 private slots:
  void renderedPicturesMatchTheirSvg_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"scan", "configure", "web", "upgrade", "watch", "velkaro"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }

  void renderedPicturesMatchTheirSvg() {
    QFETCH(QString, name);
    (void)velkaro::ui::ToolIcon(name);  // registers the resources
    QSvgRenderer renderer(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
    QVERIFY(renderer.isValid());
    for (const int size : {16, 24, 32, 48, 64}) {
      QImage rendered(size, size, QImage::Format_ARGB32_Premultiplied);
      rendered.fill(Qt::transparent);
      QPainter painter(&rendered);
      painter.setRenderHint(QPainter::Antialiasing);
      renderer.render(&painter);
      painter.end();
      const QImage stored(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size));
      QVERIFY2(!stored.isNull(), qPrintable(QStringLiteral("no %1-%2.png").arg(name).arg(size)));
      QCOMPARE(stored.size(), QSize(size, size));
      const QImage a = rendered.convertToFormat(QImage::Format_ARGB32);
      const QImage b = stored.convertToFormat(QImage::Format_ARGB32);
      int worst = 0;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
          const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
          worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                            std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
      QVERIFY2(worst <= 2, qPrintable(QStringLiteral("%1 at %2 px differs by %3: run "
                                                     "scripts/render-icons.sh")
                                          .arg(name)
                                          .arg(size)
                                          .arg(worst)));
    }
    QCOMPARE(velkaro::ui::RenderedIcon(name).availableSizes().size(), 5);
  }
};

QTEST_MAIN(AppIconsTest)
#include "AppIconsTest.moc"
