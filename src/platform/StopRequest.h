// How velkaro-sim is asked to stop: SIGINT or SIGTERM on POSIX; on Windows Ctrl+C, Ctrl+Break,
// closing the console, or the named event StopEventName(own process id) being set (what a
// Windows parent uses instead of a signal; tests/support does so).
#pragma once

#include <string>

namespace velkaro {

// Call first in main, before any thread starts, so that every thread leaves the request to
// WaitForStopRequest.
void PrepareStopRequest();
// Blocks until a stop is requested.
void WaitForStopRequest();
// Requests the stop from inside the program, after PrepareStopRequest: a thread blocked in
// WaitForStopRequest returns, as at a signal, once a run has ended on its own.
void RequestStop();

// "Local\velkaro-stop-<pid>": the event that stops a Velkaro program on Windows.
inline std::string StopEventName(unsigned long processId) {
  return "Local\\velkaro-stop-" + std::to_string(processId);
}

}  // namespace velkaro
