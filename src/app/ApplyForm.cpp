#include "app/ApplyForm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <future>

#include "app/RestoreForm.h"
#include "pages/BindingTag.h"
#include "protocol/Frame.h"
#include "ui/DeviceTextQt.h"
#include "ui/UiSeams.h"

namespace velkaro {

namespace {

// Devices done at once, each ApplySection with its own socket, as the command line's default.
constexpr int kParallel = 8;

// Device texts and error texts may hold control characters: none reaches the table.
QString Printable(QString text) {
  for (QChar& c : text)
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u' ';
  return text;
}

}  // namespace

std::set<int> MaskedTags(const QWidget* dialog) {
  std::set<int> tags;
  if (!dialog) return tags;
  for (const QLineEdit* edit : dialog->findChildren<const QLineEdit*>()) {
    const int parameter = DecodeBindingTag(TagOf(edit)).parameter;
    if (TagOf(edit) != 0 && edit->echoMode() != QLineEdit::Normal) tags.insert(parameter);
  }
  return tags;
}

struct TApplyForm::TRun {
  std::vector<int> rows;  // the table row of each job
  bool dryRun = true;
  std::vector<ops::TApplyOutcome> outcomes;  // written by the exchange thread until `ended`
  std::string failure;                       // what stopped the run itself
  std::promise<void> ended;
  std::shared_future<void> done = ended.get_future().share();
};

TApplyForm::TApplyForm(const TExchangeSettings& settings, std::vector<TZEL> devices,
                       const QString& fileName, std::vector<ops::TCfgSection> sections,
                       std::map<std::uint32_t, TTagNames> names, QWidget* parent)
    : ui::TBusyDialog(parent),
      settings_(settings),
      devices_(std::move(devices)),
      sections_(std::move(sections)),
      names_(std::move(names)) {
  // The hooks draw the window's cursor and rows: not from the exchange thread.
  settings_.busy = {};
  settings_.showDeviceRow = {};
  setObjectName(QStringLiteral("ApplyForm"));
  setWindowTitle(devices_.size() == 1 ? tr("Apply a template to 1 device")
                                      : tr("Apply a template to %1 devices").arg(devices_.size()));
  setModal(true);
  resize(880, 380);

  FileLabel = new QLabel(QFileInfo(fileName).fileName(), this);
  FileLabel->setToolTip(fileName);
  SectionBox = new QComboBox(this);
  SectionBox->setObjectName(QStringLiteral("SectionBox"));
  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
  StatusLabel->setWordWrap(true);
  DeviceTable = new QTableWidget(0, kColumns, this);
  DeviceTable->setObjectName(QStringLiteral("DeviceTable"));
  DeviceTable->setHorizontalHeaderLabels(
      {tr("Name"), tr("IP Address"), tr("Result"), tr("Changes")});
  DeviceTable->verticalHeader()->hide();
  DeviceTable->setSelectionMode(QAbstractItemView::NoSelection);
  DeviceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DeviceTable->setWordWrap(false);
  QHeaderView* header = DeviceTable->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  DeviceTable->setColumnWidth(ColName, 130);
  DeviceTable->setColumnWidth(ColIp, 100);
  DeviceTable->setColumnWidth(ColResult, 80);
  header->setSectionResizeMode(ColChanges, QHeaderView::Stretch);

  auto* buttons = new QDialogButtonBox(this);
  ApplyBtn = buttons->addButton(tr("&Apply"), QDialogButtonBox::ApplyRole);
  ApplyBtn->setObjectName(QStringLiteral("ApplyBtn"));
  ApplyBtn->setAutoDefault(false);
  CloseBtn = buttons->addButton(QDialogButtonBox::Close);
  CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
  CloseBtn->setAutoDefault(false);
  ApplyBtn->setEnabled(false);

  auto* form = new QFormLayout;
  form->addRow(tr("File:"), FileLabel);
  form->addRow(tr("&Section:"), SectionBox);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(StatusLabel);
  layout->addWidget(DeviceTable, 1);
  layout->addWidget(buttons);

  DeviceTable->setRowCount(static_cast<int>(devices_.size()));
  for (int row = 0; row < DeviceTable->rowCount(); ++row) {
    const TZEL& device = devices_[static_cast<std::size_t>(row)];
    DeviceTable->setItem(
        row, ColName,
        new QTableWidgetItem(Printable(ui::DeviceTextToQString(SlotText(device, 7)))));
    DeviceTable->setItem(
        row, ColIp,
        new QTableWidgetItem(QString::fromStdString(IpToText(device.values.AsUInt(2)))));
  }

  // The section that fits the most devices, the earlier one of equals.
  int best = 0;
  std::size_t bestFits = 0;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    std::string ignored;
    const auto fits = static_cast<std::size_t>(std::count_if(
        devices_.begin(), devices_.end(),
        [&](const TZEL& d) { return ops::SectionFitsDevice(sections_[i], d, ignored); }));
    SectionBox->addItem(ui::DeviceTextToQString(sections_[i].name));
    if (fits > bestFits) {
      bestFits = fits;
      best = static_cast<int>(i);
    }
  }
  SectionBox->setCurrentIndex(best);

