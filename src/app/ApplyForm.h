// TApplyForm: one section of a .cfg file as a template for several devices. Every device's plan
// is read first with nothing written; Apply then writes it by the rules of the command line's
// `apply` (name and IP address kept, only what differs written, then read back), and the table
// ends with each device's result. Both runs go to the exchange thread: the window keeps drawing.
#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "operations/ConfigRestore.h"
#include "protocol/DeviceRecord.h"
#include "protocol/Exchange.h"
#include "ui/BusyDialog.h"
#include "ui/ExchangeWorker.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace velkaro {

// What the tags of one model are called on its property pages, and which of them are secrets.
struct TTagNames {
  std::map<int, QString> captions;
  std::set<int> masked;
};

// Tags bound under `dialog` to line edits that hide what is typed (passwords).
std::set<int> MaskedTags(const QWidget* dialog);

// What a secret's value is shown as, whatever it is: the length is not told either.
inline constexpr const char* kMaskedValue = "••••••";

class TApplyForm : public ui::TBusyDialog {
  Q_OBJECT

 public:
  enum TColumn { ColName, ColIp, ColResult, ColChanges, kColumns };

  // `names` by model code may miss models and tags. Shows the first section that fits most of
  // the devices and starts its plan.
  TApplyForm(const TExchangeSettings& settings, std::vector<TZEL> devices, const QString& fileName,
             std::vector<ops::TCfgSection> sections, std::map<std::uint32_t, TTagNames> names,
             QWidget* parent = nullptr);
  // Waits for a run still going: its threads write into this dialog's run state.
  ~TApplyForm() override;

  // Checks the section against every device, then reads each fitting one and lists what a
  // write would change (nothing is written).
  void ShowSection(int index);
  // Writes the plan to the devices whose plan was read; the devices that failed it are left
  // alone.
  void ApplyClick();

  bool Running() const { return running_; }
  bool Busy() const override { return running_; }
  // Apply ran to its end.
  bool Applied() const { return applied_; }
  // Some device may have been written to (the window's list is then out of date).
  bool Written() const { return written_; }
  // One per device in the table's order: the plan, after Apply the results.
  const std::vector<ops::TApplyOutcome>& Outcomes() const { return outcomes_; }
  // Text of the Result cell of an outcome: a plan with nothing to change is "unchanged".
  static QString ResultText(const ops::TApplyOutcome& outcome);

  QLabel* FileLabel = nullptr;
  QComboBox* SectionBox = nullptr;
  QLabel* StatusLabel = nullptr;
  QTableWidget* DeviceTable = nullptr;
  QPushButton* ApplyBtn = nullptr;
  QPushButton* CloseBtn = nullptr;

 signals:
  // True when a plan or an Apply starts, false once its results are in the table.
  void runningChanged(bool running);

 private:
  struct TRun;
  // Runs the jobs of `rows` on the exchange thread; Finished takes the outcomes back.
  void Run(const std::vector<int>& rows, bool dryRun);
  void Finished(const std::shared_ptr<TRun>& run);
  void ShowOutcomes();
  void ShowSummary();
  void SetRunning(bool running);
  QString ChangesText(const ops::TApplyOutcome& outcome) const;

  TExchangeSettings settings_;  // a copy without the window's hooks: used off the GUI thread
  std::vector<TZEL> devices_;
  std::vector<ops::TCfgSection> sections_;
  std::map<std::uint32_t, TTagNames> names_;
  std::vector<std::vector<ops::TSectionValue>> values_;  // per device, of the shown section
  std::vector<ops::TApplyOutcome> outcomes_;
  std::vector<bool> pending_;  // rows of the running plan or Apply
  std::shared_ptr<TRun> run_;  // the running one, shared with the exchange thread
  ui::TCancelFlag cancel_;
  bool running_ = false;
  bool applying_ = false;  // the run writes
  bool replan_ = false;    // the section changed while a plan was read
  bool applied_ = false;
  bool written_ = false;
};

}  // namespace velkaro
