// A device-protocol relay on 127.0.0.1 between a program and the simulator: requests pass
// unchanged, and each reply goes through a rule that may change it, delay it or drop it (a
// proxy that forges a field, a slow device, a lost datagram). One client at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "protocol/Frame.h"
#include "support/Loopback.h"

namespace velkaro::testing {

struct TProxyReply {
  TBytes data;
  TCommand request;    // the command of the request it answers (the latest one sent)
  std::size_t number;  // replies to that command so far, from 0
};
struct TProxyAction {
  bool drop = false;
  std::chrono::milliseconds delay{0};
};
using TProxyRule = std::function<TProxyAction(TProxyReply& reply)>;

// Overwrites the value of every item `tag` of a frame with `value` of the same length.
inline void RewriteItem(TBytes& frame, std::uint16_t tag, const TBytes& value) {
  std::size_t pos = kHeaderSize;
  while (pos + 3 <= frame.size()) {
    const std::uint16_t t = static_cast<std::uint16_t>((frame[pos] << 8) | frame[pos + 1]);
    if (t == kListEnd) return;
    const std::size_t length = frame[pos + 2];
    if (pos + 3 + length > frame.size()) return;
    if (t == tag && length == value.size())
      std::copy(value.begin(), value.end(), frame.begin() + static_cast<long>(pos + 3));
    pos += 3 + length;
  }
}

class TUdpProxy {
 public:
  TUdpProxy(std::uint16_t simulatorPort, TProxyRule rule)
      : simulatorPort_(simulatorPort), rule_(std::move(rule)) {
    front_.Bind(kLoopback, 0);
    back_.Bind(kLoopback, 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~TUdpProxy() {
    stop_ = true;
    thread_.join();
  }
  TUdpProxy(const TUdpProxy&) = delete;
  TUdpProxy& operator=(const TUdpProxy&) = delete;

  std::uint16_t Port() const { return front_.LocalPort(); }
  std::string Target() const { return std::string(kLoopbackText) + ":" + std::to_string(Port()); }
  std::size_t Dropped() const { return dropped_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct TDue {
    Clock::time_point at;
    TBytes data;
  };

  void Run() {
    TBytes buffer(65536);
    TUdpSocket* sockets[] = {&front_, &back_};
    std::uint32_t client = 0;
    std::uint16_t clientPort = 0;
    TCommand command = TCommand::Discover;
    std::size_t number = 0;
    // Bounded: a test that forgets its proxy still ends within a minute.
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (!stop_ && Clock::now() < end) {
      for (auto it = due_.begin(); it != due_.end();) {
        if (it->at > Clock::now()) {
          ++it;
          continue;
        }
        front_.SendTo(it->data, client, clientPort);
        it = due_.erase(it);
      }
      const int ready = TUdpSocket::WaitAnyReadable(sockets, std::chrono::milliseconds(5));
      if (ready < 0) continue;
      const TDatagramInfo info = sockets[ready]->ReceiveFrom(buffer);
      TBytes data(buffer.begin(), buffer.begin() + static_cast<long>(info.copied));
      if (ready == 0) {
        client = info.address;
        clientPort = info.port;
        if (data.size() > kCommandOffset) {
          const auto sent = static_cast<TCommand>(data[kCommandOffset]);
          if (sent != command) number = 0;
          command = sent;
        }
        back_.SendTo(data, kLoopback, simulatorPort_);
        continue;
      }
      TProxyReply reply{std::move(data), command, number++};
      const TProxyAction action = rule_(reply);
      if (action.drop) {
        ++dropped_;
        continue;
      }
      due_.push_back({Clock::now() + action.delay, std::move(reply.data)});
    }
  }

  std::uint16_t simulatorPort_;
  TProxyRule rule_;
  TUdpSocket front_;
  TUdpSocket back_;
  std::vector<TDue> due_;  // proxy thread only
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> dropped_{0};
  std::thread thread_;
};

}  // namespace velkaro::testing
