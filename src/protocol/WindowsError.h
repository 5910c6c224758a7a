// Windows builds only: the system's own text for a Windows or Winsock error code.
#pragma once

#include <string>

namespace velkaro {

// Without the trailing line break and full stop; "Windows error N" when the system has none.
std::string WindowsErrorText(unsigned long code);

}  // namespace velkaro
