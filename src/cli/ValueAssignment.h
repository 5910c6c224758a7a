// TAG=VALUE arguments of `set`: syntax, and the check of each value against the tag's type in
// a device model before anything is sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "operations/ValueText.h"
#include "protocol/DeviceRecord.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {

struct TAssignment {
  int tag = 0;
  std::string value;  // as given, not yet checked
};

// "TAG=VALUE": TAG is a decimal tag 1-999, VALUE is everything after the first "=".
bool ParseAssignment(const std::string& text, TAssignment& out, std::string& error);

using ops::kMaxTextBytes;
using ops::ParseTypedValue;

// Checks one assignment against the model: the tag must be one of the model's, writable, of a
// type 1-5, and the value must parse. The error names the tag, the value and what was expected.
bool CheckAssignment(const TAssignment& a, std::uint32_t modelCode, TValue& out,
                     std::string& error);

struct TCheckedValue {
  int tag;
  TValue value;
};

// Checks all assignments for the model; a tag given twice is an error too.
bool CheckAssignments(const std::vector<TAssignment>& assignments, std::uint32_t modelCode,
                      std::vector<TCheckedValue>& out, std::string& error);

// The check that can run before the device's model is known: an assignment passes when it would
// pass for at least one registered model. Otherwise the error is the one of the first model that
// has the tag (or says that no model has it). `models`: the models to try.
bool CheckAssignmentsForAnyModel(const std::vector<TAssignment>& assignments, std::string& error,
                                 const TModelRegistry& models = ModelRegistry());

// Parses every argument; stops at the first bad one.
bool ParseAssignments(const std::vector<std::string>& texts, std::vector<TAssignment>& out,
                      std::string& error);

}  // namespace velkaro::cli
