// Shared by the screenshot tests: saving a widget's picture as a PNG file and checking that the
// file reads back whole and not blank.
#pragma once

#include <QDir>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <QtTest>
#include <algorithm>

namespace velkaro::test {

// Share of pixels that differ from the most common colour: a blank picture has none.
inline double NonBackgroundShare(const QImage& image) {
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
  int most = 0;
  for (const int n : counts) most = std::max(most, n);
  const int total = image.width() * image.height();
  return total == 0 ? 0 : 1.0 - static_cast<double>(most) / total;
}

// Saves `widget` as the file `name` in `out`. A failed check fails the running test function
// (QTest::currentTestFailed()) but does not end it.
inline void SaveScreenshot(QWidget& widget, const QDir& out, const QString& name) {
  const QPixmap picture = widget.grab();
  QVERIFY(!picture.isNull());
  const QString file = out.filePath(name);
  QVERIFY(picture.save(file));
  const QImage image(file);
  QCOMPARE(image.size(), picture.size());
  QCOMPARE(image.size(), widget.size());
  QVERIFY2(NonBackgroundShare(image) > 0.05, qPrintable(file));
}

}  // namespace velkaro::test
