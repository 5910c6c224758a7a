// The blocking request/reply exchange with the devices and the operations built on it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/DeviceRecord.h"
#include "protocol/Frame.h"
#include "protocol/LateReplies.h"
#include "protocol/ModelRegistry.h"
#include "protocol/NetInterfaces.h"

namespace velkaro {

// One datagram as an exchange hands it on: who sent it, whether the request carried the last
// flag, and the interface it came through (empty with an explicit target).
struct TReply {
  std::string senderIp;  // dotted text
  int senderPort = 0;
  bool last = false;
  TBytes data;
  TNetLink via;
};
using TReplyEvent = std::function<void(const TReply& reply)>;

// Where every request goes. Real LANs use the limited broadcast on every usable interface;
// tests point it at a simulator.
struct TTarget {
  std::uint32_t address = 0xFFFFFFFFu;
  std::uint16_t port = kDevicePort;
  // Named by the user: then requests go to it from one unbound socket and no interface is
  // chosen, whatever the address.
  bool given = false;
  // Requests go out on each chosen interface (or on a device's own one) to 255.255.255.255.
  bool EveryInterface() const { return !given && address == 0xFFFFFFFFu; }
  bool operator==(const TTarget&) const = default;
};
// Parses "ADDR" or "ADDR:PORT" (dotted IPv4, port 1-65535) into a given target. Returns false
// with a message.
bool ParseTarget(const std::string& text, TTarget& out, std::string& error);

// Longest an exchange keeps listening while datagrams keep coming: a steady stream must not
// freeze the program. Thousands of devices answer in well under a second.
inline constexpr std::chrono::milliseconds kDefaultExchangeTimeLimit{10000};

// Everything the exchange and the operations take from their user, in one place.
struct TExchangeSettings {
  TTarget target;
  // Interfaces a request for no particular device goes out on; empty: every usable one.
  std::vector<std::string> interfaces;
  std::chrono::milliseconds timeLimit = kDefaultExchangeTimeLimit;
  // Busy cursor for the whole run of a device operation (none when empty).
  std::function<void(bool busy)> busy;
  // Told the index of a record after a merge that carried the last flag.
  std::function<void(int index)> showDeviceRow;
  // The OEM code every request carries, stamped on as it is sent.
  std::uint16_t oemCode = kDefaultOemCode;
};
// Shows the busy cursor (settings.busy) for its lifetime, whichever way the operation ends.
class TBusyGuard {
 public:
  explicit TBusyGuard(const TExchangeSettings& settings) : busy_(settings.busy) {
    if (busy_) busy_(true);
  }
  ~TBusyGuard() {
    try {
      if (busy_) busy_(false);
    } catch (...) {
      // A failing cursor hook must not hide the operation's own outcome.
    }
  }
  TBusyGuard(const TBusyGuard&) = delete;
  TBusyGuard& operator=(const TBusyGuard&) = delete;

 private:
  const std::function<void(bool)> busy_;
};

// Lets the thread that runs exchanges end them early, for a user who stopped waiting: while a
// scope is alive on a thread, its flag is checked at every listening check of that thread's
// exchanges. A set flag ends the running exchange at its next check (within one receive period)
// and sends nothing more; the result says `cancelled`, with no error.
class TCancelScope {
 public:
  explicit TCancelScope(const std::atomic<bool>& flag);
  ~TCancelScope();
  TCancelScope(const TCancelScope&) = delete;
  TCancelScope& operator=(const TCancelScope&) = delete;

 private:
  const std::atomic<bool>* previous_;
};
// Whether the exchanges of this thread were told to stop.
bool ExchangeCancelled();

// The interfaces an exchange for no particular device goes out on: the usable ones the settings
// choose. Empty with an explicit target.
std::vector<TNetInterface> ChosenInterfaces(const TExchangeSettings& settings);

// Messages shown to the user, written once.
inline constexpr const char* kConnectionErrorPrefix = "Connection Error:  ";
inline constexpr const char* kDeviceNotResponding = "Device not responding";

enum class TExchangeErrorKind {
  Socket,       // no working socket: nothing was sent
  Send,         // the request did not leave
  Receive,      // a receive failed, or a datagram was empty or too large
  Interrupted,  // datagrams kept coming past the time limit
  Reply,        // the reply callback failed
};

struct TExchangeError {
  TExchangeErrorKind kind;
  std::string text;  // UTF-8, without the "Connection Error:  " prefix
  // The text as the user sees it: "Connection Error:  " + text.
  std::string Message() const { return kConnectionErrorPrefix + text; }
};

// What one exchange, or all exchanges of an operation, came to.
struct TExchangeResult {
  int replies = 0;         // datagrams delivered to the reply callback
  bool lastSeen = false;   // one of them carried the last flag
  bool cancelled = false;  // the user stopped it (TCancelScope)
  std::vector<TExchangeError> errors;

