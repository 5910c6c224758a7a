#include "cli/PrometheusText.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {
namespace {

TZEL Device(std::uint32_t model, const std::string& name, std::uint32_t ip, std::uint64_t mac) {
  TZEL d;
  d.MAC = mac;
  d.values.Set(13, model);
  d.values.Set(7, name);
  d.values.Set(2, ip);
  return d;
}

// Lines of the text by metric name: the samples' label sets (as written) and values.
struct TParsed {
  std::vector<std::string> order;  // family of each # TYPE line, in order
  std::map<std::string, std::string> types;
  std::map<std::string, std::map<std::string, std::string>> samples;  // name -> labels -> value
};

// A strict reader of what MetricsText writes: HELP and TYPE before each family's samples, no
// family twice, every other line a sample of the family last declared.
TParsed Parse(const std::string& text) {
  TParsed p;
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const std::regex help(R"(# HELP ([a-z_]+) [^\n]+)");
  const std::regex type(R"(# TYPE ([a-z_]+) (gauge|counter))");
  const std::regex sample(R"(([a-z_]+)(\{((?:[a-z_]+="(?:[^"\\\n]|\\[\\"n])*",?)*)\})? ([0-9.]+))");
  std::istringstream lines(text);
  std::string line, declared, helped;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (std::regex_match(line, m, help)) {
      helped = m[1];
    } else if (std::regex_match(line, m, type)) {
      EXPECT_EQ(m[1], helped) << line;
      declared = m[1];
      EXPECT_EQ(p.types.count(declared), 0u) << "family twice: " << line;
      p.types[declared] = m[2];
      p.order.push_back(declared);
    } else if (std::regex_match(line, m, sample)) {
      EXPECT_EQ(m[1], declared) << line;
      EXPECT_EQ(p.samples[m[1]].count(m[3]), 0u) << "series twice: " << line;
      p.samples[m[1]][m[3]] = m[4];
    } else {
      ADD_FAILURE() << "not a line of the format: " << line;
    }
  }
  return p;
}

TEST(EscapeLabelValue, BackslashQuoteAndLineFeed) {
  const std::pair<std::string, std::string> cases[] = {
      {"Rack 3", "Rack 3"},
      {"a\\b", "a\\\\b"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"two\nlines", "two\\nlines"},
      {"\\\"\n", "\\\\\\\"\\n"},
      {"tab\tand \xc3\xa9", "tab\tand \xc3\xa9"},  // the rest is UTF-8 as it is
      {"", ""},
  };
  for (const auto& [raw, escaped] : cases) EXPECT_EQ(EscapeLabelValue(raw), escaped) << raw;
}

TEST(MetricsText, FamiliesInOrderWithTheirTypes) {
  const TParsed p = Parse(MetricsText({}, 0.25));
  EXPECT_EQ(p.order, (std::vector<std::string>{"velkaro_device_up", "velkaro_power_ups_total",
                                               "velkaro_socket_switchings_total",
                                               "velkaro_run_duration_seconds"}));
  EXPECT_EQ(p.types.at("velkaro_device_up"), "gauge");
  EXPECT_EQ(p.types.at("velkaro_power_ups_total"), "counter");
  EXPECT_EQ(p.types.at("velkaro_socket_switchings_total"), "counter");
  EXPECT_EQ(p.samples.at("velkaro_run_duration_seconds").at(""), "0.250");
}

