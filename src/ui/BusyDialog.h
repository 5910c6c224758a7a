// A dialog that cannot be closed while its work runs: Escape, the title bar's close box and
// reject() do nothing until Busy() is false. done() still closes it, so the work's own end can.
#pragma once

#include <QDialog>

class QCloseEvent;

namespace velkaro::ui {

class TBusyDialog : public QDialog {
  Q_OBJECT

 public:
  using QDialog::QDialog;
  virtual bool Busy() const = 0;

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace velkaro::ui
