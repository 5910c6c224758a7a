#include "cli/CliOutput.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <optional>

#include "cli/SystemAccess.h"
#include "operations/CsvText.h"
#include "protocol/ConfigFile.h"
#include "protocol/DeviceText.h"
#include "protocol/ModelRegistry.h"
#include "protocol/TagNames.h"

namespace velkaro::cli {

std::vector<std::string> DeviceCells(const TZEL& r, TTextEncoding encoding) {
  return {TerminalText(r.values.AsText(7), encoding),
          TerminalText(r.values.AsText(5), encoding),
          IpToText(r.values.AsUInt(2)),
          MacToText(r.MAC),
          r.link.Empty() ? std::string(kNoInterfaceCell) : EscapeControl(r.link.name),
          std::to_string(r.values.AsUInt(4)),
          std::to_string(r.values.AsUInt(13))};
}

std::vector<TConfigEntry> ConfigEntries(const TZEL& record) {
  std::vector<TConfigEntry> entries;
  const std::uint32_t model = record.ModelCode();
  const int last = MaxTag(model);
  for (int tag = 1; tag <= last; ++tag) {
    const auto t = static_cast<std::uint16_t>(tag);
    std::optional<std::string> text = ConfigEntryValue(record, t, model);
    if (!text) continue;  // MAC and unknown types have no entry
    const std::uint8_t type = TypeOfTag(t, model) & 0x7F;
    const std::uint32_t number = type == vtString ? 0 : SlotNumber(record, tag);
    entries.push_back({tag, type, number, std::move(*text)});
  }
  return entries;
}

std::string EscapeControl(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7F) {
      out += ch;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == 0x1B) {
      out += "\\e";
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string ModelCodeText(std::uint32_t modelCode) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", modelCode);
  return buf;
}

std::string JsonText(const std::string& deviceText) {
  return DeviceTextToUtf8(deviceText);
}

std::string Utf8JsonText(std::string_view text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    if (const std::optional<char32_t> c = NextUtf8Character(text, at)) {
      AppendUtf8(out, *c);
    } else {
      AppendUtf8(out, 0xFFFD);
      ++at;
    }
  }
  return out;
}

TJson DeviceJson(const TZEL& r) {
  TJson j = TJson::object();
  j["name"] = JsonText(r.values.AsText(7));
  j["type"] = JsonText(r.values.AsText(5));
  j["ip"] = IpToText(r.values.AsUInt(2));
  j["mac"] = MacToText(r.MAC);
  j["interface"] = Utf8JsonText(r.link.name);
  j["port"] = r.values.AsUInt(4);
  j["model"] = r.values.AsUInt(13);
  return j;
}

TJson ValuesJson(const TZEL& record) {
  TJson j = TJson::object();
  for (const TConfigEntry& e : ConfigEntries(record)) {
    const std::string key = std::to_string(e.tag);
    if (e.type == vtIPv4 || e.type == vtString) {
      j[key] = JsonText(e.text);
    } else {
      j[key] = e.number;
    }
  }
  return j;
}

TJson NamesJson(const TZEL& record) {
  TJson j = TJson::object();
  for (const TConfigEntry& e : ConfigEntries(record))
    j[std::to_string(e.tag)] = TagName(record.ModelCode(), e.tag);
  return j;
}

void PrintJson(const TJson& document, std::ostream& out) {
  out << document.dump(2) << '\n';
}

TTextEncoding TerminalEncoding() {
  // Once, before any worker thread could run: setlocale is not thread-safe.
  static const TTextEncoding encoding = SystemTextEncoding();
  return encoding;
}

