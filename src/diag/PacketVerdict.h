// The program's verdict on each datagram, as the packet log's comment: what a reply came to in
// its exchange, what a TFTP packet was in its transfer. Remembers per local port what the
// exchange or transfer has seen so far; not thread-safe (the log serialises the calls).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>

#include "protocol/PacketSink.h"

namespace velkaro::diag {

class TPacketVerdict {
 public:
  std::string Judge(const TPacketNote& note);

 private:
  struct TExchangeState {
    std::uint8_t command = 0;
    std::set<std::uint64_t> heard;  // source addresses that answered this request
  };
  struct TTransferState {
    std::uint32_t host = 0;
    std::uint16_t serverPort = 0;  // 0 until the server's first answer fixed it
  };

  std::string JudgeDevice(const TPacketNote& note);
  std::string JudgeTftp(const TPacketNote& note);

  std::unordered_map<std::uint16_t, TExchangeState> exchanges_;
  std::unordered_map<std::uint16_t, TTransferState> transfers_;
};

}  // namespace velkaro::diag
