// velkaro-sim: plays a network of power switches on one UDP port until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/Socket.h"
#include "platform/StopRequest.h"
#include "sim/Simulator.h"

namespace {

using velkaro::sim::TMalformKind;
using velkaro::sim::TSimOptions;

constexpr int kExitUsage = 2;
constexpr int kRebootMs = 2000;  // about what a real unit needs to flash and start again

// "bad-items" and so on to the kind; the names are listed in the help.
const std::map<std::string, TMalformKind> kMalformKinds{{"bad-items", TMalformKind::BadItems},
                                                        {"empty", TMalformKind::Empty},
                                                        {"oversize", TMalformKind::Oversize},
                                                        {"short", TMalformKind::Short}};

std::string CheckBindAddress(const std::string& text) {
  std::uint32_t ip = 0;
  return velkaro::ParseIpv4(text, ip) ? "" : "'" + text + "' is not a dotted IPv4 address";
}

std::string CheckMacBase(const std::string& text) {
  std::uint64_t value = 0;
  const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || ec != std::errc{} || p != text.data() + text.size() ||
      value > 0xFFFFFFFFFFFFull)
    return "'" + text + "' is not a hexadecimal 48-bit number";
  return "";
}

// Comma-separated model names or codes; an empty text is the one model "" and is refused.
bool ParseModels(const std::string& list, std::vector<std::uint32_t>& out, std::string& error) {
  out.clear();
  std::size_t start = 0;
  for (;;) {
    const auto comma = list.find(',', start);
    const std::string name =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::uint32_t code = 0;
    if (!velkaro::sim::ParseModelName(name, code)) {
      error = "unknown model '" + name + "' (use zel1, zel4, zel8 or a code)";
      return false;
    }
    out.push_back(code);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

std::string CheckModels(const std::string& list) {
  std::vector<std::uint32_t> codes;
  std::string error;
  return ParseModels(list, codes, error) ? "" : error;
}

// "" is every device; otherwise comma-separated device indexes from 0.
bool ParseDeviceSet(const std::string& text, velkaro::sim::TDeviceSet& out) {
  out = {};
  if (text.empty()) {
    out.all = true;
    return true;
  }
  std::size_t start = 0;
  for (;;) {
    const auto comma = text.find(',', start);
    const auto end = comma == std::string::npos ? text.size() : comma;
    std::size_t index = 0;
    const auto [p, ec] = std::from_chars(text.data() + start, text.data() + end, index);
    if (start == end || ec != std::errc{} || p != text.data() + end) return false;
    out.indexes.insert(index);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

std::string CheckDeviceSet(const std::string& text) {
  velkaro::sim::TDeviceSet set;
  return ParseDeviceSet(text, set) ? "" : "'" + text + "' is not a list of device indexes";
}

// "K" or "K:LIST" of --abort-at-block.
bool ParseAbort(const std::string& text, int& block, velkaro::sim::TDeviceSet& devices) {
  const auto colon = text.find(':');
  const std::string number = text.substr(0, colon);
  const auto [p, ec] = std::from_chars(number.data(), number.data() + number.size(), block);
  if (number.empty() || ec != std::errc{} || p != number.data() + number.size() || block < 1)
    return false;
  return ParseDeviceSet(colon == std::string::npos ? "" : text.substr(colon + 1), devices) &&
         (colon == std::string::npos || !devices.all);
}

std::string CheckAbort(const std::string& text) {
  int block = 0;
  velkaro::sim::TDeviceSet set;
  return ParseAbort(text, block, set)
             ? ""
             : "'" + text + "' is not a block number from 1, optionally followed by :LIST";
}

struct TArguments {
  TSimOptions options;
  std::string models;
  std::string macBase;
  std::string malformed;
  CLI::Option* malformedOption = nullptr;
  std::string abort;
  std::string noReturn;
  std::string doubleTrigger;
  CLI::Option* noReturnOption = nullptr;
  CLI::Option* doubleTriggerOption = nullptr;
  bool lanIps = false;
};

// Declares every switch on `app`; the values land in `a` when parsed.
void DeclareOptions(CLI::App& app, TArguments& a) {
  TSimOptions& o = a.options;
  app.add_option("--bind", o.bindAddress,
                 "address to listen on (default 127.0.0.1; 0.0.0.0 also receives limited "
                 "broadcasts)")
      ->type_name("ADDR")
      ->check(CLI::Validator(CheckBindAddress, ""));
  app.add_option("--port", o.port, "UDP port, 0 = any free port (default 52389)")
      ->type_name("N")
      ->check(CLI::Range(0, 65535));
  app.add_option("--count", o.count, "number of devices, models taken in turn from --models")
      ->type_name("N")
      ->check(CLI::Range(1, 1000000));
  app.add_option("--models", a.models,
                 "comma-separated zel1, zel4, zel8 or model codes (default zel1,zel4,zel8: one "
                 "device each)")
      ->type_name("LIST")
      ->check(CLI::Validator(CheckModels, ""));
  app.add_option("--mac-base", a.macBase,
                 "first device's MAC is this plus 1 (default 02005E000000)")
      ->type_name("HEX")
      ->check(CLI::Validator(CheckMacBase, ""));
  app.add_option("--delay", o.replyDelayMs, "wait before answering a request")
      ->type_name("MS")
      ->check(CLI::Range(0, 600000));
  app.add_option("--spacing", o.replySpacingMs, "gap between the answers of successive devices")
      ->type_name("MS")
      ->check(CLI::Range(0, 60000));
  app.add_flag("--silent", o.silent, "receive requests, answer nothing");
  app.add_option("--duplicates", o.duplicates, "send every answer N more times")
      ->type_name("N")
      ->check(CLI::Range(0, 100));
  app.add_option("--duplicate-gap", o.duplicateGapMs, "gap between an answer and its copies")
      ->type_name("MS")
      ->check(CLI::Range(0, 60000));
  a.malformedOption =
      app.add_option("--malformed", a.malformed,
                     "send broken answers of KIND: bad-items (default), empty, oversize or short")
          ->type_name("[=KIND]")
          ->expected(0, 1)
          ->check(CLI::IsMember(kMalformKinds));
  app.add_option("--tftp-port", o.tftpPort,
                 "port where a device takes its firmware image (default 69)")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  app.add_option("--drop-rate", o.dropRate,
                 "lose each request received and each answer with this probability (default 0)")
      ->type_name("P")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--seed", o.seed, "seed of the losses, the same seed loses the same (default 1)")
      ->type_name("N");
  auto* loopback = app.add_flag(
      "--loopback-ips", o.loopbackIps,
      "device i has the IP address 127.0.0.(i+2) and its own TFTP receiver there (the default)");
  app.add_flag("--lan-ips", a.lanIps,
               "devices report LAN-like addresses 10.0.k.2 ... instead; actions on them (upgrade, "
               "web page) leave this machine through its default route")
      ->excludes(loopback);
  app.add_option("--reboot-ms", o.rebootMs,
                 "after a complete image a device answers nothing this long (default 2000)")
      ->type_name("MS")
      ->check(CLI::Range(0, 600000));
  app.add_option("--abort-at-block", a.abort,
                 "the TFTP receiver sends an ERROR instead of the ACK of block K, on every device "
                 "or on the LIST of device indexes (from 0)")
      ->type_name("K[:LIST]")
      ->check(CLI::Validator(CheckAbort, ""));
  a.noReturnOption = app.add_option("--no-return", a.noReturn,
                                    "after a complete image the devices (or LIST) never answer")
                         ->type_name("[=LIST]")
                         ->expected(0, 1)
                         ->check(CLI::Validator(CheckDeviceSet, ""));
  a.doubleTriggerOption =
      app.add_option("--double-trigger", a.doubleTrigger,
                     "the devices (or LIST) acknowledge an upgrade trigger twice")
          ->type_name("[=LIST]")
          ->expected(0, 1)
          ->check(CLI::Validator(CheckDeviceSet, ""));
  app.add_option("--log-limit", o.requestLogLimit,
                 "requests kept in the log, the newest (default 10000)")
      ->type_name("N")
      ->check(CLI::Range(1, 10000000));
}

// Fills `o` from the command line. Returns -1 to go on, otherwise the exit code.
int ParseArguments(int argc, char** argv, TSimOptions& o) {
  CLI::App app{"Answers the device protocol for one or many simulated power switches.",
               "velkaro-sim"};
  app.footer("Prints one line when ready, then runs until SIGINT or SIGTERM.");
  // Unknown words are reported by name below rather than as a list of leftovers.
  app.allow_extras();
  TArguments a{o, {}, {}, {}, nullptr, {}, {}, {}, nullptr, nullptr};
  a.options.rebootMs = kRebootMs;
  a.options.loopbackIps = true;  // nothing a user does with a simulated device leaves the machine
  DeclareOptions(app, a);
  try {
    app.parse(argc, argv);
    if (!app.remaining().empty())
      throw CLI::ExtrasError("unknown option '" + app.remaining().front() + "'",
                             static_cast<int>(CLI::ExitCodes::ExtrasError));
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
      return app.exit(e, std::cout, std::cerr);
    std::cerr << "velkaro-sim: " << e.what() << "\nTry 'velkaro-sim --help'.\n";
    return kExitUsage;
  }
  if (a.lanIps) a.options.loopbackIps = false;
  std::string unused;
  if (!a.models.empty()) ParseModels(a.models, a.options.models, unused);
  if (!a.macBase.empty())
    std::from_chars(a.macBase.data(), a.macBase.data() + a.macBase.size(), a.options.macBase, 16);
  if (!a.abort.empty()) ParseAbort(a.abort, a.options.abortAtBlock, a.options.abortDevices);
  if (a.noReturnOption->count() > 0) ParseDeviceSet(a.noReturn, a.options.noReturn);
  if (a.doubleTriggerOption->count() > 0) ParseDeviceSet(a.doubleTrigger, a.options.doubleTrigger);
  if (a.malformedOption->count() > 0) {
    a.options.malformed = true;
    if (!a.malformed.empty()) a.options.malformKind = kMalformKinds.at(a.malformed);
  }
  // Device indexes of the fault switches must name devices that exist.
  const std::size_t devices = a.options.count > 0        ? static_cast<std::size_t>(a.options.count)
                              : a.options.models.empty() ? 3
                                                         : a.options.models.size();
  for (const auto* set : {&a.options.abortDevices, &a.options.noReturn, &a.options.doubleTrigger})
    if (!set->indexes.empty() && *set->indexes.rbegin() >= devices) {
      std::cerr << "velkaro-sim: device index " << *set->indexes.rbegin()
                << " does not exist (devices are numbered from 0 to " << devices - 1
                << ")\nTry 'velkaro-sim --help'.\n";
      return kExitUsage;
    }
  o = a.options;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  TSimOptions options;
  if (const int exit = ParseArguments(argc, argv, options); exit >= 0) return exit;

  velkaro::PrepareStopRequest();

  try {
    velkaro::sim::TSimulator simulator(options);
    simulator.Start();
    std::cout << "velkaro-sim: " << simulator.DeviceCount() << " devices listening on "
              << options.bindAddress << ":" << simulator.Port() << std::endl;
    for (std::size_t i = 0; i < simulator.DeviceCount() && i < 20; ++i) {
      const velkaro::TZEL d = simulator.Snapshot(i);
      std::cout << "  " << d.values.AsText(7) << "  " << d.values.AsText(5) << "  "
                << velkaro::IpToText(d.values.AsUInt(2)) << "  " << velkaro::MacToText(d.MAC)
                << "\n";
    }
    if (simulator.DeviceCount() > 20) std::cout << "  ...\n";
    std::cout.flush();
    velkaro::WaitForStopRequest();
    simulator.Stop();
    std::cout << "velkaro-sim: stopped after " << simulator.RequestCount() << " requests"
              << std::endl;
  } catch (const std::exception& e) {
    std::cerr << "velkaro-sim: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}
