#include "platform/SocketProbe.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace velkaro {

namespace {

std::uint32_t HostOrder(const sockaddr* sa) {
  return ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
}

}  // namespace

std::optional<std::uint32_t> SourceAddressToward(std::uint32_t destination) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return std::nullopt;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(destination);
  to.sin_port = htons(9);
  std::optional<std::uint32_t> result;
  // A connected UDP socket only picks its route; nothing is sent.
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0)
      result = HostOrder(reinterpret_cast<const sockaddr*>(&local));
  }
  ::close(fd);
  return result;
}

std::vector<TProbedInterface> BroadcastInterfaces() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0)
    throw std::system_error(errno, std::generic_category(), "cannot list the network interfaces");
  std::vector<TProbedInterface> found;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    const unsigned flags = i->ifa_flags;
    if (!(flags & IFF_UP) || (flags & IFF_LOOPBACK) || !(flags & IFF_BROADCAST)) continue;
    if (!i->ifa_broadaddr || !i->ifa_netmask) continue;
    found.push_back({i->ifa_name, HostOrder(i->ifa_addr), HostOrder(i->ifa_netmask),
                     HostOrder(i->ifa_broadaddr)});
  }
  ::freeifaddrs(list);
  return found;
}

}  // namespace velkaro
