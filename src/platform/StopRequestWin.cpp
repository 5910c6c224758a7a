#include <windows.h>

#include "platform/StopRequest.h"

namespace velkaro {

namespace {

HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  ::SetEvent(stopEvent);
  return TRUE;  // handled: the process ends by returning from main, not here
}

}  // namespace

void PrepareStopRequest() {
  stopEvent = ::CreateEventA(nullptr, TRUE, FALSE, StopEventName(::GetCurrentProcessId()).c_str());
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void WaitForStopRequest() {
  if (stopEvent) ::WaitForSingleObject(stopEvent, INFINITE);
}

void RequestStop() {
  if (stopEvent) ::SetEvent(stopEvent);
}

}  // namespace velkaro