std::string TerminalText(std::string_view deviceText, TTextEncoding encoding) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(deviceText.size());
  for (const char ch : deviceText) {
    const auto byte = static_cast<std::uint8_t>(ch);
    if (byte < 0x80) {
      out += EscapeControl(std::string_view(&ch, 1));
      continue;
    }
    const char32_t c = DeviceCharacter(byte);
    // C1 controls are controls to a terminal as much as the C0 ones; a Latin-1 terminal has no
    // euro sign and the like. Both show as their byte.
    if ((c >= 0x80 && c <= 0x9F) || (encoding == TTextEncoding::Latin1 && c > 0xFF)) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else if (encoding == TTextEncoding::Utf8) {
      AppendUtf8(out, c);
    } else {
      out += ch;
    }
  }
  return out;
}

std::size_t DisplayWidth(std::string_view text, TTextEncoding encoding) {
  if (encoding == TTextEncoding::Latin1) return text.size();
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char ch) {
    return (static_cast<unsigned char>(ch) & 0xC0) != 0x80;  // not a continuation byte
  }));
}

void PrintDeviceTable(const TDeviceList& list, std::ostream& out, TTextEncoding encoding) {
  if (list.empty()) return;
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"Name", "Type", "IP Address", "MAC Address", "Interface", "Port", "Model"});
  for (const TZEL& r : list) rows.push_back(DeviceCells(r, encoding));
  std::vector<std::size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c)
      width[c] = std::max(width[c], DisplayWidth(row[c], encoding));
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(width[c] - DisplayWidth(row[c], encoding) + 2, ' ');
    }
    out << line << '\n';
  }
}

void PrintDeviceCsv(const TDeviceList& list, std::ostream& out) {
  std::vector<std::string> header;
  const TJson names = DeviceJson(TZEL{});
  for (auto it = names.begin(); it != names.end(); ++it) header.push_back(it.key());
  out << ops::CsvLine(header);
  for (const TZEL& r : list) {
    const TJson device = DeviceJson(r);
    std::vector<std::string> fields;
    for (const TJson& value : device)
      fields.push_back(value.is_string() ? value.get<std::string>() : value.dump());
    out << ops::CsvLine(fields);
  }
}

std::string IsoUtcTime(TWallTime time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{ms - day};
  char buf[40];
  std::snprintf(
      buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return buf;
}

std::string WatchEventLine(const ops::TWatchEvent& event, TTextEncoding encoding) {
  const std::vector<std::string> cells = DeviceCells(event.device, encoding);
  std::string line = IsoUtcTime(event.time) + ' ' + ops::WatchEventName(event.kind) + ' ' +
                     cells[2] + ' ' + cells[3] + ' ' + cells[0];
  if (event.kind != ops::TWatchEventKind::Changed) return line;
  const std::vector<std::string> before = DeviceCells(event.before, encoding);
  for (const std::string& field : event.fields) {
    const auto at = static_cast<std::size_t>(
        std::find(std::begin(ops::kWatchedFields), std::end(ops::kWatchedFields), field) -
        std::begin(ops::kWatchedFields));
    if (at >= cells.size()) continue;
    line += ' ' + field + ": " + before[at] + " -> " + cells[at];
  }
  return line;
}

TJson WatchEventJson(const ops::TWatchEvent& event) {
  TJson j = TJson::object();
  j["time"] = IsoUtcTime(event.time);
  j["event"] = ops::WatchEventName(event.kind);
  j["device"] = DeviceJson(event.device);
  if (event.kind == ops::TWatchEventKind::Changed) {
    const TJson before = DeviceJson(event.before);
    TJson changes = TJson::object();
    for (const std::string& field : event.fields) {
      if (!before.contains(field)) continue;
      TJson change = TJson::object();
      change["from"] = before[field];
      change["to"] = j["device"][field];
      changes[field] = std::move(change);
    }
    j["changes"] = std::move(changes);
  }
  return j;
}

void PrintValues(const TZEL& record, std::ostream& out, TTextEncoding encoding, bool names) {
  for (const TConfigEntry& e : ConfigEntries(record)) {
    out << e.tag << '=' << TerminalText(e.text, encoding);
    if (names) out << "  # " << TagName(record.ModelCode(), e.tag);
    out << '\n';
  }
}

}  // namespace velkaro::cli
