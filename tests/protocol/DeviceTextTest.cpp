#include "protocol/DeviceText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velkaro;

// Every byte shows as one character and comes back as itself, the undefined five included.
TEST(DeviceText, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string shown = DeviceTextToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(shown));
  const TDeviceTextEncoding back = EncodeDeviceText(shown);
  ASSERT_TRUE(back.Ok()) << back.Problem();
  EXPECT_EQ(back.bytes, all);
  for (const int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_EQ(DeviceCharacter(static_cast<std::uint8_t>(undefined)), char32_t(undefined));
}

TEST(DeviceText, TextsAndTheirBytes) {
  struct TCase {
    const char* utf8;
    std::string bytes;  // empty: refused
    std::string problem;
  };
  const std::vector<TCase> cases = {
      {"Caf\xC3\xA9 \xE2\x82\xAC", "\x43\x61\x66\xE9\x20\x80", ""},  // "Café €"
      {"\xE2\x80\x9C"
       "A\xE2\x80\x9D \xC5\xA0",
       "\x93\x41\x94\x20\x8A", ""},  // “A” Š
      {"Rack-3", "Rack-3", ""},
      {"Caf\xC3\xA9 \xCE\xA9", "",  // Ω
       "'\xCE\xA9' (U+03A9) cannot be stored on the device (Windows-1252 characters only)"},
      {"\xF0\x9F\x94\x8C", "",  // a plug, beyond the basic plane
       "'\xF0\x9F\x94\x8C' (U+1F50C) cannot be stored on the device (Windows-1252 characters "
       "only)"},
      {"\xC2\x80", "",
       "'\xC2\x80' (U+0080) cannot be stored on the device (Windows-1252 characters only)"},
      {"caf\xE9", "", "the byte \\xE9 is not UTF-8 text"},
      {"\xC0\xAF", "", "the byte \\xC0 is not UTF-8 text"},      // overlong
      {"\xED\xA0\x80", "", "the byte \\xED is not UTF-8 text"},  // surrogate
      {"ab\xE2\x82", "", "the byte \\xE2 is not UTF-8 text"},    // cut short
  };
  for (const TCase& c : cases) {
    const TDeviceTextEncoding e = EncodeDeviceText(c.utf8);
    EXPECT_EQ(e.Ok(), c.problem.empty()) << c.utf8;
    EXPECT_EQ(e.Problem(), c.problem) << c.utf8;
    if (e.Ok()) {
      EXPECT_EQ(e.bytes, c.bytes) << c.utf8;
      EXPECT_EQ(DeviceTextToUtf8(e.bytes), c.utf8);
    }
  }
}
