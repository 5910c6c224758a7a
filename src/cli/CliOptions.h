// Command line of velkaro-cli: global options, one command and its arguments.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/Exchange.h"

namespace velkaro::cli {

enum class TCommandKind {
  Scan,
  Watch,
  Read,
  Set,
  Save,
  Upgrade,
  Restore,
  Apply,
  Doctor,
  Tags,
  Metrics
};

inline constexpr int kDefaultRounds = 10;
inline constexpr int kMaxRounds = 1000;
inline constexpr std::uint16_t kDefaultTftpPort = 69;
inline constexpr int kDefaultParallel = 8;
inline constexpr int kMaxParallel = 64;
inline constexpr int kDefaultUpgradeParallel = 4;
inline constexpr double kMaxReturnTimeout = 3600;
inline constexpr int kDefaultLogLimitMiB = 64;
inline constexpr int kMaxLogLimitMiB = 4096;
// watch, in seconds
inline constexpr double kDefaultWatchInterval = 1;
inline constexpr double kMinWatchInterval = 0.1;
inline constexpr double kMaxWatchInterval = 3600;
inline constexpr double kDefaultMissingAfter = 10;
inline constexpr double kMaxMissingAfter = 7 * 86400;
inline constexpr double kMaxWatchDuration = 366 * 86400;

struct TCliOptions {
  TTarget target;  // default: limited broadcast to the device port on every usable interface
  std::vector<std::string> interfaces;  // --interface NAME...; empty: every usable one
  bool json = false;
  bool csv = false;  // scan only
  int rounds = kDefaultRounds;
  std::string logFile;  // --log: the packet log, written at the end (empty: none)
  int logLimitMiB = kDefaultLogLimitMiB;

  TCommandKind command = TCommandKind::Scan;
  std::string device;                    // read, set, save
  bool names = false;                    // read: each line's tag name too
  std::vector<std::string> assignments;  // set: TAG=VALUE or NAME=VALUE as given
  std::string file;                      // save, upgrade, restore, apply; metrics --output
  std::uint16_t tftpPort = kDefaultTftpPort;
  std::string section;                 // restore, apply: --section NAME (empty: the device's own)
  bool dryRun = false;                 // restore, apply
  std::vector<std::string> devices;    // apply, upgrade: DEVICE...
  std::optional<std::uint32_t> model;  // apply, upgrade: --model; tags: MODEL
  int parallel = kDefaultParallel;     // apply, metrics, upgrade (whose default is 4)
  // upgrade
  bool all = false;
  double returnTimeout = 90;  // seconds; 0 = no wait
  bool canary = false;
  int stopAfter = 0;  // 0 = never stop
  bool force = false;
  // watch, in seconds
  double interval = kDefaultWatchInterval;
  double missingAfter = kDefaultMissingAfter;
  double duration = 0;  // 0 = until SIGINT or SIGTERM
  // doctor
  std::string upgradeCheckDevice;  // --upgrade-check DEVICE (empty: that check is left out)
};

// "zel1", "zel4", "zel8", or a model code in decimal or 0x hex.
std::optional<std::uint32_t> ParseModelCode(const std::string& text);

// Parses argv. Returns the options, or an exit code when the run ends here: 0 after --help or
// --version (printed on `out`), kExitUsage after a usage error (one line on `err`).
// `version` gives the text --version prints.
struct TParseResult {
  std::optional<TCliOptions> options;
  int exitCode = 0;
};
TParseResult ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                              std::ostream& err, const std::function<std::string()>& version);

}  // namespace velkaro::cli
