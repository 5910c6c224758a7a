// A stand-in for a LAN full of power switches: plays one or many devices of the known models on
// one UDP port and answers discover, read, write and upgrade-trigger requests as the devices do.
// Test switches make it slow, silent, repetitive or broken on purpose.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "protocol/DeviceRecord.h"
#include "protocol/Frame.h"
#include "sim/DeviceProfile.h"
#include "sim/TftpServer.h"

namespace velkaro::sim {

// How a malformed reply is broken.
enum class TMalformKind {
  BadItems,  // numeric items with wrong lengths, a string running past the end, no list end
  Empty,     // a zero-byte datagram
  Oversize,  // a well-formed frame longer than 8192 bytes
  Short,     // ten bytes, too short to carry a source address
};

// Devices a fault switch applies to: none, all, or the listed indexes (from 0).
struct TDeviceSet {
  bool all = false;
  std::set<std::size_t> indexes;
  bool Has(std::size_t index) const { return all || indexes.count(index) > 0; }
};

struct TSimOptions {
  std::string bindAddress = "127.0.0.1";  // "0.0.0.0" receives limited broadcasts too
  std::uint16_t port = kDevicePort;       // 0 = let the OS pick; see Port()
  // One device per entry; empty means one of each known model.
  std::vector<std::uint32_t> models;
  // When > 0: this many devices, their models taken in turn from `models`.
  int count = 0;
  // First device's MAC is macBase + 1, the next macBase + 2, ... (locally administered range).
  std::uint64_t macBase = 0x02005E000000ull;

  int replyDelayMs = 0;    // before the first reply to a request
  int replySpacingMs = 0;  // between the replies of successive devices to one request
  bool silent = false;     // receive and log requests, answer nothing
  int duplicates = 0;      // extra copies sent of every reply
  int duplicateGapMs = 0;  // between a reply and each of its copies
  bool malformed = false;
  TMalformKind malformKind = TMalformKind::BadItems;

  // Requests kept for Requests(); older ones are dropped (RequestCount still counts them) beyond
  // this many, and beyond this many bytes of them (a flood of large datagrams).
  std::size_t requestLogLimit = 10000;
  std::size_t requestLogBytes = 16u << 20;

  // Where a device accepts the firmware image after answering an upgrade trigger.
  std::uint16_t tftpPort = 69;

  // Each request received and each datagram to be sent is lost with this probability (0-1),
  // drawn from a generator seeded with `seed`, so a run can be repeated exactly.
  double dropRate = 0;
  std::uint64_t seed = 1;
  // Device i gets 127.0.0.(i+2) (counting on past .255) as its IP address and a TFTP receiver
  // of its own on that address and tftpPort; requests still arrive on bindAddress:port.
  bool loopbackIps = false;
  // A device that received a complete image answers nothing for this long (its reboot).
  int rebootMs = 0;
  // Faults of the firmware upload.
  int abortAtBlock = -1;     // a TFTP ERROR instead of the ACK of this DATA block (from 1)
  TDeviceSet abortDevices;   // which devices abort; used when abortAtBlock > 0
  TDeviceSet noReturn;       // silent for good after a complete image
  TDeviceSet doubleTrigger;  // acknowledge the upgrade trigger twice
};

// The images one device received completely, the latest few with their bytes.
struct TDeviceUploads {
  std::size_t count = 0;
  std::vector<TBytes> latest;  // oldest first, at most kKeptImages
  static constexpr std::size_t kKeptImages = 4;
};

// The device's side of an upgrade: called on the simulator's thread right before the device
// acknowledges the trigger, so whatever it starts is ready when the program reacts. Keep it
// short (start a server, do not run it here).
struct TUpgradeEvent {
  std::size_t deviceIndex;
  std::uint32_t deviceIp;
  std::uint16_t tftpPort;
  std::uint32_t requesterIp;  // where the trigger came from
  std::uint16_t requesterPort;
};
using TUpgradeHandler = std::function<void(const TUpgradeEvent&)>;

// One request as the simulator received it.
struct TReceivedRequest {
  TBytes data;
  std::uint32_t senderIp = 0;
  std::uint16_t senderPort = 0;
  std::chrono::steady_clock::time_point at;
};

class TSimulator {
 public:
  explicit TSimulator(TSimOptions options = {});
  virtual ~TSimulator();  // stops
  TSimulator(const TSimulator&) = delete;
  TSimulator& operator=(const TSimulator&) = delete;

  // Binds and serves on a background thread. Throws TSocketError when the port cannot be bound.
  void Start();
  // Ends the thread and closes the socket; replies not yet sent are dropped.
  void Stop();
  bool Running() const;

  std::uint16_t Port() const;  // the bound port (valid after Start)
  std::size_t DeviceCount() const;
  TZEL Snapshot(std::size_t index) const;  // thread-safe copy of one device's record
  void SetValue(std::size_t index, int tag, TValue value);

  // Switches, settable while running.
  void SetReplyDelay(int ms);
  void SetReplySpacing(int ms);
  void SetSilent(bool silent);
  // From now on device `index` answers nothing, the others go on.
  void SilenceDevice(std::size_t index);
  // Device `index` answers again, also when it was rebooting or gone for good after an upload.
  void ResumeDevice(std::size_t index);
  void SetDuplicates(int copies, int gapMs = 0);
  void SetMalformed(bool malformed, TMalformKind kind = TMalformKind::BadItems);

  void SetUpgradeHandler(TUpgradeHandler handler);
  std::size_t UpgradeCount() const;
  // The devices' TFTP receiver on bindAddress:tftpPort; it starts at the first upgrade trigger
  // and keeps what it received. Its switches can be set at any time.
  TTftpServer& Tftp();
  // Device `index`'s receiver: its own with loopbackIps (made at its first trigger with the
  // shared receiver's switches; Tftp() before that), otherwise the shared one.
  TTftpServer& Tftp(std::size_t index);
  TDeviceUploads Uploads(std::size_t index) const;
  // The most uploads that were running at the same moment, over every receiver.
  std::size_t MaxConcurrentTransfers() const;
  // Losses of dropRate: a lost request is still logged and counted, it just gets no answer.
  std::size_t DroppedRequests() const;
  std::size_t DroppedReplies() const;

  // The datagrams received since start (or the last ClearRequests), in arrival order, at most
  // requestLogLimit of the latest; RequestCount counts all of them.
  std::vector<TReceivedRequest> Requests() const;
  std::size_t RequestCount() const;
  void ClearRequests();
  // Waits until at least `count` requests were received; false on time-out.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Datagrams sent so far (copies included).
  std::size_t RepliesSent() const;

 protected:
  // The place where a device gets ready for its firmware upload (the TFTP receiver starts
  // here). The default calls the handler set by SetUpgradeHandler.
  virtual void OnUpgrade(const TUpgradeEvent& event);

 private:
  void Serve();
  void SendDueReplies();
  void HandleRequest(TBytes request, std::uint32_t ip, std::uint16_t port);
  bool Drop();
  TTftpHooks HooksFor(std::optional<std::size_t> device);

  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace velkaro::sim
