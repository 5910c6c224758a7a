#include "cli/PrometheusText.h"

#include <cstdio>
#include <map>
#include <mutex>

#include "cli/CliOutput.h"
#include "protocol/ModelRegistry.h"
#include "protocol/TagNames.h"

namespace velkaro::cli {

namespace {

constexpr const char* kUp = "velkaro_device_up";
constexpr const char* kPowerUps = "velkaro_power_ups_total";
constexpr const char* kSwitchings = "velkaro_socket_switchings_total";
constexpr const char* kDuration = "velkaro_run_duration_seconds";

// One counter tag of a model, told by its name: [deviceD_]power_ups, [deviceD_]socketS_switchings.
struct TCounterTag {
  int tag = 0;
  bool switchings = false;
  int device = 0;  // 1-5 on a rack unit, 0 elsewhere
  int socket = 0;
  int activationTag = 0;  // the chained device's options (bit 0: activated), 0 elsewhere
};

// The number after `prefix` at `at`, up to `end`; false when there is none.
bool TakeNumber(std::string_view text, std::string_view prefix, std::size_t& at, int& number) {
  if (text.substr(at, prefix.size()) != prefix) return false;
  std::size_t p = at + prefix.size();
  number = 0;
  const std::size_t first = p;
  while (p < text.size() && text[p] >= '0' && text[p] <= '9')
    number = number * 10 + (text[p++] - '0');
  if (p == first) return false;
  at = p;
  return true;
}

std::vector<TCounterTag> FindCounters(std::uint32_t model) {
  std::vector<TCounterTag> counters;
  for (const TTagName& n : TagNames(model)) {
    const std::string_view name = n.name;
    TCounterTag c;
    c.tag = n.tag;
    std::size_t at = 0;
    if (TakeNumber(name, "device", at, c.device)) {
      if (name.substr(at, 1) != "_") continue;
      ++at;
      c.activationTag = TagOfName(model, "device" + std::to_string(c.device) + "_options");
    }
    const std::string_view rest = name.substr(at);
    if (rest == "power_ups") {
      counters.push_back(c);
    } else if (TakeNumber(name, "socket", at, c.socket) && name.substr(at) == "_switchings") {
      c.switchings = true;
      counters.push_back(c);
    }
  }
  return counters;
}

const std::vector<TCounterTag>& CountersOf(std::uint32_t model) {
  static std::mutex mutex;
  static std::map<std::uint32_t, std::vector<TCounterTag>> cache;
  const std::lock_guard lock(mutex);
  auto it = cache.find(model);
  if (it == cache.end()) it = cache.emplace(model, FindCounters(model)).first;
  return it->second;
}

std::string DeviceLabels(const TZEL& d) {
  const std::string model = ModelShortName(d.ModelCode());
  return "name=\"" + EscapeLabelValue(JsonText(d.values.AsText(7))) + "\",ip=\"" +
         IpToText(d.values.AsUInt(2)) + "\",mac=\"" + MacToText(d.MAC) + "\",model=\"" +
         EscapeLabelValue(model.empty() ? ModelCodeText(d.ModelCode()) : model) +
         "\",interface=\"" + EscapeLabelValue(Utf8JsonText(d.link.name)) + "\"";
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + ' ' + help + '\n';
  out += std::string("# TYPE ") + name + ' ' + type + '\n';
}

}  // namespace

std::string EscapeLabelValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string MetricsText(const std::vector<TDeviceMetrics>& devices, double runSeconds) {
  std::string up, powerUps, switchings;
  for (const TDeviceMetrics& m : devices) {
    const std::string labels = DeviceLabels(m.device);
    up += std::string(kUp) + '{' + labels + "} " + (m.up ? "1" : "0") + '\n';
    if (!m.up) continue;
    const TValueSlots& values = m.device.values;
    for (const TCounterTag& c : CountersOf(m.device.ModelCode())) {
      if (!values.Reported(c.tag)) continue;
      if (c.activationTag != 0 &&
          (!values.Reported(c.activationTag) || (values.AsUInt(c.activationTag) & 1) == 0))
        continue;  // no chained device there
      std::string series = labels;
      if (c.device > 0) series += ",device=\"" + std::to_string(c.device) + '"';
      if (c.switchings) series += ",socket=\"" + std::to_string(c.socket) + '"';
      (c.switchings ? switchings : powerUps) +=
          std::string(c.switchings ? kSwitchings : kPowerUps) + '{' + series + "} " +
          std::to_string(values.AsUInt(c.tag)) + '\n';
    }
  }
  std::string out;
  Family(out, kUp, "gauge",
         "Whether the device listed by the discovery answered its read in this run (1) or not "
         "(0).");
  out += up;
  Family(out, kPowerUps, "counter", "Power-ups the device has counted.");
  out += powerUps;
  Family(out, kSwitchings, "counter", "OFF to ON switchings the device has counted per socket.");
  out += switchings;
  Family(out, kDuration, "gauge", "Seconds the run took: discovery, reads and this text.");
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", runSeconds);
  out += std::string(kDuration) + ' ' + seconds + '\n';
  return out;
}

}  // namespace velkaro::cli