  connect(SectionBox, &QComboBox::currentIndexChanged, this, &TApplyForm::ShowSection);
  connect(ApplyBtn, &QPushButton::clicked, this, &TApplyForm::ApplyClick);
  connect(CloseBtn, &QPushButton::clicked, this, &TApplyForm::reject);
  ShowSection(best);
}

TApplyForm::~TApplyForm() {
  if (!run_) return;
  // Only the exchanges of the exchange thread itself see the flag; the others end at their
  // time limits.
  if (cancel_) cancel_->store(true);
  run_->done.wait();
}

QString TApplyForm::ResultText(const ops::TApplyOutcome& outcome) {
  if (outcome.result == ops::TApplyResult::Planned && outcome.changes.empty())
    return QString::fromLatin1(ops::ApplyResultWord(ops::TApplyResult::Unchanged));
  return QString::fromLatin1(ops::ApplyResultWord(outcome.result));
}

QString TApplyForm::ChangesText(const ops::TApplyOutcome& outcome) const {
  if (outcome.result == ops::TApplyResult::Failed) return Printable(ui::CoreText(outcome.error));
  const std::uint32_t model = outcome.device.ModelCode();
  const auto names = names_.find(model);
  QStringList parts;
  for (const ops::TChange& c : outcome.changes) {
    QString caption;
    bool masked = false;
    if (names != names_.end()) {
      if (const auto it = names->second.captions.find(c.tag); it != names->second.captions.end())
        caption = it->second;
      masked = names->second.masked.count(c.tag) > 0;
    }
    if (caption.isEmpty()) caption = tr("Tag %1").arg(c.tag);
    const QString from =
        masked ? QString::fromUtf8(kMaskedValue) : Printable(CfgValueText(c.tag, c.from, model));
    const QString to =
        masked ? QString::fromUtf8(kMaskedValue) : Printable(CfgValueText(c.tag, c.to, model));
    parts << caption + QStringLiteral(": ") + from + QStringLiteral(" -> ") + to;
  }
  return parts.join(u'\n');
}

void TApplyForm::ShowSection(int index) {
  if (applied_) return;
  // The plan of the section shown: another one is read once the running read has ended.
  if (running_) {
    replan_ = true;
    return;
  }
  values_.assign(devices_.size(), {});
  outcomes_.assign(devices_.size(), {});
  std::vector<int> rows;
  if (index < 0 || static_cast<std::size_t>(index) >= sections_.size()) {
    for (ops::TApplyOutcome& o : outcomes_) o.error = "The file holds no section.";
  } else {
    const ops::TCfgSection& section = sections_[static_cast<std::size_t>(index)];
    // Checked before anything is sent: a device of another model is never read for this section.
    for (std::size_t i = 0; i < devices_.size(); ++i) {
      outcomes_[i].device = devices_[i];
      std::string error;
      if (!ops::SectionFitsDevice(section, devices_[i], error) ||
          !ops::ParseSection(section, devices_[i].ModelCode(), values_[i], error)) {
        outcomes_[i].error = error;
        outcomes_[i].refused = true;
        values_[i].clear();
        continue;
      }
      rows.push_back(static_cast<int>(i));
    }
  }
  pending_.assign(devices_.size(), false);
  ShowOutcomes();
  if (rows.empty()) {
    ShowSummary();
    return;
  }
  StatusLabel->setText(tr("Reading the devices…"));
  Run(rows, true);
}

void TApplyForm::ApplyClick() {
  if (running_ || applied_) return;
  // Only the devices whose plan the user saw: one that failed it is not written blind.
  std::vector<int> rows;
  for (std::size_t i = 0; i < outcomes_.size(); ++i)
    if (outcomes_[i].result != ops::TApplyResult::Failed) rows.push_back(static_cast<int>(i));
  const bool anyChange =
      std::any_of(outcomes_.begin(), outcomes_.end(), [](const ops::TApplyOutcome& o) {
        return o.result == ops::TApplyResult::Planned && !o.changes.empty();
      });
  if (rows.empty() || !anyChange) return;
  StatusLabel->setText(tr("Writing…"));
  Run(rows, false);
}

