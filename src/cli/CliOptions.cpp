#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <sstream>

#include "cli/CliExitCode.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {

namespace {

constexpr const char* kDeviceHelp =
    "the device's IPv4 address (e.g. 192.168.0.10) or MAC address (00.1A.2B.3C.4D.5E or "
    "00:1a:2b:3c:4d:5e) as the discovery reports it";

constexpr const char* kFooter =
    "Exit codes: 0 success; 1 device not found, not responding or transfer failed;\n"
    "2 usage error or bad value (nothing was sent to a device).\n"
    "Run 'velkaro-cli COMMAND --help' for the arguments of a command.";

// Seconds from `min` (or above it, when `minExcluded`) to `max`; CLI::Range lets NaN through.
CLI::Validator Seconds(double min, double max, bool minExcluded = false) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        double value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        const bool number = ec == std::errc{} && end == text.data() + text.size();
        if (number && std::isfinite(value) && (minExcluded ? value > min : value >= min) &&
            value <= max)
          return {};
        std::ostringstream range;
        range << std::setprecision(12) << (minExcluded ? "above " : "at least ") << min
              << " and at most " << max;
        return "'" + text + "' is no number of seconds " + range.str();
      },
      "SECONDS");
}

}  // namespace

std::optional<std::uint32_t> ParseModelCode(const std::string& text) {
  if (text == "zel1") return kModelZel1;
  if (text == "zel4") return kModelZel4;
  if (text == "zel8") return kModelZel8;
  std::uint64_t code = 0;
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  const auto [p, ec] =
      std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
  if (ec != std::errc{} || p != digits.data() + digits.size() || code > 0xFFFFFFFFu)
    return std::nullopt;
  return static_cast<std::uint32_t>(code);
}

