// Firmware upgrade of one device: the trigger, then one TFTP upload of the image.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "protocol/Exchange.h"
#include "tftp/IdTrivialFTP.h"

namespace velkaro::ops {

inline constexpr const char* kTransferErrorPrefix = "Transfert Error:  ";
inline constexpr const char* kUpgradeRemoteName = "/";
inline constexpr int kUpgradeReceiveTimeoutMs = 4000;
inline constexpr int kUpgradeBlockSize = 1500;

// The TFTP settings of every firmware upload.
void ConfigureUpgradeClient(TIdTrivialFTP& ftp, std::uint16_t port);

struct TUpgradeOutcome {
  TExchangeResult trigger;
  bool uploaded = false;      // an upload was started
  std::string transferError;  // why the upload failed (without the prefix); empty when it did not
  bool Ok() const { return uploaded && transferError.empty(); }
};

// Tells the device at `ip` to expect an image and, on its first answer, uploads `file` to
// `uploadHost` through `ftp`. A device that answers twice still gets one image: a second flash
// of a device that is already taking (or installing) the first must never start. `proceed`, when
// given, is asked before the upload and can refuse it.
TUpgradeOutcome UpgradeDevice(const std::string& ip, const std::string& file,
                              const std::string& uploadHost, TIdTrivialFTP& ftp,
                              const std::function<bool()>& proceed = {});

}  // namespace velkaro::ops
