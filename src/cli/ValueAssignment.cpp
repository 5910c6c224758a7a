#include "cli/ValueAssignment.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "cli/CliOutput.h"
#include "cli/DeviceSelector.h"
#include "protocol/DeviceText.h"
#include "protocol/ModelRegistry.h"
#include "protocol/TagNames.h"

namespace velkaro::cli {

namespace {

std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

bool IsNameText(const std::string& text) {
  if (text.empty() || text.front() < 'a' || text.front() > 'z') return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

// "tag 7", or "tag 7 (name)" when it was given by its name: errors say what the user typed.
std::string TagLabel(const TAssignment& a, int tag) {
  return "tag " + std::to_string(tag) + (a.name.empty() ? "" : " (" + a.name + ")");
}

std::string Capitalized(std::string text) {
  if (!text.empty() && text.front() >= 'a' && text.front() <= 'z') text.front() -= 'a' - 'A';
  return text;
}

// "the device model 0x04010100 (zel4)"
std::string ModelText(std::uint32_t modelCode) {
  const std::string name = ModelShortName(modelCode);
  return "the device model " + ModelCodeText(modelCode) + (name.empty() ? "" : " (" + name + ")");
}

}  // namespace

bool ParseAssignment(const std::string& text, TAssignment& out, std::string& error) {
  const auto eq = text.find('=');
  if (eq == std::string::npos) {
    error = "Invalid argument " + Quote(text) + ": expected TAG=VALUE, e.g. 7=Rack-3";
    return false;
  }
  const std::string tagText = text.substr(0, eq);
  if (IsNameText(tagText)) {
    out = {0, text.substr(eq + 1), tagText};
    return true;
  }
  std::uint64_t tag = 0;
  if (!ops::ParseDecimal(tagText, 999, tag) || tag == 0) {
    error = "Invalid tag " + Quote(tagText) + " in " + Quote(text) +
            ": expected a tag number from 1 to 999 or a tag name (velkaro-cli tags MODEL)";
    return false;
  }
  out = {static_cast<int>(tag), text.substr(eq + 1), {}};
  return true;
}

int AssignmentTag(const TAssignment& a, std::uint32_t modelCode) {
  return a.name.empty() ? a.tag : TagOfName(modelCode, a.name);
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
  const int number = AssignmentTag(a, modelCode);
  if (number == 0) {
    error =
        "Unknown tag name " + Quote(a.name) + ": " + ModelText(modelCode) +
        " has no such parameter (see velkaro-cli tags " +
        (ModelShortName(modelCode).empty() ? ModelCodeText(modelCode) : ModelShortName(modelCode)) +
        ")";
    return false;
  }
  const std::string tag = TagLabel(a, number);
  const std::uint16_t tag16 = static_cast<std::uint16_t>(number);
  if (!HasTag(tag16, modelCode)) {
    error = "Unknown " + tag + ": the device model " + ModelCodeText(modelCode) +
            " has no such parameter";
    return false;
  }
  const std::uint8_t type = TypeOfTag(tag16, modelCode) & 0x7F;
  if (FlagsOfTag(tag16, modelCode) == kFlagReadOnly || type < vtIPv4 || type > vtDWord) {
    error = Capitalized(tag) + " is read-only and cannot be set (value " + Quote(a.value) + ")";
    return false;
  }
  // A text arrives as UTF-8 and goes to the device as its Windows-1252 bytes.
  std::string value = a.value;
  if (type == vtString) {
    TDeviceTextEncoding encoded = EncodeDeviceText(a.value);
    if (!encoded.Ok()) {
      error = "Bad value " + Quote(a.value) + " for " + tag + ": " + encoded.Problem();
      return false;
    }
    value = std::move(encoded.bytes);
  }
  std::string expected;
  if (!ParseTypedValue(type, value, out, expected)) {
    error = "Bad value " + Quote(a.value) + " for " + tag + ": expected " + expected;
    return false;
  }
  return true;
}

bool CheckAssignments(const std::vector<TAssignment>& assignments, std::uint32_t modelCode,
                      std::vector<TCheckedValue>& out, std::string& error) {
  std::vector<TCheckedValue> result;
  std::map<int, std::string> given;  // tag -> as typed first
  for (const TAssignment& a : assignments) {
    TValue value;
    if (!CheckAssignment(a, modelCode, value, error)) return false;
    const int tag = AssignmentTag(a, modelCode);
    const std::string typed = a.name.empty() ? std::to_string(a.tag) : a.name;
    if (const auto [at, fresh] = given.emplace(tag, typed); !fresh) {
      error = "Tag " + std::to_string(tag) + " is given more than once";
      if (at->second != typed) error += " (as " + Quote(at->second) + " and " + Quote(typed) + ")";
      return false;
    }
    result.push_back({tag, std::move(value)});
  }
  out = std::move(result);
  return true;
}

bool CheckAssignmentsForAnyModel(const std::vector<TAssignment>& assignments, std::string& error,
                                 const TModelRegistry& models) {
  std::set<std::string> seen;
  for (const TAssignment& a : assignments) {
    if (!seen.insert(a.name.empty() ? std::to_string(a.tag) : a.name).second) {
      error = (a.name.empty() ? "Tag " + std::to_string(a.tag) : "Tag name " + Quote(a.name)) +
              " is given more than once";
      return false;
    }
    std::string firstError;
    bool passes = false;
    for (const TConfigDevice& model : models.Models()) {
      const int tag = AssignmentTag(a, model.modelCode);
      if (tag == 0 || !models.HasTag(static_cast<std::uint16_t>(tag), model.modelCode)) continue;
      TValue value;
      std::string modelError;
      if (CheckAssignment(a, model.modelCode, value, modelError)) {
        passes = true;
        break;
      }
      if (firstError.empty()) firstError = modelError;
    }
    if (!passes) {
      if (!firstError.empty())
        error = firstError;
      else if (!a.name.empty())
        error = "Unknown tag name " + Quote(a.name) +
                ": no known device model has such a parameter (see velkaro-cli tags MODEL)";
      else
        error =
            "Unknown tag " + std::to_string(a.tag) + ": no known device model has such a parameter";
      return false;
    }
  }
  return true;
}

}  // namespace velkaro::cli
