#include "cli/ValueAssignment.h"

#include <charconv>
#include <set>

#include "cli/CliOutput.h"
#include "cli/DeviceSelector.h"
#include "protocol/DeviceText.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {

namespace {

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
  if (!ops::ParseDecimal(tagText, 999, tag) || tag == 0) {
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
  // A text arrives as UTF-8 and goes to the device as its Windows-1252 bytes.
  std::string value = a.value;
  if (type == vtString) {
    TDeviceTextEncoding encoded = EncodeDeviceText(a.value);
    if (!encoded.Ok()) {
      error = "Bad value " + Quote(a.value) + " for tag " + tag + ": " + encoded.Problem();
      return false;
    }
    value = std::move(encoded.bytes);
  }
  std::string expected;
  if (!ParseTypedValue(type, value, out, expected)) {
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

bool CheckAssignmentsForAnyModel(const std::vector<TAssignment>& assignments, std::string& error,
                                 const TModelRegistry& models) {
  std::set<int> seen;
  for (const TAssignment& a : assignments) {
    if (!seen.insert(a.tag).second) {
      error = "Tag " + std::to_string(a.tag) + " is given more than once";
      return false;
    }
    std::string firstError;
    bool passes = false;
    for (const TConfigDevice& model : models.Models()) {
      if (!models.HasTag(static_cast<std::uint16_t>(a.tag), model.modelCode)) continue;
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
