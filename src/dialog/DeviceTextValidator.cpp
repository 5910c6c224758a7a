#include "dialog/DeviceTextValidator.h"

#include <algorithm>

namespace velkaro {

QValidator::State TDeviceTextValidator::validate(QString& input, int& /*pos*/) const {
  const bool latin1 = std::all_of(input.cbegin(), input.cend(),
                                  [](QChar c) { return c.unicode() <= 0xFF; });
  return latin1 ? Acceptable : Invalid;
}

}  // namespace velkaro
