// Device texts travel as one Windows-1252 byte per character: a character outside that code page
// has no byte and would reach the device as '?'. Bound text edits refuse such characters as they
// are typed or pasted, and say so in a tip under the edit, so nothing vanishes without a word.
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

namespace velkaro {

class TDeviceTextValidator : public QValidator {
 public:
  // `edit` shows the refusal tip; the validator is its child.
  explicit TDeviceTextValidator(QLineEdit* edit);
  State validate(QString& input, int& pos) const override;

  // The tip for a refused character.
  static QString RefusalText(const QString& refused);

 private:
  QLineEdit* edit_;
};

}  // namespace velkaro
