#include "operations/UpgradeOperation.h"

namespace velkaro::ops {

void ConfigureUpgradeClient(TIdTrivialFTP& ftp, std::uint16_t port) {
  ftp.SetPort(port);
  ftp.SetReceiveTimeout(kUpgradeReceiveTimeoutMs);
  ftp.SetTransferMode(tfOctet);
  ftp.SetRequestedBlockSize(kUpgradeBlockSize);
}

TUpgradeOutcome UpgradeDevice(const std::string& ip, const std::string& file,
                              const std::string& uploadHost, TIdTrivialFTP& ftp,
                              const std::function<bool()>& proceed) {
  TUpgradeOutcome outcome;
  outcome.trigger = TriggerUpgrade(ip, [&](const std::string&, int, bool, const TBytes&) {
    if (outcome.uploaded) return;
    if (proceed && !proceed()) return;
    outcome.uploaded = true;
    try {
      ftp.SetActive(true);
      ftp.SetHost(uploadHost);
      ftp.UploadFile(file, kUpgradeRemoteName);
    } catch (const std::exception& e) {
      outcome.transferError = e.what();
    } catch (...) {
      outcome.transferError = "unknown error";
    }
  });
  return outcome;
}

}  // namespace velkaro::ops
