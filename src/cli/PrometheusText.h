// The devices' state and counters in the Prometheus text exposition format (version 0.0.4), as
// `velkaro-cli metrics` writes them for a scrape or node_exporter's textfile collector.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/DeviceRecord.h"

namespace velkaro::cli {

// A label value as the format wants it: backslash, double quote and line feed escaped.
std::string EscapeLabelValue(std::string_view text);

struct TDeviceMetrics {
  TZEL device;      // as discovered, and as read when the read was answered
  bool up = false;  // the device answered every read request
};

// Every family with # HELP and # TYPE: velkaro_device_up per device (labels name, ip, mac, model,
// interface), and for the devices that are up velkaro_power_ups_total and
// velkaro_socket_switchings_total (plus socket="N" and, on a rack unit, device="N" of each
// activated chained device) from the counters they reported; then velkaro_run_duration_seconds.
std::string MetricsText(const std::vector<TDeviceMetrics>& devices, double runSeconds);

}  // namespace velkaro::cli
