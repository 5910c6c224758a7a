// What velkaro-cli prints: the device list and a device's parameters, as text or as JSON.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "operations/DeviceWatch.h"
#include "protocol/DeviceList.h"

namespace velkaro::cli {

// Keys keep their insertion order, so tags come out in ascending order.
using TJson = nlohmann::ordered_json;

// One entry of the device's .cfg section: the tag, its wire type (1-5) and its value.
struct TConfigEntry {
  int tag = 0;
  std::uint8_t type = 0;
  std::uint32_t number = 0;  // types 1 and 3-5
  std::string text;          // the value as the .cfg file holds it
};

// Every entry a .cfg section of the device holds, in ascending tag order: tags 1 to MaxTag of its
// model with a type of 1-5; slots never received give 0, 0.0.0.0 or the empty text.
std::vector<TConfigEntry> ConfigEntries(const TZEL& record);

// Model code as in messages: 0x01010100.
std::string ModelCodeText(std::uint32_t modelCode);

// A device text as a JSON string: its bytes read as Windows-1252, like everywhere else.
std::string JsonText(const std::string& deviceText);
// A text of this system (a file or interface name, a message) as a JSON string: it is UTF-8,
// and a stray byte that is not becomes U+FFFD rather than breaking the document.
std::string Utf8JsonText(std::string_view text);

// {"name","type","ip","mac","interface","port","model"}; "interface" is "" when requests went to
// an explicit target.
TJson DeviceJson(const TZEL& record);
// {"1": "255.255.255.0", "7": "name", "13": 16843008, ...}
TJson ValuesJson(const TZEL& record);
// The names of those tags, with the same keys: {"1": "subnet_mask", "7": "name", ...}.
TJson NamesJson(const TZEL& record);
// The whole document, ended by a line feed.
void PrintJson(const TJson& document, std::ostream& out);

// A device text made safe for a terminal and for line-based output: line feed, carriage return
// and escape become \n, \r and \e, the other C0 control bytes and DEL \xHH; everything else
// is kept as it is.
std::string EscapeControl(std::string_view text);

// The Interface cell of a device reached through an explicit target.
inline constexpr const char* kNoInterfaceCell = "-";
// How the terminal (or whatever reads the text output) takes bytes beyond ASCII.
enum class TTextEncoding { Utf8, Latin1 };

// The character set of the user's locale: Latin1 when it names ISO 8859-1, else Utf8 (a plain
// C locale usually sits on a UTF-8 terminal, and ASCII shows the same in both).
TTextEncoding TerminalEncoding();

// A device text for text output, read as Windows-1252 as JsonText does (so text and JSON output
// agree) and written in `encoding`; escaped as by EscapeControl, the C1 controls as \xHH of their
// byte too, and on a Latin-1 terminal so is a character Latin-1 lacks (the euro sign, ...).
std::string TerminalText(std::string_view deviceText, TTextEncoding encoding);

// Characters a text takes on the terminal: bytes in Latin-1, code points in UTF-8.
std::size_t DisplayWidth(std::string_view text, TTextEncoding encoding);

// The list as aligned columns with a header line, texts by TerminalText; nothing when the list
// is empty.
void PrintDeviceTable(const TDeviceList& list, std::ostream& out,
                      TTextEncoding encoding = TerminalEncoding());
// The cells of the device's row in PrintDeviceTable: name, type, IP address, MAC address,
// interface, port and model, the order of DeviceJson's fields.
std::vector<std::string> DeviceCells(const TZEL& record, TTextEncoding encoding);
// The list as CSV (ops::CsvLine): a header line with DeviceJson's field names, then one line per
// device with DeviceJson's values (texts in UTF-8, numbers in decimal).
void PrintDeviceCsv(const TDeviceList& list, std::ostream& out);

// ISO 8601 in UTC with milliseconds: 2026-12-09T21:04:05.123Z.
std::string IsoUtcTime(TWallTime time);
// A watch event as one text line without its line end: TIME EVENT IP MAC NAME, for "changed"
// followed by " FIELD: FROM -> TO" per field; cells as in PrintDeviceTable.
std::string WatchEventLine(const ops::TWatchEvent& event, TTextEncoding encoding);
// {"time", "event", "device": DeviceJson} and for "changed" "changes": {FIELD: {"from", "to"}}.
TJson WatchEventJson(const ops::TWatchEvent& event);

// TAG=VALUE lines, values by TerminalText; with `names` each line ends in "  # NAME".
void PrintValues(const TZEL& record, std::ostream& out, TTextEncoding encoding = TerminalEncoding(),
                 bool names = false);

}  // namespace velkaro::cli
