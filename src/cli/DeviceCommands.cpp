#include "cli/DeviceCommands.h"

#include <algorithm>
#include <filesystem>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "cli/DeviceSelector.h"
#include "cli/ValueAssignment.h"
#include "operations/DeviceOperations.h"
#include "platform/Utf8Path.h"
#include "protocol/ConfigFile.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "protocol/TagNames.h"

namespace velkaro::cli {

namespace {

// Discovers until the device has answered (at most --rounds exchanges) and returns its index in
// the session's DeviceList.
int FindDevice(const TCliOptions& o, const TDeviceSelector& selector, TCliContext& ctx) {
  const ops::TDiscovery discovery = ops::DiscoverDevices(
      ctx.session, o.rounds, [&] { return selector.FindIn(ctx.session.DeviceList) >= 0; });
  ReportErrors(discovery.exchange, ctx);
  std::string error;
  const int index = LocateDevice(ctx.session.DeviceList, selector, discovery.rounds, error);
  if (index < 0) throw TCliFailure(kExitFailure, error);
  return index;
}

// The device answered every read request; values it did not report are named once on stderr
// (they are printed and saved as 0, 0.0.0.0 or an empty text, and never written back).
void FailUnlessAnswered(const ops::TReadOutcome& read, const TDeviceSelector& selector,
                        TCliContext& ctx) {
  ReportErrors(read.exchange, ctx);
  if (!read.answered) throw TCliFailure(kExitFailure, kDeviceNotResponding);
  if (!read.unreported.empty()) {
    ctx.err << "Warning: device " << selector.Text() << " did not report tag"
            << (read.unreported.size() == 1 ? " " : "s ") << ops::TagListText(read.unreported)
            << " (shown as 0, 0.0.0.0 or an empty text)\n";
  }
}

// A file the save can write: not a directory, in a folder that exists.
void CheckSaveTarget(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path = Utf8Path(file);
  if (file.empty() || fs::is_directory(path, ec)) {
    throw TCliFailure(kExitUsage, "Cannot save to '" + file + "': not a file name");
  }
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) {
    throw TCliFailure(kExitUsage,
                      "Cannot save to '" + file + "': folder '" + Utf8Text(folder) + "' not found");
  }
}

}  // namespace

TDeviceSelector ParseDevice(const std::string& text) {
  TDeviceSelector selector;
  std::string error;
  if (!TDeviceSelector::Parse(text, selector, error)) throw TCliFailure(kExitUsage, error);
  return selector;
}

int LocateDevice(const TDeviceList& devices, const TDeviceSelector& selector, int rounds,
                 std::string& error) {
  const int index = selector.FindIn(devices);
  if (index < 0) {
    error = "Device " + selector.Text() + " not found (no answer in " + std::to_string(rounds) +
            " discovery round" + (rounds == 1 ? "" : "s") + ")";
    return -1;
  }
  if (const std::size_t n = selector.CountIn(devices); n > 1) {
    error = "Device " + selector.Text() + " is ambiguous: " + std::to_string(n) +
            " devices answered with it; name the device by its MAC";
    return -1;
  }
  const std::uint32_t model = devices[static_cast<std::size_t>(index)].ModelCode();
  if (FindModel(model) < 0) {
    error = "Device " + selector.Text() + " reports the model code " + ModelCodeText(model) +
            ", which this program does not know";
    return -1;
  }
  return index;
}

std::vector<TZEL> DiscoverTargets(const std::vector<std::string>& texts,
                                  const std::optional<std::uint32_t>& model, int rounds,
                                  bool missingIsFatal, TCliContext& ctx, int& notFound) {
  std::vector<TDeviceSelector> selectors;
  for (const std::string& text : texts) {
    if (std::find(texts.begin(), texts.end(), text) !=
        texts.begin() + static_cast<long>(selectors.size()))
      throw TCliFailure(kExitUsage, "Device " + text + " is named twice");
    selectors.push_back(ParseDevice(text));
  }
  const TDeviceList& listed = ctx.session.DeviceList;
  const auto allFound = [&selectors, &listed] {
    return !selectors.empty() &&
           std::all_of(selectors.begin(), selectors.end(),
                       [&listed](const TDeviceSelector& s) { return s.FindIn(listed) >= 0; });
  };
  const ops::TDiscovery discovery = ops::DiscoverDevices(ctx.session, rounds, allFound);
  ReportErrors(discovery.exchange, ctx);

  std::vector<TZEL> devices;
  if (selectors.empty()) {
    for (const TZEL& d : ctx.session.DeviceList)
      if (!model || d.ModelCode() == *model) devices.push_back(d);
    if (devices.empty()) {
      throw TCliFailure(kExitFailure,
                        (model ? "No device of model " + ModelCodeText(*model) : "No device") +
                            " answered in " + std::to_string(discovery.rounds) +
                            " discovery rounds");
    }
    return devices;
  }
  for (const TDeviceSelector& s : selectors) {
    std::string error;
    const int index = LocateDevice(ctx.session.DeviceList, s, discovery.rounds, error);
    if (index < 0) {
      if (missingIsFatal) throw TCliFailure(kExitFailure, error);
      ctx.err << EscapeControl(error) << '\n';
      ++notFound;
      continue;
    }
    const TZEL& d = ctx.session.DeviceList[static_cast<std::size_t>(index)];
    const bool twice = std::any_of(devices.begin(), devices.end(),
                                   [&d](const TZEL& e) { return e.address == d.address; });
    if (twice) throw TCliFailure(kExitUsage, "Device " + s.Text() + " is named twice");
    devices.push_back(d);
  }
  return devices;
}

