#include "upgrade/UpgradeForm.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <climits>
#include <exception>
#include <memory>

#include "operations/UpgradeOperation.h"
#include "pages/IPEdit.h"
#include "protocol/Exchange.h"
#include "protocol/Session.h"
#include "ui/ExchangeWorker.h"
#include "ui/UiSeams.h"
#include "ui_UpgradeForm.h"
#include "upgrade/FileNameEdit.h"

namespace velkaro {

TUpgradeForm::TUpgradeForm(QWidget* owner)
    : ui::TBusyDialog(owner), ui_(std::make_unique<Ui::TUpgradeForm>()) {
  ui_->setupUi(this);
  GroupBox1 = ui_->GroupBox1;
  Label1 = ui_->Label1;
  UpgradeFile = ui_->UpgradeFile;
  Label2 = ui_->Label2;
  UpgradeIP = ui_->UpgradeIP;
  ImageProblem = ui_->ImageProblem;
  Label3 = ui_->Label3;
  TftpPort = ui_->TftpPort;
  ProgressBar = ui_->ProgressBar;
  CancelBtn = ui_->CancelBtn;
  UpgradeBtn = ui_->UpgradeBtn;
  setFixedSize(size());

  UpgradeFile->SetRequest(ImageFileRequest());
  TftpPort->setValue(LastTftpPort());

  // The address is shown for checking; Tab skips it.
  for (QLineEdit* box : UpgradeIP->findChildren<QLineEdit*>())
    if (box->focusPolicy() & Qt::TabFocus) box->setFocusPolicy(Qt::ClickFocus);

  QPalette bar = ProgressBar->palette();
  bar.setColor(QPalette::Highlight, QColor(0, 0, 128));  // navy
  ProgressBar->setPalette(bar);
  ProgressBar->hide();

  ops::ConfigureUpgradeClient(IdTrivialFTP, TIdTrivialFTP::kDefaultPort);
  // The upload reports on the exchange thread; the bar is only touched here.
  IdTrivialFTP.OnWorkBegin = [this](TIdComponent&, TWorkMode, std::int64_t max) {
    emit uploadBegun(max);
  };
  IdTrivialFTP.OnWork = [this](TIdComponent&, TWorkMode, std::int64_t count) {
    emit uploadAdvanced(count);
  };
  IdTrivialFTP.OnWorkEnd = [this](TIdComponent&, TWorkMode) { emit uploadEnded(); };
  connect(
      this, &TUpgradeForm::uploadBegun, this,
      [this](qint64 max) { IdTrivialFTPWorkBegin(IdTrivialFTP, wmWrite, max); },
      Qt::QueuedConnection);
  connect(
      this, &TUpgradeForm::uploadAdvanced, this,
      [this](qint64 count) { IdTrivialFTPWork(IdTrivialFTP, wmWrite, count); },
      Qt::QueuedConnection);
  connect(
      this, &TUpgradeForm::uploadEnded, this,
      [this] { IdTrivialFTPWorkEnd(IdTrivialFTP, wmWrite); }, Qt::QueuedConnection);

  IdTrivialFTP.SetCancelFlag(&cancel_);
  connect(CancelBtn, &QPushButton::clicked, this, &TUpgradeForm::CancelBtnClick);
  connect(UpgradeBtn, &QPushButton::clicked, this, &TUpgradeForm::UpgradeBtnClick);
  connect(UpgradeFile, &TFileNameEdit::textChanged, this, &TUpgradeForm::UpgradeFileChange);
  UpdateUpgradeButton();
}

TUpgradeForm::~TUpgradeForm() {
  // The exchange thread uses IdTrivialFTP and emits on this dialog until its run ends.
  if (running_.valid()) running_.wait();
}

void TUpgradeForm::RedirectUploads(const QString& host, int port) {
  TftpPort->setValue(port);
  uploadHost_ = host;
}

void TUpgradeForm::PrepareForDevice(std::optional<TZEL> device, const TExchangeSettings& settings) {
  device_ = std::move(device);
  // The upload runs on the exchange thread: no window hooks there.
  settings_ = settings;
  settings_.busy = {};
  settings_.showDeviceRow = {};
  UpgradeIP->SetText(device_ ? QString::fromStdString(IpToText(device_->values.AsUInt(2)))
                             : QString());
  UpdateUpgradeButton();
}

void TUpgradeForm::ShowForDevice(std::optional<TZEL> device, const TExchangeSettings& settings) {
  PrepareForDevice(std::move(device), settings);
  exec();
}

bool TUpgradeForm::ReadyToUpgrade() const {
  if (UpgradeIP->Text().isEmpty()) return false;
  const QString name = UpgradeFile->Text();
  // Only a regular, non-empty file is an image: a folder, a FIFO or a device never is.
  return !name.isEmpty() && ImageFileProblem(name).isEmpty();
}

void TUpgradeForm::UpdateUpgradeButton() {
  const QString problem = ImageFileProblem(UpgradeFile->Text());
  ImageProblem->setText(problem);
  ImageProblem->setToolTip(problem);
  ImageProblem->setVisible(!problem.isEmpty());
  UpgradeBtn->setEnabled(!busy_ && ReadyToUpgrade());
}

void TUpgradeForm::UpgradeFileChange() {
  UpdateUpgradeButton();
}

void TUpgradeForm::UpgradeBtnClick() {
  // Clicks reach the dialog while an upload runs; only one upgrade at a time.
  if (busy_) return;
  // Clicks queued during an upload may reach the buttons after the dialog has closed.
  if (!isVisible()) return;
  if (!ReadyToUpgrade()) return;
  cancel_ = false;
  transferring_ = false;
  SetBusy(true);
  ShowWindowStatus({});  // an earlier upgrade's result is no longer news
  IdTrivialFTP.SetPort(TftpPort->value());
  RememberTftpPort(TftpPort->value());
  RememberImageFile(UpgradeFile->Text());
  const QString ip = UpgradeIP->Text();
  const QString host = uploadHost_.isEmpty() ? ip : uploadHost_;
  const std::string file = QFile::encodeName(UpgradeFile->Text()).toStdString();
  // The device's own interface while the address is still its own; every interface for an
  // address the user typed.
  const TNetLink link = device_ && IpToText(device_->values.AsUInt(2)) == ip.toStdString()
                            ? device_->link
                            : TNetLink{};
  auto ended = std::make_shared<std::promise<void>>();
  running_ = ended->get_future();
  ui::RunExchange(
      this,
      [this, ended, ip = ip.toStdString(), host = host.toStdString(), file, link,
       settings = settings_] {
        const TCancelScope cancellable(cancel_);
        try {
          // Each answer re-checks the image: the file may have gone meanwhile.
          outcome_ = ops::UpgradeDevice(
              settings, ip, file, host, IdTrivialFTP,
              [file] { return ops::ImageProblem(file).empty(); }, false, link);
        } catch (const std::exception& e) {
          outcome_ = {};
          outcome_.transferError = e.what();
        } catch (...) {
          outcome_ = {};
          outcome_.transferError = "the upgrade stopped";
        }
        ended->set_value();
      },
      [this, ip] { UpgradeFinished(ip); });
}

void TUpgradeForm::CancelBtnClick() {
  if (!busy_) {
    reject();
    return;
  }
  if (cancel_) return;
  // An image cut short may leave the device without a usable firmware: only on purpose.
  if (transferring_ &&
      !ui::AskYesNo(this, tr("Stop the upload? The device may then need a new upload.")))
    return;
  // The upgrade may have ended while the question was open.
  if (busy_) cancel_ = true;
}

void TUpgradeForm::UpgradeFinished(const QString& ip) {
  if (running_.valid()) running_.wait();
  const ops::TUpgradeOutcome upgrade = std::move(outcome_);
  outcome_ = {};
  SetBusy(false);
  ShowWindowStatus(upgrade.Ok()        ? tr("Firmware sent to %1").arg(ip)
                   : upgrade.cancelled ? tr("Upgrade of %1 cancelled").arg(ip)
                                       : tr("Upgrade of %1 failed").arg(ip));
  if (upgrade.cancelled) {
    EndUpload();
    if (upgrade.imageStarted)
      ui::ShowMessage(MessageParent(), tr("Upload cancelled: the device may need a new upload."),
                      ui::MessageKind::Warning);
    return;
  }
  if (!upgrade.imageError.empty()) {
    ShowTransferError(ui::CoreText(upgrade.imageError));
  } else if (upgrade.trigger.NoSocket()) {
    ShowTransferError(ui::CoreText(upgrade.trigger.errors.front().text));
  } else {
    ui::ShowExchangeErrors(upgrade.trigger);
  }
  // Silence is no exchange failure, but the user must not be left guessing; the dialog stays
  // open for another try.
  if (upgrade.imageError.empty() && upgrade.trigger.errors.empty() && !upgrade.trigger.cancelled &&
      upgrade.trigger.replies == 0)
    ui::ShowMessage(this, ui::CoreText(kDeviceNotResponding), ui::MessageKind::Error);
  if (!upgrade.transferError.empty()) {
    // A file that cannot be opened fails before the upload begins, so its end comes here.
    EndUpload();
    ShowTransferError(ui::CoreText(upgrade.transferError));
  }
}

void TUpgradeForm::ShowWindowStatus(const QString& text) {
  // The dialog may have closed; the window's status bar keeps the outcome.
  if (auto* window = qobject_cast<QMainWindow*>(parentWidget())) {
    if (text.isEmpty())
      window->statusBar()->clearMessage();
    else
      window->statusBar()->showMessage(text);
  }
}

void TUpgradeForm::SetBusy(bool busy) {
  busy_ = busy;
  // Only Cancel stays usable in the middle of an upgrade; it asks before ending a transfer.
  UpgradeFile->setEnabled(!busy);
  TftpPort->setEnabled(!busy);
  UpdateUpgradeButton();
}

void TUpgradeForm::IdTrivialFTPWorkBegin(TIdComponent&, TWorkMode, std::int64_t workCountMax) {
  progressShift_ = 0;
  while ((workCountMax >> progressShift_) > INT_MAX) ++progressShift_;
  const int maximum = static_cast<int>(workCountMax >> progressShift_);
  ProgressBar->setValue(0);
  // An empty image would turn the bar into a busy indicator.
  ProgressBar->setRange(0, maximum > 0 ? maximum : 1);
  ProgressBar->setValue(0);
  ProgressBar->show();
}

void TUpgradeForm::IdTrivialFTPWork(TIdComponent&, TWorkMode, std::int64_t workCount) {
  if (workCount < 0) return;
  const std::int64_t value = workCount >> progressShift_;
  if (workCount > 0) transferring_ = true;
  if (value < ProgressBar->minimum() || value > ProgressBar->maximum()) return;
  ProgressBar->setValue(static_cast<int>(value));
}

void TUpgradeForm::IdTrivialFTPWorkEnd(TIdComponent&, TWorkMode) {
  EndUpload();
}

void TUpgradeForm::EndUpload() {
  ProgressBar->hide();
  // done() rather than reject(): reject() is refused while the upgrade is still busy.
  done(QDialog::Rejected);
}

QWidget* TUpgradeForm::MessageParent() {
  return parentWidget() ? parentWidget() : this;
}

void TUpgradeForm::ShowTransferError(const QString& text) {
  ui::ShowMessage(MessageParent(), ui::CoreText(ops::kTransferErrorPrefix) + text,
                  ui::MessageKind::Error);
}

}  // namespace velkaro
