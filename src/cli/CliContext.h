// What a command of velkaro-cli works with besides its options: the run's session, the output
// streams and what the run has seen so far.
#pragma once

#include <ostream>

#include "protocol/Exchange.h"
#include "protocol/Session.h"

namespace velkaro::cli {

struct TCliContext {
  TSession& session;  // one per run: its target, interfaces and the devices it found
  std::ostream& out;  // results only (in --json mode one JSON document)
  std::ostream& err;  // errors, one line each, and progress
  bool errIsTerminal = false;
  int connectionErrors = 0;  // "Connection Error:  ..." lines reported so far
};

// One stderr line per failed exchange.
inline void ReportErrors(const TExchangeResult& result, TCliContext& ctx) {
  for (const TExchangeError& e : result.errors) {
    ++ctx.connectionErrors;
    ctx.err << e.Message() << '\n';
  }
}

}  // namespace velkaro::cli
