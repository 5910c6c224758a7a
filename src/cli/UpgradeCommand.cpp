#include "cli/UpgradeCommand.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "cli/DeviceSelector.h"
#include "protocol/Exchange.h"
#include "tftp/IdTrivialFTP.h"

namespace velkaro::cli {

namespace {

constexpr const char* kTransferError = "Transfert Error:  ";

// The image must be readable before the device is told to expect it.
void CheckImage(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_directory(file, ec)) {
    throw TCliFailure(kExitUsage, "Cannot read firmware file '" + file + "': it is a folder");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw TCliFailure(kExitUsage,
                      "Cannot read firmware file '" + file + "': " + std::strerror(errno));
  }
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

  int answers = 0;
  int failures = 0;
  const auto upload = [&](const std::string&, int, bool, const TBytes&) {
    ++answers;
    try {
      TIdTrivialFTP ftp;
      ftp.SetPort(o.tftpPort);
      ftp.SetReceiveTimeout(kUpgradeReceiveTimeoutMs);
      ftp.SetTransferMode(tfOctet);
      ftp.SetRequestedBlockSize(kUpgradeBlockSize);
      if (ctx.errIsTerminal) AttachProgress(ftp, o.file, ctx.err);
      ftp.SetActive(true);
      // The address given, not the sender of the answer.
      ftp.SetHost(o.ip);
      ftp.UploadFile(o.file, kUpgradeRemoteName);
    } catch (const std::exception& e) {
      ++failures;
      ctx.err << kTransferError << e.what() << '\n';
    }
  };
  try {
    TriggerUpgrade(o.ip, upload);
  } catch (const std::exception& e) {
    throw TCliFailure(kExitFailure, kTransferError + std::string(e.what()));
  }
  if (answers == 0) throw TCliFailure(kExitFailure, "Device not responding");
  if (failures > 0) return kExitFailure;

  if (o.json) {
    TJson doc = TJson::object();
    doc["ip"] = o.ip;
    doc["file"] = JsonText(o.file);
    doc["uploads"] = answers;
    PrintJson(doc, ctx.out);
  }
  return kExitOk;
}

}  // namespace velkaro::cli
