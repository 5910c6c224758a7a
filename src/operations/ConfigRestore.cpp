#include "operations/ConfigRestore.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "operations/ValueText.h"
#include "protocol/ConfigFile.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Utf8Path.h"

namespace velkaro::ops {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameValue(const TZEL& record, int tag, const TValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return SlotText(record, tag) == *text;
  if (const auto* number = std::get_if<std::uint32_t>(&value))
    return SlotNumber(record, tag) == *number;
  return false;
}

TValue CurrentValue(const TZEL& record, int tag) {
  if ((TypeOfTag(static_cast<std::uint16_t>(tag), record.ModelCode()) & 0x7F) == vtString)
    return SlotText(record, tag);
  return SlotNumber(record, tag);
}

}  // namespace

bool ReadCfgFile(const std::string& fileName, std::vector<TCfgSection>& out, std::string& error) {
  std::ifstream in(Utf8Path(fileName), std::ios::binary);
  if (!in) {
    error = "Cannot read '" + fileName + "'";
    return false;
  }
  std::string content;
  content.reserve(4096);
  std::istreambuf_iterator<char> it(in), end;
  for (; it != end && content.size() <= kMaxCfgFileSize; ++it) content.push_back(*it);
  if (content.size() > kMaxCfgFileSize) {
    error = "'" + fileName + "' is larger than 64 MiB";
    return false;
  }
  // A byte-order mark belongs to the file, not to its first line.
  if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);
  out.clear();
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t eol = content.find('\n', pos);
    if (eol == std::string::npos) eol = content.size();
    std::string line = content.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      out.push_back({Trim(trimmed.substr(1, trimmed.size() - 2)), {}});
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos || out.empty()) continue;  // not an entry of a section
    out.back().entries.emplace_back(Trim(line.substr(0, eq)), line.substr(eq + 1));
  }
  return true;
}

const TCfgSection* FindSection(const std::vector<TCfgSection>& sections, std::string name) {
  name = Trim(name);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    name = Trim(name.substr(1, name.size() - 2));
  const std::string wanted = Lower(name);
  for (const TCfgSection& s : sections)
    if (Lower(s.name) == wanted) return &s;
  return nullptr;
}

std::string SectionTypeText(const std::string& sectionName) {
  return sectionName.substr(0, sectionName.find("  "));
}

bool IsOwnSection(const std::string& sectionName, const TZEL& device) {
  return Lower(Trim(sectionName)) == Lower(Trim(ConfigSectionName(device)));
}

bool ParseSection(const TCfgSection& section, std::uint32_t model, std::vector<TSectionValue>& out,
                  std::string& error) {
  out.clear();
  for (const auto& [key, text] : section.entries) {
    std::uint64_t tag = 0;
    if (!ParseDecimal(key, 999, tag) || tag < 1 || !HasTag(static_cast<std::uint16_t>(tag), model)) {
      error = "Section [" + section.name + "]: '" + key + "' is not a tag of this device's model";
      return false;
    }
    const std::uint8_t type = TypeOfTag(static_cast<std::uint16_t>(tag), model) & 0x7F;
    if (type < vtIPv4 || type > vtDWord) continue;
    TValue value;
    std::string expected;
    if (!ParseTypedValue(type, text, value, expected)) {
      error = "Section [" + section.name + "]: tag " + key + " has the value '" + text +
              "', expected " + expected;
      return false;
    }
    out.push_back({static_cast<int>(tag), std::move(value)});
  }
  return true;
}

bool SectionFitsDevice(const TCfgSection& section, const TZEL& device, std::string& error) {
  const std::string type = SectionTypeText(section.name);
  if (Lower(Trim(type)) != Lower(Trim(SlotText(device, 5)))) {
    error = "Section [" + section.name + "] is for a '" + type + "', the device is a '" +
            SlotText(device, 5) + "'";
    return false;
  }
  for (const auto& [key, text] : section.entries) {
    if (Trim(key) != "13") continue;
    if (text != std::to_string(device.ModelCode())) {
      error = "Section [" + section.name + "] holds model code " + text + ", the device reports " +
              std::to_string(device.ModelCode());
      return false;
    }
  }
  return true;
}

