#include "protocol/Exchange.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Socket.h"
#include "protocol/ModelRegistry.h"
#include "protocol/PacketSink.h"

namespace velkaro {

namespace {

thread_local const std::atomic<bool>* cancelFlag = nullptr;

// A failure of one stage of an exchange, carried up to be told as a value.
class TStageFailure : public std::runtime_error {
 public:
  TStageFailure(TExchangeErrorKind kind, const std::string& text)
      : std::runtime_error(text), kind_(kind) {}
  TExchangeErrorKind Kind() const { return kind_; }

 private:
  TExchangeErrorKind kind_;
};

// One socket of an exchange and the interface it is bound to (none for an explicit target).
struct TOutlet {
  TUdpSocket socket;
  TNetLink link;
  std::uint32_t destination = 0;
};

TUdpSocket OpenSocket(const TNetLink& link) {
  TUdpSocket socket;
  socket.EnableBroadcast();
  socket.SetReceiveBuffer(kExchangeReceiveBuffer);
  // Bound to the interface's own address, a limited broadcast leaves through that interface
  // and the devices' answers to that address come back to this socket; no privilege needed.
  if (!link.Empty()) socket.Bind(link.localAddress, 0);
  return socket;
}

std::string OnLink(const TNetLink& link, const std::string& text) {
  return link.Empty() ? text : link.name + " : " + text;
}

// The sockets of one exchange. An interface whose socket cannot be had is told in `result`
// and skipped; only when none is left is it a socket failure (nothing can be sent).
std::vector<TOutlet> OpenOutlets(const TExchangeSettings& settings, const TNetLink& link,
                                 TExchangeResult& result) {
  const TTarget& target = settings.target;
  std::vector<TNetLink> links;
  if (!target.EveryInterface()) {
    links.push_back({});
  } else if (!link.Empty()) {
    links.push_back(link);
  } else {
    for (const TNetInterface& i : ChosenInterfaces(settings)) links.push_back(i.link);
    if (links.empty()) {
      result.errors.push_back({TExchangeErrorKind::Socket,
                               "Aucune interface réseau utilisable (IPv4, active, avec broadcast, "
                               "hors loopback)."});
      return {};
    }
  }
  std::vector<TOutlet> outlets;
  std::vector<TExchangeError> failures;
  for (const TNetLink& l : links) {
    try {
      outlets.push_back({OpenSocket(l), l, target.address});
    } catch (const std::exception& e) {
      failures.push_back({TExchangeErrorKind::Send, OnLink(l, e.what())});
    }
  }
  if (outlets.empty())
    for (TExchangeError& f : failures) f.kind = TExchangeErrorKind::Socket;
  result.errors.insert(result.errors.end(), failures.begin(), failures.end());
  return outlets;
}

void ListenForReplies(const TExchangeSettings& settings, std::vector<TOutlet>& outlets,
                      int retryCount, const TReplyEvent& onReply, bool last,
                      TExchangeResult& result) {
  std::vector<TUdpSocket*> sockets;
  for (TOutlet& o : outlets) sockets.push_back(&o.socket);
  TBytes buffer(kMaxDatagram);
  int c = retryCount;
  bool gotData;
  std::size_t nextFirst = 0;
  const std::chrono::milliseconds limit = settings.timeLimit;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    if (ExchangeCancelled()) {
      result.cancelled = true;
      return;
    }
    if (std::chrono::steady_clock::now() >= deadline)
      throw TStageFailure(TExchangeErrorKind::Interrupted,
                          "Réception UDP interrompue : des datagrammes arrivent encore après " +
                              std::to_string(limit.count()) + " ms.");
    gotData = false;
    const int ready = TUdpSocket::WaitAnyReadable(sockets, kReceivePeriod, nextFirst);
    if (ready >= 0) {
      const TOutlet& outlet = outlets[static_cast<std::size_t>(ready)];
      nextFirst = static_cast<std::size_t>(ready) + 1;
      TDatagramInfo info;
      try {
        TUdpSocket& from = *sockets[static_cast<std::size_t>(ready)];
        info = from.ReceiveFrom(buffer);
        NoteReceived(TPacketProtocol::Device, from, info, buffer);
      } catch (const std::exception& e) {
        throw TStageFailure(TExchangeErrorKind::Receive, OnLink(outlet.link, e.what()));
      }
      if (info.size == 0)
        throw TStageFailure(TExchangeErrorKind::Receive, "Erreur de réception UDP = 0.");
      if (info.Truncated())
        throw TStageFailure(TExchangeErrorKind::Receive,
                            "Erreur de réception UDP, datagramme de " + std::to_string(info.size) +
                                " octets (maximum " + std::to_string(kMaxDatagram) + ").");
      gotData = true;
      ++result.replies;
      if (last) result.lastSeen = true;
      if (onReply) {
        const TReply reply{IpToText(info.address), info.port, last,
                           TBytes(buffer.begin(), buffer.begin() + static_cast<long>(info.copied)),
                           outlet.link};
        try {
          onReply(reply);
        } catch (const std::exception& e) {
          throw TStageFailure(TExchangeErrorKind::Reply, e.what());
        } catch (...) {
          throw TStageFailure(TExchangeErrorKind::Reply, "Erreur inconnue pendant l'échange UDP.");
        }
      }
      if (c > 0) {
        c = 0;
        gotData = false;
      }
    }
    if (c > 0) --c;
  } while (gotData || c > 0);
}

TExchangeResult RunExchange(const TExchangeSettings& settings, const TBytes& built, int retryCount,
                            int resends, const std::function<bool()>& answered,
                            const TReplyEvent& onReply, bool last, const TNetLink& link,
                            TLateReplies* late);

void AddWriteItemFromRecord(TSendBuf& buf, const TZEL& device, std::uint16_t tag) {
  const std::uint8_t type = TypeOfTag(tag, device.ModelCode()) & 0x7F;
  if (type == vtString)
    AddWriteItem(buf, tag, type, 0, SlotText(device, tag));
  else
    AddWriteItem(buf, tag, type, SlotNumber(device, tag));
}

}  // namespace

