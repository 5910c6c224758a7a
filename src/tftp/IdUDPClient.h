// UDP client: a UDP socket bound to one server given by Host and Port, with a receive time-out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "tftp/IdUDPBase.h"

namespace velkaro {

class TIdUDPClient : public TIdUDPBase {
 public:
  static constexpr int kDefaultReceiveTimeout = 4000;

  // Dotted IPv4 text.
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& host) { host_ = host; }

  // 1-65535 (throws std::invalid_argument otherwise).
  int Port() const { return port_; }
  void SetPort(int port);

  // Milliseconds to wait for each datagram; 0 or more (throws std::invalid_argument otherwise).
  int ReceiveTimeout() const { return receiveTimeout_; }
  void SetReceiveTimeout(int ms);

  // Host as a number; throws EIdException when it is not a dotted IPv4 address.
  std::uint32_t HostAddress() const;

  // Sends to Host:Port.
  void Send(std::span<const std::uint8_t> data);
  // One datagram from anyone within ReceiveTimeout, or nothing.
  std::optional<TDatagramInfo> ReceiveBuffer(std::span<std::uint8_t> buffer) {
    return TIdUDPBase::ReceiveBuffer(buffer, std::chrono::milliseconds(receiveTimeout_));
  }
  using TIdUDPBase::ReceiveBuffer;

 private:
  std::string host_;
  int port_ = 0;
  int receiveTimeout_ = kDefaultReceiveTimeout;
};

}  // namespace velkaro
