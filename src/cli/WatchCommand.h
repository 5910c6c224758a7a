// velkaro-cli watch: discovery after discovery, one line per device that appeared, changed, went
// missing or came back, until --duration ran out or SIGINT or SIGTERM came.
#pragma once

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

// Returns the exit code or throws TCliFailure. Takes SIGINT and SIGTERM for the rest of the
// process (PrepareStopRequest): run it from the program's own thread, before any other starts.
int RunWatch(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
