// The machine's IPv4 interfaces that a discovery can go out on, and the choice among them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkaro {

// One interface as a request goes out on it and its replies come back: the name and the
// interface's own IPv4 address (host order). Empty when the request went to an explicit target.
struct TNetLink {
  std::string name;
  std::uint32_t localAddress = 0;
  bool Empty() const { return name.empty(); }
  bool operator==(const TNetLink&) const = default;
};

struct TNetInterface {
  TNetLink link;
  std::uint32_t broadcast = 0;  // the interface's directed broadcast address
};

// Every IPv4 interface that is up, has a broadcast address and is not loopback, in the system's
// order; an interface with several addresses is listed once, with its first. Never throws: a
// failed enumeration gives an empty list.
std::vector<TNetInterface> UsableInterfaces();

// The interfaces of `all` named in `names`, in the order of `all`; every interface when `names`
// is empty.
std::vector<TNetInterface> ChooseInterfaces(const std::vector<TNetInterface>& all,
                                            const std::vector<std::string>& names);
// The names of `names` that `all` does not hold, in the order given.
std::vector<std::string> UnknownInterfaces(const std::vector<TNetInterface>& all,
                                           const std::vector<std::string>& names);
// "eth0, wlan0" for messages; "none" for an empty list.
std::string InterfaceNamesText(const std::vector<TNetInterface>& interfaces);
// "eth0 (192.168.1.5), wlan0 (10.0.0.7)" for messages; "none" for an empty list.
std::string InterfacesText(const std::vector<TNetInterface>& interfaces);

}  // namespace velkaro
