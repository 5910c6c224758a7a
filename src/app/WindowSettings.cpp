#include "app/WindowSettings.h"

#include <QMainWindow>
#include <QSettings>
#include <QTableView>

#include "ui/RememberedSettings.h"

namespace velkaro {

namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kColumnsKey = QStringLiteral("window/columns");
constexpr int kMinColumn = 8;
constexpr int kMaxColumn = 2000;

}  // namespace

void RestoreWindowState(QMainWindow& window, QTableView& grid, int dataColumns) {
  const auto settings = ui::OpenSettings();
  if (!settings) return;
  const QByteArray geometry = settings->value(kGeometryKey).toByteArray();
  if (!geometry.isEmpty()) window.restoreGeometry(geometry);  // false for broken data: kept as is
  const QVariantList widths = settings->value(kColumnsKey).toList();
  for (int c = 0; c < dataColumns && c < widths.size(); ++c) {
    bool ok = false;
    const int width = widths[c].toInt(&ok);
    if (ok && width >= kMinColumn && width <= kMaxColumn) grid.setColumnWidth(c, width);
  }
}

void SaveWindowState(const QMainWindow& window, const QTableView& grid, int dataColumns) {
  const auto settings = ui::OpenSettings();
  if (!settings) return;
  settings->setValue(kGeometryKey, window.saveGeometry());
  QVariantList widths;
  for (int c = 0; c < dataColumns; ++c) widths << grid.columnWidth(c);
  settings->setValue(kColumnsKey, widths);
}

}  // namespace velkaro
