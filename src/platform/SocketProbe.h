// What the system tells about its own addresses, for diagnostics: the local address a datagram
// to a destination leaves from, and the IPv4 interfaces that can broadcast. Sits beside Socket.h
// as the other file pair that talks to the socket API.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkaro {

// The local address the routing table picks toward `destination`; nothing when there is no
// route (sends nothing).
std::optional<std::uint32_t> SourceAddressToward(std::uint32_t destination);

struct TProbedInterface {
  std::string name;
  std::uint32_t address = 0;
  std::uint32_t netmask = 0;
  std::uint32_t broadcast = 0;
};

// IPv4 interfaces that are up, not loopback and have a broadcast address, in the system's order;
// an interface with several addresses comes once per address.
// Throws std::system_error when the system cannot list them.
std::vector<TProbedInterface> BroadcastInterfaces();

}  // namespace velkaro
