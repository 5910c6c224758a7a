// The program's single main window: the scan cycle, the device grid and the actions on the
// selected device (Configure, Web, Save Config, Restore Config, Upgrade), plus About and Exit.
#pragma once

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "operations/DeviceWatch.h"
#include "protocol/DeviceRecord.h"
#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "ui/PropertyDialog.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace velkaro {

class TDeviceGrid;
class TDeviceProxyModel;
class TDeviceTableModel;
class TInterfaceMenu;
class TRestoreForm;
class TScanRunner;

// Property dialog factories of the three models; the owner a factory receives is the main window.
struct TModelFactories {
  DialogFactory zel1;
  DialogFactory zel4;
  DialogFactory zel8;
};

class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  // Whether the device itself answered the read of the last Save Config.
  bool SaveAnswered() const { return saveAnswered_; }
  // Runs FormCreate: OEM selection, caption, grid headers and widths. `settings`: where the
  // window's exchanges go (the target and interfaces the program was started with); no default,
  // so that nothing builds a window that broadcasts without saying so.
  explicit TFormMain(TExchangeSettings settings, TModelFactories factories = {},
                     QWidget* parent = nullptr);
  ~TFormMain() override;

  // What UpgradeButtonClick runs (the upgrade dialog's ShowForDevice), told a copy of the
  // selected record (none when no device is selected) and the window's settings; nothing when
  // unset.
  using UpgradeHandler =
      std::function<void(std::optional<TZEL> device, const TExchangeSettings& settings)>;
  void SetUpgradeHandler(UpgradeHandler handler);
  // What UpgradeButtonClick runs when several rows are selected: copies of their records, in
  // grid order. Unset, the one-device handler runs for the current row.
  using FleetUpgradeHandler =
      std::function<void(std::vector<TZEL> devices, const TExchangeSettings& settings)>;
  void SetFleetUpgradeHandler(FleetUpgradeHandler handler);
  // Help > "Save diagnostics…" calls this.
  void SetDiagnosticsHandler(std::function<void()> handler) {
    diagnosticsHandler_ = std::move(handler);
  }
  // Runs the Restore Config dialog; unset, it runs modally (exec).
  using RestoreRunner = std::function<void(TRestoreForm& form)>;
  void SetRestoreRunner(RestoreRunner runner);

  // The scan counter (0..10) and whether a scan is running (its ticks, or its last round).
  int ScanCounter() const { return scanCounter_; }
  bool Scanning() const;
  // Listed devices whose rows are selected, in the grid's (sorted) order.
  std::vector<int> SelectedDeviceIndexes() const;
  // A discovery round of the scan is on the exchange thread.
  bool RoundRunning() const;

  // The window's devices, its selection and the settings of its exchanges.
  TSession Session;

  // Components, named as in the window's description.
  QToolBar* ToolBar1 = nullptr;
  QToolButton* ScanButton = nullptr;
  QToolButton* ConfigButton = nullptr;
  QToolButton* WebButton = nullptr;
  QToolButton* UpgradeButton = nullptr;
  // The device list as the grid shows it: the model over Session.DeviceList, sorted and
  // filtered by the proxy.
  TDeviceTableModel* Devices = nullptr;
  TDeviceProxyModel* DeviceProxy = nullptr;
  TDeviceGrid* StringGrid = nullptr;
  // Above the grid, shown by Ctrl+F: only the devices whose name, type, addresses or interface
  // hold its text are shown.
  QLineEdit* FilterEdit = nullptr;
  QAction* FilterMenu = nullptr;
  QAction* ExportListMenu = nullptr;
  // View > Watch devices and its tool button (both checkable); View > Forget offline devices.
  QAction* WatchMenu = nullptr;
  QToolButton* WatchButton = nullptr;
  QAction* ForgetOfflineMenu = nullptr;
  QTimer* WatchTimer = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QStatusBar* StatusBar = nullptr;
  QTimer* Timer = nullptr;
  QAction* ScanMenu = nullptr;
  QAction* ConfigMenu = nullptr;
  QAction* WebMenu = nullptr;
  QAction* SaveConfigMenu = nullptr;
  QAction* RestoreConfigMenu = nullptr;
  QAction* ExitMenu = nullptr;
  QAction* AboutMenu = nullptr;
  QAction* SaveDiagnosticsMenu = nullptr;
  // Shown in the empty grid until a scan lists a device.
  QLabel* EmptyHint = nullptr;
  // File > Interfaces; the choice is taken by each Scan. Disabled with an explicit target.
  TInterfaceMenu* Interfaces = nullptr;
  QAction* UpgradeMenu = nullptr;  // clicks UpgradeButton, so both always do the same

  // Factor applied to the classic pixel sizes of the window and the grid columns: 1 when the
  // grid's font fits them (a MAC address in 100 pixels), larger for wider desktop fonts.
  double SizeScale() const { return sizeScale_; }
  // A classic size in pixels scaled by SizeScale().
  int Scaled(int pixels) const;

  // Watching: one discovery every interval, rows never removed by it, a device not heard for the
  // missing time shown offline until it answers again. It yields to a scan, a rollout and every
  // dialog, and resumes after them.
  bool Watching() const;
  // The watch's pace (1 s and 10 s unless changed); takes effect at once.
  void SetWatchTimes(std::chrono::milliseconds interval, std::chrono::milliseconds missingAfter);

  // URL of the selected device's web page; empty when the device list is empty.
  QString DeviceUrl() const;

 public slots:
  void Scan();
  // While blocked (a firmware rollout runs), Scan does nothing and its actions are disabled; a
  // running scan ends at once.
  void SetScanBlocked(bool blocked);
  void TimerTimer();
  void ResetGrid();
  // Shows device record `index` in its row, adding the row when it is new.
  void ShowDeviceRow(int index);
  // The device of the grid's (view) row `row` becomes the selected one; -1: none.
  void StringGridSelectCell(int column, int row);
  void Config();
  void Web();
  void StringGridDblClick();
  void SaveClick();
  // Asks for a .cfg file and shows its sections and their differences with the selected device;
  // scans again when something was written.
  void RestoreClick();
  void UpgradeButtonClick();
  // File > "Export list…": the shown rows as CSV or JSON, by the chosen file's extension.
  void ExportListClick();
  // Ctrl+F: shows the filter box and puts the cursor in it; Escape there clears and hides it.
  void ShowFilter();
  void AboutMenuClick();
  void Quit();
  void FitLastColumn();
  void SetWatching(bool on);
  void WatchTick();
  // Removes the rows of offline devices, the selection staying with its device.
  void ForgetOffline();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // Remembers the window's geometry and column widths (with a settings scope).
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate(TModelFactories factories);
  void BuildComponents();
  void BuildMenus();
  void BuildToolBar();
  void BuildGrid();
  // Tab through the tool bar, Upgrade in the File menu, Enter on a row for Configure.
  void BuildKeyboardPaths();
  void SetDeviceActionsEnabled(bool enabled);
  bool HasSelectedDevice() const;
  // False, with a word in the status bar, when the list has devices but none is selected.
  bool RequireSelectedDevice();
  // "N of M devices shown" while a filter is set.
  void UpdateShownCount();
  // After a watch round: new presence, then "N online, M offline" and the latest change.
  void FinishWatchRound(const std::vector<ops::TWatchEvent>& events);
  // Runs a round's `merge` with the grid's updates gathered into one, then selects as
  // ShowDeviceRow would have row by row.
  void MergeRoundReplies(const std::function<void()>& merge);
  // Makes `index` the current row (none: -1), keeping the view's selection in step.
  void SelectListIndex(int index);
  void ShowFailure(const std::exception& error);
  // After the eleventh tick: the count in the status bar, then the scan's failures in one box.
  void FinishScan();
  // After new network settings were written: where the scan heard the device, or a warning.
  QString ReportMovedDevice();
  void UpdateEmptyHint();
  // What each tag is on the model's property pages, from a dialog its factory makes.
  std::map<int, QString> ModelCaptions(std::uint32_t model);

  int scanCounter_ = 0;
  double sizeScale_ = 1.0;
  bool fitting_ = false;
  bool inExchange_ = false;
  bool tickWaiting_ = false;  // a tick came while a round was still running
  TScanRunner* scanRunner_ = nullptr;
  // The device selected when the scan started; selected again when it answers.
  std::optional<TDeviceAddress> keptSelection_;
  struct TMovedDevice {
    TDeviceAddress address;
    QString name;
    std::uint32_t ip;
  };
  std::optional<TMovedDevice> moved_;  // set until the scan after the write ends
  bool saveAnswered_ = false;
  TDialogFactories dialogFactories_;  // the device answered the last Save Config read
  QAction* upgradeButtonAction_ = nullptr;
  UpgradeHandler upgradeHandler_;
  FleetUpgradeHandler fleetUpgradeHandler_;
  bool scanBlocked_ = false;
  std::function<void()> diagnosticsHandler_;
  RestoreRunner restoreRunner_;
  ops::TDeviceWatch watch_;
  // Rounds since the watch last ran or yielded: devices are given a few before any counts as
  // missing, since a dialog may have kept the watch away for longer than the missing time.
  int watchRounds_ = 0;
  QString watchStatus_;
};

}  // namespace velkaro