TCancelScope::TCancelScope(const std::atomic<bool>& flag) : previous_(cancelFlag) {
  cancelFlag = &flag;
}

TCancelScope::~TCancelScope() {
  cancelFlag = previous_;
}

bool ExchangeCancelled() {
  return cancelFlag && cancelFlag->load();
}

std::vector<TBatchRequest> BatchRequests(const TZEL& device, TCommand command,
                                         const TTagSelector& addItem, bool skipEmptyBatches,
                                         const TModelRegistry& models) {
  const std::uint16_t n = models.MaxTag(device.ModelCode());
  std::vector<TBatchRequest> requests;
  TSendBuf buf;
  const auto flush = [&](int first, int last) {
    if (skipEmptyBatches && buf.size() == kEmptyRequestSize) return;
    requests.push_back({buf, false, first, last});
  };
  int first = 1;
  BuildHeader(device.address, command, buf);
  for (int tag = 1; tag <= n; ++tag) {
    if (tag >= first + kTagsPerRequest) {
      flush(first, tag - 1);
      first = tag;
      BuildHeader(device.address, command, buf);
    }
    addItem(buf, static_cast<std::uint16_t>(tag));
  }
  flush(first, n);
  // Only the last request sent keeps the list end and carries the last flag.
  for (std::size_t i = 0; i + 1 < requests.size(); ++i)
    requests[i].data.resize(requests[i].data.size() - 2);
  if (!requests.empty()) requests.back().last = true;
  return requests;
}

TBatchRequest GeneralWriteRequest(const TZEL& device) {
  TBatchRequest request;
  BuildHeader(device.address, TCommand::Write, request.data);
  for (const std::uint16_t tag : kGeneralTags)
    if (device.values.Reported(tag)) AddWriteItemFromRecord(request.data, device, tag);
  request.last = true;
  request.firstTag = kGeneralTags[0];
  request.lastTag = kGeneralTags[std::size(kGeneralTags) - 1];
  return request;
}

std::vector<TBatchRequest> ReadRequests(const TZEL& device, const TModelRegistry& models) {
  const std::uint32_t model = device.ModelCode();
  return BatchRequests(
      device, TCommand::Read,
      [model, &models](TSendBuf& buf, std::uint16_t tag) {
        if (models.HasTag(tag, model) && models.FlagsOfTag(tag, model) != kFlagWriteOnly)
          AddReadItem(buf, tag);
      },
      false, models);
}

