#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/CliOutput.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {
namespace {

class CliOutputTest : public ::testing::Test {
 protected:
  static TZEL Zel1() {
    TZEL r;
    r.address = NumberToAddress((std::uint64_t{1} << 48) | 0x001A2B3C4D5E);
    r.MAC = 0x001A2B3C4D5E;
    r.values.Set(13, std::uint32_t{kModelZel1});
    r.values.Set(1, std::uint32_t{0xFFFFFF00});
    r.values.Set(2, std::uint32_t{0xC0A8000A});
    r.values.Set(4, std::uint32_t{8080});
    r.values.Set(5, std::string("ZEL-1"));
    r.values.Set(7, std::string("Rack \"A\""));
    r.values.Set(12, std::string("v2.1"));
    r.values.Set(50, std::uint32_t{15});
    r.values.Set(72, std::uint32_t{4000000000u});
    return r;
  }
};

TEST_F(CliOutputTest, EntriesOfTheOneOutletModel) {
  const auto entries = ConfigEntries(Zel1());
  std::vector<int> tags;
  for (const auto& e : entries) tags.push_back(e.tag);
  const std::vector<int> expected = {1,  2,  3,  4,  5,  6,  7,  8,  9,  11, 12, 13,
                                     20, 21, 22, 23, 24, 25, 26, 30, 31, 32, 33, 34,
                                     35, 36, 37, 40, 41, 42, 50, 70, 71, 72};
  EXPECT_EQ(tags, expected);
  for (const auto& e : entries) {
    if (e.tag == 2) {
      EXPECT_EQ(e.text, "192.168.0.10");
    }
    if (e.tag == 3) {
      EXPECT_EQ(e.text, "0.0.0.0");  // never received
    }
    if (e.tag == 8) {
      EXPECT_EQ(e.text, "");
    }
    if (e.tag == 9) {
      EXPECT_EQ(e.type, vtString);
    }
    if (e.tag == 13) {
      EXPECT_EQ(e.text, "16843008");
    }
    if (e.tag == 21) {
      EXPECT_EQ(e.text, "0");
    }
    if (e.tag == 72) {
      EXPECT_EQ(e.text, "4000000000");
    }
  }
}

TEST_F(CliOutputTest, UnknownModelHasNoEntries) {
  TZEL r = Zel1();
  r.values.Set(13, std::uint32_t{0x12345678});
  EXPECT_TRUE(ConfigEntries(r).empty());
  std::ostringstream out;
  PrintValues(r, out);
  EXPECT_EQ(out.str(), "");
}

TEST_F(CliOutputTest, ValuesAsTagEqualsValueLines) {
  std::ostringstream out;
  PrintValues(Zel1(), out);
  const std::string text = out.str();
  EXPECT_EQ(text.substr(0, 41), "1=255.255.255.0\n2=192.168.0.10\n3=0.0.0.0\n");
  EXPECT_NE(text.find("\n7=Rack \"A\"\n"), std::string::npos);
  EXPECT_NE(text.find("\n13=16843008\n"), std::string::npos);
  EXPECT_EQ(text.find("\n10="), std::string::npos);  // the MAC has no entry
  const std::string tail = "\n72=4000000000\n";
  ASSERT_GT(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(CliOutputTest, DeviceObject) {
  const TJson j = DeviceJson(Zel1());
  EXPECT_EQ(j.dump(),
            R"({"name":"Rack \"A\"","type":"ZEL-1","ip":"192.168.0.10","mac":"00.1A.2B.3C.4D.5E",)"
            R"("interface":"","port":8080,"model":16843008})");
  TZEL onLink = Zel1();
  onLink.link = {"eth1", 0xC0A80105};
  EXPECT_EQ(DeviceJson(onLink)["interface"], "eth1");
}

TEST_F(CliOutputTest, ValuesObjectKeepsTagOrderAndTypes) {
  const TJson j = ValuesJson(Zel1());
  ASSERT_TRUE(j.is_object());
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  ASSERT_EQ(keys.size(), 34u);
  EXPECT_EQ(keys.front(), "1");
  EXPECT_EQ(keys[10], "12");
  EXPECT_EQ(keys.back(), "72");
  EXPECT_EQ(j["1"], "255.255.255.0");
  EXPECT_EQ(j["7"], "Rack \"A\"");
  EXPECT_TRUE(j["13"].is_number_unsigned());
  EXPECT_EQ(j["13"], 16843008u);
  EXPECT_EQ(j["4"], 8080u);
  EXPECT_EQ(j["50"], 15u);
  EXPECT_EQ(j["72"], 4000000000u);
  EXPECT_EQ(j["8"], "");
}

// Device texts are read as Windows-1252, never guessed at; texts of this system are UTF-8.
TEST(JsonText, DeviceBytesAsWindows1252SystemTextsAsUtf8) {
  const std::vector<std::pair<std::string, std::string>> device = {
      {"plain", "plain"},
      {"caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},  // "café €"
      {"caf\xC3\xA9", "caf\xC3\x83\xC2\xA9"},        // UTF-8 bytes on a device are two characters
      {"\x81\x9D", "\xC2\x81\xC2\x9D"},              // undefined bytes stay their controls
  };
  for (const auto& [in, out] : device) EXPECT_EQ(JsonText(in), out) << in;
  const std::vector<std::pair<std::string, std::string>> system = {
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"caf\xE9", "caf\xEF\xBF\xBD"},            // a stray byte becomes U+FFFD
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong form
  };
  for (const auto& [in, out] : system) EXPECT_EQ(Utf8JsonText(in), out) << in;
  // Whatever a device sends, the document can be written.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  TJson j = TJson::object();
  j["name"] = JsonText(all);
  j["interface"] = Utf8JsonText(all);
  EXPECT_NO_THROW((void)j.dump());
}

TEST_F(CliOutputTest, DeviceTableAlignsColumns) {
  TDeviceList list;
  TZEL a = Zel1();
  TZEL b = Zel1();
  b.address = NumberToAddress((std::uint64_t{1} << 48) | 2);
  b.MAC = 2;
  b.values.Set(7, std::string("x"));
  b.values.Set(2, std::uint32_t{0x0A000001});
  b.link = {"enp0s31f6", 0x0A000005};
  list.Replace(static_cast<std::size_t>(list.Append(a.address)), a);
  list.Replace(static_cast<std::size_t>(list.Append(b.address)), b);
  std::ostringstream out;
  PrintDeviceTable(list, out);
  EXPECT_EQ(out.str(),
            "Name      Type   IP Address    MAC Address        Interface  Port  Model\n"
            "Rack \"A\"  ZEL-1  192.168.0.10  00.1A.2B.3C.4D.5E  -          8080  16843008\n"
            "x         ZEL-1  10.0.0.1      00.00.00.00.00.02  enp0s31f6  8080  16843008\n");

  std::ostringstream none;
  PrintDeviceTable(TDeviceList{}, none);
  EXPECT_EQ(none.str(), "");
}

// Names are Windows-1252 on the wire: a UTF-8 terminal gets é and ß as two-byte characters,
// columns stay aligned by characters, and JSON keeps the same texts.
TEST_F(CliOutputTest, DeviceNamesReachTheTerminalInItsEncoding) {
  const std::string name =
      "Caf\xE9 Stra\xDF"
      "e";  // "Café Straße" as the device sends it
  const std::string utf8 =
      "Caf\xC3\xA9 Stra\xC3\x9F"
      "e";
  TZEL a = Zel1();
  a.values.Set(7, name);
  TZEL b = Zel1();
  b.address = NumberToAddress((std::uint64_t{1} << 48) | 2);
  b.MAC = 2;
  b.values.Set(7, std::string("x"));
  TDeviceList list;
  list.Replace(static_cast<std::size_t>(list.Append(a.address)), a);
  list.Replace(static_cast<std::size_t>(list.Append(b.address)), b);

  std::ostringstream table;
  PrintDeviceTable(list, table, TTextEncoding::Utf8);
  EXPECT_EQ(table.str(),
            "Name         Type   IP Address    MAC Address        Interface  Port  Model\n" + utf8 +
                "  ZEL-1  192.168.0.10  00.1A.2B.3C.4D.5E  -          8080  16843008\n" +
                "x            ZEL-1  192.168.0.10  00.00.00.00.00.02  -          8080  16843008\n");
  std::ostringstream values;
  PrintValues(a, values, TTextEncoding::Utf8);
  EXPECT_NE(values.str().find("\n7=" + utf8 + "\n"), std::string::npos) << values.str();

  // A Latin-1 terminal takes these bytes as they are: the two code pages share them.
  std::ostringstream latin;
  PrintValues(a, latin, TTextEncoding::Latin1);
  EXPECT_NE(latin.str().find("\n7=" + name + "\n"), std::string::npos);
  std::ostringstream latinTable;
  PrintDeviceTable(list, latinTable, TTextEncoding::Latin1);
  EXPECT_EQ(latinTable.str().substr(0, latinTable.str().find('\n')),
            "Name         Type   IP Address    MAC Address        Interface  Port  Model");

  EXPECT_EQ(DeviceJson(a)["name"], utf8);  // JSON as before
}

TEST(TerminalText, ConvertsThenEscapesForEachEncoding) {
  struct TCase {
    std::string in;
    std::string utf8;
    std::string latin1;
  };
  const std::vector<TCase> cases = {
      {"plain", "plain", "plain"},
      {"\xE9\xDF\xFF", "\xC3\xA9\xC3\x9F\xC3\xBF", "\xE9\xDF\xFF"},
      // The euro sign and an en dash: characters in UTF-8, escaped bytes on a Latin-1 terminal.
      {"\x80\x96", "\xE2\x82\xAC\xE2\x80\x93", "\\x80\\x96"},
      {"caf\xC3\xA9", "caf\xC3\x83\xC2\xA9", "caf\xC3\xA9"},  // as JSON shows it
      // The undefined bytes are C1 controls, escaped on every terminal.
      {"a\x81"
       "b\x9D"
       "c",
       "a\\x81b\\x9Dc", "a\\x81b\\x9Dc"},
      {"\xA0\n", "\xC2\xA0\\n", "\xA0\\n"},  // no-break space is no control
      {"\x1B\x7F", "\\e\\x7F", "\\e\\x7F"},
      {"", "", ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(TerminalText(c.in, TTextEncoding::Utf8), c.utf8) << c.in;
    EXPECT_EQ(TerminalText(c.in, TTextEncoding::Latin1), c.latin1) << c.in;
  }
  EXPECT_EQ(DisplayWidth("Stra\xC3\x9F"
                         "e",
                         TTextEncoding::Utf8),
            6u);
  EXPECT_EQ(DisplayWidth("Stra\xC3\x9F"
                         "e",
                         TTextEncoding::Latin1),
            7u);
}

TEST(EscapeControl, LineBreaksEscapeAndOtherControlBytes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain name", "plain name"},
      {"a\nb", "a\\nb"},
      {"a\r\nb", "a\\r\\nb"},
      {"\x1B[31mred\x1B[0m", "\\e[31mred\\e[0m"},
      {std::string("\0\x01\t\x1F\x7F", 5), "\\x00\\x01\\x09\\x1F\\x7F"},
      {"caf\xC3\xA9 \xE9 ~\\", "caf\xC3\xA9 \xE9 ~\\"},  // non-ASCII and backslash kept
      {"", ""},
  };
  for (const auto& [in, expected] : cases) EXPECT_EQ(EscapeControl(in), expected) << in;
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  for (const char c : EscapeControl(all))
    EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << static_cast<int>(c);
}

// A hostile name neither adds a row nor a TAG=VALUE line, nor reaches the terminal raw.
TEST_F(CliOutputTest, DeviceTextsCannotForgeRowsOrLines) {
  TZEL r = Zel1();
  r.values.Set(7, std::string("evil\n9=forged\x1B]0;title\x07"));
  r.values.Set(5, std::string("T\r\nfake row"));
  std::ostringstream values;
  PrintValues(r, values);
  EXPECT_EQ(values.str().find("\n9=forged"), std::string::npos);
  EXPECT_NE(values.str().find("7=evil\\n9=forged\\e]0;title\\x07\n"), std::string::npos);
  EXPECT_EQ(values.str().find('\x1B'), std::string::npos);

  TDeviceList list;
  list.Replace(static_cast<std::size_t>(list.Append(r.address)), r);
  std::ostringstream table;
  PrintDeviceTable(list, table);
  const std::string text = table.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);  // header and one row
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_NE(text.find("evil\\n9=forged\\e]0;title\\x07  T\\r\\nfake row  "), std::string::npos);
}

TEST(IsoUtcTime, MillisecondsInUtc) {
  using namespace std::chrono;
  const std::vector<std::pair<TWallTime, std::string>> rows = {
      {TWallTime{}, "1970-01-01T00:00:00.000Z"},
      {sys_days{year{2026} / 12 / 9} + hours(21) + minutes(4) + seconds(5) + milliseconds(123),
       "2026-12-09T21:04:05.123Z"},
      {sys_days{year{2024} / 2 / 29} + hours(23) + minutes(59) + seconds(59) + microseconds(999999),
       "2024-02-29T23:59:59.999Z"},  // cut, never rounded into the next day
      {sys_days{year{1969} / 12 / 31} + hours(23) + milliseconds(500), "1969-12-31T23:00:00.500Z"},
  };
  for (const auto& [time, text] : rows) EXPECT_EQ(IsoUtcTime(time), text);
}

TEST_F(CliOutputTest, WatchLinesAsTextAndJson) {
  using ops::TWatchEventKind;
  const TWallTime at = std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} +
                       std::chrono::hours(21) + std::chrono::milliseconds(7);
  TZEL before = Zel1();
  before.values.Set(7, std::string("Old"));
  TZEL after = Zel1();
  after.values.Set(7, std::string("caf\xE9\n"));  // Windows-1252, and a line break
  after.values.Set(2, std::uint32_t{0xC0A8000B});
  after.values.Set(4, std::uint32_t{81});

