// TSecurity: the Security page, a column of IP security mask rows. Row n (counted from 0 here,
// shown as "#" + firstNumber + n) binds, for tag base B:
//   mask  B + 2n      the IP address control (IPv4)
//   flags B + 2n + 1  bit 0 = Activated check box, bit 1 = Permit radio button (1 Permit,
//                     0 Deny); the other six bits are left as loaded.
// The Deny button of each row is unbound: it is selected when the row is built and is cleared
// only by selecting Permit. The page has no handlers; the dialog's binding passes do the rest.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QTabWidget;

namespace velkaro {

class TComponentOwner;
class TIPEdit;

class TSecurity : public QWidget {
  Q_OBJECT

 public:
  // Inserts the page into `pageControl` at `pageIndex` and registers it and every control on it
  // with `owner` in creation order. A TZelForm (model dialogs: pass `this`) is a
  // TComponentOwner. `rowCount` below 0 counts as 0.
  TSecurity(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption, int pageIndex,
            int tagBase, int rowCount, int firstNumber);
  ~TSecurity() override;

  struct TRow {
    QLabel* number = nullptr;
    TIPEdit* mask = nullptr;
    QWidget* radioPanel = nullptr;
    QRadioButton* permit = nullptr;
    QRadioButton* deny = nullptr;
    QCheckBox* activated = nullptr;
  };

  QGroupBox* Group() const { return group_; }
  QLabel* PermitHeading() const { return permitHeading_; }
  QLabel* DenyHeading() const { return denyHeading_; }
  QLabel* ActivatedHeading() const { return activatedHeading_; }
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Row by position, from 0; a default (all null) row outside the range.
  TRow Row(int index) const;

 private:
  void MakeRoomForMasks();

  QGroupBox* group_ = nullptr;
  QLabel* permitHeading_ = nullptr;
  QLabel* denyHeading_ = nullptr;
  QLabel* activatedHeading_ = nullptr;
  std::vector<TRow> rows_;
};

}  // namespace velkaro
