// The Restore Config dialog: the sections of a .cfg file, the differences between the chosen
// section and the selected device, and Apply for the rows left ticked.
#pragma once

#include <QDialog>
#include <QString>
#include <map>
#include <vector>

#include "operations/ConfigRestore.h"
#include "protocol/Session.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace velkaro {

// A value as the .cfg file writes it for its tag's type.
QString CfgValueText(int tag, const TValue& value, std::uint32_t model);

class TRestoreForm : public QDialog {
  Q_OBJECT

 public:
  // Columns of DiffGrid; the Tag cell holds the row's check box.
  enum TColumn { ColTag, ColSetting, ColDevice, ColFile, kColumns };

  // `captions` (tag -> what it is on the property pages) may miss tags. Shows the device's own
  // section when the file has it, else the first one.
  TRestoreForm(TSession& session, int deviceIndex, const QString& fileName,
               std::vector<ops::TCfgSection> sections, std::map<int, QString> captions,
               QWidget* parent = nullptr);

  // Checks the section against the device, reads the device and lists what differs.
  void ShowSection(int index);
  // Writes the ticked rows, reads the device back and tells what it confirmed; then lists what
  // still differs.
  void ApplyClick();

  // Whether an Apply wrote to the device (the device list is then out of date).
  bool Written() const { return written_; }
  bool IsTemplate() const { return isTemplate_; }
  // Tags of the ticked rows.
  std::vector<int> TickedTags() const;

  QLabel* FileLabel = nullptr;
  QComboBox* SectionBox = nullptr;
  QLabel* StatusLabel = nullptr;
  QTableWidget* DiffGrid = nullptr;
  QPushButton* ApplyBtn = nullptr;
  QPushButton* CloseBtn = nullptr;

 private:
  void ShowDifferences(const std::vector<ops::TChange>& changes, std::uint32_t model);
  void UpdateApplyEnabled();
  bool Check(bool ok, const std::string& error);

  TSession& session_;  // the window's; outlives the dialog
  int deviceIndex_;
  std::vector<ops::TCfgSection> sections_;
  std::map<int, QString> captions_;
  std::vector<ops::TSectionValue> values_;  // of the shown section, when it can be applied
  bool applicable_ = false;
  bool isTemplate_ = false;
  bool written_ = false;
};

}  // namespace velkaro
