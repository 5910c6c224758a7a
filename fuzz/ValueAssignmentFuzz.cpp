// The TAG=VALUE and NAME=VALUE parser and the typed check of `set` on arbitrary argument text:
// what it accepts is a tag 1-999 or a tag name with the text after the first "=", a name only
// where the model has it, and a value that fits its wire type.
// Texts are typed as UTF-8 and stored in the device's single-byte code page.
#include <string_view>

#include "FuzzTarget.h"
#include "cli/ValueAssignment.h"
#include "protocol/DeviceText.h"
#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"
#include "protocol/TagNames.h"

using namespace velkaro;
using namespace velkaro::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TAssignment assignment;
  std::string error;
  if (!ParseAssignment(text, assignment, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  const std::size_t equals = text.find('=');
  FUZZ_CHECK(equals != std::string::npos && assignment.value == text.substr(equals + 1));
  if (assignment.name.empty()) {
    FUZZ_CHECK(assignment.tag >= 1 && assignment.tag <= 999);
  } else {
    FUZZ_CHECK(assignment.tag == 0 && assignment.name == text.substr(0, equals));
  }

  for (const std::uint32_t model : {kModelZel1, kModelZel4, kModelZel8}) {
    TValue value;
    std::string why;
    if (!CheckAssignment(assignment, model, value, why)) {
      FUZZ_CHECK(!why.empty());
      continue;
    }
    // A name passes only as one of the model's, and stands for its tag there.
    const int resolved = AssignmentTag(assignment, model);
    FUZZ_CHECK(resolved >= 1 && resolved <= 999);
    if (!assignment.name.empty()) FUZZ_CHECK(TagName(model, resolved) == assignment.name);
    const auto tag = static_cast<std::uint16_t>(resolved);
    const std::uint8_t type = TypeOfTag(tag, model) & 0x7F;
    if (type == vtString) {
      const auto* s = std::get_if<std::string>(&value);
      // A text goes out as its Windows-1252 bytes, and only when every character has one.
      const TDeviceTextEncoding encoded = EncodeDeviceText(assignment.value);
      FUZZ_CHECK(encoded.Ok() && s && *s == encoded.bytes && s->size() <= kMaxTextBytes);
      FUZZ_CHECK(s->find_first_of("\r\n") == std::string::npos);
      continue;
    }
    const auto* number = std::get_if<std::uint32_t>(&value);
    FUZZ_CHECK(number != nullptr);
    if (type == vtByte) FUZZ_CHECK(*number <= 0xFF);
    if (type == vtWord) FUZZ_CHECK(*number <= 0xFFFF);
    // The value written back as text parses to the same number.
    const std::string again = type == vtIPv4 ? IpToText(*number) : std::to_string(*number);
    TValue reparsed;
    std::string expected;
    FUZZ_CHECK(ParseTypedValue(type, again, reparsed, expected) && reparsed == value);
  }
  return 0;
}
