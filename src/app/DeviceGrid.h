// The device grid: a table view over the sorted and filtered device model, one row per device,
// whole rows selected. Rows here are view rows; SourceRow gives the device's list index.
#pragma once

#include <QTableView>
#include <vector>

#include "app/DeviceTableModel.h"

namespace velkaro {

class TDeviceGrid : public QTableView {
  Q_OBJECT

 public:
  TDeviceGrid(TDeviceTableModel& devices, TDeviceProxyModel& proxy, QWidget* parent = nullptr);

  int rowCount() const;
  int columnCount() const;
  // The current row (and its selection), -1 for none.
  int currentRow() const;
  void setCurrentCell(int row, int column);
  QString CellText(int row, int column) const;
  // The device list index of a view row, -1 outside the view.
  int SourceRow(int row) const;
  // The view row of a device list index, -1 when filtered out or not listed.
  int ViewRow(int sourceRow) const;
  // List indexes of the selected rows, in view order.
  std::vector<int> SelectedSourceRows() const;
  // The selected rows as tab-separated text, a header line first (what Ctrl+C copies).
  QString SelectedRowsText() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TDeviceTableModel& devices_;
  TDeviceProxyModel& proxy_;
};

}  // namespace velkaro
