// Device texts travel as one byte per character: a character outside Latin-1 has no byte and
// would reach the device as '?'. Bound text edits refuse such characters as they are typed.
#pragma once

#include <QValidator>

namespace velkaro {

class TDeviceTextValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override;
};

}  // namespace velkaro
