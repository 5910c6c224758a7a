// The interface choice of the exchange settings and the outcome type of its exchanges.
#include <algorithm>
#include <charconv>

#include "protocol/Exchange.h"

namespace velkaro {

std::vector<TNetInterface> ChosenInterfaces(const TExchangeSettings& settings) {
  if (!settings.target.EveryInterface()) return {};
  return ChooseInterfaces(UsableInterfaces(), settings.interfaces);
}

bool TExchangeResult::NoSocket() const {
  return std::any_of(errors.begin(), errors.end(),
                     [](const TExchangeError& e) { return e.kind == TExchangeErrorKind::Socket; });
}

void TExchangeResult::Add(const TExchangeResult& later) {
  replies += later.replies;
  lastSeen = lastSeen || later.lastSeen;
  cancelled = cancelled || later.cancelled;
  errors.insert(errors.end(), later.errors.begin(), later.errors.end());
}

bool ParseTarget(const std::string& text, TTarget& out, std::string& error) {
  std::string host = text;
  std::uint16_t port = kDevicePort;
  if (const auto colon = text.rfind(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    const std::string portText = text.substr(colon + 1);
    unsigned value = 0;
    auto [p, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (portText.empty() || ec != std::errc{} || p != portText.data() + portText.size() ||
        value == 0 || value > 65535) {
      error = "invalid port '" + portText + "' in target '" + text + "' (expected 1-65535)";
      return false;
    }
    port = static_cast<std::uint16_t>(value);
  }
  std::uint32_t ip = 0;
  if (!ParseIpv4(host, ip)) {
    error = "invalid address '" + host + "' in target '" + text +
            "' (expected a dotted IPv4 address such as 192.168.1.255)";
    return false;
  }
  out = {ip, port, true};
  return true;
}

}  // namespace velkaro