TParseResult ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                              std::ostream& err, const std::function<std::string()>& version) {
  TCliOptions o;
  std::string targetText;

  CLI::App app{"Finds and configures network power switches from the shell.", "velkaro-cli"};
  app.footer(kFooter);
  app.set_version_flag("--version", version, "Print the program version and exit");
  app.require_subcommand(1, 1);
  // Global options are accepted after the command as well.
  app.fallthrough();
  auto* target =
      app.add_option("--target", targetText,
                     "where every request is sent, ADDR or ADDR:PORT, from one socket "
                     "(default 255.255.255.255:52389 on every interface; a subnet broadcast or "
                     "one device's address reaches devices elsewhere)")
          ->type_name("ADDR[:PORT]");
  app.add_option("--interface", o.interfaces,
                 "send on this network interface only; repeat for several (default: every "
                 "interface that is up, has a broadcast address and is not loopback; ignored "
                 "with --target)")
      ->type_name("NAME")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_flag("--json", o.json,
               "machine-readable output on stdout (one JSON document; watch: one per line)");
  app.add_flag("--csv", o.csv,
               "scan only, not with --json: the list as CSV on stdout (RFC 4180, UTF-8, CRLF "
               "line ends), one header line and one line per device");
  app.add_option("--rounds", o.rounds,
                 "number of discovery exchanges, about 250 ms apart (default 10)")
      ->type_name("N")
      ->check(CLI::Range(1, kMaxRounds));

  app.add_option("--log", o.logFile,
                 "write every datagram sent and received to FILE (pcapng, for Wireshark or "
                 "tshark), each with the program's verdict on it")
      ->type_name("FILE");
  app.add_option("--log-limit", o.logLimitMiB,
                 "size at which the packet log stops, in MiB (default 64)")
      ->type_name("MIB")
      ->check(CLI::Range(1, kMaxLogLimitMiB));

  auto* scan = app.add_subcommand("scan", "discover the devices and list them in answer order");

  auto* watch = app.add_subcommand(
      "watch",
      "discover again and again and print one line whenever a device appears, changes, goes "
      "missing or comes back; runs until SIGINT or SIGTERM");
  watch
      ->add_option("--interval", o.interval,
                   "seconds from one discovery exchange to the next (default 1, at least 0.1)")
      ->type_name("S")
      ->check(Seconds(kMinWatchInterval, kMaxWatchInterval));
  watch
      ->add_option("--missing-after", o.missingAfter,
                   "seconds without an answer after which a device is reported missing "
                   "(default 10)")
      ->type_name("S")
      ->check(Seconds(0, kMaxMissingAfter, true));
  watch
      ->add_option("--duration", o.duration,
                   "end the run after this many seconds, with exit code 0 (default 0: run until "
                   "SIGINT or SIGTERM)")
      ->type_name("S")
      ->check(Seconds(0, kMaxWatchDuration));

  auto* read = app.add_subcommand("read", "read every parameter of a device, printed as TAG=VALUE");
  read->add_option("DEVICE", o.device, kDeviceHelp)->required();
  read->add_flag("--names", o.names,
                 "end each line with two blanks, '#', a blank and the tag's name (see the tags "
                 "command); --json always gives them, in \"names\"");

  auto* set = app.add_subcommand(
      "set", "write parameters of a device (values are checked against the tag's type first)");
  set->add_option("DEVICE", o.device, kDeviceHelp)->required();
  set->add_option("TAG=VALUE", o.assignments,
                  "tag number or name (see the tags command) and new value, e.g. 7=Rack-3, "
                  "name=Rack-3 or ip_address=192.168.0.20")
      ->required();

  auto* save = app.add_subcommand("save", "read a device and store its parameters in a .cfg file");
  save->add_option("DEVICE", o.device, kDeviceHelp)->required();
  save->add_option("FILE", o.file, "the .cfg file; its other sections are kept")->required();

  int tftpPort = kDefaultTftpPort;
  int upgradeParallel = kDefaultUpgradeParallel;
  std::string upgradeModelText;
  auto* upgrade = app.add_subcommand(
      "upgrade",
      "upload a firmware image by TFTP to each device, then wait until it answers again");
  upgrade->add_option("DEVICE", o.devices, kDeviceHelp);
  // CLI11 gives every word to DEVICE first; the image, always the last word, is taken back below.
  upgrade->add_option("FILE", o.file, "the firmware image (required, the last word)");
  auto* upgradeModel =
      upgrade
          ->add_option("--model", upgradeModelText,
                       "every discovered device of this model: zel1, zel4, zel8 or a model "
                       "code (decimal or 0x hex)")
          ->type_name("CODE");
  upgrade->add_flag("--all", o.all, "every discovered device");
  upgrade->add_option("--tftp-port", tftpPort, "TFTP port of the devices (default 69)")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  upgrade
      ->add_option("--parallel", upgradeParallel,
                   "devices in flight at once, each transfer with its own socket (default 4)")
      ->type_name("N")
      ->check(CLI::Range(1, kMaxParallel));
  upgrade
      ->add_option("--return-timeout", o.returnTimeout,
                   "seconds a device has after its upload to answer a discovery again "
                   "(default 90; 0 = do not wait)")
      ->type_name("S")
      ->check(CLI::Range(0.0, kMaxReturnTimeout));
  upgrade->add_flag("--canary", o.canary,
                    "do the first device alone; the others start only when it came back");
  upgrade
      ->add_option("--stop-after", o.stopAfter, "start no new device once K devices did not end ok")
      ->type_name("K")
      ->check(CLI::Range(1, 1000000));
  upgrade->add_flag("--force", o.force, "accept an image over 64 MiB");

  auto* restore = app.add_subcommand(
      "restore",
      "write a saved .cfg section back to a device: only the values that differ, then check them");
  restore->add_option("DEVICE", o.device, kDeviceHelp)->required();
  restore->add_option("FILE", o.file, "the .cfg file")->required();
  restore
      ->add_option("--section", o.section,
                   "the section to restore (default: the device's own); another device's "
                   "section is a template: IP address, name and read-only tags are kept")
      ->type_name("NAME");
  restore->add_flag("--dry-run", o.dryRun, "print the changes and send no write");

  std::string modelText;
  auto* apply = app.add_subcommand(
      "apply", "write a template section of a .cfg file to many devices, identity tags kept");
  apply->add_option("FILE", o.file, "the .cfg file")->required();
  apply->add_option("DEVICE", o.devices, kDeviceHelp);
  apply->add_option("--section", o.section, "the template section")->type_name("NAME")->required();
  auto* model = apply
                    ->add_option("--model", modelText,
                                 "every discovered device of this model: zel1, zel4, zel8 or "
                                 "a model code (decimal or 0x hex)")
                    ->type_name("CODE");
  apply
      ->add_option("--parallel", o.parallel,
                   "devices done at once, each with its own socket (default 8)")
      ->type_name("N")
      ->check(CLI::Range(1, kMaxParallel));
  apply->add_flag("--dry-run", o.dryRun, "print the changes and send no write");

  auto* doctor = app.add_subcommand(
      "doctor",
      "check interfaces, replies, firewall and TFTP reachability, one line per check; exit 1 "
      "when a check failed");
  doctor
      ->add_option("--upgrade-check", o.upgradeCheckDevice,
                   "also check that the device's TFTP port answers (a write request with an "
                   "empty name, which uploads nothing)")
      ->type_name("DEVICE");
  doctor->add_option("--tftp-port", tftpPort, "TFTP port of the devices (default 69)")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));

  std::string tagsModelText;
  auto* tags = app.add_subcommand(
      "tags", "list the tags of a model: number, name, type and access (asks no device)");
  tags->add_option("MODEL", tagsModelText, "zel1, zel4, zel8 or a model code (decimal or 0x hex)")
      ->required();

  auto* metrics = app.add_subcommand(
      "metrics",
      "discover the devices, read each one and print their state and counters in the "
      "Prometheus text format (a device that does not answer its read is shown down)");
  metrics
      ->add_option("--output", o.file,
                   "write FILE instead of stdout, replaced whole and never seen half-written "
                   "(for node_exporter's textfile collector), mode 0644")
      ->type_name("FILE");
  metrics
      ->add_option("--parallel", o.parallel,
                   "devices read at once, each with its own socket (default 8)")
      ->type_name("N")
      ->check(CLI::Range(1, kMaxParallel));

  try {
    app.parse(argc, argv);
    if (metrics->parsed() && metrics->count("--output") > 0 && o.file.empty())
      throw CLI::ValidationError("--output", "the file name is empty");
    if (tags->parsed()) {
      o.model = ParseModelCode(tagsModelText);
      if (!o.model) throw CLI::ValidationError("MODEL", "unknown model '" + tagsModelText + "'");
    }
    if (apply->parsed()) {
      if (model->count() > 0) {
        o.model = ParseModelCode(modelText);
        if (!o.model) throw CLI::ValidationError("--model", "unknown model '" + modelText + "'");
      }
      if (o.devices.empty() == !o.model)
        throw CLI::ValidationError("apply", "name the devices or give --model, not both");
    }
    if (upgrade->parsed()) {
      if (o.file.empty() && !o.devices.empty()) {
        o.file = o.devices.back();
        o.devices.pop_back();
      }
      if (o.file.empty()) throw CLI::RequiredError("FILE");
      if (upgradeModel->count() > 0) {
        o.model = ParseModelCode(upgradeModelText);
        if (!o.model)
          throw CLI::ValidationError("--model", "unknown model '" + upgradeModelText + "'");
      }
      const int ways = (o.devices.empty() ? 0 : 1) + (o.model ? 1 : 0) + (o.all ? 1 : 0);
      if (ways != 1)
        throw CLI::ValidationError(
            "upgrade", "give DEVICE... FILE, --model CODE FILE or --all FILE (one of them)");
      o.parallel = upgradeParallel;
    }
    // Checked here rather than by CLI11, whose note in the help would read as an option value.
    if (o.csv && o.json) throw CLI::ValidationError("--csv", "give --csv or --json, not both");
    if (o.csv && !scan->parsed())
      throw CLI::ValidationError("--csv", "only the scan command writes CSV");
    if (target->count() > 0) {
      std::string error;
      if (!ParseTarget(targetText, o.target, error)) throw CLI::ValidationError("--target", error);
    }
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
      return {std::nullopt, app.exit(e, out, err)};
    }
    std::string message = e.what();
    // CLI11 only says that a command is missing when the word given is not one.
    if (app.get_subcommands().empty()) {
      message =
          app.remaining().empty()
              ? "A command is required: scan, watch, read, set, save, restore, apply, upgrade, "
                "doctor, tags or metrics"
              : "Unknown command '" + app.remaining().front() + "'";
    }
    err << message << " (see velkaro-cli --help)\n";
    return {std::nullopt, kExitUsage};
  }

  if (scan->parsed()) o.command = TCommandKind::Scan;
  if (watch->parsed()) o.command = TCommandKind::Watch;
  if (read->parsed()) o.command = TCommandKind::Read;
  if (set->parsed()) o.command = TCommandKind::Set;
  if (save->parsed()) o.command = TCommandKind::Save;
  if (upgrade->parsed()) o.command = TCommandKind::Upgrade;
  if (restore->parsed()) o.command = TCommandKind::Restore;
  if (apply->parsed()) o.command = TCommandKind::Apply;
  if (doctor->parsed()) o.command = TCommandKind::Doctor;
  if (tags->parsed()) o.command = TCommandKind::Tags;
  if (metrics->parsed()) o.command = TCommandKind::Metrics;
  o.tftpPort = static_cast<std::uint16_t>(tftpPort);
  return {o, kExitOk};
}

}  // namespace velkaro::cli
