// Tests of the Windows build run under Wine, which differs from Windows in a few places; a test
// that meets one is skipped there with the reason, and still runs on Windows itself.
#pragma once

#include "support/LeanWindows.h"

namespace velkaro::testing {

inline bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// Wine binds a UDP socket meant for 127.0.0.2 to 0.0.0.0 on the loopback interface (so that it
// hears broadcasts, as on Windows), and a second device's socket on 127.0.0.3 and the same port
// then fails or takes the first one's datagrams.
inline constexpr const char* kWineSharedPort =
    "under Wine, devices on several loopback addresses cannot share one TFTP port";

// Under Wine the offscreen platform draws the same DejaVu fonts with other glyph widths than
// Linux's fontconfig (a pixel here and there), so tests of exact positions and of the tightest fit
// hold on Linux only.
inline constexpr const char* kWineTextWidths =
    "under Wine text measures a pixel wider or narrower than on Linux, where exact positions hold";

}  // namespace velkaro::testing
