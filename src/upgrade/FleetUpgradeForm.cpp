#include "upgrade/FleetUpgradeForm.h"

#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "operations/UpgradeOperation.h"
#include "protocol/Frame.h"
#include "ui/DeviceTextQt.h"
#include "ui/UiSeams.h"
#include "upgrade/FileNameEdit.h"

namespace velkaro {

namespace {

// An error text may come from a device's TFTP server: no control character reaches the table.
QString PrintableText(const std::string& text) {
  QString out = ui::CoreText(text);
  for (QChar& c : out)
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u' ';
  return out;
}

// "ok", or the result word and what went wrong: "transfer failed: <text>".
QString ResultText(const ops::TRolloutDevice& device) {
  const QString word = QString::fromLatin1(ops::RolloutResultWord(device.result));
  if (device.error.empty()) return word;
  const QString error = PrintableText(device.error);
  // The reason a device was not started already begins with its result word.
  return error.startsWith(word) ? error : word + QStringLiteral(": ") + error;
}

}  // namespace

TFleetUpgradeForm::TFleetUpgradeForm(QWidget* owner) : ui::TBusyDialog(owner) {
  BuildComponents();
  TftpPort->setValue(LastTftpPort());
  // Progress is reported on the worker threads; the table is only touched here.
  connect(this, &TFleetUpgradeForm::deviceProgress, this, &TFleetUpgradeForm::ShowDeviceProgress,
          Qt::QueuedConnection);
  connect(UpgradeFile, &TFileNameEdit::textChanged, this, &TFleetUpgradeForm::UpdateStartButton);
  connect(StartBtn, &QPushButton::clicked, this, &TFleetUpgradeForm::StartBtnClick);
  connect(RetryBtn, &QPushButton::clicked, this, &TFleetUpgradeForm::RetryBtnClick);
  connect(CloseBtn, &QPushButton::clicked, this, &TFleetUpgradeForm::reject);
  UpdateStartButton();
}

TFleetUpgradeForm::~TFleetUpgradeForm() {
  // The workers write into this dialog's members until the rollout ends.
  if (worker_) worker_->wait();
}

void TFleetUpgradeForm::BuildComponents() {
  setModal(true);
  resize(640, 300);

  GroupBox1 = new QGroupBox(tr(" Upgrade Parameters "), this);
  Label1 = new QLabel(tr("Upgrade Filename"), GroupBox1);
  UpgradeFile = new TFileNameEdit(GroupBox1);
  UpgradeFile->setObjectName(QStringLiteral("UpgradeFile"));
  UpgradeFile->setMinimumSize(289, 21);
  UpgradeFile->SetRequest(ImageFileRequest());
  ImageProblem = new QLabel(GroupBox1);
  ImageProblem->setObjectName(QStringLiteral("ImageProblem"));
  ImageProblem->setStyleSheet(QStringLiteral("color: #a00000;"));
  ImageProblem->hide();
  Label3 = new QLabel(tr("TFTP Port"), GroupBox1);
  TftpPort = new QSpinBox(GroupBox1);
  TftpPort->setObjectName(QStringLiteral("TftpPort"));
  TftpPort->setRange(1, 65535);
  TftpPort->setValue(TIdTrivialFTP::kDefaultPort);
  TftpPort->setMinimumWidth(100);
  auto* fileRow = new QGridLayout(GroupBox1);
  fileRow->addWidget(Label1, 0, 0);
  fileRow->addWidget(UpgradeFile, 0, 1, 1, 2);
  fileRow->addWidget(ImageProblem, 1, 1, 1, 2);
  fileRow->addWidget(Label3, 2, 0);
  fileRow->addWidget(TftpPort, 2, 1);
  fileRow->setColumnStretch(2, 1);

  DeviceTable = new QTableWidget(0, kColumnCount, this);
  DeviceTable->setObjectName(QStringLiteral("DeviceTable"));
  DeviceTable->setHorizontalHeaderLabels(
      {tr("Name"), tr("IP Address"), tr("State"), tr("Progress")});
  DeviceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DeviceTable->setSelectionMode(QAbstractItemView::NoSelection);
  DeviceTable->setFocusPolicy(Qt::NoFocus);
  DeviceTable->setWordWrap(false);
  DeviceTable->verticalHeader()->hide();
  QHeaderView* header = DeviceTable->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setHighlightSections(false);
  DeviceTable->setColumnWidth(kNameColumn, 120);
  DeviceTable->setColumnWidth(kIpColumn, 95);
  DeviceTable->setColumnWidth(kProgressColumn, 90);
  header->setSectionResizeMode(kStateColumn, QHeaderView::Stretch);

  Summary = new QLabel(this);
  Summary->setObjectName(QStringLiteral("Summary"));
  CloseBtn = new QPushButton(tr("Close"), this);
  CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
  CloseBtn->setAutoDefault(false);
  RetryBtn = new QPushButton(tr("Retry failed devices"), this);
  RetryBtn->setObjectName(QStringLiteral("RetryBtn"));
  RetryBtn->setAutoDefault(false);
  StartBtn = new QPushButton(tr("Start"), this);
  StartBtn->setObjectName(QStringLiteral("StartBtn"));
  StartBtn->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Summary, 1);
  buttons->addWidget(RetryBtn);
  buttons->addWidget(CloseBtn);
  buttons->addWidget(StartBtn);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupBox1);
  layout->addWidget(DeviceTable, 1);
  layout->addLayout(buttons);
}

