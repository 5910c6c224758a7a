#include <pthread.h>

#include <unistd.h>

#include <csignal>

#include "platform/StopRequest.h"

namespace velkaro {

namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

// Signals are taken by sigwait; threads started later inherit the blocked mask.
void PrepareStopRequest() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void WaitForStopRequest() {
  const sigset_t set = StopSignals();
  int signal = 0;
  sigwait(&set, &signal);
}

// To the process: a signal sent to one thread is seen by that thread's sigwait alone.
void RequestStop() {
  kill(getpid(), SIGTERM);
}

}  // namespace velkaro
