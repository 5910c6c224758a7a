#include "operations/UpgradeOperation.h"
#include "platform/Utf8Path.h"
#include "tftp/IdException.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velkaro::ops {

TImageCheck CheckImage(const std::string& file, bool force) {
  namespace fs = std::filesystem;
  TImageCheck check;
  const fs::path path = Utf8Path(file);
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    check.problem = "the file does not exist";
  } else if (ec) {
    check.problem = ec.default_error_condition().message();
  } else if (fs::is_directory(status)) {
    check.problem = "it is a folder";
  } else if (!fs::is_regular_file(status)) {
    check.problem = "it is not a regular file";
  } else if (check.size = fs::file_size(path, ec); ec) {
    check.problem = ec.default_error_condition().message();
  } else if (check.size == 0) {
    check.problem = "the file is empty";
  } else if (check.size > kMaxImageBytes && !force) {
    check.problem = "the file is " + std::to_string(check.size) + " bytes, over 64 MiB";
    check.tooLarge = true;
  } else if (!std::ifstream(path, std::ios::binary)) {
    check.problem = "the file cannot be read";  // a regular file: opening it cannot block
  }
  return check;
}

std::string ImageProblem(const std::string& file, bool force) {
  return CheckImage(file, force).problem;
}

bool LoadImage(const std::string& file, bool force, TBytes& out, std::string& error) {
  error = ImageProblem(file, force);
  if (!error.empty()) return false;
  std::ifstream in(Utf8Path(file), std::ios::binary);
  if (!in) {
    error = "the file cannot be read";
    return false;
  }
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  // The file may have changed between the look and the read.
  if (in.bad() || out.empty() || (out.size() > kMaxImageBytes && !force)) {
    error = out.empty() ? "the file is empty" : "the file changed while it was read";
    return false;
  }
  return true;
}

void ConfigureUpgradeClient(TIdTrivialFTP& ftp, std::uint16_t port) {
  ftp.SetPort(port);
  ftp.SetReceiveTimeout(kUpgradeReceiveTimeoutMs);
  ftp.SetTransferMode(tfOctet);
  ftp.SetRequestedBlockSize(kUpgradeBlockSize);
}

TUpgradeOutcome UpgradeDevice(const TExchangeSettings& settings, const std::string& ip,
                              const std::string& file, const std::string& uploadHost,
                              TIdTrivialFTP& ftp, const std::function<bool()>& proceed, bool force,
                              const TNetLink& link) {
  TUpgradeOutcome outcome;
  TBytes image;
  if (!LoadImage(file, force, image, outcome.imageError)) return outcome;
  // The upload leaves through the device's interface like the trigger; an explicit target
  // leaves the route to the system as ever.
  const bool onLink = settings.target.EveryInterface() && !link.Empty();
  ftp.SetLocalAddress(onLink ? link.localAddress : 0);
  // The upload runs once the trigger's exchange is over, never inside its reply callback: that
  // exchange's listening time limit would otherwise run out during a long upload and be told as
  // datagrams still arriving.
  bool accepted = false;
  outcome.trigger = TriggerUpgrade(
      settings, ip,
      [&](const TReply&) {
        if (accepted) return;
        if (proceed && !proceed()) return;
        accepted = true;
      },
      link);
  if (outcome.trigger.cancelled || (accepted && ExchangeCancelled())) {
    outcome.cancelled = true;
    return outcome;
  }
  if (!accepted) return outcome;
  outcome.uploaded = true;
  try {
    ftp.SetActive(true);
    ftp.SetHost(uploadHost);
    std::istringstream stream(std::string(image.begin(), image.end()), std::ios::binary);
    ftp.UploadStream(stream, kUpgradeRemoteName);
  } catch (const EIdTFTPCancelled&) {
    outcome.cancelled = true;
    outcome.imageStarted = ftp.DataSent();
  } catch (const std::exception& e) {
    outcome.transferError = e.what();
  } catch (...) {
    outcome.transferError = "unknown error";
  }
  return outcome;
}

}  // namespace velkaro::ops
