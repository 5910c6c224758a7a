// TFleetUpgradeForm: firmware for several devices at once. The image is chosen as in the
// one-device dialog; Start runs the rollout (trigger, one upload, return wait per device) on a
// worker thread, and each device's state and progress come back to its row in the table.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "operations/FirmwareRollout.h"
#include "protocol/DeviceRecord.h"
#include "ui/BusyDialog.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QThread;

namespace velkaro {

class TFileNameEdit;

class TFleetUpgradeForm : public ui::TBusyDialog {
  Q_OBJECT

 public:
  enum TColumn { kNameColumn, kIpColumn, kStateColumn, kProgressColumn, kColumnCount };

  explicit TFleetUpgradeForm(QWidget* owner = nullptr);
  ~TFleetUpgradeForm() override;  // waits for a running rollout

  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  TFileNameEdit* UpgradeFile = nullptr;
  QLabel* ImageProblem = nullptr;  // why the chosen file cannot be uploaded
  QLabel* Label3 = nullptr;
  QSpinBox* TftpPort = nullptr;  // where the images go; remembered between runs
  QTableWidget* DeviceTable = nullptr;
  QLabel* Summary = nullptr;        // the count of results once the rollout ended
  QPushButton* RetryBtn = nullptr;  // runs the devices that did not end ok once more
  QPushButton* CloseBtn = nullptr;
  QPushButton* StartBtn = nullptr;

  // How the next Start runs (its file is taken from UpgradeFile, its port from TftpPort). Tests
  // and the demo point the return wait at a simulator.
  ops::TRolloutSettings& Rollout() { return rollout_; }
  // As the one-device dialog: a non-empty host takes every image, the port goes in TftpPort.
  void RedirectUploads(const QString& host, int port);

  // Takes copies of the records and of the settings their exchanges use, so the rollout never
  // reads the window's session, and empties the table of an earlier run. Refused while a rollout
  // runs. The file field takes the image last started in either dialog, when one is remembered.
  void SetDevices(std::vector<TZEL> devices, const TExchangeSettings& settings);
  // SetDevices, then shows the dialog modally; returns when it closes.
  void ShowForDevices(std::vector<TZEL> devices, const TExchangeSettings& settings);

  bool Running() const { return running_; }
  // Devices in the middle of a flash are not left unwatched: no closing while a rollout runs.
  bool Busy() const override { return running_; }
  // One entry per device, in table order, from the first Start on (not started until its run
  // ends); a retry replaces the entries of its rows when it ends.
  const std::vector<ops::TRolloutDevice>& Results() const { return results_; }

 public slots:
  void UpdateStartButton();
  void StartBtnClick();
  void RetryBtnClick();

 signals:
  // True at Start, false once every device has its result; the main window holds scans back.
  void runningChanged(bool running);
  // From the worker thread, delivered queued to the dialog.
  void deviceProgress(int index, int state, int percent);

 private:
  void BuildComponents();
  // Runs the rollout for these table rows; the others keep their result.
  void Run(const std::vector<int>& rows);
  std::vector<int> FailedRows() const;
  void ShowDeviceProgress(int index, int state, int percent);
  void RolloutFinished();
  void SetRunning(bool running);
  void SetStateText(int row, const QString& text, const QString& tip = {});

  ops::TRolloutSettings rollout_;
  std::vector<TZEL> devices_;
  std::vector<ops::TRolloutDevice> results_;
  // The worker's: written by it, read here only once it has ended.
  std::vector<ops::TRolloutDevice> workerResults_;
  std::vector<int> runRows_;  // the rows of the running (or last) rollout, in its order
  std::string failure_;       // what stopped the worker itself, if anything did
  std::unique_ptr<QThread> worker_;
  bool running_ = false;
  bool ran_ = false;  // these devices had their rollout: Start again would flash them twice
};

}  // namespace velkaro
