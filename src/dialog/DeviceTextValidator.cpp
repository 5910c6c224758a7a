#include "dialog/DeviceTextValidator.h"

#include <QLineEdit>
#include <QToolTip>

#include "ui/DeviceTextQt.h"

namespace velkaro {

namespace {

constexpr int kTipMilliseconds = 4000;

}  // namespace

TDeviceTextValidator::TDeviceTextValidator(QLineEdit* edit) : QValidator(edit), edit_(edit) {}

QString TDeviceTextValidator::RefusalText(const QString& refused) {
  return QStringLiteral("\"%1\" cannot be stored on the device (Windows-1252 characters only)")
      .arg(refused);
}

QValidator::State TDeviceTextValidator::validate(QString& input, int& /*pos*/) const {
  const ui::TRefusedCharacter refused = ui::FirstRefusedCharacter(input);
  if (refused.at < 0) return Acceptable;
  if (edit_ && edit_->isVisible()) {
    QToolTip::showText(edit_->mapToGlobal(QPoint(0, edit_->height())),
                       RefusalText(input.mid(refused.at, refused.length)), edit_, {},
                       kTipMilliseconds);
  }
  return Invalid;
}

}  // namespace velkaro
