// TUpgradeForm: loads a firmware image into one device. The device at the IP address shown is
// told to expect an image (upgrade trigger); its answer starts a TFTP upload of the chosen file
// with a progress bar. Both run on the exchange thread, so the window keeps answering; progress
// comes back by queued signals. Created once per run and shown modally again for every upgrade, so
// the chosen file name stays between openings.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "operations/UpgradeOperation.h"
#include "protocol/DeviceRecord.h"
#include "protocol/Frame.h"
#include "tftp/IdTrivialFTP.h"
#include "ui/BusyDialog.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace Ui {
class TUpgradeForm;
}

namespace velkaro {

class TFileNameEdit;
class TIPEdit;

class TUpgradeForm : public ui::TBusyDialog {
  Q_OBJECT

 public:
  // Remote name under which the devices take their image.
  static constexpr const char* kRemoteFileName = "/";

  explicit TUpgradeForm(QWidget* owner = nullptr);
  ~TUpgradeForm() override;  // waits for a running upload

  // Components, named as in the dialog's description.
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  TFileNameEdit* UpgradeFile = nullptr;
  QLabel* Label2 = nullptr;
  TIPEdit* UpgradeIP = nullptr;
  QLabel* ImageProblem = nullptr;  // why the chosen file cannot be uploaded
  QLabel* Label3 = nullptr;
  QSpinBox* TftpPort = nullptr;  // where the image goes; remembered between runs
  QProgressBar* ProgressBar = nullptr;
  QPushButton* CancelBtn = nullptr;
  QPushButton* UpgradeBtn = nullptr;
  // 4 s per answer, octet mode, 1500-byte blocks asked for; each upload takes its port from
  // TftpPort.
  TIdTrivialFTP IdTrivialFTP;

  // Images go to the TftpPort port of the address in UpgradeIP. The demo's devices carry made-up
  // addresses and take their images on the loopback: a non-empty host replaces the address for
  // the upload (the trigger still names the device), and the port is put in TftpPort.
  void RedirectUploads(const QString& host, int port);
  QString UploadHost() const { return uploadHost_; }

  // Takes the IP address of `device` (none: an empty address to type), keeps the settings its
  // exchanges use, sets the Upgrade button and shows the dialog modally; returns when it closes.
  void ShowForDevice(std::optional<TZEL> device, const TExchangeSettings& settings);
  // The first steps of ShowForDevice, without showing anything.
  void PrepareForDevice(std::optional<TZEL> device, const TExchangeSettings& settings);

  // True from a click on Upgrade until its uploads have ended and their results are shown.
  bool Busy() const override { return busy_; }

 public slots:
  void UpdateUpgradeButton();
  void UpgradeFileChange();
  void UpgradeBtnClick();
  // Closes the idle dialog. During an upgrade: stops waiting for the trigger's answer at once,
  // and once the image is on its way asks first, then ends the transfer with an ERROR packet.
  void CancelBtnClick();

 signals:
  // From the exchange thread, delivered queued to the dialog.
  void uploadBegun(qint64 workCountMax);
  void uploadAdvanced(qint64 workCount);
  void uploadEnded();

 public:
  // Progress of the upload, shown on the bar; called on the UI thread only.
  void IdTrivialFTPWorkBegin(TIdComponent& sender, TWorkMode workMode, std::int64_t workCountMax);
  void IdTrivialFTPWork(TIdComponent& sender, TWorkMode workMode, std::int64_t workCount);
  void IdTrivialFTPWorkEnd(TIdComponent& sender, TWorkMode workMode);

 private:
  // Whether the IP text is not empty and the named file exists.
  bool ReadyToUpgrade() const;
  // Hides the bar and closes the dialog with the Cancel result; the end of every upload.
  void EndUpload();
  void ShowTransferError(const QString& text);
  QWidget* MessageParent();
  // Only the upgrade that just ended is told in the owning window's status bar.
  void ShowWindowStatus(const QString& text);
  // Shows what the upload to `ip` ended with; on the UI thread once the exchange is over.
  void UpgradeFinished(const QString& ip);
  void SetBusy(bool busy);

  std::unique_ptr<Ui::TUpgradeForm> ui_;
  QString uploadHost_;
  std::optional<TZEL> device_;  // the device the dialog was opened for
  TExchangeSettings settings_;
  bool busy_ = false;
  // Set by Cancel, read by the exchange thread's exchanges and upload.
  std::atomic<bool> cancel_{false};
  bool transferring_ = false;  // some of the image has been reported sent
  int progressShift_ = 0;      // byte counts beyond the bar's int range are scaled down
  // Written by the exchange thread, read here only once its run has ended.
  ops::TUpgradeOutcome outcome_;
  // Ready once the exchange thread no longer touches this dialog.
  std::future<void> running_;
};

}  // namespace velkaro
