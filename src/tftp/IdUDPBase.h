// One UDP socket with the component's progress events. The socket opens on activation or on the
// first send and closes on deactivation.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/Socket.h"
#include "tftp/IdComponent.h"

namespace velkaro {

// Stands in for the socket: lets tests and fuzz targets script the peer without a network.
class TDatagramTransport {
 public:
  virtual ~TDatagramTransport() = default;
  virtual void Send(std::uint32_t address, std::uint16_t port,
                    std::span<const std::uint8_t> data) = 0;
  // As TIdUDPBase::ReceiveBuffer.
  virtual std::optional<TDatagramInfo> Receive(std::span<std::uint8_t> buffer,
                                               std::chrono::milliseconds timeout) = 0;
};

class TIdUDPBase : public TIdComponent {
 public:
  static constexpr int kDefaultBufferSize = 8192;

  TIdUDPBase() = default;
  ~TIdUDPBase() override = default;

  bool Active() const { return socket_.has_value(); }
  void SetActive(bool active);  // throws EIdSocketError when the socket cannot be created

  // Receive buffer size in bytes (at least 1).
  int BufferSize() const { return bufferSize_; }
  void SetBufferSize(int bytes);

  // Datagrams go through `transport` (not owned) instead of a socket; nullptr restores the socket.
  void SetTransport(TDatagramTransport* transport) { transport_ = transport; }

  // The local address the next socket is bound to (0: any, the system's choice), so that the
  // datagrams leave through one interface. Takes effect with the next socket.
  void SetLocalAddress(std::uint32_t address) { localAddress_ = address; }
  std::uint32_t LocalAddress() const { return localAddress_; }

  bool BroadcastEnabled() const { return broadcastEnabled_; }
  void SetBroadcastEnabled(bool enabled);

  // Sends one datagram, opening the socket first when it is closed.
  void SendBuffer(std::uint32_t address, std::uint16_t port, std::span<const std::uint8_t> data);
  // Waits at most `timeout` for a datagram and copies it into `buffer`. Returns nothing when the
  // time ran out; `size` of the result may exceed `buffer` for a datagram that did not fit.
  std::optional<TDatagramInfo> ReceiveBuffer(std::span<std::uint8_t> buffer,
                                             std::chrono::milliseconds timeout);

 private:
  TUdpSocket& Binding();

  std::optional<TUdpSocket> socket_;
  TDatagramTransport* transport_ = nullptr;
  int bufferSize_ = kDefaultBufferSize;
  bool broadcastEnabled_ = false;
  std::uint32_t localAddress_ = 0;
};

}  // namespace velkaro
