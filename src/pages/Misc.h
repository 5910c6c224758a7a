// TMisc: the Miscellaneous page, the device's usage counters, read-only. For tag base B and
// row count C: B = number of power-ups, B + k (k = 1..C) = off-to-on switchings of outlet
// firstNumber + k - 1. The value boxes cannot be edited or reached with the Tab key.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QTabWidget;

namespace velkaro {

class TComponentOwner;

class TMisc : public QWidget {
  Q_OBJECT

 public:
  // Inserts the page into `pageControl` at `pageIndex` and registers it and every control on it
  // with `owner` in creation order. A TZelForm (model dialogs: pass `this`) is a
  // TComponentOwner. `rowCount` below 0 counts as 0.
  TMisc(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption, int pageIndex,
        int tagBase, int rowCount, int firstNumber);
  ~TMisc() override;

  struct TRow {
    QLabel* label = nullptr;
    QLineEdit* value = nullptr;
  };

  QGroupBox* Group() const { return group_; }
  QLabel* PowerUpLabel() const { return powerUpLabel_; }
  QLineEdit* PowerUp() const { return powerUp_; }
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Counter row by position, from 0; a default (all null) row outside the range.
  TRow Row(int index) const;

 private:
  void MakeRoomForLabels();

  QGroupBox* group_ = nullptr;
  QLabel* powerUpLabel_ = nullptr;
  QLineEdit* powerUp_ = nullptr;
  std::vector<TRow> rows_;
};

}  // namespace velkaro
