#include "cli/CliApp.h"

#include <exception>

#include "cli/CliContext.h"
#include "cli/CliExitCode.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/DeviceCommands.h"
#include "cli/DoctorCommand.h"
#include "cli/MetricsCommand.h"
#include "cli/RestoreCommands.h"
#include "cli/TagsCommand.h"
#include "cli/UpgradeCommand.h"
#include "cli/WatchCommand.h"
#include "diag/PacketLog.h"
#include "operations/DeviceOperations.h"
#include "protocol/Exchange.h"
#include "version/VersionInfo.h"

namespace velkaro::cli {

namespace {

// The interfaces named exist and at least one is usable; an explicit target needs none.
void CheckInterfaces(const TCliOptions& o) {
  if (!o.target.EveryInterface()) return;
  const std::vector<TNetInterface> usable = UsableInterfaces();
  const std::vector<std::string> unknown = UnknownInterfaces(usable, o.interfaces);
  if (!unknown.empty()) {
    std::string names;
    for (const std::string& n : unknown) names += (names.empty() ? "'" : ", '") + n + "'";
    throw TCliFailure(kExitUsage, std::string("Unknown interface") +
                                      (unknown.size() == 1 ? " " : "s ") + names +
                                      "; usable: " + InterfaceNamesText(usable));
  }
  if (ChooseInterfaces(usable, o.interfaces).empty())
    throw TCliFailure(kExitFailure, ops::kNoInterfaceText);
}

int Dispatch(const TCliOptions& o, TCliContext& ctx) {
  if (o.command == TCommandKind::Tags) return RunTags(o, ctx);  // no network
  CheckInterfaces(o);
  switch (o.command) {
    case TCommandKind::Scan:
      return RunScan(o, ctx);
    case TCommandKind::Watch:
      return RunWatch(o, ctx);
    case TCommandKind::Read:
      return RunRead(o, ctx);
    case TCommandKind::Set:
      return RunSet(o, ctx);
    case TCommandKind::Save:
      return RunSave(o, ctx);
    case TCommandKind::Upgrade:
      return RunUpgrade(o, ctx);
    case TCommandKind::Restore:
    case TCommandKind::Apply:
      return RunRestore(o, ctx);
    case TCommandKind::Doctor:
      return RunDoctor(o, ctx);
    case TCommandKind::Tags:
      return RunTags(o, ctx);
    case TCommandKind::Metrics:
      return RunMetrics(o, ctx);
  }
  return kExitUsage;
}

int RunWithPacketLog(const TCliOptions& o, TCliContext& ctx) {
  if (o.logFile.empty()) return Dispatch(o, ctx);
  if (const std::string problem = diag::LogFileProblem(o.logFile); !problem.empty())
    throw TCliFailure(kExitUsage, "--log " + o.logFile + ": " + problem);
  diag::TPacketLog log(VersionText(), static_cast<std::size_t>(o.logLimitMiB) << 20);
  int code = kExitFailure;
  std::exception_ptr failure;
  {
    const diag::TPacketLogScope scope(log);
    try {
      code = Dispatch(o, ctx);
    } catch (...) {
      failure = std::current_exception();  // the log of a failed run is the one most wanted
    }
  }
  if (log.Full()) ctx.err << log.FullText() << '\n';
  try {
    log.WriteTo(o.logFile);
  } catch (const std::exception& e) {
    ctx.err << EscapeControl("Cannot write the packet log " + o.logFile + ": " + e.what()) << '\n';
    code = kExitFailure;
  }
  if (failure) std::rethrow_exception(failure);
  return code;
}

}  // namespace

std::string VersionText() {
  const TVersionInfo info;
  return "velkaro-cli " + info.FileVersion;
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool errIsTerminal, std::uint16_t oemCode) {
  const TParseResult parsed = ParseCommandLine(argc, argv, out, err, VersionText);
  if (!parsed.options) return parsed.exitCode;
  const TCliOptions& o = *parsed.options;

  TSession session;
  session.settings.target = o.target;
  session.settings.interfaces = o.interfaces;
  session.settings.oemCode = oemCode;
  TCliContext ctx{session, out, err, errIsTerminal, 0};
  int code = kExitFailure;
  try {
    code = RunWithPacketLog(o, ctx);
  } catch (const TCliFailure& e) {
    // Messages carry texts of devices, files and the system: never a raw control byte.
    err << EscapeControl(e.what()) << '\n';
    code = e.Code();
  } catch (const std::exception& e) {
    err << EscapeControl(e.what()) << '\n';
    code = kExitFailure;
  }
  out.flush();
  return code;
}

}  // namespace velkaro::cli