bool IsIdentityTag(int tag, std::uint32_t model) {
  return tag == 2 || tag == 7 || FlagsOfTag(static_cast<std::uint16_t>(tag), model) == kFlagReadOnly;
}

const char* ApplyResultWord(TApplyResult result) {
  switch (result) {
    case TApplyResult::Planned:
      return "planned";
    case TApplyResult::Unchanged:
      return "unchanged";
    case TApplyResult::Applied:
      return "applied";
    case TApplyResult::Failed:
      break;
  }
  return "failed";
}

TApplyOutcome ApplySection(const TZEL& device, const std::vector<TSectionValue>& values,
                           bool isTemplate, bool dryRun) {
  TApplyOutcome outcome;
  outcome.device = device;
  const auto fail = [&outcome](std::string error) {
    outcome.result = TApplyResult::Failed;
    outcome.error = std::move(error);
    return outcome;
  };
  if (!ReadRecord(outcome.device).answered) return fail(kDeviceNotResponding);

  const std::uint32_t model = outcome.device.ModelCode();
  TZEL edited = outcome.device;
  std::vector<int> written;
  for (const TSectionValue& v : values) {
    const auto tag = static_cast<std::uint16_t>(v.tag);
    const bool readOnly = FlagsOfTag(tag, model) == kFlagReadOnly;
    if (readOnly || (isTemplate && IsIdentityTag(v.tag, model)) ||
        !outcome.device.values.Reported(v.tag)) {
      outcome.skipped.push_back(v.tag);
      continue;
    }
    if (SameValue(outcome.device, v.tag, v.value)) continue;
    outcome.changes.push_back({v.tag, CurrentValue(outcome.device, v.tag), v.value});
    edited.values.Set(v.tag, v.value);
    written.push_back(v.tag);
  }
  if (dryRun) {
    outcome.result = TApplyResult::Planned;
    return outcome;
  }
  if (written.empty()) {
    outcome.result = TApplyResult::Unchanged;
    return outcome;
  }

  const TWriteOutcome write = WriteTags(edited, written);
  if (!write.Confirmed()) {
    return fail(std::string(kDeviceNotResponding) + " (" + std::to_string(write.acknowledged) +
                " of " + std::to_string(write.requests) + " write requests acknowledged)");
  }
  TZEL check = edited;
  if (!ReadRecord(check).answered) return fail("Device not responding to the read-back");
  outcome.device = check;
  std::vector<int> unconfirmed;
  for (const int tag : written) {
    const auto it = std::find_if(values.begin(), values.end(),
                                 [tag](const TSectionValue& v) { return v.tag == tag; });
    if (!SameValue(check, tag, it->value)) unconfirmed.push_back(tag);
  }
  if (!unconfirmed.empty())
    return fail("The device did not confirm tag" + std::string(unconfirmed.size() == 1 ? " " : "s ") +
                TagListText(unconfirmed));
  outcome.result = TApplyResult::Applied;
  return outcome;
}

std::vector<TApplyOutcome> ApplyToAll(const std::vector<TApplyJob>& jobs, int parallel,
                                      bool dryRun) {
  std::vector<TApplyOutcome> outcomes(jobs.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < jobs.size(); i = next++)
      outcomes[i] = ApplySection(jobs[i].device, jobs[i].values, jobs[i].isTemplate, dryRun);
  };
  const std::size_t workers =
      std::min(jobs.size(), static_cast<std::size_t>(std::max(parallel, 1)));
  std::vector<std::thread> threads;
  for (std::size_t i = 1; i < workers; ++i) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  return outcomes;
}

}  // namespace velkaro::ops
