// A device text is bytes on the wire, one byte per character in Windows-1252, the code page of
// the systems the devices were made for. The program shows them as Windows-1252 and takes UTF-8
// from people (terminal, JSON, the window). The five bytes Windows-1252 leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same number, so every byte
// shows as one character and comes back unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkaro {

// The character a device byte shows as.
char32_t DeviceCharacter(std::uint8_t byte);
// The device byte of a character; none for a character Windows-1252 has no byte for.
std::optional<std::uint8_t> DeviceByte(char32_t character);

// The next code point of `utf8` from `at`, which moves past it; nullopt (and `at` unmoved) for a
// byte that does not begin a well-formed character: stray continuation bytes, overlong forms,
// surrogates and values beyond U+10FFFF.
std::optional<char32_t> NextUtf8Character(std::string_view utf8, std::size_t& at);
bool IsValidUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t character);

// Device bytes as the UTF-8 text they show.
std::string DeviceTextToUtf8(std::string_view bytes);

// UTF-8 made into device bytes, or why not.
struct TDeviceTextEncoding {
  std::string bytes;    // complete only when Ok()
  std::string refused;  // the first character without a byte, as UTF-8, or the stray byte
  char32_t refusedCode = 0;
  bool notUtf8 = false;  // the input itself is not UTF-8
  bool Ok() const { return refused.empty(); }
  // "'Ω' (U+03A9) cannot be stored on the device (Windows-1252 characters only)"
  std::string Problem() const;
};
TDeviceTextEncoding EncodeDeviceText(std::string_view utf8);

}  // namespace velkaro
