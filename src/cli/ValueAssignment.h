// TAG=VALUE and NAME=VALUE arguments of `set`: syntax, and the check of each value against the
// tag's type in a device model before anything is sent.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "operations/ValueText.h"
#include "protocol/DeviceRecord.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {

struct TAssignment {
  TAssignment() = default;
  TAssignment(int t, std::string v, std::string n = {})
      : tag(t), value(std::move(v)), name(std::move(n)) {}

  int tag = 0;        // 0 when given by name
  std::string value;  // as given, not yet checked
  std::string name;   // the tag's name when given by name (protocol/TagNames.h)
};

// "TAG=VALUE" or "NAME=VALUE": TAG is a decimal tag 1-999, NAME a tag name (lower-case letters,
// digits and '_', starting with a letter); VALUE is everything after the first "=".
bool ParseAssignment(const std::string& text, TAssignment& out, std::string& error);
// The assignment's tag in the model: the given number, or the tag of its name there (0 when the
// model has no such name).
int AssignmentTag(const TAssignment& a, std::uint32_t modelCode);

using ops::kMaxTextBytes;
using ops::ParseTypedValue;

// Checks one assignment against the model: the tag (or name) must be one of the model's,
// writable, of a type 1-5, and the value must parse. The error names the tag (and the name it was
// given by), the value and what was expected.
bool CheckAssignment(const TAssignment& a, std::uint32_t modelCode, TValue& out,
                     std::string& error);

struct TCheckedValue {
  int tag;
  TValue value;
};

// Checks all assignments for the model, names resolved to its tags; a tag given twice (also once
// by number and once by name) is an error too.
bool CheckAssignments(const std::vector<TAssignment>& assignments, std::uint32_t modelCode,
                      std::vector<TCheckedValue>& out, std::string& error);

// The check that can run before the device's model is known: an assignment passes when it would
// pass for at least one registered model (a name: one that has the name). Otherwise the error is
// the one of the first model that has the tag (or says that no model has it). `models`: the models
// to try.
bool CheckAssignmentsForAnyModel(const std::vector<TAssignment>& assignments, std::string& error,
                                 const TModelRegistry& models = ModelRegistry());

// Parses every argument; stops at the first bad one.
bool ParseAssignments(const std::vector<std::string>& texts, std::vector<TAssignment>& out,
                      std::string& error);

}  // namespace velkaro::cli
