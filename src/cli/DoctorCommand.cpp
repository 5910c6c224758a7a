#include "cli/DoctorCommand.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "cli/DeviceCommands.h"
#include "cli/FirewallRules.h"
#include "cli/SystemAccess.h"
#include "operations/DeviceOperations.h"
#include "platform/SocketProbe.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "tftp/IdUDPBase.h"
#include "tftp/TftpPacket.h"

namespace velkaro::cli {

namespace {

// Discovery rounds per scanned interface: enough for a lost datagram, short for a laptop with
// several interfaces.
constexpr int kMaxDoctorRounds = 3;
// The upload check asks twice, waiting this long each time.
constexpr std::chrono::milliseconds kTftpAnswerTime{1000};
constexpr int kTftpAttempts = 2;
constexpr std::uint32_t kLoopbackAddress = 0x7F000001;

constexpr const char* kReplyHint =
    "a firewall must let UDP replies from port 52389 in (they come from each device's own "
    "address, not as answers the firewall can track)";

struct TCommandOutput {
  bool ran = false;      // the command started and exited with status 0
  bool stopped = false;  // it did not end within kCommandSeconds and was stopped
  std::string text;
};

// A firewall listing takes well under a second; a program that hangs must not hang doctor.
constexpr int kCommandSeconds = 5;
// A listing beyond a few megabytes is not a firewall anyone wrote by hand.
constexpr std::size_t kCommandOutputLimit = 8u << 20;

TCommandOutput ReadCommand(const std::string& command) {
  TCommandOutput result;
  std::FILE* pipe = OpenCommandPipe(command, kCommandSeconds);
  if (!pipe) return result;
  char chunk[4096];
  std::size_t n = 0;
  while (result.text.size() < kCommandOutputLimit &&
         (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
    result.text.append(chunk, std::min(n, kCommandOutputLimit - result.text.size()));
  const int status = CloseCommandPipe(pipe);
  result.stopped = status == kCommandStopped;
  result.ran = status == 0;
  return result;
}

std::string TargetText(const TTarget& t) {
  return IpToText(t.address) + ":" + std::to_string(t.port);
}

TCheckLine CheckInterfaces(const std::vector<TProbedInterface>& interfaces, bool targetGiven) {
  TCheckLine line{"interfaces", TCheckStatus::Ok, "", ""};
  if (interfaces.empty()) {
    line.status = targetGiven ? TCheckStatus::Warn : TCheckStatus::Fail;
    line.detail = "no IPv4 interface is up with a broadcast address";
    line.hint = "connect the cable to the devices' network or bring its interface up";
    return line;
  }
  for (const TProbedInterface& i : interfaces) {
    if (!line.detail.empty()) line.detail += "; ";
    line.detail += i.name + " " + IpToText(i.address) + " broadcast " + IpToText(i.broadcast);
  }
  return line;
}

// A discovery against the built-in simulator on loopback: proves that this program can send,
// receive and understand replies on this machine, whatever the network does.
TCheckLine CheckSelfTest() {
  TCheckLine line{"self-test", TCheckStatus::Ok, "", ""};
  try {
    sim::TSimOptions options;
    options.bindAddress = IpToText(kLoopbackAddress);
    options.port = 0;
    options.tftpPort = 0;
    sim::TSimulator simulator(options);
    simulator.Start();
    TExchangeSettings settings;
    settings.target = {kLoopbackAddress, simulator.Port()};
    int replies = 0;
    const TExchangeResult result = Discover(settings, [&replies](const TReply&) { ++replies; });
    if (!result.Ok()) {
      line.status = TCheckStatus::Fail;
      line.detail = result.errors.front().Message();
    } else if (replies < static_cast<int>(simulator.DeviceCount())) {
      line.status = TCheckStatus::Fail;
      line.detail = std::to_string(replies) + " of " + std::to_string(simulator.DeviceCount()) +
                    " simulated devices answered on loopback";
    } else {
      line.detail = "the built-in simulator on " + TargetText(settings.target) + " answered (" +
                    std::to_string(replies) + " replies)";
    }
  } catch (const std::exception& e) {
    line.status = TCheckStatus::Fail;
    line.detail = std::string("the built-in simulator could not run: ") + e.what();
  }
  if (line.status == TCheckStatus::Fail)
    line.hint =
        "something on this machine blocks UDP on loopback (a firewall rule on lo, a "
        "sandbox); nothing else can work before this does";
  return line;
}

// Appends the devices of `scanned` not yet in `found`.
void Collect(const TDeviceList& scanned, TDeviceList& found) {
  for (const TZEL& record : scanned) {
    if (found.Find(record.address) >= 0) continue;
    const int index = found.Append(record.address);
    if (index >= 0) found.Replace(static_cast<std::size_t>(index), record);
  }
}

// A scan of its own, with the run's OEM code: the run's session keeps its settings and devices.
TCheckLine CheckScan(const std::string& name, const TTarget& target, std::uint16_t oemCode,
                     int rounds, TDeviceList& found) {
  TCheckLine line{"scan " + name, TCheckStatus::Ok, "", ""};
  TSession scan;
  scan.settings.target = target;
  scan.settings.oemCode = oemCode;
  const ops::TDiscovery discovery = ops::DiscoverDevices(scan, rounds);
  const std::size_t devices = scan.DeviceList.size();
  Collect(scan.DeviceList, found);
  line.detail = std::to_string(devices) + (devices == 1 ? " device" : " devices") + " answered " +
                TargetText(target);
  if (!discovery.exchange.Ok()) {
    line.status = TCheckStatus::Fail;
    line.detail += "; " + discovery.exchange.errors.front().Message();
    line.hint = "the requests could not go out or the replies could not be read on " + name;
  } else if (devices == 0) {
    line.status = TCheckStatus::Fail;
    line.hint = "check the cable and the devices' power; " + std::string(kReplyHint);
  }
  return line;
}

std::string FindingsText(const std::vector<TFirewallFinding>& findings, bool policy) {
  std::string text;
  for (const TFirewallFinding& f : findings) {
    if (f.policy != policy) continue;
    if (!text.empty()) text += "; ";
    text += f.where + ": " + f.rule;
  }
  return text;
}

TCheckLine CheckFirewall() {
  TCheckLine line{"firewall", TCheckStatus::Ok, "", ""};
#ifdef _WIN32
  // The Windows firewall keeps its rules per program and profile; no listing tells them apart.
  line.status = TCheckStatus::Warn;
  line.detail = "the Windows firewall's rules are not read by this check";
  line.hint = "allow velkaro-cli.exe in for UDP; " + std::string(kReplyHint);
  return line;
#endif
  std::string source = "nftables";
  TCommandOutput listing = ReadCommand("nft list ruleset");
  const bool nftStopped = listing.stopped;
  std::vector<TFirewallFinding> findings;
  if (listing.ran) {
    findings = BlockingNftRules(listing.text);
  } else if ((listing = ReadCommand("iptables -S")).ran) {
    source = "iptables";
    findings = BlockingIptablesRules(listing.text);
  } else if (nftStopped || listing.stopped) {
    line.status = TCheckStatus::Warn;
    line.detail = std::string(nftStopped ? "nft" : "iptables") + " did not end within " +
                  std::to_string(kCommandSeconds) + " s and was stopped; the rules were not read";
    line.hint = "check that the firewall service answers, then run velkaro-cli doctor again";
    return line;
  } else {
    line.status = TCheckStatus::Warn;
    line.detail =
        "the firewall rules could not be read (nft and iptables are missing or need "
        "root)";
    line.hint = "run velkaro-cli doctor as root to check them";
    return line;
  }
  if (const std::string rules = FindingsText(findings, false); !rules.empty()) {
    line.status = TCheckStatus::Fail;
    line.detail = source + " drops UDP of port 52389 or 69: " + rules;
    line.hint = "remove the rule, or accept UDP from port 52389 and TFTP to port 69 before it";
  } else if (const std::string policies = FindingsText(findings, true); !policies.empty()) {
    line.status = TCheckStatus::Warn;
    line.detail = source + " drops by default: " + policies;
    line.hint = std::string("unless a rule accepts them, ") + kReplyHint;
  } else {
    line.detail = source + ": no rule drops UDP of port 52389 or 69";
  }
  return line;
}

// A write request with an empty name uploads nothing: a listening device refuses it with an ERROR.
TCheckLine CheckUpgradePort(const TDeviceSelector& selector, const TDeviceList& found,
                            std::uint16_t tftpPort) {
  TCheckLine line{"upgrade", TCheckStatus::Ok, "", ""};
  const int index = selector.FindIn(found);
  if (index < 0) {
    line.status = TCheckStatus::Fail;
    line.detail = "device " + selector.Text() + " was not found by the scan";
    line.hint = "an upload needs a device that answers the discovery first";
    return line;
  }
  const std::uint32_t ip = found[static_cast<std::size_t>(index)].values.AsUInt(2);
  const std::string where = IpToText(ip) + ":" + std::to_string(tftpPort);
  const TBytes request = tftp::MakeRequest(tftp::opWriteRequest, "", "octet", {});
  TBytes buffer(65536);
  try {
    TIdUDPBase udp;
    for (int attempt = 0; attempt < kTftpAttempts; ++attempt) {
      udp.SendBuffer(ip, tftpPort, request);
      const auto got = udp.ReceiveBuffer(buffer, kTftpAnswerTime);
      if (!got || got->address != ip) continue;
      const std::span<const std::uint8_t> packet(buffer.data(), got->copied);
      if (tftp::Word(packet, 0) == tftp::opError) {
        line.detail = where + " refused a write request with an empty name as it should (error " +
                      std::to_string(tftp::Word(packet, 2)) + ": " + tftp::Text(packet, 4) + ")";
        return line;
      }
      // Whatever it accepted must end here: nothing is to be uploaded.
      udp.SendBuffer(ip, got->port, tftp::MakeError(tftp::errNotDefined, "check only"));
      line.status = TCheckStatus::Warn;
      line.detail = where + " accepted a write request with an empty name (opcode " +
                    std::to_string(tftp::Word(packet, 0)) + ")";
      line.hint = "TFTP is reachable, but the device's answer is unusual";
      return line;
    }
    line.detail = "no answer from " + where;
  } catch (const std::exception& e) {
    line.detail = where + ": " + e.what();
  }
  line.status = TCheckStatus::Fail;
  line.hint =
      "a firewall must let TFTP out to port 69 and its answers in from any port; some "
      "devices listen only after an upgrade trigger";
  return line;
}

}  // namespace

const char* StatusText(TCheckStatus status) {
  switch (status) {
    case TCheckStatus::Ok:
      return "ok";
    case TCheckStatus::Warn:
      return "warn";
    case TCheckStatus::Fail:
      return "fail";
  }
  return "fail";
}

std::string CheckLineText(const TCheckLine& line) {
  std::string text = StatusText(line.status);
  text.resize(6, ' ');
  text += line.check + ": " + line.detail;
  if (!line.hint.empty()) text += " - " + line.hint;
  return text;
}

int RunDoctor(const TCliOptions& o, TCliContext& ctx) {
  std::optional<TDeviceSelector> upgradeDevice;
  if (!o.upgradeCheckDevice.empty()) upgradeDevice = ParseDevice(o.upgradeCheckDevice);
  const bool targetGiven = o.target != TTarget{};

  std::vector<TCheckLine> lines;
  const auto report = [&](TCheckLine line) {
    // Interface names and firewall rule comments are the system's texts: escaped like a device's.
    if (!o.json) ctx.out << EscapeControl(CheckLineText(line)) << std::endl;  // show each at once
    lines.push_back(std::move(line));
  };

  std::vector<TProbedInterface> interfaces;
  try {
    interfaces = BroadcastInterfaces();
    report(CheckInterfaces(interfaces, targetGiven));
  } catch (const std::exception& e) {
    report({"interfaces", TCheckStatus::Fail, e.what(), "the system would not list them"});
  }
  report(CheckSelfTest());

  const int rounds = std::min(o.rounds, kMaxDoctorRounds);
  const std::uint16_t oemCode = ctx.session.settings.oemCode;
  TDeviceList found;
  if (targetGiven) {
    report(CheckScan(TargetText(o.target), o.target, oemCode, rounds, found));
  } else {
    for (const TProbedInterface& i : interfaces)
      report(CheckScan(i.name, {i.broadcast, kDevicePort}, oemCode, rounds, found));
  }
  report(CheckFirewall());
  if (upgradeDevice) report(CheckUpgradePort(*upgradeDevice, found, o.tftpPort));

  if (o.json) {
    TJson list = TJson::array();
    for (const TCheckLine& line : lines)
      list.push_back({{"check", line.check},
                      {"status", StatusText(line.status)},
                      {"detail", line.detail},
                      {"hint", line.hint}});
    PrintJson(list, ctx.out);
  }
  const bool failed = std::any_of(lines.begin(), lines.end(), [](const TCheckLine& line) {
    return line.status == TCheckStatus::Fail;
  });
  return failed ? kExitFailure : kExitOk;
}

}  // namespace velkaro::cli
