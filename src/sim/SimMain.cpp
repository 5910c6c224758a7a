// velkaro-sim: plays a network of power switches on one UDP port until SIGINT or SIGTERM.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "protocol/Socket.h"
#include "sim/Simulator.h"

namespace {

using velkaro::sim::TMalformKind;
using velkaro::sim::TSimOptions;

const char* kUsage =
    "Usage: velkaro-sim [options]\n"
    "Answers the device protocol for one or many simulated power switches.\n"
    "\n"
    "  --bind ADDR          address to listen on (default 127.0.0.1; 0.0.0.0 also receives\n"
    "                       limited broadcasts)\n"
    "  --port N             UDP port, 0 = any free port (default 52389)\n"
    "  --count N            number of devices, models taken in turn from --models\n"
    "  --models LIST        comma-separated zel1, zel4, zel8 or model codes\n"
    "                       (default zel1,zel4,zel8: one device each)\n"
    "  --mac-base HEX       first device's MAC is this plus 1 (default 02005E000000)\n"
    "  --delay MS           wait before answering a request\n"
    "  --spacing MS         gap between the answers of successive devices\n"
    "  --silent             receive requests, answer nothing\n"
    "  --duplicates N       send every answer N more times\n"
    "  --duplicate-gap MS   gap between an answer and its copies\n"
    "  --malformed[=KIND]   send broken answers: bad-items (default), empty, oversize, short\n"
    "  --tftp-port N        port where a device takes its firmware image (default 69)\n"
    "  --help               show this text\n"
    "\n"
    "Prints one line when ready, then runs until SIGINT or SIGTERM.\n";

bool ParseNumber(const std::string& text, long long min, long long max, long long& out,
                 int base = 10) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  auto [p, ec] = std::from_chars(first, last, out, base);
  return first != last && ec == std::errc{} && p == last && out >= min && out <= max;
}

std::optional<TMalformKind> ParseMalformKind(const std::string& text) {
  if (text == "bad-items") return TMalformKind::BadItems;
  if (text == "empty") return TMalformKind::Empty;
  if (text == "oversize") return TMalformKind::Oversize;
  if (text == "short") return TMalformKind::Short;
  return std::nullopt;
}

// Fills `o` from the command line; returns false with a message in `error`.
bool ParseArguments(const std::vector<std::string>& args, TSimOptions& o, bool& help,
                    std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto number = [&](long long min, long long max, long long& out) {
      std::string text;
      if (!value(text)) return false;
      if (ParseNumber(text, min, max, out)) return true;
      error = "option " + arg + ": '" + text + "' is not a number from " + std::to_string(min) +
              " to " + std::to_string(max);
      return false;
    };
    long long n = 0;
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--bind") {
      if (!value(o.bindAddress)) return false;
      if (velkaro::IpToText(velkaro::TextToIp(o.bindAddress)) != o.bindAddress) {
        error = "option --bind: '" + o.bindAddress + "' is not a dotted IPv4 address";
        return false;
      }
    } else if (arg == "--port") {
      if (!number(0, 65535, n)) return false;
      o.port = static_cast<std::uint16_t>(n);
    } else if (arg == "--count") {
      if (!number(1, 1000000, n)) return false;
      o.count = static_cast<int>(n);
    } else if (arg == "--models") {
      std::string list;
      if (!value(list)) return false;
      o.models.clear();
      std::size_t start = 0;
      while (start <= list.size()) {
        const auto comma = list.find(',', start);
        const std::string name =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::uint32_t code = 0;
        if (!velkaro::sim::ParseModelName(name, code)) {
          error = "option --models: unknown model '" + name + "' (use zel1, zel4, zel8 or a code)";
          return false;
        }
        o.models.push_back(code);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (arg == "--mac-base") {
      std::string text;
      if (!value(text)) return false;
      if (!ParseNumber(text, 0, 0xFFFFFFFFFFFFll, n, 16)) {
        error = "option --mac-base: '" + text + "' is not a hexadecimal 48-bit number";
        return false;
      }
      o.macBase = static_cast<std::uint64_t>(n);
    } else if (arg == "--delay") {
      if (!number(0, 600000, n)) return false;
      o.replyDelayMs = static_cast<int>(n);
    } else if (arg == "--spacing") {
      if (!number(0, 60000, n)) return false;
      o.replySpacingMs = static_cast<int>(n);
    } else if (arg == "--silent") {
      o.silent = true;
    } else if (arg == "--duplicates") {
      if (!number(0, 100, n)) return false;
      o.duplicates = static_cast<int>(n);
    } else if (arg == "--duplicate-gap") {
      if (!number(0, 60000, n)) return false;
      o.duplicateGapMs = static_cast<int>(n);
    } else if (arg == "--malformed" || arg.starts_with("--malformed=")) {
      o.malformed = true;
      if (arg != "--malformed") {
        const auto kind = ParseMalformKind(arg.substr(12));
        if (!kind) {
          error = "option --malformed: unknown kind '" + arg.substr(12) +
                  "' (use bad-items, empty, oversize or short)";
          return false;
        }
        o.malformKind = *kind;
      }
    } else if (arg == "--tftp-port") {
      if (!number(1, 65535, n)) return false;
      o.tftpPort = static_cast<std::uint16_t>(n);
    } else {
      error = "unknown option '" + arg + "'";
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TSimOptions options;
  bool help = false;
  std::string error;
  if (!ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options, help, error)) {
    std::cerr << "velkaro-sim: " << error << "\nTry 'velkaro-sim --help'.\n";
    return 2;
  }
  if (help) {
    std::cout << kUsage;
    return 0;
  }

  // Signals are taken by sigwait below; the serving thread inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    velkaro::sim::TSimulator simulator(options);
    // The TFTP receiver of a device that answered an upgrade trigger is hooked in here.
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
    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.Stop();
    std::cout << "velkaro-sim: stopped after " << simulator.RequestCount() << " requests"
              << std::endl;
  } catch (const std::exception& e) {
    std::cerr << "velkaro-sim: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}
