#include "cli/DeviceCommands.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "cli/DeviceSelector.h"
#include "cli/ValueAssignment.h"
#include "operations/DeviceOperations.h"
#include "protocol/ConfigFile.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {

namespace {

TDeviceSelector ParseDevice(const std::string& text) {
  TDeviceSelector selector;
  std::string error;
  if (!TDeviceSelector::Parse(text, selector, error)) throw TCliFailure(kExitUsage, error);
  return selector;
}

// Discovers until the device has answered (at most --rounds exchanges) and returns its index in
// DeviceList. The device's model must be one this program knows.
int FindDevice(const TCliOptions& o, const TDeviceSelector& selector, TCliContext& ctx) {
  const ops::TDiscovery discovery =
      ops::DiscoverDevices(o.rounds, [&selector] { return selector.FindIn(DeviceList) >= 0; });
  ReportErrors(discovery.exchange, ctx);
  const int rounds = discovery.rounds;
  const int index = selector.FindIn(DeviceList);
  if (index < 0) {
    throw TCliFailure(kExitFailure, "Device " + selector.Text() + " not found (no answer in " +
                                        std::to_string(rounds) + " discovery round" +
                                        (rounds == 1 ? "" : "s") + ")");
  }
  if (const std::size_t n = selector.CountIn(DeviceList); n > 1) {
    throw TCliFailure(kExitFailure, "Device " + selector.Text() +
                                        " is ambiguous: " + std::to_string(n) +
                                        " devices answered with it; name the device by its MAC");
  }
  const std::uint32_t model = DeviceList[static_cast<std::size_t>(index)].ModelCode();
  if (FindModel(model) < 0) {
    throw TCliFailure(kExitFailure, "Device " + selector.Text() + " reports the model code " +
                                        ModelCodeText(model) +
                                        ", which this program does not know");
  }
  return index;
}

// Tags that WriteAll sends for this record's model.
std::vector<int> WrittenTags(std::uint32_t model) {
  std::vector<int> tags;
  const int last = MaxTag(model);
  for (int tag = 1; tag <= last; ++tag) {
    const auto t = static_cast<std::uint16_t>(tag);
    const std::uint8_t type = TypeOfTag(t, model) & 0x7F;
    if (FlagsOfTag(t, model) != kFlagReadOnly && type >= vtIPv4 && type <= vtDWord) {
      tags.push_back(tag);
    }
  }
  return tags;
}

// A complete read: the device answered and reported every value to be printed or saved.
void FailUnlessComplete(const ops::TReadOutcome& read, const TDeviceSelector& selector,
                        const std::string& outcome, TCliContext& ctx) {
  ReportErrors(read.exchange, ctx);
  if (!read.answered) throw TCliFailure(kExitFailure, kDeviceNotResponding);
  if (!read.unreported.empty()) {
    throw TCliFailure(kExitFailure, "Device " + selector.Text() + " did not report tag" +
                                        (read.unreported.size() == 1 ? " " : "s ") +
                                        ops::TagListText(read.unreported) + "; " + outcome);
  }
}

// A file the save can write: not a directory, in a folder that exists.
void CheckSaveTarget(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path(file);
  if (file.empty() || fs::is_directory(path, ec)) {
    throw TCliFailure(kExitUsage, "Cannot save to '" + file + "': not a file name");
  }
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) {
    throw TCliFailure(kExitUsage,
                      "Cannot save to '" + file + "': folder '" + folder.string() + "' not found");
  }
}

}  // namespace

int RunScan(const TCliOptions& o, TCliContext& ctx) {
  ReportErrors(ops::DiscoverDevices(o.rounds).exchange, ctx);
  if (o.json) {
    TJson list = TJson::array();
    for (const TZEL& r : DeviceList) list.push_back(DeviceJson(r));
    PrintJson(list, ctx.out);
  } else {
    PrintDeviceTable(DeviceList, ctx.out);
    if (DeviceList.empty()) ctx.err << "No device answered\n";
  }
  // The list may be incomplete when exchanges failed.
  return ctx.connectionErrors > 0 ? kExitFailure : kExitOk;
}