TEST(MetricsText, CountersOfEachModelWithTheirLabels) {
  TZEL zel1 = Device(kModelZel1, "One", 0x7F000002, 0x02005E000001);
  zel1.values.Set(71, std::uint32_t{12});
  zel1.values.Set(72, std::uint32_t{4000000000u});
  TZEL zel4 = Device(kModelZel4, "Four", 0x7F000003, 0x02005E000002);
  zel4.link.name = "eth1";
  for (int t = 81; t <= 85; ++t) zel4.values.Set(t, std::uint32_t(t * 10));
  zel4.values.Set(84, TValue{});  // not reported: no series rather than a 0
  TZEL zel8 = Device(kModelZel8, "Rack", 0x7F000004, 0x02005E000003);
  // Chained devices 1 and 3 activated, 2 not (its counters are left out), 4 and 5 unreported.
  zel8.values.Set(40, std::uint32_t{0x01});
  zel8.values.Set(140, std::uint32_t{0x02});
  zel8.values.Set(240, std::uint32_t{0x03});
  for (int d = 0; d < 5; ++d)
    for (int t = 81; t <= 89; ++t) zel8.values.Set(100 * d + t, std::uint32_t(1000 * d + t));

  const TParsed p = Parse(MetricsText({{zel1, true}, {zel4, true}, {zel8, true}}, 1.5));
  const std::string one =
      R"(name="One",ip="127.0.0.2",mac="02.00.5E.00.00.01",model="zel1",interface="")";
  const std::string four =
      R"(name="Four",ip="127.0.0.3",mac="02.00.5E.00.00.02",model="zel4",interface="eth1")";
  const std::string rack =
      R"(name="Rack",ip="127.0.0.4",mac="02.00.5E.00.00.03",model="zel8",interface="")";
  EXPECT_EQ(p.samples.at("velkaro_device_up"),
            (std::map<std::string, std::string>{{one, "1"}, {four, "1"}, {rack, "1"}}));
  EXPECT_EQ(p.samples.at("velkaro_power_ups_total"),
            (std::map<std::string, std::string>{{one, "12"},
                                                {four, "810"},
                                                {rack + R"(,device="1")", "81"},
                                                {rack + R"(,device="3")", "2081"}}));
  std::map<std::string, std::string> switchings{{one + R"(,socket="1")", "4000000000"},
                                                {four + R"(,socket="1")", "820"},
                                                {four + R"(,socket="2")", "830"},
                                                {four + R"(,socket="4")", "850"}};
  for (int d : {0, 2})
    for (int s = 1; s <= 8; ++s)
      switchings[rack + ",device=\"" + std::to_string(d + 1) + "\",socket=\"" + std::to_string(s) +
                 "\""] = std::to_string(1000 * d + 81 + s);
  EXPECT_EQ(p.samples.at("velkaro_socket_switchings_total"), switchings);
}

// A device that did not answer its read is listed down, with nothing else of it.
TEST(MetricsText, DownDeviceHasOnlyItsUpGauge) {
  TZEL silent = Device(kModelZel4, "Silent", 0x7F000005, 0x02005E000009);
  for (int t = 81; t <= 85; ++t) silent.values.Set(t, std::uint32_t{7});
  const std::string text = MetricsText({{silent, false}}, 0.1);
  const TParsed p = Parse(text);
  EXPECT_EQ(p.samples.at("velkaro_device_up").begin()->second, "0");
  EXPECT_EQ(p.samples.count("velkaro_power_ups_total"), 0u);
  EXPECT_EQ(p.samples.count("velkaro_socket_switchings_total"), 0u);
  // An unknown model keeps its code as the model label.
  TZEL other = Device(0x12345678, "X", 1, 1);
  EXPECT_NE(MetricsText({{other, true}}, 0).find(R"(model="0x12345678")"), std::string::npos);
}

TEST(MetricsText, DeviceTextsEscapedInLabels) {
  // Device texts are Windows-1252 bytes: 0xE9 is an e with acute accent, in UTF-8 C3 A9.
  TZEL d = Device(kModelZel1, "Rack \"A\\B\"\n2 \xe9", 0x7F000002, 0x02005E000001);
  d.link.name = "br\"0";
  const std::string text = MetricsText({{d, false}}, 0);
  EXPECT_NE(text.find(R"(name="Rack \"A\\B\"\n2 )"
                      "\xc3\xa9"
                      R"(")"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(R"(interface="br\"0")"), std::string::npos) << text;
  Parse(text);
}

}  // namespace
}  // namespace velkaro::cli
