// Interface enumeration through getifaddrs.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

#include "protocol/NetInterfaces.h"

namespace velkaro {

std::vector<TNetInterface> UsableInterfaces() {
  std::vector<TNetInterface> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || a->ifa_name == nullptr)
      continue;
    const unsigned flags = a->ifa_flags;
    if (!(flags & IFF_UP) || !(flags & IFF_BROADCAST) || (flags & IFF_LOOPBACK)) continue;
    if (a->ifa_broadaddr == nullptr || a->ifa_broadaddr->sa_family != AF_INET) continue;
    const std::string name = a->ifa_name;
    if (std::any_of(found.begin(), found.end(),
                    [&name](const TNetInterface& i) { return i.link.name == name; }))
      continue;
    const auto* own = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    const auto* broadcast = reinterpret_cast<const sockaddr_in*>(a->ifa_broadaddr);
    found.push_back({{name, ntohl(own->sin_addr.s_addr)}, ntohl(broadcast->sin_addr.s_addr)});
  }
  ::freeifaddrs(list);
  return found;
}

}  // namespace velkaro
