// The program's single main window: the scan cycle, the device grid and the actions on the
// selected device (Configure, Web, Save Config, Restore Config, Upgrade), plus About and Exit.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <string>

#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"
#include "ui/PropertyDialog.h"

class QAction;
class QProgressBar;
class QStatusBar;
class QTableWidget;
class QTimer;
class QToolBar;
class QToolButton;

namespace velkaro {

class TRestoreForm;

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
  // Runs FormCreate: OEM selection, caption, grid headers and widths, model registration.
  explicit TFormMain(TModelFactories factories = {}, QWidget* parent = nullptr);
  ~TFormMain() override;

  // What UpgradeButtonClick runs (the upgrade dialog's ShowForDevice); nothing when unset.
  void SetUpgradeHandler(std::function<void()> handler);
  // Runs the Restore Config dialog; unset, it runs modally (exec).
  using RestoreRunner = std::function<void(TRestoreForm& form)>;
  void SetRestoreRunner(RestoreRunner runner);

  // The scan counter (0..10) and whether a scan is running.
  int ScanCounter() const { return scanCounter_; }
  bool Scanning() const;

  // Components, named as in the window's description.
  QToolBar* ToolBar1 = nullptr;
  QToolButton* ScanButton = nullptr;
  QToolButton* ConfigButton = nullptr;
  QToolButton* WebButton = nullptr;
  QToolButton* UpgradeButton = nullptr;
  QTableWidget* StringGrid = nullptr;
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
  QAction* UpgradeMenu = nullptr;  // clicks UpgradeButton, so both always do the same

  // Factor applied to the classic pixel sizes of the window and the grid columns: 1 when the
  // grid's font fits them (a MAC address in 100 pixels), larger for wider desktop fonts.
  double SizeScale() const { return sizeScale_; }
  // A classic size in pixels scaled by SizeScale().
  int Scaled(int pixels) const;

  // URL of the selected device's web page; empty when the device list is empty.
  QString DeviceUrl() const;

 public slots:
  void Scan();
  void TimerTimer();
  void ResetGrid();
  // Writes grid row index + 1 (the header is row 0) from device record `index`.
  void ShowDeviceRow(int index);
  // Row in grid numbering: header row 0, first device row 1.
  void StringGridSelectCell(int column, int row);
  void Config();
  void Web();
  void StringGridDblClick();
  void SaveClick();
  // Asks for a .cfg file and shows its sections and their differences with the selected device;
  // scans again when something was written.
  void RestoreClick();
  void UpgradeButtonClick();
  void AboutMenuClick();
  void Quit();
  void FitLastColumn();

 protected:
  void resizeEvent(QResizeEvent* event) override;

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
  void ShowFailure(const QString& prefix, const std::exception& error);
  // What each tag is on the model's property pages, from a dialog its factory makes.
  std::map<int, QString> ModelCaptions(std::uint32_t model);

  int scanCounter_ = 0;
  double sizeScale_ = 1.0;
  bool fitting_ = false;
  bool inExchange_ = false;
  bool saveAnswered_ = false;
  TDialogFactories dialogFactories_;  // the device answered the last Save Config read
  QAction* upgradeButtonAction_ = nullptr;
  std::function<void()> upgradeHandler_;
  RestoreRunner restoreRunner_;
};

}  // namespace velkaro
