#include "ui/DeviceTextQt.h"

#include "protocol/DeviceText.h"

namespace velkaro::ui {

namespace {

// The code point at `at` and its length in UTF-16 units; a lone surrogate stands for itself.
std::pair<char32_t, qsizetype> CharacterAt(const QString& text, qsizetype at) {
  const QChar c = text[at];
  if (c.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate())
    return {QChar::surrogateToUcs4(c, text[at + 1]), 2};
  return {c.unicode(), 1};
}

}  // namespace

QString DeviceTextToQString(const std::string& bytes) {
  const std::string utf8 = DeviceTextToUtf8(bytes);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string QStringToDeviceText(const QString& text) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.size()));
  for (qsizetype i = 0; i < text.size();) {
    const auto [c, length] = CharacterAt(text, i);
    bytes += static_cast<char>(DeviceByte(c).value_or('?'));
    i += length;
  }
  return bytes;
}

TRefusedCharacter FirstRefusedCharacter(const QString& text) {
  for (qsizetype i = 0; i < text.size();) {
    const auto [c, length] = CharacterAt(text, i);
    if (!DeviceByte(c)) return {i, length};
    i += length;
  }
  return {};
}

}  // namespace velkaro::ui