void TFleetUpgradeForm::RedirectUploads(const QString& host, int port) {
  rollout_.uploadHost = host.toStdString();
  TftpPort->setValue(port);
}

void TFleetUpgradeForm::SetDevices(std::vector<TZEL> devices, const TExchangeSettings& settings) {
  if (running_) return;
  devices_ = std::move(devices);
  // The rollout's threads get their own copy, without the window's hooks.
  rollout_.exchange = settings;
  rollout_.exchange.busy = {};
  rollout_.exchange.showDeviceRow = {};
  results_.clear();
  runRows_.clear();
  ran_ = false;
  if (const QString last = LastImageFile(); !last.isEmpty()) UpgradeFile->SetText(last);
  setWindowTitle(tr("Upgrade %1 devices").arg(devices_.size()));
  Summary->clear();
  DeviceTable->setRowCount(static_cast<int>(devices_.size()));
  for (int row = 0; row < DeviceTable->rowCount(); ++row) {
    const TZEL& device = devices_[static_cast<std::size_t>(row)];
    DeviceTable->setItem(row, kNameColumn,
                         new QTableWidgetItem(ui::DeviceTextToQString(device.values.AsText(7))));
    DeviceTable->setItem(
        row, kIpColumn,
        new QTableWidgetItem(QString::fromStdString(IpToText(device.values.AsUInt(2)))));
    SetStateText(row, QString());
    auto* bar = new QProgressBar;
    bar->setRange(0, 100);
    bar->setValue(0);
    DeviceTable->setCellWidget(row, kProgressColumn, bar);
  }
  UpdateStartButton();
}

void TFleetUpgradeForm::ShowForDevices(std::vector<TZEL> devices,
                                       const TExchangeSettings& settings) {
  SetDevices(std::move(devices), settings);
  exec();
}

void TFleetUpgradeForm::UpdateStartButton() {
  const QString problem = ImageFileProblem(UpgradeFile->Text());
  ImageProblem->setText(problem);
  ImageProblem->setToolTip(problem);
  ImageProblem->setVisible(!problem.isEmpty());
  const bool image = !UpgradeFile->Text().isEmpty() && problem.isEmpty();
  StartBtn->setEnabled(!running_ && !ran_ && !devices_.empty() && image);
  RetryBtn->setEnabled(!running_ && ran_ && image && !FailedRows().empty());
}

std::vector<int> TFleetUpgradeForm::FailedRows() const {
  std::vector<int> rows;
  for (std::size_t i = 0; i < results_.size() && i < devices_.size(); ++i)
    if (results_[i].result != ops::TRolloutResult::Ok) rows.push_back(static_cast<int>(i));
  return rows;
}

void TFleetUpgradeForm::StartBtnClick() {
  if (running_ || ran_ || devices_.empty()) return;
  std::vector<int> rows(devices_.size());
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
  results_.assign(devices_.size(), {});
  for (std::size_t i = 0; i < devices_.size(); ++i) results_[i].device = devices_[i];
  Run(rows);
}

void TFleetUpgradeForm::RetryBtnClick() {
  if (running_ || !ran_) return;
  const std::vector<int> rows = FailedRows();
  if (!rows.empty()) Run(rows);
}