int RunScan(const TCliOptions& o, TCliContext& ctx) {
  const ops::TDiscovery discovery =
      ops::DiscoverDevices(ctx.session, o.rounds, {}, ops::kLateReplyLinger);
  ReportErrors(discovery.exchange, ctx);
  if (discovery.late > 0) ctx.err << ops::LateRepliesText(discovery.late) << '\n';
  if (ctx.session.DeviceList.CapReached()) ctx.err << kDeviceCapText << '\n';
  if (o.json) {
    TJson list = TJson::array();
    for (const TZEL& r : ctx.session.DeviceList) list.push_back(DeviceJson(r));
    PrintJson(list, ctx.out);
  } else if (o.csv) {
    PrintDeviceCsv(ctx.session.DeviceList, ctx.out);
  } else {
    PrintDeviceTable(ctx.session.DeviceList, ctx.out);
  }
  if (ctx.session.DeviceList.empty()) {
    const std::string hint = ops::NoAnswerText(ctx.session.settings);
    if (!hint.empty())
      ctx.err << EscapeControl(hint) << '\n';
    else if (!o.json && !o.csv)
      ctx.err << "No device answered\n";
  }
  // The list may be incomplete when exchanges failed.
  return ctx.connectionErrors > 0 ? kExitFailure : kExitOk;
}

int RunRead(const TCliOptions& o, TCliContext& ctx) {
  const TDeviceSelector selector = ParseDevice(o.device);
  const int index = FindDevice(o, selector, ctx);
  const ops::TReadOutcome read = ops::ReadDevice(ctx.session, index);
  FailUnlessAnswered(read, selector, ctx);
  const TZEL& record = ctx.session.DeviceList[static_cast<std::size_t>(index)];
  if (o.json) {
    TJson doc = TJson::object();
    doc["device"] = DeviceJson(record);
    doc["values"] = ValuesJson(record);
    doc["unreported"] = read.unreported;
    doc["names"] = NamesJson(record);
    PrintJson(doc, ctx.out);
  } else {
    PrintValues(record, ctx.out, TerminalEncoding(), o.names);
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
  const std::uint32_t model = ctx.session.DeviceList[at].ModelCode();
  std::vector<TCheckedValue> values;
  if (!CheckAssignments(assignments, model, values, error)) throw TCliFailure(kExitUsage, error);

  const ops::TReadOutcome read = ops::ReadDevice(ctx.session, index);
  ReportErrors(read.exchange, ctx);
  if (!read.answered) throw TCliFailure(kExitFailure, kDeviceNotResponding);
  if (ctx.session.DeviceList[at].ModelCode() != model) {
    throw TCliFailure(kExitFailure, "Device " + selector.Text() +
                                        " changed its model code during the read; nothing written");
  }
  // A setting the device does not report is one its firmware may not have.
  std::vector<int> unreported;
  for (const TCheckedValue& v : values)
    if (!ctx.session.DeviceList[at].values.Reported(v.tag)) unreported.push_back(v.tag);
  if (!unreported.empty()) {
    throw TCliFailure(kExitUsage, "Device " + selector.Text() + " does not report tag" +
                                      (unreported.size() == 1 ? " " : "s ") +
                                      ops::TagListText(unreported) + "; nothing written");
  }

  TZEL edited = ctx.session.DeviceList[at];
  for (const TCheckedValue& v : values) edited.values.Set(v.tag, v.value);
  ctx.session.DeviceList.Replace(at, edited);

  // Only the settings named go out: a value changed elsewhere since the read stays as it is.
  std::vector<int> tags;
  for (const TCheckedValue& v : values) tags.push_back(v.tag);
  const ops::TWriteOutcome write = ops::WriteTags(ctx.session.settings, edited, tags);
  ReportErrors(write.exchange, ctx);
  if (write.acknowledged == 0) throw TCliFailure(kExitFailure, kDeviceNotResponding);
  if (!write.Confirmed()) {
    throw TCliFailure(kExitFailure, std::string(kDeviceNotResponding) + " (" +
                                        std::to_string(write.acknowledged) + " of " +
                                        std::to_string(write.requests) +
                                        " write requests acknowledged)");
  }

  if (o.json) {
    const TJson all = ValuesJson(ctx.session.DeviceList[at]);
    TJson written = TJson::object();
    TJson names = TJson::object();
    for (const TCheckedValue& v : values) {
      const std::string key = std::to_string(v.tag);
      written[key] = all.at(key);
      names[key] = TagName(model, v.tag);
    }
    TJson doc = TJson::object();
    doc["device"] = DeviceJson(ctx.session.DeviceList[at]);
    doc["values"] = written;
    doc["names"] = names;
    PrintJson(doc, ctx.out);
  }
  return kExitOk;
}

int RunSave(const TCliOptions& o, TCliContext& ctx) {
  CheckSaveTarget(o.file);
  const TDeviceSelector selector = ParseDevice(o.device);
  const int index = FindDevice(o, selector, ctx);
  const ops::TSaveOutcome save = ops::SaveDevice(ctx.session, index, o.file);
  FailUnlessAnswered(save.read, selector, ctx);
  if (!save.saved) throw TCliFailure(kExitFailure, save.error);
  if (o.json) {
    TJson doc = TJson::object();
    doc["device"] = DeviceJson(ctx.session.DeviceList[static_cast<std::size_t>(index)]);
    doc["file"] = Utf8JsonText(o.file);
    PrintJson(doc, ctx.out);
  }
  return kExitOk;
}

}  // namespace velkaro::cli