void TApplyForm::Run(const std::vector<int>& rows, bool dryRun) {
  auto run = std::make_shared<TRun>();
  run->rows = rows;
  run->dryRun = dryRun;
  std::vector<ops::TApplyJob> jobs;
  for (const int row : rows) {
    const auto i = static_cast<std::size_t>(row);
    // The plan's read gives no newer identity than the discovery: the job keeps the listed
    // record, whose model and type the device must still report.
    jobs.push_back({devices_[i], values_[i], true});
  }
  run_ = run;
  applying_ = !dryRun;
  pending_.assign(devices_.size(), false);
  for (const int row : rows) pending_[static_cast<std::size_t>(row)] = true;
  SetRunning(true);
  ShowOutcomes();
  cancel_ = ui::RunExchange(
      this,
      [run, jobs = std::move(jobs), settings = settings_] {
        try {
          run->outcomes = ops::ApplyToAll(settings, jobs, kParallel, run->dryRun);
        } catch (const std::exception& e) {
          run->failure = e.what();
        } catch (...) {
          run->failure = "the exchange stopped";
        }
        run->ended.set_value();
      },
      [this, run] { Finished(run); });
}

void TApplyForm::Finished(const std::shared_ptr<TRun>& run) {
  if (run != run_) return;
  run->done.wait();
  run_.reset();
  for (std::size_t j = 0; j < run->rows.size(); ++j) {
    const auto row = static_cast<std::size_t>(run->rows[j]);
    if (row >= outcomes_.size()) continue;
    ops::TApplyOutcome outcome;
    if (j < run->outcomes.size()) {
      outcome = std::move(run->outcomes[j]);
    } else {
      outcome.device = devices_[row];
      outcome.error = run->failure.empty() ? std::string("the exchange stopped") : run->failure;
    }
    // A write that failed midway may still have changed some values.
    if (!run->dryRun && !outcome.changes.empty()) written_ = true;
    outcomes_[row] = std::move(outcome);
  }
  if (!run->dryRun) applied_ = true;
  pending_.assign(devices_.size(), false);
  SetRunning(false);
  if (run->dryRun && replan_) {
    replan_ = false;
    ShowSection(SectionBox->currentIndex());
    return;
  }
  ShowOutcomes();
  ShowSummary();
}

void TApplyForm::ShowOutcomes() {
  for (int row = 0; row < DeviceTable->rowCount(); ++row) {
    const auto i = static_cast<std::size_t>(row);
    QString result, changes;
    if (i < pending_.size() && pending_[i]) {
      result = running_ && applying_ ? tr("writing…") : tr("reading…");
    } else if (i < outcomes_.size()) {
      result = ResultText(outcomes_[i]);
      changes = ChangesText(outcomes_[i]);
    }
    DeviceTable->setItem(row, ColResult, new QTableWidgetItem(result));
    auto* changesItem = new QTableWidgetItem(changes);
    changesItem->setToolTip(changes);
    DeviceTable->setItem(row, ColChanges, changesItem);
  }
  // One line per change: every change of a device is seen without opening anything.
  DeviceTable->resizeRowsToContents();
}

void TApplyForm::ShowSummary() {
  int planned = 0, unchanged = 0, applied = 0, failed = 0;
  for (const ops::TApplyOutcome& o : outcomes_) {
    switch (o.result) {
      case ops::TApplyResult::Planned:
        ++(o.changes.empty() ? unchanged : planned);
        break;
      case ops::TApplyResult::Unchanged:
        ++unchanged;
        break;
      case ops::TApplyResult::Applied:
        ++applied;
        break;
      case ops::TApplyResult::Failed:
        ++failed;
        break;
    }
  }
  if (applied_) {
    StatusLabel->setText(
        tr("Applied to %1, unchanged %2, failed %3.").arg(applied).arg(unchanged).arg(failed));
  } else if (planned > 0) {
    StatusLabel->setText(tr("%1 to change, %2 unchanged, %3 failed. Nothing is written before "
                            "Apply; name and IP address are kept.")
                             .arg(planned)
                             .arg(unchanged)
                             .arg(failed));
  } else {
    StatusLabel->setText(
        failed > 0 && unchanged == 0
            ? tr("No device can take this section.")
            : tr("Nothing to write: %1 unchanged, %2 failed.").arg(unchanged).arg(failed));
  }
  ApplyBtn->setEnabled(!running_ && !applied_ && planned > 0);
}

void TApplyForm::SetRunning(bool running) {
  running_ = running;
  SectionBox->setEnabled(!running && !applied_);
  CloseBtn->setEnabled(!running);
  if (running) ApplyBtn->setEnabled(false);
  emit runningChanged(running);
}

}  // namespace velkaro