  bool Ok() const { return errors.empty(); }
  // No socket could be had: nothing was sent.
  bool NoSocket() const;
  // Adds the outcome of a later exchange of the same operation.
  void Add(const TExchangeResult& later);
};

// Listening period of an exchange and the largest datagram it accepts.
inline constexpr std::chrono::milliseconds kReceivePeriod{100};
inline constexpr std::size_t kMaxDatagram = 8192;
// Receive buffer asked for on every exchange socket: a discovery answered by thousands of
// devices arrives in one burst and must not overflow it.
inline constexpr std::size_t kExchangeReceiveBuffer = 8u << 20;
// Batches of a full read and write cover this many consecutive tags each.
inline constexpr int kTagsPerRequest = 100;

// The requests of a batched operation: one per range of 100 tags up to the model's largest tag.
struct TBatchRequest {
  TSendBuf data;
  bool last = false;  // only the last request keeps the list end and carries the last flag
  int firstTag = 0, lastTag = 0;
};
using TTagSelector = std::function<void(TSendBuf& buf, std::uint16_t tag)>;
// `addItem` adds the items of each tag; with `skipEmptyBatches` a range that got no item sends no
// request. The device's model is looked up in `models`.
std::vector<TBatchRequest> BatchRequests(const TZEL& device, TCommand command,
                                         const TTagSelector& addItem, bool skipEmptyBatches,
                                         const TModelRegistry& models = ModelRegistry());
std::vector<TBatchRequest> ReadRequests(const TZEL& device,
                                        const TModelRegistry& models = ModelRegistry());
// Write requests carrying the tags `include` accepts, with the record's values.
std::vector<TBatchRequest> WriteRequests(const TZEL& device,
                                         const std::function<bool(int tag)>& include,
                                         bool skipEmptyBatches = false);
// WriteAll sends a writable tag of types 1-5 only when the record holds a value for it: a tag
// the device never reported must not go out as 0, 0.0.0.0 or an empty text.
bool WrittenByWriteAll(const TZEL& device, std::uint16_t tag);
// The General page's tags, written by WriteGeneral (those the record holds), in one request.
inline constexpr std::uint16_t kGeneralTags[] = {1, 2, 3, 4, 6};
TBatchRequest GeneralWriteRequest(const TZEL& device);

// Sends `request` once and listens in 100 ms periods; retryCount 0 collects every reply until a
// quiet period, N > 0 waits for the first reply during at most N periods. The request goes to an
// explicit target from one socket, else on `link` alone (a device's own interface) or, when
// `link` is empty, once on every chosen interface; replies are read from all of these sockets
// within the same periods. Never throws: every failure is in the result.
TExchangeResult Exchange(const TExchangeSettings& settings, const TBytes& request, int retryCount,
                         const TReplyEvent& onReply, bool last, const TNetLink& link = {});
// Exchange, with the request sent again on the same sockets (at most `resends` more times) while
// `answered` says no after a listening; an answer to any of the sends still counts. For requests
// whose repetition is harmless (a trigger, a write of the same values) and one lost datagram
// must not fail.
TExchangeResult ExchangeWithResends(const TExchangeSettings& settings, const TBytes& request,
                                    int retryCount, int resends,
                                    const std::function<bool()>& answered,
                                    const TReplyEvent& onReply, bool last,
                                    const TNetLink& link = {});
// How often a trigger and a write are sent again, like the TFTP client's resends.
inline constexpr int kTriggerResends = 3;
inline constexpr int kWriteResends = 2;

// Sends the discovery request to every device and collects the answers. With `late`, the
// exchange's sockets stay open in it after the listening, so that answers coming afterwards are
// counted there instead of dropped.
TExchangeResult Discover(const TExchangeSettings& settings, const TReplyEvent& onReply,
                         TLateReplies* late = nullptr);
// `link`: the device's interface, when known. Sent again up to kTriggerResends times while no
// device answers.
TExchangeResult TriggerUpgrade(const TExchangeSettings& settings, const std::string& ipText,
                               const TReplyEvent& onReply, const TNetLink& link = {});

}  // namespace velkaro
