// The interface choice; the enumeration itself is SocketProbe's, per platform.
#include "protocol/NetInterfaces.h"

#include <algorithm>
#include <system_error>

#include "platform/SocketProbe.h"
#include "protocol/Frame.h"

namespace velkaro {

namespace {

bool Named(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string JoinInterfaces(const std::vector<TNetInterface>& interfaces, bool withAddress) {
  if (interfaces.empty()) return "none";
  std::string text;
  for (const TNetInterface& i : interfaces) {
    if (!text.empty()) text += ", ";
    text += i.link.name;
    if (withAddress) text += " (" + IpToText(i.link.localAddress) + ")";
  }
  return text;
}

}  // namespace

std::vector<TNetInterface> UsableInterfaces() {
  std::vector<TNetInterface> found;
  std::vector<TProbedInterface> probed;
  try {
    probed = BroadcastInterfaces();
  } catch (const std::system_error&) {
    return found;
  }
  for (const TProbedInterface& p : probed) {
    const bool listed = std::any_of(found.begin(), found.end(),
                                    [&p](const TNetInterface& i) { return i.link.name == p.name; });
    if (!listed) found.push_back({{p.name, p.address}, p.broadcast});
  }
  return found;
}

std::vector<TNetInterface> ChooseInterfaces(const std::vector<TNetInterface>& all,
                                            const std::vector<std::string>& names) {
  if (names.empty()) return all;
  std::vector<TNetInterface> chosen;
  for (const TNetInterface& i : all)
    if (Named(names, i.link.name)) chosen.push_back(i);
  return chosen;
}

std::vector<std::string> UnknownInterfaces(const std::vector<TNetInterface>& all,
                                           const std::vector<std::string>& names) {
  std::vector<std::string> unknown;
  for (const std::string& name : names) {
    const bool known = std::any_of(all.begin(), all.end(),
                                   [&name](const TNetInterface& i) { return i.link.name == name; });
    if (!known && !Named(unknown, name)) unknown.push_back(name);
  }
  return unknown;
}

std::string InterfaceNamesText(const std::vector<TNetInterface>& interfaces) {
  return JoinInterfaces(interfaces, false);
}

std::string InterfacesText(const std::vector<TNetInterface>& interfaces) {
  return JoinInterfaces(interfaces, true);
}

}  // namespace velkaro
