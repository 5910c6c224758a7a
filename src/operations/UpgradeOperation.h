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

// Larger images are refused unless forced: no firmware of these devices comes near it.
inline constexpr std::uint64_t kMaxImageBytes = 64u << 20;

// Whether `file` can be uploaded as an image: a readable, non-empty regular file of at most
// kMaxImageBytes (any size with `force`). A FIFO or a device is never opened: it could block or
// send endless bytes.
struct TImageCheck {
  std::string problem;  // why not, e.g. "it is a folder"; empty when it can
  std::uintmax_t size = 0;
  bool tooLarge = false;  // refused for its size only, which `force` allows
};
TImageCheck CheckImage(const std::string& file, bool force = false);
// CheckImage's problem alone.
std::string ImageProblem(const std::string& file, bool force = false);
// Reads the image once: the upload sends exactly these bytes, whatever happens to the file
// meanwhile. False with the reason.
bool LoadImage(const std::string& file, bool force, TBytes& out, std::string& error);

// The TFTP settings of every firmware upload.
void ConfigureUpgradeClient(TIdTrivialFTP& ftp, std::uint16_t port);

struct TUpgradeOutcome {
  TExchangeResult trigger;
  bool uploaded = false;      // an upload was started
  std::string imageError;     // the image could not be read: nothing was sent
  std::string transferError;  // why the upload failed (without the prefix); empty when it did not
  // Stopped by the user (the thread's TCancelScope, the client's cancel flag); imageStarted: some
  // of the image had been sent by then.
  bool cancelled = false;
  bool imageStarted = false;
  bool Ok() const { return uploaded && !cancelled && transferError.empty() && imageError.empty(); }
};

// Reads `file` (LoadImage), tells the device at `ip` to expect an image and, once that exchange
// has ended with an answer, uploads the bytes read to `uploadHost` through `ftp`. A device that
// answers twice still gets one image: a second flash of a device that is already taking (or
// installing) the first must never start. `proceed`, when given, is asked before the upload and can
// refuse it. `link`, the device's interface when known, carries the trigger and the upload alike.
TUpgradeOutcome UpgradeDevice(const TExchangeSettings& settings, const std::string& ip,
                              const std::string& file, const std::string& uploadHost,
                              TIdTrivialFTP& ftp, const std::function<bool()>& proceed = {},
                              bool force = false, const TNetLink& link = {});

}  // namespace velkaro::ops
