#include "app/RestoreForm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "operations/DeviceOperations.h"
#include "protocol/ConfigFile.h"
#include "protocol/Session.h"
#include "ui/DeviceTextQt.h"
#include "ui/ExchangeWorker.h"
#include "ui/UiSeams.h"

namespace velkaro {

namespace {

const QString kTemplateMark = QStringLiteral("template: name and IP address are kept");

QString TagsText(const std::vector<ops::TChange>& changes) {
  std::vector<int> tags;
  for (const ops::TChange& c : changes) tags.push_back(c.tag);
  return ui::CoreText(ops::TagListText(tags));
}

}  // namespace

QString CfgValueText(int tag, const TValue& value, std::uint32_t model) {
  TZEL holder;
  holder.values.Set(tag, value);
  return ui::DeviceTextToQString(
      ConfigEntryValue(holder, static_cast<std::uint16_t>(tag), model).value_or(""));
}

TRestoreForm::TRestoreForm(TSession& session, int deviceIndex, const QString& fileName,
                           std::vector<ops::TCfgSection> sections, std::map<int, QString> captions,
                           QWidget* parent)
    : QDialog(parent),
      session_(session),
      deviceIndex_(deviceIndex),
      sections_(std::move(sections)),
      captions_(std::move(captions)) {
  setWindowTitle(tr("Restore Config"));
  setModal(true);
  resize(640, 400);

  FileLabel = new QLabel(QFileInfo(fileName).fileName(), this);
  FileLabel->setToolTip(fileName);
  SectionBox = new QComboBox(this);
  StatusLabel = new QLabel(this);
  StatusLabel->setWordWrap(true);
  DiffGrid = new QTableWidget(0, kColumns, this);
  DiffGrid->setHorizontalHeaderLabels(
      {tr("Tag"), tr("Setting"), tr("On the device"), tr("In the file")});
  DiffGrid->verticalHeader()->hide();
  DiffGrid->setSelectionMode(QAbstractItemView::NoSelection);
  DiffGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DiffGrid->setWordWrap(false);
  DiffGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  DiffGrid->horizontalHeader()->setSectionResizeMode(ColSetting, QHeaderView::Stretch);

  auto* buttons = new QDialogButtonBox(this);
  ApplyBtn = buttons->addButton(tr("Apply"), QDialogButtonBox::ApplyRole);
  CloseBtn = buttons->addButton(QDialogButtonBox::Close);
  ApplyBtn->setEnabled(false);

  auto* form = new QFormLayout;
  form->addRow(tr("File:"), FileLabel);
  form->addRow(tr("Section:"), SectionBox);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(StatusLabel);
  layout->addWidget(DiffGrid, 1);
  layout->addWidget(buttons);

  int own = 0;
  const bool listed =
      deviceIndex_ >= 0 && static_cast<std::size_t>(deviceIndex_) < session_.DeviceList.size();
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const std::string& name = sections_[i].name;
    const bool isOwn =
        listed &&
        ops::IsOwnSection(name, session_.DeviceList[static_cast<std::size_t>(deviceIndex_)]);
    if (isOwn) own = static_cast<int>(i);
    SectionBox->addItem(isOwn ? ui::DeviceTextToQString(name)
                              : ui::DeviceTextToQString(name) + QStringLiteral("  (") +
                                    kTemplateMark + u')');
  }
  SectionBox->setCurrentIndex(own);

  connect(SectionBox, &QComboBox::currentIndexChanged, this, &TRestoreForm::ShowSection);
  connect(DiffGrid, &QTableWidget::itemChanged, this, [this] { UpdateApplyEnabled(); });
  connect(ApplyBtn, &QPushButton::clicked, this, &TRestoreForm::ApplyClick);
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  ShowSection(own);
}

bool TRestoreForm::Check(bool ok, const std::string& error) {
  if (ok) return true;
  StatusLabel->setText(ui::CoreText(error));
  StatusLabel->setStyleSheet(QStringLiteral("color: #b00000;"));
  UpdateApplyEnabled();
  return false;
}

void TRestoreForm::ShowSection(int index) {
  values_.clear();
  applicable_ = false;
  isTemplate_ = false;
  DiffGrid->setRowCount(0);
  StatusLabel->setStyleSheet(QString());
  if (index < 0 || static_cast<std::size_t>(index) >= sections_.size()) {
    Check(false, "The file holds no section.");
    return;
  }
  if (!Check(
          deviceIndex_ >= 0 && static_cast<std::size_t>(deviceIndex_) < session_.DeviceList.size(),
          "The device is no longer listed."))
    return;
  const TZEL device = session_.DeviceList[static_cast<std::size_t>(deviceIndex_)];
  const ops::TCfgSection& section = sections_[static_cast<std::size_t>(index)];
  isTemplate_ = !ops::IsOwnSection(section.name, device);

  std::string error;
  std::vector<ops::TSectionValue> values;
  if (!Check(ops::SectionFitsDevice(section, device, error) &&
                 ops::ParseSection(section, device.ModelCode(), values, error),
             error))
    return;
  ops::TApplyOutcome plan;
  if (!ui::RunWhileBusy(this, tr("Reading device…"),
                        [&plan, &device, &values, settings = session_.settings, this] {
                          plan = ops::ApplySection(settings, device, values, isTemplate_, true);
                        })) {
    Check(false, tr("Reading the device was cancelled.").toStdString());
    return;
  }
  if (!Check(plan.result != ops::TApplyResult::Failed, plan.error)) return;

  values_ = std::move(values);
  applicable_ = true;
  ShowDifferences(plan.changes, plan.device.ModelCode());
  StatusLabel->setText(plan.changes.empty()
                           ? tr("The device holds the values of this section.")
                           : tr("%n setting(s) differ. Apply writes the ticked ones.", nullptr,
                                static_cast<int>(plan.changes.size())));
  UpdateApplyEnabled();
}

