// Helpers of the TFTP client tests: test images, an event recorder and a scripted peer that
// answers a write request with datagrams chosen by the test.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "protocol/Frame.h"
#include "support/Loopback.h"
#include "tftp/IdTrivialFTP.h"

namespace velkaro::testing {

// Deterministic bytes that differ from block to block, so a reordered or repeated block shows.
inline TBytes Pattern(std::size_t size, std::uint32_t seed = 1) {
  TBytes out(size);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return out;
}

inline std::istringstream AsStream(const TBytes& bytes) {
  return std::istringstream(std::string(bytes.begin(), bytes.end()), std::ios::binary);
}

struct TWorkLog {
  std::vector<std::int64_t> begins;  // AWorkCountMax of every OnWorkBegin
  std::vector<std::int64_t> works;   // AWorkCount of every OnWork
  int ends = 0;
  std::vector<TWorkMode> modes;  // of every event, in order

  void Attach(TIdComponent& c) {
    c.OnWorkBegin = [this](TIdComponent&, TWorkMode m, std::int64_t max) {
      begins.push_back(max);
      modes.push_back(m);
    };
    c.OnWork = [this](TIdComponent&, TWorkMode m, std::int64_t count) {
      works.push_back(count);
      modes.push_back(m);
    };
    c.OnWorkEnd = [this](TIdComponent&, TWorkMode m) {
      ++ends;
      modes.push_back(m);
    };
  }
};

// Waits for one write request on a port of its own, then sends `replies` to its sender from a
// second socket (the transfer's port) and records what comes back there for a short while.
class TScriptedPeer {
 public:
  explicit TScriptedPeer(std::vector<TBytes> replies) : replies_(std::move(replies)) {
    listener_.Bind(kLoopback, 0);
    link_.Bind(kLoopback, 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~TScriptedPeer() { Join(); }
  std::uint16_t Port() const { return listener_.LocalPort(); }
  // Datagrams the client sent to the transfer's port (valid after destruction or Join).
  void Join() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  const std::vector<TBytes>& Received() const { return received_; }

 private:
  void Run() {
    TBytes buffer(70000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
      if (!listener_.WaitReadable(std::chrono::milliseconds(20))) continue;
      const TDatagramInfo info = listener_.ReceiveFrom(buffer);
      for (const auto& r : replies_) link_.SendTo(r, info.address, info.port);
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
      while (std::chrono::steady_clock::now() < until) {
        if (!link_.WaitReadable(std::chrono::milliseconds(20))) {
          if (stop_) break;  // whatever the client sent before Join is read first
          continue;
        }
        const TDatagramInfo got = link_.ReceiveFrom(buffer);
        received_.emplace_back(buffer.begin(), buffer.begin() + static_cast<long>(got.copied));
      }
      return;
    }
  }

  std::vector<TBytes> replies_;
  TUdpSocket listener_;
  TUdpSocket link_;
  std::atomic<bool> stop_{false};
  std::vector<TBytes> received_;
  std::thread thread_;
};

}  // namespace velkaro::testing