bool WrittenByWriteAll(const TZEL& device, std::uint16_t tag) {
  const std::uint32_t model = device.ModelCode();
  const std::uint8_t type = TypeOfTag(tag, model) & 0x7F;
  return FlagsOfTag(tag, model) != kFlagReadOnly && type >= vtIPv4 && type <= vtDWord &&
         device.values.Reported(tag);
}

std::vector<TBatchRequest> WriteRequests(const TZEL& device,
                                         const std::function<bool(int tag)>& include,
                                         bool skipEmptyBatches) {
  return BatchRequests(
      device, TCommand::Write,
      [&](TSendBuf& buf, std::uint16_t tag) {
        if (include(tag)) AddWriteItemFromRecord(buf, device, tag);
      },
      skipEmptyBatches);
}

TExchangeResult Exchange(const TExchangeSettings& settings, const TBytes& request, int retryCount,
                         const TReplyEvent& onReply, bool last, const TNetLink& link) {
  return ExchangeWithResends(settings, request, retryCount, 0, {}, onReply, last, link);
}

TExchangeResult ExchangeWithResends(const TExchangeSettings& settings, const TBytes& built,
                                    int retryCount, int resends,
                                    const std::function<bool()>& answered,
                                    const TReplyEvent& onReply, bool last, const TNetLink& link) {
  return RunExchange(settings, built, retryCount, resends, answered, onReply, last, link, nullptr);
}

namespace {

TExchangeResult RunExchange(const TExchangeSettings& settings, const TBytes& built, int retryCount,
                            int resends, const std::function<bool()>& answered,
                            const TReplyEvent& onReply, bool last, const TNetLink& link,
                            TLateReplies* late) {
  TExchangeResult result;
  if (ExchangeCancelled()) {
    result.cancelled = true;
    return result;
  }
  std::vector<TOutlet> outlets = OpenOutlets(settings, link, result);
  if (outlets.empty()) return result;
  TBytes request = built;
  StampOemCode(request, settings.oemCode);
  std::vector<TOutlet> sent;
  try {
    const std::uint16_t port = settings.target.port;
    for (TOutlet& o : outlets) {
      try {
        o.socket.SendTo(request, o.destination, port);
        NoteSent(TPacketProtocol::Device, o.socket, request, o.destination, port);
        sent.push_back(std::move(o));
      } catch (const std::exception& e) {
        result.errors.push_back({TExchangeErrorKind::Send, OnLink(o.link, e.what())});
      }
    }
    // Replies are awaited wherever the request left; with none, the exchange is over.
    if (!sent.empty()) ListenForReplies(settings, sent, retryCount, onReply, last, result);
    for (int again = 0; again < resends && !sent.empty() && !result.cancelled &&
                        result.errors.empty() && !(answered ? answered() : result.replies > 0);
         ++again) {
      for (TOutlet& o : sent) {
        o.socket.SendTo(request, o.destination, port);
        NoteSent(TPacketProtocol::Device, o.socket, request, o.destination, port);
      }
      ListenForReplies(settings, sent, retryCount, onReply, last, result);
    }
  } catch (const TStageFailure& e) {
    result.errors.push_back({e.Kind(), e.what()});
  } catch (const std::exception& e) {
    result.errors.push_back({TExchangeErrorKind::Receive, e.what()});
  }
  // Only an exchange that ended by its quiet period had answers come late; one cut short by a
  // failure leaves the rest of its answers unread, as ever.
  const bool keep = late && result.errors.empty() && !result.cancelled;
  for (TOutlet& o : sent) {
    if (keep)
      late->Keep(std::move(o.socket));
    else
      NoteLateDatagrams(TPacketProtocol::Device, o.socket);
  }
  return result;  // the sockets not kept close on every path
}

}  // namespace

TExchangeResult Discover(const TExchangeSettings& settings, const TReplyEvent& onReply,
                         TLateReplies* late) {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Discover, buf);
  return RunExchange(settings, buf, 0, 0, {}, onReply, true, {}, late);
}

TExchangeResult TriggerUpgrade(const TExchangeSettings& settings, const std::string& ipText,
                               const TReplyEvent& onReply, const TNetLink& link) {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Upgrade, buf);
  const TDeviceAddress destination = IpPortAddress(TextToIp(ipText), kDevicePort);
  std::copy(destination.begin(), destination.end(), buf.begin());
  return ExchangeWithResends(settings, buf, 0, kTriggerResends, {}, onReply, true, link);
}

}  // namespace velkaro
