#include "app/DeviceGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStringList>
#include <algorithm>

namespace velkaro {

namespace {

// A tab or line end inside a device text would break the pasted table.
QString TabCell(QString text) {
  for (QChar& c : text)
    if (c == u'\t' || c == u'\n' || c == u'\r') c = u' ';
  return text;
}

}  // namespace

TDeviceGrid::TDeviceGrid(TDeviceTableModel& devices, TDeviceProxyModel& proxy, QWidget* parent)
    : QTableView(parent), devices_(devices), proxy_(proxy) {
  setModel(&proxy_);
}

int TDeviceGrid::rowCount() const {
  return proxy_.rowCount();
}

int TDeviceGrid::columnCount() const {
  return proxy_.columnCount();
}

int TDeviceGrid::currentRow() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() : -1;
}

void TDeviceGrid::setCurrentCell(int row, int column) {
  const QModelIndex index = proxy_.index(row, column);
  if (!index.isValid()) return;
  selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString TDeviceGrid::CellText(int row, int column) const {
  return devices_.Text(SourceRow(row), column);
}

int TDeviceGrid::SourceRow(int row) const {
  const QModelIndex index = proxy_.mapToSource(proxy_.index(row, 0));
  return index.isValid() ? index.row() : -1;
}

int TDeviceGrid::ViewRow(int sourceRow) const {
  const QModelIndex index = proxy_.mapFromSource(devices_.index(sourceRow, 0));
  return index.isValid() ? index.row() : -1;
}

std::vector<int> TDeviceGrid::SelectedSourceRows() const {
  std::vector<int> viewRows;
  for (const QModelIndex& row : selectionModel()->selectedRows()) viewRows.push_back(row.row());
  std::sort(viewRows.begin(), viewRows.end());
  std::vector<int> rows;
  for (const int row : viewRows)
    if (const int source = SourceRow(row); source >= 0) rows.push_back(source);
  return rows;
}

QString TDeviceGrid::SelectedRowsText() const {
  std::vector<int> columns;
  for (int c = 0; c < TDeviceTableModel::kTextColumns; ++c)
    if (!isColumnHidden(c)) columns.push_back(c);
  QStringList lines;
  QStringList header;
  for (const int c : columns) header << devices_.headerData(c, Qt::Horizontal).toString();
  lines << header.join(u'\t');
  for (const int source : SelectedSourceRows()) {
    QStringList cells;
    for (const int c : columns) cells << TabCell(devices_.Text(source, c));
    lines << cells.join(u'\t');
  }
  return lines.join(u'\n') + u'\n';
}

void TDeviceGrid::keyPressEvent(QKeyEvent* event) {
  // The whole rows, as a spreadsheet pastes them, instead of the current cell alone.
  if (event->matches(QKeySequence::Copy)) {
    if (!SelectedSourceRows().empty()) QApplication::clipboard()->setText(SelectedRowsText());
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

}  // namespace velkaro
