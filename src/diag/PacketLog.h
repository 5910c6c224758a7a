// The packet log: every datagram the program sends or receives, kept in memory as a pcapng file
// with the program's verdict on each, and written out at the end. Bounded: once the next packet
// would pass the limit, logging stops for good and Full() says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "diag/PacketVerdict.h"
#include "protocol/PacketSink.h"

namespace velkaro::diag {

inline constexpr std::size_t kDefaultPacketLogLimit = std::size_t{64} << 20;

class TPacketLog : public TPacketSink {
 public:
  // `application` names the program in the file's section header.
  explicit TPacketLog(std::string application, std::size_t limit = kDefaultPacketLogLimit);

  void Note(const TPacketNote& note) override;

  std::size_t Packets() const;
  bool Full() const;
  std::size_t Limit() const { return limit_; }
  // The pcapng file as it stands.
  std::string Contents() const;
  // Replaces `fileName` with the log as it stands; throws std::system_error.
  void WriteTo(const std::string& fileName) const;
  // One line telling that the limit was reached, with what was left out; empty when not full.
  std::string FullText() const;

 private:
  std::uint32_t InterfaceId(const std::string& name);
  std::uint32_t LocalAddressToward(std::uint32_t peer);

  mutable std::mutex mutex_;
  const std::size_t limit_;
  std::string bytes_;
  std::size_t packets_ = 0;
  std::size_t dropped_ = 0;
  bool full_ = false;
  TPacketVerdict verdict_;
  std::map<std::string, std::uint32_t> interfaces_;
  std::unordered_map<std::uint32_t, std::uint32_t> localAddresses_;
};

// Why `fileName` cannot take the log, or empty. The log is written only at the end: a name that
// cannot take it must be refused before any request goes out, not after the datagrams were
// gathered.
std::string LogFileProblem(const std::string& fileName);

// Sets `log` as the process's sink for the scope's lifetime.
class TPacketLogScope {
 public:
  explicit TPacketLogScope(TPacketLog& log) : previous_(PacketSink()) { SetPacketSink(&log); }
  ~TPacketLogScope() { SetPacketSink(previous_); }
  TPacketLogScope(const TPacketLogScope&) = delete;
  TPacketLogScope& operator=(const TPacketLogScope&) = delete;

 private:
  TPacketSink* previous_;
};

}  // namespace velkaro::diag
