// Windows builds only: the system's text for an error code, and the conversions between the
// program's UTF-8 and the system's wide strings.
#pragma once

#include <string>
#include <string_view>

namespace velkaro {

// Without the trailing line break and full stop; "Windows error N" when the system has none.
std::string WindowsErrorText(unsigned long code);

// Starts Winsock once for the whole program (cleaned up when it ends); throws TSocketError.
void StartWinsock();

// UTF-16 as the wide API calls give it, in UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace velkaro
