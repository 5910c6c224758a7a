#include "protocol/TagNames.h"

#include <algorithm>
#include <map>

#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"

namespace velkaro {

namespace {

// `count` tags from `first`, `step` apart; '#' in the pattern becomes 1, 2, ... in turn.
struct TNameRule {
  int first;
  int count;
  int step;
  const char* pattern;
};

// Entries 1-13 of every model.
constexpr TNameRule kCommon[] = {
    {1, 1, 0, "subnet_mask"},  {2, 1, 0, "ip_address"},  {3, 1, 0, "gateway"},
    {4, 1, 0, "web_port"},     {5, 1, 0, "device_type"}, {6, 1, 0, "options"},
    {7, 1, 0, "name"},         {8, 1, 0, "admin_login"}, {9, 1, 0, "admin_password"},
    {10, 1, 0, "mac_address"}, {11, 1, 0, "info_text"},  {12, 1, 0, "serial_number"},
    {13, 1, 0, "model_code"},
};

constexpr TNameRule kZel1[] = {
    // Supervision page; offset 5 is the delay of the first request, 6 that of the reboot.
    {20, 1, 7, "supervision#_ip_address"},
    {21, 1, 7, "supervision#_method"},
    {22, 1, 7, "supervision#_port"},
    {23, 1, 7, "supervision#_interval"},
    {24, 1, 7, "supervision#_failures_before_reboot"},
    {25, 1, 7, "supervision#_first_request_delay"},
    {26, 1, 7, "supervision#_reboot_delay"},
    {30, 4, 2, "security_mask#"},
    {31, 4, 2, "security_mask#_flags"},
    {40, 1, 0, "socket1_name"},
    {41, 1, 0, "user1_login"},
    {42, 1, 0, "user1_password"},
    {50, 1, 0, "socket1_restart_delay"},
    {70, 1, 0, "power_up_state"},  // one state: 0 last, 1 on, 2 off
    {71, 1, 0, "power_ups"},
    {72, 1, 0, "socket1_switchings"},
};

constexpr TNameRule kZel4[] = {
    {20, 4, 2, "security_mask#"},
    {21, 4, 2, "security_mask#_flags"},
    {28, 4, 7, "supervision#_ip_address"},
    {29, 4, 7, "supervision#_method"},
    {30, 4, 7, "supervision#_port"},
    {31, 4, 7, "supervision#_interval"},
    {32, 4, 7, "supervision#_failures_before_reboot"},
    {33, 4, 7, "supervision#_first_request_delay"},
    {34, 4, 7, "supervision#_reboot_delay"},
    {56, 4, 4, "socket#_name"},
    {57, 4, 4, "user#_login"},
    {58, 4, 4, "user#_password"},
    {59, 4, 4, "user#_sockets"},
    {72, 4, 1, "socket#_restart_delay"},
    {80, 1, 0, "power_up_states"},  // two bits per socket
    {81, 1, 0, "power_ups"},
    {82, 4, 1, "socket#_switchings"},
};

constexpr TNameRule kZel8[] = {
    {20, 8, 2, "security_mask#"},
    {21, 8, 2, "security_mask#_flags"},
    {36, 1, 0, "restart_delay"},
    {37, 1, 0, "mail_to"},
};

// One chained device of the rack unit; its tags move by 100 per device and its names get the
// prefix "deviceN_".
constexpr TNameRule kZel8Device[] = {
    {39, 1, 0, "name"},          {40, 1, 0, "options"},  // bit 0 activated, bit 1 twin mode
    {41, 8, 4, "socket#_name"},  {42, 8, 4, "user#_login"}, {43, 8, 4, "user#_password"},
    {44, 8, 4, "user#_sockets"}, {81, 1, 0, "power_ups"},   {82, 8, 1, "socket#_switchings"},
};
constexpr int kZel8Devices = 5;

template <std::size_t N>
void AddRules(std::map<int, std::string>& names, const TNameRule (&rules)[N], int offset = 0,
              const std::string& prefix = {}) {
  for (const TNameRule& r : rules) {
    for (int i = 0; i < r.count; ++i) {
      std::string name = prefix + r.pattern;
      if (const auto at = name.find('#'); at != std::string::npos)
        name.replace(at, 1, std::to_string(i + 1));
      names.emplace(offset + r.first + i * r.step, std::move(name));
    }
  }
}

struct TModelNames {
  std::vector<TTagName> byTag;  // ascending
  std::map<std::string, int, std::less<>> byName;
};

TModelNames MakeNames(std::uint32_t modelCode) {
  std::map<int, std::string> names;
  AddRules(names, kCommon);
  if (modelCode == kModelZel1) AddRules(names, kZel1);
  if (modelCode == kModelZel4) AddRules(names, kZel4);
  if (modelCode == kModelZel8) {
    AddRules(names, kZel8);
    for (int d = 0; d < kZel8Devices; ++d)
      AddRules(names, kZel8Device, 100 * d, "device" + std::to_string(d + 1) + "_");
  }
  TModelNames m;
  for (auto& [tag, name] : names) {
    m.byName.emplace(name, tag);
    m.byTag.push_back({tag, std::move(name)});
  }
  return m;
}

const TModelNames* NamesOf(std::uint32_t modelCode) {
  static const TModelNames zel1 = MakeNames(kModelZel1);
  static const TModelNames zel4 = MakeNames(kModelZel4);
  static const TModelNames zel8 = MakeNames(kModelZel8);
  switch (modelCode) {
    case kModelZel1:
      return &zel1;
    case kModelZel4:
      return &zel4;
    case kModelZel8:
      return &zel8;
    default:
      return nullptr;
  }
}

}  // namespace

const std::vector<TTagName>& TagNames(std::uint32_t modelCode) {
  static const std::vector<TTagName> none;
  const TModelNames* m = NamesOf(modelCode);
  return m ? m->byTag : none;
}

std::string TagName(std::uint32_t modelCode, int tag) {
  const std::vector<TTagName>& names = TagNames(modelCode);
  const auto it = std::lower_bound(names.begin(), names.end(), tag,
                                   [](const TTagName& n, int t) { return n.tag < t; });
  return it != names.end() && it->tag == tag ? it->name : std::string();
}

int TagOfName(std::uint32_t modelCode, std::string_view name) {
  const TModelNames* m = NamesOf(modelCode);
  if (!m) return 0;
  const auto it = m->byName.find(name);
  return it == m->byName.end() ? 0 : it->second;
}

bool IsSecretTagName(std::string_view name) {
  return name.ends_with("_password");
}

const char* TypeWord(std::uint8_t type) {
  switch (type & 0x7F) {
    case vtIPv4:
      return "ipv4";
    case vtString:
      return "string";
    case vtByte:
      return "byte";
    case vtWord:
      return "word";
    case vtDWord:
      return "dword";
    case vtMac:
      return "mac";
    default:
      return "unknown";
  }
}

const char* AccessWord(std::uint8_t flags) {
  return flags == kFlagReadOnly ? "read-only" : "read-write";
}

std::string ModelShortName(std::uint32_t modelCode) {
  switch (modelCode) {
    case kModelZel1:
      return "zel1";
    case kModelZel4:
      return "zel4";
    case kModelZel8:
      return "zel8";
    default:
      return {};
  }
}

}  // namespace velkaro
