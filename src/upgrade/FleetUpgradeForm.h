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
  QTableWidget* DeviceTable = nullptr;
  QLabel* Summary = nullptr;  // the count of results once the rollout ended
  QPushButton* CloseBtn = nullptr;
  QPushButton* StartBtn = nullptr;

  // How the next Start runs (its file is taken from UpgradeFile). Tests and the demo point the
  // port and the return wait at a simulator.
  ops::TRolloutSettings& Rollout() { return rollout_; }
  // As the one-device dialog: a non-empty host takes every image, the port replaces 69.
  void RedirectUploads(const QString& host, int port);

  // Takes copies of the records and of the settings their exchanges use, so the rollout never
  // reads the window's session, and empties the table of an earlier run. Refused while a rollout
  // runs.
  void SetDevices(std::vector<TZEL> devices, const TExchangeSettings& settings);
  // SetDevices, then shows the dialog modally; returns when it closes.
  void ShowForDevices(std::vector<TZEL> devices, const TExchangeSettings& settings);

  bool Running() const { return running_; }
  // Devices in the middle of a flash are not left unwatched: no closing while a rollout runs.
  bool Busy() const override { return running_; }
  // One entry per device, in table order, once a rollout has ended.
  const std::vector<ops::TRolloutDevice>& Results() const { return results_; }

 public slots:
  void UpdateStartButton();
  void StartBtnClick();

 signals:
  // True at Start, false once every device has its result; the main window holds scans back.
  void runningChanged(bool running);
  // From the worker thread, delivered queued to the dialog.
  void deviceProgress(int index, int state, int percent);

 private:
  void BuildComponents();
  void ShowDeviceProgress(int index, int state, int percent);
  void RolloutFinished();
  void SetRunning(bool running);
  void SetStateText(int row, const QString& text, const QString& tip = {});

  ops::TRolloutSettings rollout_;
  std::vector<TZEL> devices_;
  std::vector<ops::TRolloutDevice> results_;
  // The worker's: written by it, read here only once it has ended.
  std::vector<ops::TRolloutDevice> workerResults_;
  std::string failure_;  // what stopped the worker itself, if anything did
  std::unique_ptr<QThread> worker_;
  bool running_ = false;
  bool ran_ = false;  // these devices had their rollout: Start again would flash them twice
};

}  // namespace velkaro
