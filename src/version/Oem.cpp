#include "version/Oem.h"

#include "version/VersionInfo.h"

namespace velkaro {

TOemVariant SelectOem() {
  return SelectOem(kOwnProgramFile);
}

TOemVariant SelectOem(const std::string& programFile) {
  // Compared as text: a file without version information has the build "<info not available>"
  // and keeps the defaults.
  TOemVariant variant;
  const std::string build = TVersionInfo(nullptr, programFile).Build;
  if (build == "0") {
    variant.makerWebAddress = kMakerWebAddress;
    variant.makerEmail = kMakerEmail;
  } else if (build == "1") {
    variant.code = kOemCodeBuild1;
    variant.upgradeOffered = false;
    variant.makerWebAddress = kMakerWebAddress;
    variant.makerEmail = kMakerEmail;
  } else if (build == "2") {
    variant.code = kOemCodeBuild2;
    variant.upgradeOffered = false;
  }
  return variant;
}

}  // namespace velkaro
