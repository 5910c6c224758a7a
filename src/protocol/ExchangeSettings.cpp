// Process-wide settings of the exchange: destination and the user-facing seams.
#include <charconv>

#include "protocol/Exchange.h"

namespace velkaro {

namespace {

TTarget target;
TErrorReporter errorReporter;
TBusyCursor busyCursor;

}  // namespace

void SetTarget(const TTarget& t) {
  target = t;
}

TTarget GetTarget() {
  return target;
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
  out = {ip, port};
  return true;
}

void SetErrorReporter(TErrorReporter reporter) {
  errorReporter = std::move(reporter);
}

void SetBusyCursor(TBusyCursor cursor) {
  busyCursor = std::move(cursor);
}

void ReportConnectionError(const std::string& text) {
  if (errorReporter) errorReporter("Connection Error:  " + text);
}

// Used by the operations to show the busy cursor for their whole duration.
void NotifyBusy(bool busy) {
  if (busyCursor) busyCursor(busy);
}

}  // namespace velkaro
