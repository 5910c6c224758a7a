// The main window's remembered state: geometry and the widths of the grid's data columns.
#pragma once

class QMainWindow;
class QTableView;

namespace velkaro {

// Both do nothing without a settings scope (ui/RememberedSettings.h). A stored width below 8 or
// above 2000 pixels, or a geometry the desktop cannot show, is ignored.
void RestoreWindowState(QMainWindow& window, QTableView& grid, int dataColumns);
void SaveWindowState(const QMainWindow& window, const QTableView& grid, int dataColumns);

}  // namespace velkaro
