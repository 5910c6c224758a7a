#include "version/Oem.h"

#include "protocol/Frame.h"
#include "version/VersionInfo.h"

namespace velkaro {

std::string MakerWebAddress;
std::string MakerEmail;
bool UpgradeOffered = true;

void SelectOem() {
  SelectOem(kOwnProgramFile);
}

void SelectOem(const std::string& programFile) {
  OemCode = kDefaultOemCode;
  MakerWebAddress.clear();
  MakerEmail.clear();
  UpgradeOffered = true;

  // Compared as text: a file without version information has the build "<info not available>"
  // and keeps the defaults above.
  const std::string build = TVersionInfo(nullptr, programFile).Build;
  if (build == "0") {
    MakerWebAddress = kMakerWebAddress;
    MakerEmail = kMakerEmail;
  } else if (build == "1") {
    OemCode = kOemCodeBuild1;
    UpgradeOffered = false;
    MakerWebAddress = kMakerWebAddress;
    MakerEmail = kMakerEmail;
  } else if (build == "2") {
    OemCode = kOemCodeBuild2;
    UpgradeOffered = false;
  }
}

}  // namespace velkaro
