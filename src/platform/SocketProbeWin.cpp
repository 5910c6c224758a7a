// Windows implementation of protocol/SocketProbe.h: the adapters through GetAdaptersAddresses.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>
// clang-format on

#include <system_error>
#include <vector>

#include "platform/Socket.h"
#include "platform/SocketProbe.h"
#include "platform/WindowsText.h"

namespace velkaro {

namespace {

// The adapter kinds that carry a broadcast: not loopback, not tunnels, not point-to-point links.
bool CanBroadcast(const IP_ADAPTER_ADDRESSES& adapter) {
  if (adapter.OperStatus != IfOperStatusUp) return false;
  switch (adapter.IfType) {
    case IF_TYPE_SOFTWARE_LOOPBACK:
    case IF_TYPE_TUNNEL:
    case IF_TYPE_PPP:
      return false;
    default:
      return true;
  }
}

std::uint32_t PrefixMask(unsigned prefixLength) {
  return prefixLength == 0 ? 0 : prefixLength >= 32 ? 0xFFFFFFFFu : ~0u << (32 - prefixLength);
}

}  // namespace

std::optional<std::uint32_t> SourceAddressToward(std::uint32_t destination) {
  try {
    StartWinsock();
  } catch (const TSocketError&) {
    return std::nullopt;
  }
  // A connected UDP socket only picks its route; nothing is sent.
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return std::nullopt;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(destination);
  to.sin_port = htons(9);
  const BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
  std::optional<std::uint32_t> result;
  if (::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
    sockaddr_in local{};
    int len = sizeof local;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&local), &len) == 0)
      result = ntohl(local.sin_addr.s_addr);
  }
  ::closesocket(s);
  return result;
}

std::vector<TProbedInterface> BroadcastInterfaces() {
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  // The list can grow between the size query and the call; a few attempts settle it.
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    ULONG size = static_cast<ULONG>(buffer.size());
    result = ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) buffer.resize(size);
  }
  std::vector<TProbedInterface> found;
  if (result == ERROR_NO_DATA) return found;
  if (result != NO_ERROR)
    throw std::system_error(static_cast<int>(result), std::system_category(),
                            "cannot list the network interfaces: " + WindowsErrorText(result));
  for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
    if (!CanBroadcast(*a)) continue;
    // The name a Windows user sees in the network settings ("Ethernet", "Wi-Fi").
    const std::string name = a->FriendlyName ? Utf8FromWide(a->FriendlyName) : a->AdapterName;
    for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
      const sockaddr* sa = u->Address.lpSockaddr;
      if (!sa || sa->sa_family != AF_INET || u->OnLinkPrefixLength >= 32) continue;
      const std::uint32_t address =
          ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
      const std::uint32_t mask = PrefixMask(u->OnLinkPrefixLength);
      found.push_back({name, address, mask, address | ~mask});
    }
  }
  return found;
}

}  // namespace velkaro
