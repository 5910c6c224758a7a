#include "cli/UpgradeCommand.h"

#include <memory>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "cli/DeviceSelector.h"
#include "operations/UpgradeOperation.h"

namespace velkaro::cli {

namespace {

// The image must be readable before the device is told to expect it.
void CheckImage(const std::string& file) {
  if (const std::string problem = ops::ImageProblem(file); !problem.empty())
    throw TCliFailure(kExitUsage, "Cannot read firmware file '" + file + "': " + problem);
}

// Progress of one upload on a terminal: "\rUploading <file>: 42% (1234/2900 bytes)".
void AttachProgress(TIdTrivialFTP& ftp, const std::string& file, std::ostream& err) {
  auto total = std::make_shared<std::int64_t>(0);
  ftp.OnWorkBegin = [total](TIdComponent&, TWorkMode, std::int64_t max) { *total = max; };
  ftp.OnWork = [total, file, &err](TIdComponent&, TWorkMode, std::int64_t count) {
    const std::int64_t percent = *total > 0 ? count * 100 / *total : 100;
    err << "\rUploading " << file << ": " << percent << "% (" << count << '/' << *total << " bytes)"
        << std::flush;
  };
  ftp.OnWorkEnd = [&err](TIdComponent&, TWorkMode) { err << '\n' << std::flush; };
}

}  // namespace

int RunUpgrade(const TCliOptions& o, TCliContext& ctx) {
  std::uint32_t ip = 0;
  if (!ParseDottedIpv4(o.ip, ip)) {
    throw TCliFailure(kExitUsage, "Invalid IP '" + o.ip +
                                      "': expected an IPv4 address of four octets 0-255, e.g. "
                                      "192.168.0.10");
  }
  CheckImage(o.file);

  TIdTrivialFTP ftp;
  ops::ConfigureUpgradeClient(ftp, o.tftpPort);
  if (ctx.errIsTerminal) AttachProgress(ftp, o.file, ctx.err);
  // The upload goes to the address given, not to the sender of the answer.
  const ops::TUpgradeOutcome upgrade = ops::UpgradeDevice(o.ip, o.file, o.ip, ftp);
  if (upgrade.trigger.NoSocket()) {
    throw TCliFailure(kExitFailure,
                      ops::kTransferErrorPrefix + EscapeControl(upgrade.trigger.errors.front().text));
  }
  ReportErrors(upgrade.trigger, ctx);
  if (!upgrade.imageError.empty()) {
    throw TCliFailure(kExitUsage, "Cannot read firmware file '" + o.file + "': " + upgrade.imageError);
  }
  if (!upgrade.uploaded) throw TCliFailure(kExitFailure, kDeviceNotResponding);
  if (!upgrade.transferError.empty()) {
    // The text comes from the device's TFTP server: it must not reach the terminal raw.
    ctx.err << ops::kTransferErrorPrefix << EscapeControl(upgrade.transferError) << '\n';
    return kExitFailure;
  }

  if (o.json) {
    TJson doc = TJson::object();
    doc["ip"] = o.ip;
    doc["file"] = JsonText(o.file);
    doc["uploads"] = 1;  // one image per device, however often it answered the trigger
    PrintJson(doc, ctx.out);
  }
  return kExitOk;
}

}  // namespace velkaro::cli
