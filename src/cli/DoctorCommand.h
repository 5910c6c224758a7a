// velkaro-cli doctor: the usual reasons why a switch is not found or an upgrade fails, checked in
// order, one line per check.
#pragma once

#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "cli/CliOptions.h"

namespace velkaro::cli {

enum class TCheckStatus { Ok, Warn, Fail };

struct TCheckLine {
  std::string check;  // "interfaces", "self-test", "scan eth0", "firewall", "upgrade"
  TCheckStatus status = TCheckStatus::Ok;
  std::string detail;
  std::string hint;  // what to do about a warn or fail
};

// "ok", "warn" or "fail".
const char* StatusText(TCheckStatus status);
// One line: "STATUS  CHECK: DETAIL", with " - HINT" when there is one.
std::string CheckLineText(const TCheckLine& line);

// Returns 0 when no check failed, 1 otherwise.
int RunDoctor(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
