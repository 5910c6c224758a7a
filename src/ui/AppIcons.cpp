#include "ui/AppIcons.h"

#include <QPainter>
#include <QPixmap>
#ifndef VELKARO_PNG_ICONS
#include <QSvgRenderer>
#endif

// Resources of a static library are registered by hand before first use.
static void InitIconResources() {
#ifndef VELKARO_PNG_ICONS
  Q_INIT_RESOURCE(icons);
#endif
  Q_INIT_RESOURCE(pngicons);
}

namespace velkaro::ui {

namespace {

void EnsureResources() {
  static const bool done = (InitIconResources(), true);
  (void)done;
}

constexpr int kIconSizes[] = {16, 24, 32, 48, 64};

#ifndef VELKARO_PNG_ICONS
// Rendered here rather than through the SVG icon plugin, so the pictures never depend on a
// plugin being installed next to Qt.
QIcon RenderSvg(const QString& path) {
  EnsureResources();
  QSvgRenderer renderer(path);
  QIcon icon;
  if (!renderer.isValid()) return icon;
  for (const int size : kIconSizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}
#endif

}  // namespace

QIcon RenderedIcon(const QString& name) {
  EnsureResources();
  QIcon icon;
  for (const int size : kIconSizes)
    icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), QSize(size, size));
  return icon;
}

QIcon ToolIcon(const QString& name) {
#ifdef VELKARO_PNG_ICONS
  return RenderedIcon(name);
#else
  return RenderSvg(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
#endif
}

QIcon ProgramIcon() {
  return ToolIcon(QStringLiteral("velkaro"));
}

}  // namespace velkaro::ui
