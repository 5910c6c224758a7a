#include "ui/BusyDialog.h"

#include <QCloseEvent>

namespace velkaro::ui {

void TBusyDialog::reject() {
  if (Busy()) return;
  QDialog::reject();
}

void TBusyDialog::closeEvent(QCloseEvent* event) {
  if (Busy()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace velkaro::ui
