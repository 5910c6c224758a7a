// Device texts in the window: the device's bytes shown as Windows-1252, the same characters the
// command-line tool prints, and typed text made into those bytes again.
#pragma once

#include <QString>
#include <string>

namespace velkaro::ui {

QString DeviceTextToQString(const std::string& bytes);
// A character without a Windows-1252 byte becomes '?'; the edits' validator keeps such
// characters out before they get here.
std::string QStringToDeviceText(const QString& text);
// Where the first character without a byte begins in `text`, and how many UTF-16 units it
// takes; {-1, 0} when every character has one.
struct TRefusedCharacter {
  qsizetype at = -1;
  qsizetype length = 0;
};
TRefusedCharacter FirstRefusedCharacter(const QString& text);

}  // namespace velkaro::ui