  const ops::TWatchEvent appeared{TWatchEventKind::Appeared, at, 0, after, {}, {}};
  EXPECT_EQ(WatchEventLine(appeared, TTextEncoding::Utf8),
            "2026-12-09T21:00:00.007Z appeared 192.168.0.11 00.1A.2B.3C.4D.5E caf\xC3\xA9\\n");
  EXPECT_EQ(WatchEventLine(appeared, TTextEncoding::Latin1),
            "2026-12-09T21:00:00.007Z appeared 192.168.0.11 00.1A.2B.3C.4D.5E caf\xE9\\n");
  EXPECT_EQ(WatchEventJson(appeared).dump(),
            R"({"time":"2026-12-09T21:00:00.007Z","event":"appeared","device":)" +
                DeviceJson(after).dump() + "}");

  const ops::TWatchEvent changed{TWatchEventKind::Changed, at, 0, after, before,
                                 {"name", "ip", "port"}};
  EXPECT_EQ(WatchEventLine(changed, TTextEncoding::Utf8),
            "2026-12-09T21:00:00.007Z changed 192.168.0.11 00.1A.2B.3C.4D.5E caf\xC3\xA9\\n"
            " name: Old -> caf\xC3\xA9\\n ip: 192.168.0.10 -> 192.168.0.11 port: 8080 -> 81");
  const TJson j = WatchEventJson(changed);
  EXPECT_EQ(j["event"], "changed");
  EXPECT_EQ(j["device"], DeviceJson(after));
  EXPECT_EQ(j["changes"].dump(),
            R"({"name":{"from":"Old","to":"café\n"},"ip":{"from":"192.168.0.10",)"
            R"("to":"192.168.0.11"},"port":{"from":8080,"to":81}})");

