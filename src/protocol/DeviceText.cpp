#include "protocol/DeviceText.h"

#include <array>
#include <cstdio>

namespace velkaro {

namespace {

// 0x80-0x9F; the rest of the code page is Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char32_t DeviceCharacter(std::uint8_t byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : char32_t{byte};
}

std::optional<std::uint8_t> DeviceByte(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
    return static_cast<std::uint8_t>(character);
  for (std::size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == character) return static_cast<std::uint8_t>(0x80 + i);
  return std::nullopt;
}

std::optional<char32_t> NextUtf8Character(std::string_view utf8, std::size_t& at) {
  if (at >= utf8.size()) return std::nullopt;
  const auto lead = static_cast<unsigned char>(utf8[at]);
  std::size_t extra = 0;
  char32_t cp = 0;
  if (lead < 0x80) {
    ++at;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (at + extra >= utf8.size()) return std::nullopt;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto c = static_cast<unsigned char>(utf8[at + k]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
  }
  static constexpr std::array<char32_t, 4> kShortest{0, 0x80, 0x800, 0x10000};
  if (cp < kShortest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  at += extra + 1;
  return cp;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size())
    if (!NextUtf8Character(text, at)) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string DeviceTextToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char b : bytes) AppendUtf8(out, DeviceCharacter(static_cast<std::uint8_t>(b)));
  return out;
}

TDeviceTextEncoding EncodeDeviceText(std::string_view utf8) {
  TDeviceTextEncoding result;
  result.bytes.reserve(utf8.size());
  std::size_t at = 0;
  while (at < utf8.size()) {
    const std::size_t begin = at;
    const std::optional<char32_t> c = NextUtf8Character(utf8, at);
    if (!c) {
      char stray[8];
      std::snprintf(stray, sizeof stray, "\\x%02X", static_cast<unsigned char>(utf8[begin]));
      result.refused = stray;
      result.notUtf8 = true;
      return result;
    }
    const std::optional<std::uint8_t> byte = DeviceByte(*c);
    if (!byte) {
      result.refused = std::string(utf8.substr(begin, at - begin));
      result.refusedCode = *c;
      return result;
    }
    result.bytes += static_cast<char>(*byte);
  }
  return result;
}

std::string TDeviceTextEncoding::Problem() const {
  if (Ok()) return {};
  if (notUtf8) return "the byte " + refused + " is not UTF-8 text";
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(refusedCode));
  return "'" + refused + "' (" + code +
         ") cannot be stored on the device (Windows-1252 characters only)";
}

}  // namespace velkaro
