#include "cli/ValueAssignment.h"

#include <charconv>
#include <set>

#include "cli/CliOutput.h"
#include "cli/DeviceSelector.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {

namespace {

// Decimal digits only: no sign, blank, prefix or fraction.
bool ParseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc{} || p != end || value > max) return false;
  out = value;
  return true;
}

std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

}  // namespace

bool ParseAssignment(const std::string& text, TAssignment& out, std::string& error) {
  const auto eq = text.find('=');
  if (eq == std::string::npos) {
    error = "Invalid argument " + Quote(text) + ": expected TAG=VALUE, e.g. 7=Rack-3";
    return false;
  }
  const std::string tagText = text.substr(0, eq);
  std::uint64_t tag = 0;
  if (!ParseUnsigned(tagText, 999, tag) || tag == 0) {
    error = "Invalid tag " + Quote(tagText) + " in " + Quote(text) +
            ": expected a tag number from 1 to 999";
    return false;
  }
  out = {static_cast<int>(tag), text.substr(eq + 1)};
  return true;
}

bool ParseAssignments(const std::vector<std::string>& texts, std::vector<TAssignment>& out,
                      std::string& error) {
  std::vector<TAssignment> result;
  for (const std::string& text : texts) {
    TAssignment a;
    if (!ParseAssignment(text, a, error)) return false;
    result.push_back(std::move(a));
  }
  out = std::move(result);
  return true;
}

bool ParseTypedValue(std::uint8_t type, const std::string& text, TValue& out,
                     std::string& expected) {
  std::uint64_t number = 0;
  switch (type) {
    case vtIPv4: {
      std::uint32_t ip = 0;
      if (!ParseDottedIpv4(text, ip)) {
        expected = "an IPv4 address of four octets 0-255, e.g. 192.168.0.10";
        return false;
      }
      out = ip;
      return true;
    }
    case vtString:
      if (text.size() > kMaxTextBytes) {
        expected = "a text of at most 255 bytes (got " + std::to_string(text.size()) + ")";
        return false;
      }
      // The device's settings are single-line texts; a line break would also split the entry
      // of a saved .cfg file.
      if (text.find_first_of("\r\n") != std::string::npos) {
        expected = "a text without line breaks";
        return false;
      }
      out = text;
      return true;
    case vtByte:
      if (!ParseUnsigned(text, 0xFF, number)) {
        expected = "a whole number from 0 to 255";
        return false;
      }
      break;
    case vtWord:
      if (!ParseUnsigned(text, 0xFFFF, number)) {
        expected = "a whole number from 0 to 65535";
        return false;
      }
      break;
    case vtDWord:
      if (!ParseUnsigned(text, 0xFFFFFFFFu, number)) {
        expected = "a whole number from 0 to 4294967295";
        return false;
      }
      break;
    default:
      expected = "a tag of a writable type";
      return false;
  }
  out = static_cast<std::uint32_t>(number);
  return true;
}

bool CheckAssignment(const TAssignment& a, std::uint32_t modelCode, TValue& out,
                     std::string& error) {
  const std::string tag = std::to_string(a.tag);
  const std::uint16_t tag16 = static_cast<std::uint16_t>(a.tag);
  if (!HasTag(tag16, modelCode)) {
    error = "Unknown tag " + tag + ": the device model " + ModelCodeText(modelCode) +
            " has no such parameter";
    return false;
  }
  const std::uint8_t type = TypeOfTag(tag16, modelCode) & 0x7F;
  if (FlagsOfTag(tag16, modelCode) == kFlagReadOnly || type < vtIPv4 || type > vtDWord) {
    error = "Tag " + tag + " is read-only and cannot be set (value " + Quote(a.value) + ")";
    return false;
  }
  std::string expected;
  if (!ParseTypedValue(type, a.value, out, expected)) {
    error = "Bad value " + Quote(a.value) + " for tag " + tag + ": expected " + expected;
    return false;
  }
  return true;
}

bool CheckAssignments(const std::vector<TAssignment>& assignments, std::uint32_t modelCode,
                      std::vector<TCheckedValue>& out, std::string& error) {
  std::vector<TCheckedValue> result;
  std::set<int> seen;
  for (const TAssignment& a : assignments) {
    if (!seen.insert(a.tag).second) {
      error = "Tag " + std::to_string(a.tag) + " is given more than once";
      return false;
    }
    TValue value;
    if (!CheckAssignment(a, modelCode, value, error)) return false;
    result.push_back({a.tag, std::move(value)});
  }
  out = std::move(result);
  return true;
}

bool CheckAssignmentsForAnyModel(const std::vector<TAssignment>& assignments, std::string& error) {
  std::set<int> seen;
  for (const TAssignment& a : assignments) {
    if (!seen.insert(a.tag).second) {
      error = "Tag " + std::to_string(a.tag) + " is given more than once";
      return false;
    }
    std::string firstError;
    bool passes = false;
    for (const TConfigDevice& model : ModelRegistry) {
      if (!HasTag(static_cast<std::uint16_t>(a.tag), model.modelCode)) continue;
      TValue value;
      std::string modelError;
      if (CheckAssignment(a, model.modelCode, value, modelError)) {
        passes = true;
        break;
      }
      if (firstError.empty()) firstError = modelError;
    }
    if (!passes) {
      error = !firstError.empty() ? firstError
                                  : "Unknown tag " + std::to_string(a.tag) +
                                        ": no known device model has such a parameter";
      return false;
    }
  }
  return true;
}

}  // namespace velkaro::cli
