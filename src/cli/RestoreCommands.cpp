#include "cli/RestoreCommands.h"

#include <algorithm>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "cli/DeviceCommands.h"
#include "cli/DeviceSelector.h"
#include "operations/ConfigRestore.h"
#include "protocol/ConfigFile.h"
#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"
#include "protocol/TagNames.h"

namespace velkaro::cli {

namespace {

struct TRestoreTarget {
  TZEL device;
  const ops::TCfgSection* section = nullptr;
  std::vector<ops::TSectionValue> values;
  bool isTemplate = true;
  ops::TApplyOutcome outcome;
};

// A value as `read --json` gives it: IPv4 addresses and texts as strings, numbers as numbers.
TJson ValueJson(const TZEL& device, int tag, const TValue& value) {
  const std::uint8_t type = TypeOfTag(static_cast<std::uint16_t>(tag), device.ModelCode()) & 0x7F;
  if (const auto* text = std::get_if<std::string>(&value)) return JsonText(*text);
  const std::uint32_t number =
      std::holds_alternative<std::uint32_t>(value) ? std::get<std::uint32_t>(value) : 0;
  if (type == vtIPv4) return IpToText(number);
  return number;
}

// A value for the text plan: device and file texts as the terminal takes them, escaped.
std::string ValueText(const TZEL& device, int tag, const TValue& value) {
  if (const auto* text = std::get_if<std::string>(&value))
    return TerminalText(*text, TerminalEncoding());
  const TJson j = ValueJson(device, tag, value);
  return j.is_string() ? j.get<std::string>() : j.dump();
}

void RunAll(const TExchangeSettings& settings, std::vector<TRestoreTarget>& targets, int parallel,
            bool dryRun) {
  std::vector<ops::TApplyJob> jobs;
  for (const TRestoreTarget& t : targets) jobs.push_back({t.device, t.values, t.isTemplate});
  std::vector<ops::TApplyOutcome> outcomes = ops::ApplyToAll(settings, jobs, parallel, dryRun);
  for (std::size_t i = 0; i < targets.size(); ++i) targets[i].outcome = std::move(outcomes[i]);
}

void Report(const std::vector<TRestoreTarget>& targets, const TCliOptions& o, TCliContext& ctx) {
  if (o.json) {
    TJson list = TJson::array();
    for (const TRestoreTarget& t : targets) {
      TJson entry = TJson::object();
      entry["device"] = DeviceJson(t.outcome.device);
      TJson changes = TJson::object();
      for (const ops::TChange& c : t.outcome.changes) {
        changes[std::to_string(c.tag)] = {{"from", ValueJson(t.outcome.device, c.tag, c.from)},
                                          {"to", ValueJson(t.outcome.device, c.tag, c.to)},
                                          {"name", TagName(t.outcome.device.ModelCode(), c.tag)}};
      }
      entry["changes"] = changes;
      entry["skipped"] = t.outcome.skipped;
      entry["result"] = ops::ApplyResultWord(t.outcome.result);
      if (t.outcome.result == ops::TApplyResult::Failed) entry["error"] = t.outcome.error;
      list.push_back(entry);
    }
    PrintJson(TJson{{"devices", list}}, ctx.out);
    return;
  }
  for (const TRestoreTarget& t : targets) {
    const std::string ip = IpToText(t.device.values.AsUInt(2));
    for (const ops::TChange& c : t.outcome.changes) {
      const std::string name = TagName(t.device.ModelCode(), c.tag);
      ctx.out << ip << ' ' << c.tag << (name.empty() ? "" : " " + name) << ": "
              << ValueText(t.device, c.tag, c.from) << " -> " << ValueText(t.device, c.tag, c.to)
              << '\n';
    }
    if (t.outcome.result == ops::TApplyResult::Failed)
      ctx.out << ip << " failed: " << EscapeControl(t.outcome.error) << '\n';
  }
}

// A plain restore picks the section by the device's identity; when several listed devices
// claim that identity, which section belongs to which cannot be known.
void RefuseSharedIdentity(const TDeviceList& listed, const TZEL& device) {
  const std::string name = ConfigSectionName(device);
  std::string claimants;
  int count = 0;
  for (const TZEL& d : listed) {
    if (ConfigSectionName(d) != name) continue;
    claimants +=
        (count++ ? ", " : "") + IpToText(d.values.AsUInt(2)) + " (" + MacToText(d.MAC) + ")";
  }
  if (count > 1)
    throw TCliFailure(kExitUsage, "Devices " + claimants + " all answer as [" + name +
                                      "]; nothing was written: name the section with --section");
}

}  // namespace

int RunRestore(const TCliOptions& o, TCliContext& ctx) {
  std::vector<ops::TCfgSection> sections;
  std::string error;
  if (!ops::ReadCfgFile(o.file, sections, error)) throw TCliFailure(kExitUsage, error);
  const ops::TCfgSection* named = nullptr;
  if (!o.section.empty()) {
    named = ops::FindSection(sections, o.section);
    if (!named) throw TCliFailure(kExitUsage, "No section [" + o.section + "] in '" + o.file + "'");
  }

  int notFound = 0;
  std::vector<TRestoreTarget> targets;
  const bool restore = o.command == TCommandKind::Restore;
  for (TZEL& device : DiscoverTargets(restore ? std::vector<std::string>{o.device} : o.devices,
                                      o.model, o.rounds, restore, ctx, notFound)) {
    TRestoreTarget target;
    target.device = std::move(device);
    targets.push_back(std::move(target));
  }

  // Every device is checked against its section before the first write to any of them.
  for (TRestoreTarget& t : targets) {
    t.section = named;
    if (!t.section) {
      t.section = ops::FindSection(sections, ConfigSectionName(t.device));
      if (!t.section) {
        throw TCliFailure(kExitUsage,
                          "No section [" + ConfigSectionName(t.device) + "] in '" + o.file + "'");
      }
    }
    if (!ops::SectionFitsDevice(*t.section, t.device, error) ||
        !ops::ParseSection(*t.section, t.device.ModelCode(), t.values, error)) {
      throw TCliFailure(kExitUsage, error);
    }
    t.isTemplate =
        o.command == TCommandKind::Apply || !ops::IsOwnSection(t.section->name, t.device);
    if (!named && !t.isTemplate) RefuseSharedIdentity(ctx.session.DeviceList, t.device);
  }

  RunAll(ctx.session.settings, targets, o.command == TCommandKind::Apply ? o.parallel : 1,
         o.dryRun);
  Report(targets, o, ctx);
  const bool refused = std::any_of(targets.begin(), targets.end(),
                                   [](const TRestoreTarget& t) { return t.outcome.refused; });
  const bool failed =
      notFound > 0 || std::any_of(targets.begin(), targets.end(), [](const TRestoreTarget& t) {
        return t.outcome.result == ops::TApplyResult::Failed;
      });
  return refused ? kExitUsage : failed ? kExitFailure : kExitOk;
}

}  // namespace velkaro::cli