void TRestoreForm::ShowDifferences(const std::vector<ops::TChange>& changes, std::uint32_t model) {
  const QSignalBlocker quiet(DiffGrid);
  DiffGrid->setRowCount(static_cast<int>(changes.size()));
  for (int row = 0; row < DiffGrid->rowCount(); ++row) {
    const ops::TChange& c = changes[static_cast<std::size_t>(row)];
    const auto caption = captions_.find(c.tag);
    const QString cells[kColumns] = {
        QString::number(c.tag), caption == captions_.end() ? QString() : caption->second,
        CfgValueText(c.tag, c.from, model), CfgValueText(c.tag, c.to, model)};
    for (int column = 0; column < kColumns; ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      item->setFlags(Qt::ItemIsEnabled);
      if (column == ColTag) {
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setData(Qt::UserRole, c.tag);
      }
      DiffGrid->setItem(row, column, item);
    }
  }
}

std::vector<int> TRestoreForm::TickedTags() const {
  std::vector<int> tags;
  for (int row = 0; row < DiffGrid->rowCount(); ++row)
    if (const QTableWidgetItem* item = DiffGrid->item(row, ColTag);
        item && item->checkState() == Qt::Checked)
      tags.push_back(item->data(Qt::UserRole).toInt());
  return tags;
}

void TRestoreForm::UpdateApplyEnabled() {
  ApplyBtn->setEnabled(applicable_ && !TickedTags().empty());
}

void TRestoreForm::ApplyClick() {
  if (!applicable_ || deviceIndex_ < 0 ||
      static_cast<std::size_t>(deviceIndex_) >= session_.DeviceList.size())
    return;
  const std::vector<int> ticked = TickedTags();
  std::vector<ops::TSectionValue> chosen;
  std::copy_if(values_.begin(), values_.end(), std::back_inserter(chosen),
               [&ticked](const ops::TSectionValue& v) {
                 return std::find(ticked.begin(), ticked.end(), v.tag) != ticked.end();
               });
  if (chosen.empty()) return;

  ops::TApplyOutcome outcome;
  const bool completed = ui::RunWhileBusy(
      this, tr("Writing…"),
      [&outcome, &chosen, device = session_.DeviceList[static_cast<std::size_t>(deviceIndex_)],
       settings = session_.settings,
       this] { outcome = ops::ApplySection(settings, device, chosen, isTemplate_, false); });
  // Stopped midway, some values may have been written: the window reads the list again.
  if (!completed) {
    written_ = true;
    Check(false, tr("Writing was cancelled; some settings may have been written.").toStdString());
    return;
  }
  // A failed write may still have changed some values.
  if (!outcome.changes.empty()) written_ = true;
  if (!Check(outcome.result != ops::TApplyResult::Failed, outcome.error)) return;

  const QString done =
      outcome.result == ops::TApplyResult::Applied
          ? tr("Written and confirmed by the device: tags %1.").arg(TagsText(outcome.changes))
          : tr("The device already held these values; nothing was written.");
  // What the user left unticked stays so, and what the device confirmed is not offered again
  // should a new read still list it.
  std::vector<int> untick;
  for (int row = 0; row < DiffGrid->rowCount(); ++row)
    if (const QTableWidgetItem* item = DiffGrid->item(row, ColTag);
        item && item->checkState() != Qt::Checked)
      untick.push_back(item->data(Qt::UserRole).toInt());
  if (outcome.result == ops::TApplyResult::Applied)
    for (const ops::TChange& c : outcome.changes) untick.push_back(c.tag);
  ShowSection(SectionBox->currentIndex());
  {
    const QSignalBlocker quiet(DiffGrid);
    for (int row = 0; row < DiffGrid->rowCount(); ++row)
      if (QTableWidgetItem* item = DiffGrid->item(row, ColTag);
          item &&
          std::find(untick.begin(), untick.end(), item->data(Qt::UserRole).toInt()) != untick.end())
        item->setCheckState(Qt::Unchecked);
  }
  UpdateApplyEnabled();
  StatusLabel->setText(done + u' ' + StatusLabel->text());
}

}  // namespace velkaro
