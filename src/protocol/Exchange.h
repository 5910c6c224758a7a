// The blocking request/reply exchange with the devices and the operations built on it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "protocol/Frame.h"

namespace velkaro {

// Reply callback: sender IP as dotted text, sender port, last flag, datagram.
using TReplyEvent =
    std::function<void(const std::string& senderIp, int senderPort, bool last, const TBytes& data)>;

// Where every request goes. Real LANs use the limited broadcast; tests point it at a simulator.
struct TTarget {
  std::uint32_t address = 0xFFFFFFFFu;
  std::uint16_t port = kDevicePort;
  bool operator==(const TTarget&) const = default;
};
void SetTarget(const TTarget& target);
TTarget GetTarget();
// Parses "ADDR" or "ADDR:PORT" (dotted IPv4, port 1-65535). Returns false with a message.
bool ParseTarget(const std::string& text, TTarget& out, std::string& error);

// Seams through which the exchange talks to its user. The GUI shows a modal box and the busy
// cursor, the command-line tool prints to stderr, tests capture.
using TErrorReporter = std::function<void(const std::string& message)>;
using TBusyCursor = std::function<void(bool busy)>;
void SetErrorReporter(TErrorReporter reporter);
void SetBusyCursor(TBusyCursor cursor);
// Shows "Connection Error:  " + text through the error reporter.
void ReportConnectionError(const std::string& text);
// Switches the busy cursor through its seam (no-op when none is set).
void NotifyBusy(bool busy);

// Listening period of an exchange and the largest datagram it accepts.
inline constexpr std::chrono::milliseconds kReceivePeriod{100};
inline constexpr std::size_t kMaxDatagram = 8192;
// Receive buffer asked for on every exchange socket: a discovery answered by thousands of
// devices arrives in one burst and must not overflow it.
inline constexpr std::size_t kExchangeReceiveBuffer = 8u << 20;
// Batches of ReadAll and WriteAll cover this many consecutive tags each.
inline constexpr int kTagsPerRequest = 100;
// Longest an exchange keeps listening while datagrams keep coming: a steady stream must not
// freeze the program. Thousands of devices answer in well under a second.
inline constexpr std::chrono::milliseconds kDefaultExchangeTimeLimit{10000};
void SetExchangeTimeLimit(std::chrono::milliseconds limit);

// Sends `request` once and listens in 100 ms periods; retryCount 0 collects every reply until a
// quiet period, N > 0 waits for the first reply during at most N periods.
void Exchange(const TBytes& request, int retryCount, const TReplyEvent& onReply, bool last);

// The operations on a listed device take a copy of its record when they start; an index outside
// the device list throws std::out_of_range before anything is sent.
void Discover(const TReplyEvent& onReply);
void ReadAll(int deviceIndex, const TReplyEvent& onReply);
void WriteAll(int deviceIndex, const TReplyEvent& onReply);
void WriteGeneral(int deviceIndex, const TReplyEvent& onReply);
void TriggerUpgrade(const std::string& ipText, const TReplyEvent& onReply);

}  // namespace velkaro