void TFleetUpgradeForm::Run(const std::vector<int>& rows) {
  const QString name = UpgradeFile->Text();
  if (name.isEmpty() || !ImageFileProblem(name).isEmpty()) return;
  RememberImageFile(name);
  RememberTftpPort(TftpPort->value());

  ops::TRolloutSettings settings = rollout_;
  settings.file = QFile::encodeName(name).toStdString();
  settings.tftpPort = static_cast<std::uint16_t>(TftpPort->value());
  std::vector<TZEL> devices;
  for (const int row : rows) {
    devices.push_back(devices_[static_cast<std::size_t>(row)]);
    SetStateText(row, QString::fromLatin1(ops::RolloutStateWord(ops::TRolloutState::Queued)));
    if (auto* bar = qobject_cast<QProgressBar*>(DeviceTable->cellWidget(row, kProgressColumn)))
      bar->setValue(0);
  }
  runRows_ = rows;
  workerResults_.clear();
  failure_.clear();
  ran_ = true;
  SetRunning(true);

  worker_.reset(QThread::create([this, devices = std::move(devices), settings] {
    try {
      workerResults_ = ops::RunRollout(
          devices, settings, [this](std::size_t index, ops::TRolloutState state, int percent) {
            emit deviceProgress(static_cast<int>(index), static_cast<int>(state), percent);
          });
    } catch (const std::exception& e) {
      failure_ = e.what();
    } catch (...) {
      failure_ = "the upgrade stopped";
    }
  }));
  connect(worker_.get(), &QThread::finished, this, &TFleetUpgradeForm::RolloutFinished,
          Qt::QueuedConnection);
  worker_->start();
}

void TFleetUpgradeForm::ShowDeviceProgress(int index, int state, int percent) {
  // The rollout counts its own devices: a retry runs some rows only.
  if (index < 0 || static_cast<std::size_t>(index) >= runRows_.size()) return;
  index = runRows_[static_cast<std::size_t>(index)];
  if (index < 0 || index >= DeviceTable->rowCount()) return;
  // The final word is the device's result, written when the rollout has ended.
  if (static_cast<ops::TRolloutState>(state) != ops::TRolloutState::Finished)
    SetStateText(
        index, QString::fromLatin1(ops::RolloutStateWord(static_cast<ops::TRolloutState>(state))));
  if (auto* bar = qobject_cast<QProgressBar*>(DeviceTable->cellWidget(index, kProgressColumn)))
    bar->setValue(std::clamp(percent, 0, 100));
}

void TFleetUpgradeForm::RolloutFinished() {
  if (!worker_) return;
  worker_->wait();
  worker_.reset();
  for (std::size_t i = 0; i < runRows_.size(); ++i) {
    const auto row = static_cast<std::size_t>(runRows_[i]);
    if (row >= results_.size()) continue;
    if (i < workerResults_.size()) {
      results_[row] = std::move(workerResults_[i]);
    } else {
      results_[row].result = ops::TRolloutResult::NotStarted;
      results_[row].error.clear();
    }
  }
  workerResults_.clear();
  int ok = 0;
  for (int row = 0; row < DeviceTable->rowCount(); ++row) {
    const auto index = static_cast<std::size_t>(row);
    if (index >= results_.size()) continue;
    const ops::TRolloutDevice& result = results_[index];
    const QString text = ResultText(result);
    SetStateText(row, text, text);
    if (result.result == ops::TRolloutResult::Ok) {
      ++ok;
      if (auto* bar = qobject_cast<QProgressBar*>(DeviceTable->cellWidget(row, kProgressColumn)))
        bar->setValue(100);
    }
  }
  Summary->setText(tr("%1 of %2 devices upgraded").arg(ok).arg(DeviceTable->rowCount()));
  SetRunning(false);
  if (!failure_.empty())
    ui::ShowMessage(this, ui::CoreText(ops::kTransferErrorPrefix) + ui::CoreText(failure_),
                    ui::MessageKind::Error);
}

void TFleetUpgradeForm::SetRunning(bool running) {
  running_ = running;
  UpgradeFile->setEnabled(!running);
  TftpPort->setEnabled(!running);
  CloseBtn->setEnabled(!running);
  UpdateStartButton();
  emit runningChanged(running);
}

void TFleetUpgradeForm::SetStateText(int row, const QString& text, const QString& tip) {
  auto* item = new QTableWidgetItem(text);
  item->setToolTip(tip);
  DeviceTable->setItem(row, kStateColumn, item);
}

}  // namespace velkaro
