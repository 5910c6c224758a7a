// TLab: the Labels page of one device driven by the rack model: the device's name and the
// names of its sockets. For tag base B: B = device name, B + 2 + 4k = name of socket
// firstNumber + k (k = 0..C-1); the tags in between belong to other settings.
// A name travels to the device with a one-byte length, so the boxes take at most kNameLimit
// characters (device texts are one byte per character): the wire never has to cut a name.
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

class TLab : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kNameLimit = 255;

  // Inserts the page into `pageControl` at `pageIndex` and registers it and every control on it
  // with `owner` in creation order. A TZelForm (model dialogs: pass `this`) is a
  // TComponentOwner. `rowCount` below 0 counts as 0.
  TLab(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption, int pageIndex,
       int tagBase, int rowCount, int firstNumber);
  ~TLab() override;

  struct TRow {
    QLabel* label = nullptr;
    QLineEdit* name = nullptr;
  };

  QGroupBox* Group() const { return group_; }
  QLabel* DeviceLabel() const { return deviceLabel_; }
  QLineEdit* DeviceName() const { return deviceName_; }
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Socket row by position, from 0; a default (all null) row outside the range.
  TRow Row(int index) const;

 private:
  QGroupBox* group_ = nullptr;
  QLabel* deviceLabel_ = nullptr;
  QLineEdit* deviceName_ = nullptr;
  std::vector<TRow> rows_;
};

}  // namespace velkaro
