// Restoring a saved .cfg section to a device: reading the file, checking a section against the
// device's model, and writing only what differs, then reading it back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "operations/DeviceOperations.h"
#include "protocol/DeviceRecord.h"
#include "protocol/Exchange.h"

namespace velkaro::ops {

struct TCfgSection {
  std::string name;                                          // without the brackets
  std::vector<std::pair<std::string, std::string>> entries;  // key, value as written
  std::vector<int> lines;  // the file's line of each entry (from 1), where known
  bool overfull = false;   // more entries than kMaxCfgSectionEntries; the rest were dropped
};

// A restore file is a regular file of at most 4 MiB (a saved rack unit takes about 20 KiB, so
// that is a few hundred rack units or thousands of smaller switches); larger files are refused
// rather than read into memory. No model has more than 999 tags, so a section with more entries
// than this is no saved section.
inline constexpr std::size_t kMaxCfgFileSize = 4u << 20;
inline constexpr std::size_t kMaxCfgSectionEntries = 2000;

// Reads every section of a .cfg file, once. False with a message when it cannot be read or is
// no regular file (a directory, a FIFO, a device), or is larger than kMaxCfgFileSize.
bool ReadCfgFile(const std::string& fileName, std::vector<TCfgSection>& out, std::string& error);
// The same from the text of a file.
void ParseCfgText(std::string content, std::vector<TCfgSection>& out);

// The section named `name`, matched without regard to case; brackets around the name are
// accepted when no section bears the name with them (a section "[X]" is found as "[X]").
const TCfgSection* FindSection(const std::vector<TCfgSection>& sections, std::string name);
// The part of a section name before its first two consecutive blanks: the device's type text.
std::string SectionTypeText(const std::string& sectionName);
// Whether `sectionName` is the device's own section ("TYPE  SERIAL").
bool IsOwnSection(const std::string& sectionName, const TZEL& device);

struct TSectionValue {
  int tag;
  TValue value;
};
// Parses the section's entries for the model: each key must be a tag of the model, given once,
// and each value must parse for its type. Entries of other types (none are saved) are left out.
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
  // Failed before any write because the device's own read reply contradicts its discovery or
  // the file (another model, another identity): a refusal, not a fault of the network.
  bool refused = false;
};

// Reads `device` completely, compares it with `values` and writes only the tags whose values
// differ (none with `dryRun`), then reads the device again and checks that every written value
// is back. The read reply must report the model code and type text of the discovery, and for a
// device's own section (not `isTemplate`) its identity too; otherwise nothing is written. Uses no
// state but its arguments: devices may be done in parallel.
TApplyOutcome ApplySection(const TExchangeSettings& settings, const TZEL& device,
                           const std::vector<TSectionValue>& values, bool isTemplate, bool dryRun);

struct TApplyJob {
  TZEL device;
  std::vector<TSectionValue> values;
  bool isTemplate = true;
};
// ApplySection of every job, at most `parallel` at once; the outcomes in the jobs' order.
std::vector<TApplyOutcome> ApplyToAll(const TExchangeSettings& settings,
                                      const std::vector<TApplyJob>& jobs, int parallel,
                                      bool dryRun);

}  // namespace velkaro::ops
