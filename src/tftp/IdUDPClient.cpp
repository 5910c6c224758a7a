#include "tftp/IdUDPClient.h"

#include <stdexcept>

#include "protocol/Frame.h"
#include "tftp/IdException.h"

namespace velkaro {

void TIdUDPClient::SetPort(int port) {
  if (port < 1 || port > 65535)
    throw std::invalid_argument("Port must be 1-65535, got " + std::to_string(port));
  port_ = port;
}

void TIdUDPClient::SetReceiveTimeout(int ms) {
  if (ms < 0) throw std::invalid_argument("ReceiveTimeout must not be negative");
  receiveTimeout_ = ms;
}

std::uint32_t TIdUDPClient::HostAddress() const {
  std::uint32_t ip = 0;
  if (!ParseIpv4(host_, ip) || ip == 0)
    throw EIdException("Adresse IP invalide : \"" + host_ + "\"");
  return ip;
}

void TIdUDPClient::Send(std::span<const std::uint8_t> data) {
  if (port_ < 1) throw std::invalid_argument("Port is not set");
  SendBuffer(HostAddress(), static_cast<std::uint16_t>(port_), data);
}

}  // namespace velkaro
