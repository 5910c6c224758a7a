#include "pages/SpinEdit.h"

#include <algorithm>

namespace velkaro {

namespace {

// Nine digits always fit a 32-bit int, so a long number typed in never overflows.
constexpr int kMaxDigits = 9;

}  // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

bool TSpinEdit::Digits(const QString& input, QString& digits) const {
  QString text = input;
  if (!prefix().isEmpty() && text.startsWith(prefix())) text.remove(0, prefix().size());
  if (!suffix().isEmpty() && text.endsWith(suffix())) text.chop(suffix().size());
  text = text.trimmed();
  if (text.isEmpty() || text.size() > kMaxDigits) return false;
  if (!std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
    return false;
  digits = text;
  return true;
}

QValidator::State TSpinEdit::validate(QString& input, int& pos) const {
  const QValidator::State state = QSpinBox::validate(input, pos);
  if (state != QValidator::Invalid) return state;
  QString digits;
  return Digits(input, digits) ? QValidator::Intermediate : state;
}

void TSpinEdit::fixup(QString& input) const {
  QString digits;
  if (!Digits(input, digits)) {
    QSpinBox::fixup(input);
    return;
  }
  const int value = std::clamp(digits.toInt(), minimum(), maximum());
  input = prefix() + QString::number(value) + suffix();
}

}  // namespace velkaro
