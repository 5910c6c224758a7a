// Build tool: renders the program's SVG icon to a square PNG for the hicolor theme.
//   velkaro-render-icon <input.svg> <size> <output.png>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fputs("usage: velkaro-render-icon INPUT.svg SIZE OUTPUT.png\n", stderr);
    return 2;
  }
  bool sizeOk = false;
  const int size = QString::fromLocal8Bit(argv[2]).toInt(&sizeOk);
  if (!sizeOk || size < 1 || size > 4096) {
    std::fprintf(stderr, "velkaro-render-icon: bad size '%s'\n", argv[2]);
    return 2;
  }
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid()) {
    std::fprintf(stderr, "velkaro-render-icon: cannot read SVG '%s'\n", argv[1]);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::fprintf(stderr, "velkaro-render-icon: cannot write '%s'\n", argv[3]);
    return 1;
  }
  return EXIT_SUCCESS;
}