int RunRead(const TCliOptions& o, TCliContext& ctx) {
  const TDeviceSelector selector = ParseDevice(o.device);
  const int index = FindDevice(o, selector, ctx);
  FailUnlessComplete(ops::ReadDevice(index), selector, "nothing printed", ctx);
  const TZEL& record = DeviceList[static_cast<std::size_t>(index)];
  if (o.json) {
    TJson doc = TJson::object();
    doc["device"] = DeviceJson(record);
    doc["values"] = ValuesJson(record);
    PrintJson(doc, ctx.out);
  } else {
    PrintValues(record, ctx.out);
  }
  return kExitOk;
}

int RunSet(const TCliOptions& o, TCliContext& ctx) {
  std::vector<TAssignment> assignments;
  std::string error;
  // Everything that can be checked without the device's model is checked before sending.
  if (!ParseAssignments(o.assignments, assignments, error) ||
      !CheckAssignmentsForAnyModel(assignments, error)) {
    throw TCliFailure(kExitUsage, error);
  }
  const TDeviceSelector selector = ParseDevice(o.device);
  const int index = FindDevice(o, selector, ctx);
  const auto at = static_cast<std::size_t>(index);
  const std::uint32_t model = DeviceList[at].ModelCode();
  std::vector<TCheckedValue> values;
  if (!CheckAssignments(assignments, model, values, error)) throw TCliFailure(kExitUsage, error);

  const ops::TReadOutcome read = ops::ReadDevice(index);
  ReportErrors(read.exchange, ctx);
  if (!read.answered) throw TCliFailure(kExitFailure, kDeviceNotResponding);
  if (DeviceList[at].ModelCode() != model) {
    throw TCliFailure(kExitFailure, "Device " + selector.Text() +
                                        " changed its model code during the read; nothing written");
  }
  // WriteAll sends every writable tag: one the device did not report would be overwritten with
  // 0 or an empty text.
  std::set<int> assigned;
  for (const TCheckedValue& v : values) assigned.insert(v.tag);
  std::vector<int> missing;
  for (const int tag : WrittenTags(model)) {
    if (!DeviceList[at].values.Has(tag) && !assigned.contains(tag)) missing.push_back(tag);
  }
  if (!missing.empty()) {
    throw TCliFailure(kExitFailure, "Device " + selector.Text() + " did not report tag" +
                                        (missing.size() == 1 ? " " : "s ") +
                                        ops::TagListText(missing) + "; nothing written");
  }

  TZEL edited = DeviceList[at];
  for (const TCheckedValue& v : values) edited.values.Set(v.tag, v.value);
  DeviceList.Replace(at, edited);

  const ops::TWriteOutcome write = ops::WriteDevice(index, ops::TWriteScope::All);
  ReportErrors(write.exchange, ctx);
  if (write.acknowledged == 0) throw TCliFailure(kExitFailure, kDeviceNotResponding);
  if (!write.Confirmed()) {
    throw TCliFailure(kExitFailure, std::string(kDeviceNotResponding) + " (" +
                                        std::to_string(write.acknowledged) + " of " +
                                        std::to_string(write.requests) +
                                        " write requests acknowledged)");
  }

  if (o.json) {
    const TJson all = ValuesJson(DeviceList[at]);
    TJson written = TJson::object();
    for (const TCheckedValue& v : values) {
      const std::string key = std::to_string(v.tag);
      written[key] = all.at(key);
    }
    TJson doc = TJson::object();
    doc["device"] = DeviceJson(DeviceList[at]);
    doc["values"] = written;
    PrintJson(doc, ctx.out);
  }
  return kExitOk;
}

int RunSave(const TCliOptions& o, TCliContext& ctx) {
  CheckSaveTarget(o.file);
  const TDeviceSelector selector = ParseDevice(o.device);
  const int index = FindDevice(o, selector, ctx);
  const ops::TSaveOutcome save = ops::SaveDevice(index, o.file);
  FailUnlessComplete(save.read, selector, "nothing saved", ctx);
  if (!save.saved) throw TCliFailure(kExitFailure, save.error);
  if (o.json) {
    TJson doc = TJson::object();
    doc["device"] = DeviceJson(DeviceList[static_cast<std::size_t>(index)]);
    doc["file"] = JsonText(o.file);
    PrintJson(doc, ctx.out);
  }
  return kExitOk;
}

}  // namespace velkaro::cli
