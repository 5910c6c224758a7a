#include "operations/ConfigRestore.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <thread>

#include "operations/ValueText.h"
#include "platform/Utf8Path.h"
#include "protocol/ConfigFile.h"
#include "protocol/ModelRegistry.h"

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
  // Asked before opening: opening a FIFO would wait for a writer, a directory cannot be read.
  std::error_code ec;
  const auto status = std::filesystem::status(Utf8Path(fileName), ec);
  if (ec || !std::filesystem::exists(status)) {
    error = "Cannot read '" + fileName + "': no such file";
    return false;
  }
  if (!std::filesystem::is_regular_file(status)) {
    error = "Cannot read '" + fileName + "': " +
            (std::filesystem::is_directory(status) ? "it is a folder" : "it is no regular file");
    return false;
  }
  std::ifstream in(Utf8Path(fileName), std::ios::binary);
  if (!in) {
    error = "Cannot read '" + fileName + "'";
    return false;
  }
  std::string content(kMaxCfgFileSize + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad()) {
    error = "Cannot read '" + fileName + "'";
    return false;
  }
  content.resize(static_cast<std::size_t>(in.gcount()));
  if (content.size() > kMaxCfgFileSize) {
    error = "'" + fileName + "' is larger than " + std::to_string(kMaxCfgFileSize >> 20) +
            " MiB: no saved configuration is that large";
    return false;
  }
  ParseCfgText(std::move(content), out);
  return true;
}

void ParseCfgText(std::string content, std::vector<TCfgSection>& out) {
  // A byte-order mark belongs to the file, not to its first line.
  if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);
  out.clear();
  std::size_t pos = 0;
  int lineNumber = 0;
  while (pos < content.size()) {
    std::size_t eol = content.find('\n', pos);
    if (eol == std::string::npos) eol = content.size();
    std::string_view line(content.data() + pos, eol - pos);
    pos = eol + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string trimmed = Trim(std::string(line));
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      out.push_back({Trim(trimmed.substr(1, trimmed.size() - 2)), {}, {}, false});
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || out.empty()) continue;  // not an entry of a section
    TCfgSection& section = out.back();
    if (section.entries.size() >= kMaxCfgSectionEntries) {
      section.overfull = true;
      continue;
    }
    section.entries.emplace_back(Trim(std::string(line.substr(0, eq))),
                                 std::string(line.substr(eq + 1)));
    section.lines.push_back(lineNumber);
  }
}

const TCfgSection* FindSection(const std::vector<TCfgSection>& sections, std::string name) {
  const auto find = [&sections](const std::string& wanted) -> const TCfgSection* {
    const std::string lower = Lower(wanted);
    for (const TCfgSection& s : sections)
      if (Lower(s.name) == lower) return &s;
    return nullptr;
  };
  name = Trim(name);
  if (const TCfgSection* exact = find(name)) return exact;
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    return find(Trim(name.substr(1, name.size() - 2)));
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
  if (section.overfull) {
    error = "Section [" + section.name + "] has more than " +
            std::to_string(kMaxCfgSectionEntries) + " entries: it is no saved configuration";
    return false;
  }
  const auto lineOf = [&section](std::size_t i) {
    return i < section.lines.size() ? " (line " + std::to_string(section.lines[i]) + ")"
                                    : std::string();
  };
  std::vector<std::size_t> firstEntry(1000, section.entries.size());
  for (std::size_t i = 0; i < section.entries.size(); ++i) {
    const auto& [key, text] = section.entries[i];
    std::uint64_t tag = 0;
    if (!ParseDecimal(key, 999, tag) || tag < 1 ||
        !HasTag(static_cast<std::uint16_t>(tag), model)) {
      error = "Section [" + section.name + "]: '" + key + "' is not a tag of this device's model";
      return false;
    }
    if (firstEntry[tag] != section.entries.size()) {
      // Which of two values was meant cannot be known: nothing is written.
      error = "Section [" + section.name + "]: tag " + std::to_string(tag) + " is given twice" +
              lineOf(firstEntry[tag]) + " and again" + lineOf(i);
      return false;
    }
    firstEntry[tag] = i;
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
  return tag == 2 || tag == 7 ||
         FlagsOfTag(static_cast<std::uint16_t>(tag), model) == kFlagReadOnly;
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

TApplyOutcome ApplySection(const TExchangeSettings& settings, const TZEL& device,
                           const std::vector<TSectionValue>& values, bool isTemplate, bool dryRun) {
  TApplyOutcome outcome;
  outcome.device = device;
  const auto fail = [&outcome](std::string error) {
    outcome.result = TApplyResult::Failed;
    outcome.error = std::move(error);
    return outcome;
  };
  if (!ReadAll(settings, outcome.device).answered) return fail(kDeviceNotResponding);
  // The values were checked and encoded for the model the discovery reported; a device whose
  // own read reply says otherwise would get them encoded for the wrong model.
  const auto refuse = [&fail, &outcome](std::string error) {
    fail(std::move(error) + "; nothing was written");
    outcome.refused = true;
    return outcome;
  };
  if (outcome.device.ModelCode() != device.ModelCode())
    return refuse("The device's read reply reports model code " +
                  std::to_string(outcome.device.ModelCode()) + ", its discovery " +
                  std::to_string(device.ModelCode()));
  if (SlotText(outcome.device, 5) != SlotText(device, 5))
    return refuse("The device's read reply reports the type '" + SlotText(outcome.device, 5) +
                  "', its discovery '" + SlotText(device, 5) + "'");
  if (!isTemplate && ConfigSectionName(outcome.device) != ConfigSectionName(device))
    return refuse("The device's read reply names it [" + ConfigSectionName(outcome.device) +
                  "], its discovery [" + ConfigSectionName(device) + "]");

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

  const TWriteOutcome write = WriteTags(settings, edited, written);
  if (!write.Confirmed()) {
    return fail(std::string(kDeviceNotResponding) + " (" + std::to_string(write.acknowledged) +
                " of " + std::to_string(write.requests) + " write requests acknowledged)");
  }
  TZEL check = edited;
  if (!ReadAll(settings, check).answered) return fail("Device not responding to the read-back");
  outcome.device = check;
  std::vector<int> unconfirmed;
  for (const int tag : written) {
    const auto it = std::find_if(values.begin(), values.end(),
                                 [tag](const TSectionValue& v) { return v.tag == tag; });
    if (!SameValue(check, tag, it->value)) unconfirmed.push_back(tag);
  }
  if (!unconfirmed.empty())
    return fail("The device did not confirm tag" +
                std::string(unconfirmed.size() == 1 ? " " : "s ") + TagListText(unconfirmed));
  outcome.result = TApplyResult::Applied;
  return outcome;
}

std::vector<TApplyOutcome> ApplyToAll(const TExchangeSettings& settings,
                                      const std::vector<TApplyJob>& jobs, int parallel,
                                      bool dryRun) {
  std::vector<TApplyOutcome> outcomes(jobs.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < jobs.size(); i = next++)
      outcomes[i] =
          ApplySection(settings, jobs[i].device, jobs[i].values, jobs[i].isTemplate, dryRun);
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
