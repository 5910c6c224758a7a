#include "cli/UpgradeCommand.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "cli/DeviceCommands.h"
#include "operations/FirmwareRollout.h"
#include "operations/UpgradeOperation.h"
#include "protocol/Frame.h"

namespace velkaro::cli {

namespace {

// The image is checked before any device hears of it; an empty image would brick a unit.
std::uintmax_t CheckImage(const std::string& file, bool force) {
  const ops::TImageCheck check = ops::CheckImage(file, force);
  if (check.problem.empty()) return check.size;
  throw TCliFailure(kExitUsage, "Cannot use firmware file '" + file + "': " + check.problem +
                                    (check.tooLarge ? " (give --force to send it anyway)" : ""));
}

std::string IpOf(const TZEL& device) {
  return IpToText(device.values.AsUInt(2));
}

// One line per device, redrawn in place on a terminal: "192.168.0.10  uploading  42%".
class TTerminalProgress {
 public:
  TTerminalProgress(const std::vector<TZEL>& devices, std::ostream& err) : err_(err) {
    for (const TZEL& d : devices) {
      ips_.push_back(IpOf(d));
      lines_.push_back(ips_.back() + "  queued");
    }
    for (const std::string& line : lines_) err_ << line << '\n';
    err_ << std::flush;
  }

  void Update(std::size_t index, ops::TRolloutState state, int percent) {
    lines_[index] =
        ips_[index] + "  " + ops::RolloutStateWord(state) + "  " + std::to_string(percent) + "%";
    err_ << "\x1b[" << lines_.size() << 'A';
    for (const std::string& line : lines_) err_ << "\r\x1b[K" << line << '\n';
    err_ << std::flush;
  }

 private:
  std::ostream& err_;
  std::vector<std::string> ips_;
  std::vector<std::string> lines_;
};

void Report(const std::vector<ops::TRolloutDevice>& results, const TCliOptions& o,
            std::uintmax_t size, TCliContext& ctx) {
  if (o.json) {
    TJson list = TJson::array();
    for (const ops::TRolloutDevice& r : results) {
      TJson entry = TJson::object();
      entry["device"] = DeviceJson(r.device);
      entry["result"] = ops::RolloutResultWord(r.result);
      entry["seconds"] = std::round(r.seconds * 1000) / 1000;
      if (r.result != ops::TRolloutResult::Ok) entry["error"] = Utf8JsonText(r.error);
      list.push_back(entry);
    }
    PrintJson(TJson{{"file", Utf8JsonText(o.file)}, {"size", size}, {"devices", list}}, ctx.out);
    return;
  }
  for (const ops::TRolloutDevice& r : results) {
    ctx.out << IpOf(r.device) << ' ' << ops::RolloutResultWord(r.result);
    // The text may come from the device's TFTP server: it must not reach the terminal raw.
    if (r.result == ops::TRolloutResult::TransferFailed) ctx.out << ": " << EscapeControl(r.error);
    ctx.out << '\n';
  }
}

}  // namespace

int RunUpgrade(const TCliOptions& o, TCliContext& ctx) {
  const std::uintmax_t size = CheckImage(o.file, o.force);
  int notFound = 0;
  const std::vector<TZEL> devices =
      DiscoverTargets(o.devices, o.model, o.rounds, false, ctx, notFound);

  ops::TRolloutSettings settings;
  settings.file = o.file;
  settings.tftpPort = o.tftpPort;
  settings.parallel = o.parallel;
  settings.returnTimeout = std::chrono::milliseconds(std::llround(o.returnTimeout * 1000));
  settings.canary = o.canary;
  settings.stopAfter = o.stopAfter;
  settings.force = o.force;
  settings.exchange = ctx.session.settings;

  std::vector<ops::TRolloutDevice> results;
  if (ctx.errIsTerminal && !devices.empty()) {
    TTerminalProgress progress(devices, ctx.err);
    results = ops::RunRollout(devices, settings,
                              [&progress](std::size_t i, ops::TRolloutState s, int percent) {
                                progress.Update(i, s, percent);
                              });
  } else {
    results = ops::RunRollout(devices, settings);
  }
  Report(results, o, size, ctx);
  const bool failed =
      notFound > 0 || std::any_of(results.begin(), results.end(), [](const auto& r) {
        return r.result != ops::TRolloutResult::Ok;
      });
  return failed ? kExitFailure : kExitOk;
}

}  // namespace velkaro::cli
