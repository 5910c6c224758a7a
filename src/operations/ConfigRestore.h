// Restoring a saved .cfg section to a device: reading the file, checking a section against the
// device's model, and writing only what differs, then reading it back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "operations/DeviceOperations.h"
#include "protocol/DeviceRecord.h"

namespace velkaro::ops {

struct TCfgSection {
  std::string name;                                          // without the brackets
  std::vector<std::pair<std::string, std::string>> entries;  // key, value as written
};

// Larger files are refused rather than read into memory.
inline constexpr std::size_t kMaxCfgFileSize = 64u << 20;

// Reads every section of a .cfg file. False with a message when it cannot be read.
bool ReadCfgFile(const std::string& fileName, std::vector<TCfgSection>& out, std::string& error);

// The section named `name` (brackets around it accepted), matched without regard to case.
const TCfgSection* FindSection(const std::vector<TCfgSection>& sections, std::string name);
// The part of a section name before its first two consecutive blanks: the device's type text.
std::string SectionTypeText(const std::string& sectionName);
// Whether `sectionName` is the device's own section ("TYPE  SERIAL").
bool IsOwnSection(const std::string& sectionName, const TZEL& device);

struct TSectionValue {
  int tag;
  TValue value;
};
// Parses the section's entries for the model: each key must be a tag of the model and each
// value must parse for its type. Entries of other types (none are saved) are left out.
bool ParseSection(const TCfgSection& section, std::uint32_t model, std::vector<TSectionValue>& out,
                  std::string& error);
// The section belongs to a device of this one's model: its type text is the device's tag 5 and,
// when it holds tag 13, that is the device's model code.
bool SectionFitsDevice(const TCfgSection& section, const TZEL& device, std::string& error);

// Tags a template never writes: a section of another device keeps each device's identity.
bool IsIdentityTag(int tag, std::uint32_t model);

enum class TApplyResult { Planned, Unchanged, Applied, Failed };
const char* ApplyResultWord(TApplyResult result);

struct TChange {
  int tag;
  TValue from, to;
};
struct TApplyOutcome {
  TZEL device;  // as read (and after a write, as read back)
  std::vector<TChange> changes;
  std::vector<int> skipped;  // identity tags of a template, read-only tags, unreported tags
  TApplyResult result = TApplyResult::Failed;
  std::string error;  // set for a failed device
};

// Reads `device` completely, compares it with `values` and writes only the tags whose values
// differ (none with `dryRun`), then reads the device again and checks that every written value
// is back. Uses no global state but the settings: devices may be done in parallel.
TApplyOutcome ApplySection(const TZEL& device, const std::vector<TSectionValue>& values,
                           bool isTemplate, bool dryRun);

struct TApplyJob {
  TZEL device;
  std::vector<TSectionValue> values;
  bool isTemplate = true;
};
// ApplySection of every job, at most `parallel` at once; the outcomes in the jobs' order.
std::vector<TApplyOutcome> ApplyToAll(const std::vector<TApplyJob>& jobs, int parallel,
                                      bool dryRun);

}  // namespace velkaro::ops
