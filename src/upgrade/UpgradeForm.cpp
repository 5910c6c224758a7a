#include "upgrade/UpgradeForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <climits>
#include <exception>

#include "operations/UpgradeOperation.h"
#include "pages/IPEdit.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "ui/UiSeams.h"
#include "ui_UpgradeForm.h"
#include "upgrade/FileNameEdit.h"

namespace velkaro {

namespace {

// Between two paint passes during an upload; one pass per block would slow a fast link down.
constexpr qint64 kPaintPeriodMs = 40;

// Restores a flag on every way out of a scope.
class TFlagGuard {
 public:
  explicit TFlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagGuard() { flag_ = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

 private:
  bool& flag_;
};

}  // namespace

TUpgradeForm::TUpgradeForm(QWidget* owner)
    : QDialog(owner), ui_(std::make_unique<Ui::TUpgradeForm>()) {
  ui_->setupUi(this);
  GroupBox1 = ui_->GroupBox1;
  Label1 = ui_->Label1;
  UpgradeFile = ui_->UpgradeFile;
  Label2 = ui_->Label2;
  UpgradeIP = ui_->UpgradeIP;
  ImageProblem = ui_->ImageProblem;
  ProgressBar = ui_->ProgressBar;
  CancelBtn = ui_->CancelBtn;
  UpgradeBtn = ui_->UpgradeBtn;
  setFixedSize(size());

  UpgradeFile->SetRequest(ImageFileRequest());

  // The address is shown for checking; Tab skips it.
  for (QLineEdit* box : UpgradeIP->findChildren<QLineEdit*>())
    if (box->focusPolicy() & Qt::TabFocus) box->setFocusPolicy(Qt::ClickFocus);

  QPalette bar = ProgressBar->palette();
  bar.setColor(QPalette::Highlight, QColor(0, 0, 128));  // navy
  ProgressBar->setPalette(bar);
  ProgressBar->hide();

  ops::ConfigureUpgradeClient(IdTrivialFTP, TIdTrivialFTP::kDefaultPort);
  IdTrivialFTP.OnWorkBegin = [this](TIdComponent& s, TWorkMode m, std::int64_t max) {
    IdTrivialFTPWorkBegin(s, m, max);
  };
  IdTrivialFTP.OnWork = [this](TIdComponent& s, TWorkMode m, std::int64_t count) {
    IdTrivialFTPWork(s, m, count);
  };
  IdTrivialFTP.OnWorkEnd = [this](TIdComponent& s, TWorkMode m) { IdTrivialFTPWorkEnd(s, m); };

  connect(CancelBtn, &QPushButton::clicked, this, &TUpgradeForm::reject);
  connect(UpgradeBtn, &QPushButton::clicked, this, &TUpgradeForm::UpgradeBtnClick);
  connect(UpgradeFile, &TFileNameEdit::textChanged, this, &TUpgradeForm::UpgradeFileChange);
  UpdateUpgradeButton();
}

TUpgradeForm::~TUpgradeForm() = default;

void TUpgradeForm::RedirectUploads(const QString& host, int port) {
  IdTrivialFTP.SetPort(port);
  uploadHost_ = host;
}

namespace {

// The interface of the selected device when the address to upgrade is still its own; none (every
// interface) for an address the user typed.
TNetLink LinkOfSelected(const std::string& ip) {
  if (SelectedDevice < 0 || static_cast<std::size_t>(SelectedDevice) >= DeviceList.size())
    return {};
  const TZEL& device = DeviceList[static_cast<std::size_t>(SelectedDevice)];
  return IpToText(device.values.AsUInt(2)) == ip ? device.link : TNetLink{};
}

}  // namespace

void TUpgradeForm::PrepareForDevice() {
  // An index that does not name a listed device is treated like an empty list.
  const bool listed =
      SelectedDevice >= 0 && static_cast<std::size_t>(SelectedDevice) < DeviceList.size();
  if (listed) {
    const TZEL& device = DeviceList[static_cast<std::size_t>(SelectedDevice)];
    UpgradeIP->SetText(QString::fromStdString(IpToText(device.values.AsUInt(2))));
  } else {
    UpgradeIP->SetText(QString());
  }
  UpdateUpgradeButton();
}

void TUpgradeForm::ShowForDevice() {
  PrepareForDevice();
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
  // The upload keeps the window painted, so a click may arrive while one is running.
  if (busy_) return;
  // Clicks queued during an upload reach the buttons only after the dialog has closed.
  if (!isVisible()) return;
  if (!ReadyToUpgrade()) return;
  {
    TFlagGuard busy(busy_);
    UpgradeBtn->setEnabled(false);
    const QString host = uploadHost_.isEmpty() ? UpgradeIP->Text() : uploadHost_;
    // Each answer re-checks the image: the chooser may have changed meanwhile.
    const std::string ip = UpgradeIP->Text().toStdString();
    const ops::TUpgradeOutcome upgrade = ops::UpgradeDevice(
        ip, QFile::encodeName(UpgradeFile->Text()).toStdString(), host.toStdString(),
        IdTrivialFTP, [this] { return ReadyToUpgrade(); }, false, LinkOfSelected(ip));
    if (!upgrade.imageError.empty()) {
      ShowTransferError(ui::CoreText(upgrade.imageError));
    } else if (upgrade.trigger.NoSocket()) {
      ShowTransferError(ui::CoreText(upgrade.trigger.errors.front().text));
    } else {
      ui::ShowExchangeErrors(upgrade.trigger);
    }
    if (upgrade.Ok()) {
      // The dialog has closed; the window tells where the image went.
      if (auto* window = qobject_cast<QMainWindow*>(parentWidget()))
        window->statusBar()->showMessage(tr("Firmware sent to %1").arg(UpgradeIP->Text()));
    }
    if (!upgrade.transferError.empty()) {
      // A file that cannot be opened fails before the upload begins, so its end comes here.
      EndUpload();
      ShowTransferError(ui::CoreText(upgrade.transferError));
    }
  }
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
  ProgressBar->repaint();
  PumpPaintEvents(true);
}

void TUpgradeForm::IdTrivialFTPWork(TIdComponent&, TWorkMode, std::int64_t workCount) {
  if (workCount < 0) return;
  const std::int64_t value = workCount >> progressShift_;
  if (value < ProgressBar->minimum() || value > ProgressBar->maximum()) return;
  ProgressBar->setValue(static_cast<int>(value));
  PumpPaintEvents(false);
}

void TUpgradeForm::IdTrivialFTPWorkEnd(TIdComponent&, TWorkMode) {
  EndUpload();
}

void TUpgradeForm::EndUpload() {
  ProgressBar->hide();
  // done() rather than reject(): reject() is refused while the click is being handled.
  done(QDialog::Rejected);
}

void TUpgradeForm::ShowTransferError(const QString& text) {
  QWidget* parent = parentWidget() ? parentWidget() : this;
  ui::ShowMessage(parent, ui::CoreText(ops::kTransferErrorPrefix) + text, ui::MessageKind::Error);
}

void TUpgradeForm::PumpPaintEvents(bool now) {
  if (!now && lastPump_.isValid() && lastPump_.elapsed() < kPaintPeriodMs) return;
  lastPump_.start();
  // Paint and window-system events only: no click or key reaches any window, so nothing can
  // start a second upgrade or close this dialog in the middle of an upload.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                  QEventLoop::ExcludeSocketNotifiers);
}

void TUpgradeForm::reject() {
  if (busy_) return;
  QDialog::reject();
}

void TUpgradeForm::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace velkaro
