#include "operations/UpgradeOperation.h"
#include "protocol/Utf8Path.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velkaro::ops {

std::string ImageProblem(const std::string& file, bool force) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(Utf8Path(file), ec);
  if (ec || !fs::exists(status)) return "the file does not exist";
  if (fs::is_directory(status)) return "it is a folder";
  if (!fs::is_regular_file(status)) return "it is not a regular file";
  const std::uintmax_t size = fs::file_size(Utf8Path(file), ec);
  if (ec) return ec.message();
  if (size == 0) return "the file is empty";
  if (size > kMaxImageBytes && !force) return "the file is larger than 64 MiB";
  return {};
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

TUpgradeOutcome UpgradeDevice(const std::string& ip, const std::string& file,
                              const std::string& uploadHost, TIdTrivialFTP& ftp,
                              const std::function<bool()>& proceed, bool force,
                              const TNetLink& link) {
  TUpgradeOutcome outcome;
  TBytes image;
  if (!LoadImage(file, force, image, outcome.imageError)) return outcome;
  // The upload leaves through the device's interface like the trigger; an explicit target
  // leaves the route to the system as ever.
  const bool onLink = Settings().target.EveryInterface() && !link.Empty();
  ftp.SetLocalAddress(onLink ? link.localAddress : 0);
  outcome.trigger = TriggerUpgrade(
      ip,
      [&](const std::string&, int, bool, const TBytes&) {
        if (outcome.uploaded) return;
        if (proceed && !proceed()) return;
        outcome.uploaded = true;
        try {
          ftp.SetActive(true);
          ftp.SetHost(uploadHost);
          std::istringstream stream(std::string(image.begin(), image.end()), std::ios::binary);
          ftp.UploadStream(stream, kUpgradeRemoteName);
        } catch (const std::exception& e) {
          outcome.transferError = e.what();
        } catch (...) {
          outcome.transferError = "unknown error";
        }
      },
      link);
  return outcome;
}

}  // namespace velkaro::ops
