#include "ui/AppIcons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Resources of a static library are registered by hand before first use.
static void InitIconResources() {
  Q_INIT_RESOURCE(icons);
}

namespace velkaro::ui {

namespace {

void EnsureResources() {
  static const bool done = (InitIconResources(), true);
  (void)done;
}

// Rendered here rather than through the SVG icon plugin, so the pictures never depend on a
// plugin being installed next to Qt.
QIcon RenderSvg(const QString& path) {
  EnsureResources();
  QSvgRenderer renderer(path);
  QIcon icon;
  if (!renderer.isValid()) return icon;
  for (const int size : {16, 24, 32, 48, 64}) {
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

}  // namespace

QIcon ToolIcon(const QString& name) {
  return RenderSvg(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
}

QIcon ProgramIcon() {
  return ToolIcon(QStringLiteral("velkaro"));
}

}  // namespace velkaro::ui
