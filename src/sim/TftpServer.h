// The receiving side of a device's firmware upload: a TFTP write server (RFC 1350 with the
// "blksize" option) that keeps every received image for inspection. Each write request is served
// from a socket and a thread of its own (its transfer ID), several at once up to a bound.
// Test switches make it lack option support, refuse, stay silent or misbehave on purpose.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/Frame.h"
#include "tftp/TftpPacket.h"

namespace velkaro::sim {

struct TTftpSwitches {
  bool noOptions = false;  // answer every write request with ACK 0 (512-byte blocks)
  int maxBlockSize = tftp::kMaxBlockSize;  // largest "blksize" granted
  // When not empty, sent as the "blksize" value of the option acknowledgement as it is.
  std::string blockSizeReply{};
  // An ERROR packet instead of the acknowledgement of DATA block number `errorAtBlock`
  // (counted from 1 without wrapping; 0 answers the write request itself); -1 = never.
  int errorAtBlock = -1;
  std::uint16_t errorCode = 0;
  std::string errorMessage{};
  bool noFinalAck = false;  // the final block is received but never acknowledged
  // DATA block number `stallAtBlock` (counted as above) is kept but never acknowledged, and
  // every later packet but an ERROR is ignored: the transfer hangs mid-way; -1 = never.
  int stallAtBlock = -1;
  bool duplicateAcks = false;  // every ACK and option acknowledgement goes out twice
  bool silent = false;         // write requests are logged and left unanswered
  // After acknowledging DATA block `strayAtBlock` (counted as above), a second socket sends the
  // client an ACK for the next block; -1 = never.
  int strayAtBlock = -1;
  int idleTimeoutMs = 2000;  // a transfer whose client stays quiet this long is abandoned
  // An image that would grow past this is refused with ERROR 3 instead of being kept.
  std::size_t maxImageBytes = 64u * 1024 * 1024 + tftp::kMaxBlockSize;
  // Transfers served at once; a write request beyond them gets ERROR 0 at once.
  std::size_t maxTransfers = 16;
};

// One write request and what came of it.
struct TTftpTransfer {
  std::string fileName;
  std::string mode;
  tftp::TOptions options;  // as requested
  std::uint32_t clientIp = 0;
  std::uint16_t clientPort = 0;
  int blockSize = tftp::kDefaultBlockSize;  // agreed
  TBytes image;                             // data bytes in order, as they came on the wire
  std::vector<std::uint32_t> blockSizes;    // data bytes of every accepted block
  std::vector<std::uint16_t> blockNumbers;  // number of every accepted block
  std::size_t dataPackets = 0;              // every DATA packet that came from the client
  std::size_t repeatedPackets = 0;          // DATA packets carrying the previous block again
  std::size_t unexpectedPackets = 0;        // anything else from the client
  bool complete = false;                    // the final (short) block arrived
  bool refused = false;                     // ended by an ERROR packet of ours
  std::uint16_t clientErrorCode = 0;        // when the client sent an ERROR packet
  std::string clientError;
  std::vector<std::uint16_t> strayErrorCodes;  // ERROR packets the client sent to the stray socket
};

struct TTftpTransfer;
// Called on the transfer's own thread: `begin` before a write request is served (it may change
// that transfer's switches), `end` with its record once it is over. Not for silent switches.
struct TTftpHooks {
  std::function<void(TTftpSwitches&)> begin;
  std::function<void(const TTftpTransfer&)> end;
};

class TTftpServer {
 public:
  // `acceptedName` empty accepts every remote name; otherwise others get ERROR 2.
  TTftpServer(std::uint32_t bindAddress, std::uint16_t port, std::string acceptedName = "/");
  ~TTftpServer();  // stops
  TTftpServer(const TTftpServer&) = delete;
  TTftpServer& operator=(const TTftpServer&) = delete;

  // Binds (port 0 lets the system pick) and serves on a background thread; does nothing when
  // already running. Throws TSocketError when the port cannot be bound.
  void Start();
  void Stop();
  bool Running() const;
  std::uint16_t Port() const;  // the bound port (valid after Start)

  TTftpSwitches Switches() const;
  void SetSwitches(const TTftpSwitches& switches);  // takes effect with the next write request
  void SetHooks(TTftpHooks hooks);                  // set before Start

  std::size_t RequestCount() const;   // write requests received, answered or not
  std::size_t TransferCount() const;  // transfers ended (completed, refused or abandoned)
  std::size_t BusyRefusals() const;   // write requests refused because maxTransfers were running
  // Waits until `count` transfers have ended; false on time-out.
  bool WaitForTransfers(std::size_t count, std::chrono::milliseconds timeout) const;
  std::vector<TTftpTransfer> Transfers() const;
  TTftpTransfer LastTransfer() const;  // an empty record when there is none
  void Clear();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace velkaro::sim
