// Stable names of the tags of the known models (subnet_mask, socket1_name, ...), for the command
// line and the tools built on it. A name is lower_snake_case, unique within its model, and the
// same for the same setting of different models; every secret's name ends in "_password".
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"

namespace velkaro {

struct TTagName {
  int tag = 0;
  std::string name;
};

// Every named tag of the model in ascending tag order; empty for a model this program does not
// know.
inline const std::vector<TTagName>& TagNames(std::uint32_t modelCode);
// The name of the model's tag; empty when the model or the tag is unknown.
inline std::string TagName(std::uint32_t modelCode, int tag);
// The model's tag of that name (names are matched exactly); 0 when there is none.
inline int TagOfName(std::uint32_t modelCode, std::string_view name);

// Whether the named setting is a secret (a password), to be kept out of logs and diffs.
inline bool IsSecretTagName(std::string_view name);

// The word for a wire type in listings: "ipv4", "string", "byte", "word", "dword" or "mac";
// "unknown" for any other code. The type's top bit is ignored as everywhere.
inline const char* TypeWord(std::uint8_t type);
// "read-write" or "read-only" for a descriptor's flags.
inline const char* AccessWord(std::uint8_t flags);

// The short name of a model: "zel1", "zel4", "zel8"; empty for any other code.
inline std::string ModelShortName(std::uint32_t modelCode);

// Definitions below: the tables are small, so they live with the declarations.

namespace tag_names_detail {

// `count` tags from `first`, `step` apart; '#' in the pattern becomes 1, 2, ... in turn.
struct TNameRule {
  int first;
  int count;
  int step;
  const char* pattern;
};

// Entries 1-13 of every model.
inline constexpr TNameRule kCommon[] = {
    {1, 1, 0, "subnet_mask"},  {2, 1, 0, "ip_address"},  {3, 1, 0, "gateway"},
    {4, 1, 0, "web_port"},     {5, 1, 0, "device_type"}, {6, 1, 0, "options"},
    {7, 1, 0, "name"},         {8, 1, 0, "admin_login"}, {9, 1, 0, "admin_password"},
    {10, 1, 0, "mac_address"}, {11, 1, 0, "info_text"},  {12, 1, 0, "serial_number"},
    {13, 1, 0, "model_code"},
};

inline constexpr TNameRule kZel1[] = {
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

inline constexpr TNameRule kZel4[] = {
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

inline constexpr TNameRule kZel8[] = {
    {20, 8, 2, "security_mask#"},
    {21, 8, 2, "security_mask#_flags"},
    {36, 1, 0, "restart_delay"},
    {37, 1, 0, "mail_to"},
};

// One chained device of the rack unit; its tags move by 100 per device and its names get the
// prefix "deviceN_".
inline constexpr TNameRule kZel8Device[] = {
    {39, 1, 0, "name"},          {40, 1, 0, "options"},  // bit 0 activated, bit 1 twin mode
    {41, 8, 4, "socket#_name"},  {42, 8, 4, "user#_login"}, {43, 8, 4, "user#_password"},
    {44, 8, 4, "user#_sockets"}, {81, 1, 0, "power_ups"},   {82, 8, 1, "socket#_switchings"},
};
inline constexpr int kZel8Devices = 5;

template <std::size_t N>
inline void AddRules(std::map<int, std::string>& names, const TNameRule (&rules)[N], int offset = 0,
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

inline TModelNames MakeNames(std::uint32_t modelCode) {
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

inline const TModelNames* NamesOf(std::uint32_t modelCode) {
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

}  // namespace tag_names_detail

inline const std::vector<TTagName>& TagNames(std::uint32_t modelCode) {
  static const std::vector<TTagName> none;
  const tag_names_detail::TModelNames* m = tag_names_detail::NamesOf(modelCode);
  return m ? m->byTag : none;
}

inline std::string TagName(std::uint32_t modelCode, int tag) {
  const std::vector<TTagName>& names = TagNames(modelCode);
  const auto it = std::lower_bound(names.begin(), names.end(), tag,
                                   [](const TTagName& n, int t) { return n.tag < t; });
  return it != names.end() && it->tag == tag ? it->name : std::string();
}

inline int TagOfName(std::uint32_t modelCode, std::string_view name) {
  const tag_names_detail::TModelNames* m = tag_names_detail::NamesOf(modelCode);
  if (!m) return 0;
  const auto it = m->byName.find(name);
  return it == m->byName.end() ? 0 : it->second;
}

inline bool IsSecretTagName(std::string_view name) {
  return name.ends_with("_password");
}

inline const char* TypeWord(std::uint8_t type) {
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

inline const char* AccessWord(std::uint8_t flags) {
  return flags == kFlagReadOnly ? "read-only" : "read-write";
}

inline std::string ModelShortName(std::uint32_t modelCode) {
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
