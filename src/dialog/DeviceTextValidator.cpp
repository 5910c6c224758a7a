#include "dialog/DeviceTextValidator.h"

#include <QLineEdit>
#include <QToolTip>
#include <algorithm>

namespace velkaro {

namespace {

constexpr int kTipMilliseconds = 4000;

}  // namespace

TDeviceTextValidator::TDeviceTextValidator(QLineEdit* edit) : QValidator(edit), edit_(edit) {}

QString TDeviceTextValidator::RefusalText(const QString& refused) {
  return QStringLiteral("\"%1\" cannot be stored on the device (Latin-1 characters only)")
      .arg(refused);
}

QValidator::State TDeviceTextValidator::validate(QString& input, int& /*pos*/) const {
  const auto refused =
      std::find_if(input.cbegin(), input.cend(), [](QChar c) { return c.unicode() > 0xFF; });
  if (refused == input.cend()) return Acceptable;
  if (edit_ && edit_->isVisible()) {
    // A surrogate pair is one character to the user.
    const qsizetype at = refused - input.cbegin();
    const QString shown =
        refused->isHighSurrogate() && at + 1 < input.size() ? input.mid(at, 2) : QString(*refused);
    QToolTip::showText(edit_->mapToGlobal(QPoint(0, edit_->height())), RefusalText(shown), edit_,
                       {}, kTipMilliseconds);
  }
  return Invalid;
}

}  // namespace velkaro
