// A requester on 127.0.0.1: sends a datagram and collects what comes back within a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/Socket.h"
#include "protocol/Frame.h"
#include "support/Loopback.h"

namespace velkaro::testing {

struct TGotDatagram {
  TBytes data;
  std::chrono::steady_clock::time_point at;
};

class TDatagramClient {
 public:
  explicit TDatagramClient(std::uint16_t port) : port_(port) { socket_.Bind(kLoopback, 0); }

  std::vector<TGotDatagram> Ask(const TBytes& request,
                                std::chrono::milliseconds listen = std::chrono::milliseconds(150)) {
    socket_.SendTo(request, kLoopback, port_);
    return Collect(listen);
  }

  // Whatever arrives within `listen`.
  std::vector<TGotDatagram> Collect(std::chrono::milliseconds listen) {
    using Clock = std::chrono::steady_clock;
    std::vector<TGotDatagram> out;
    TBytes buffer(65536);
    const auto end = Clock::now() + listen;
    while (Clock::now() < end) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
      if (!socket_.WaitReadable(left)) break;
      const TDatagramInfo info = socket_.ReceiveFrom(buffer);
      out.push_back(
          {TBytes(buffer.begin(), buffer.begin() + static_cast<long>(info.copied)), Clock::now()});
    }
    return out;
  }

  TUdpSocket& Socket() { return socket_; }

 private:
  TUdpSocket socket_;
  std::uint16_t port_;
};

// A request of the device protocol with no items.
inline TBytes DeviceRequest(const TDeviceAddress& to, TCommand command) {
  TSendBuf b;
  BuildHeader(to, command, b);
  return b;
}

}  // namespace velkaro::testing