  for (const auto kind : {TWatchEventKind::Missing, TWatchEventKind::Back}) {
    const ops::TWatchEvent e{kind, at, 0, after, {}, {}};
    EXPECT_EQ(WatchEventLine(e, TTextEncoding::Utf8),
              std::string("2026-12-09T21:00:00.007Z ") + ops::WatchEventName(kind) +
                  " 192.168.0.11 00.1A.2B.3C.4D.5E caf\xC3\xA9\\n");
    EXPECT_FALSE(WatchEventJson(e).contains("changes"));
  }
}

TEST_F(CliOutputTest, DeviceListAsCsv) {
  TDeviceList list;
  std::ostringstream empty;
  PrintDeviceCsv(list, empty);
  EXPECT_EQ(empty.str(), "name,type,ip,mac,interface,port,model\r\n");
  TZEL r = Zel1();
  r.values.Set(7, std::string("Rack \"A\", Z\xFCrich\r\n2"));
  r.link = {"eth0", 0xC0A80101};
  list.Replace(static_cast<std::size_t>(list.Append(r.address)), r);
  TZEL plain = Zel1();
  plain.address = NumberToAddress((std::uint64_t{1} << 48) | 2);
  plain.MAC = 2;
  plain.values.Set(7, std::string("plain"));
  list.Replace(static_cast<std::size_t>(list.Append(plain.address)), plain);
  std::ostringstream out;
  PrintDeviceCsv(list, out);
  EXPECT_EQ(out.str(),
            "name,type,ip,mac,interface,port,model\r\n"
            "\"Rack \"\"A\"\", Z\xC3\xBCrich\r\n2\",ZEL-1,192.168.0.10,00.1A.2B.3C.4D.5E,eth0,"
            "8080,16843008\r\n"
            "plain,ZEL-1,192.168.0.10,00.00.00.00.00.02,,8080,16843008\r\n");
}

TEST(PrintJson, OneDocumentEndedByALineFeed) {
  std::ostringstream out;
  PrintJson(TJson::array(), out);
  EXPECT_EQ(out.str(), "[]\n");
  const TJson back = TJson::parse(out.str());
  EXPECT_TRUE(back.is_array());
}

}  // namespace
}  // namespace velkaro::cli
