#include "protocol/Exchange.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Socket.h"

namespace velkaro {

namespace {

// Shows the busy cursor for the lifetime of the guard, whichever way the operation ends.
class TBusyGuard {
 public:
  TBusyGuard() : busy_(Settings().busy) {
    if (busy_) busy_(true);
  }
  ~TBusyGuard() {
    if (busy_) busy_(false);
  }
  TBusyGuard(const TBusyGuard&) = delete;
  TBusyGuard& operator=(const TBusyGuard&) = delete;

 private:
  const std::function<void(bool)> busy_;
};

// A failure of one stage of an exchange, carried up to be told as a value.
class TStageFailure : public std::runtime_error {
 public:
  TStageFailure(TExchangeErrorKind kind, const std::string& text)
      : std::runtime_error(text), kind_(kind) {}
  TExchangeErrorKind Kind() const { return kind_; }

 private:
  TExchangeErrorKind kind_;
};

// Requests are built from a copy: reply callbacks may append to the device list, which would
// move the original record.
TZEL CopyOfDevice(int index) {
  return DeviceList.At(index);
}

void ListenForReplies(TUdpSocket& socket, int retryCount, const TReplyEvent& onReply, bool last,
                      TExchangeResult& result) {
  TBytes buffer(kMaxDatagram);
  int c = retryCount;
  bool gotData;
  const std::chrono::milliseconds limit = Settings().timeLimit;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    if (std::chrono::steady_clock::now() >= deadline)
      throw TStageFailure(TExchangeErrorKind::Interrupted,
                          "Réception UDP interrompue : des datagrammes arrivent encore après " +
                              std::to_string(limit.count()) + " ms.");
    gotData = false;
    if (socket.WaitReadable(kReceivePeriod)) {
      TDatagramInfo info;
      try {
        info = socket.ReceiveFrom(buffer);
      } catch (const std::exception& e) {
        throw TStageFailure(TExchangeErrorKind::Receive, e.what());
      }
      if (info.size == 0) throw TStageFailure(TExchangeErrorKind::Receive, "Erreur de réception UDP = 0.");
      if (info.Truncated())
        throw TStageFailure(TExchangeErrorKind::Receive,
                            "Erreur de réception UDP, datagramme de " + std::to_string(info.size) +
                                " octets (maximum " + std::to_string(kMaxDatagram) + ").");
      gotData = true;
      ++result.replies;
      if (last) result.lastSeen = true;
      if (onReply) {
        const TBytes data(buffer.begin(), buffer.begin() + static_cast<long>(info.copied));
        try {
          onReply(IpToText(info.address), info.port, last, data);
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

using TTagSelector = std::function<void(TSendBuf& buf, std::uint16_t tag)>;

// One request per range of 100 tags up to the model's largest tag; only the last one keeps the
// list end and carries the last flag.
TExchangeResult RunBatched(const TZEL& device, TCommand command, int retryCount,
                           const TTagSelector& addItem, const TReplyEvent& onReply) {
  const std::uint16_t n = MaxTag(device.ModelCode());
  int limit = kTagsPerRequest;
  TExchangeResult result;
  TSendBuf buf;
  BuildHeader(device.address, command, buf);
  for (int tag = 1; tag <= n; ++tag) {
    if (tag > limit) {
      buf.resize(buf.size() - 2);
      result.Add(Exchange(buf, retryCount, onReply, false));
      if (result.NoSocket()) return result;  // later requests could not leave either
      limit += kTagsPerRequest;
      BuildHeader(device.address, command, buf);
    }
    addItem(buf, static_cast<std::uint16_t>(tag));
  }
  result.Add(Exchange(buf, retryCount, onReply, true));
  return result;
}

void AddWriteItemFromRecord(TSendBuf& buf, const TZEL& device, std::uint16_t tag) {
  const std::uint8_t type = TypeOfTag(tag, device.ModelCode()) & 0x7F;
  if (type == vtString)
    AddWriteItem(buf, tag, type, 0, SlotText(device, tag));
  else
    AddWriteItem(buf, tag, type, SlotNumber(device, tag));
}

}  // namespace

TExchangeResult Exchange(const TBytes& request, int retryCount, const TReplyEvent& onReply,
                         bool last) {
  TExchangeResult result;
  std::optional<TUdpSocket> socket;
  try {
    socket.emplace();
    socket->EnableBroadcast();
    socket->SetReceiveBuffer(kExchangeReceiveBuffer);
  } catch (const std::exception& e) {
    result.errors.push_back({TExchangeErrorKind::Socket, e.what()});
    return result;
  }
  try {
    const TTarget target = Settings().target;
    try {
      socket->SendTo(request, target.address, target.port);
    } catch (const std::exception& e) {
      throw TStageFailure(TExchangeErrorKind::Send, e.what());
    }
    ListenForReplies(*socket, retryCount, onReply, last, result);
  } catch (const TStageFailure& e) {
    result.errors.push_back({e.Kind(), e.what()});
  } catch (const std::exception& e) {
    result.errors.push_back({TExchangeErrorKind::Receive, e.what()});
  }
  return result;  // the socket closes on every path
}

TExchangeResult Discover(const TReplyEvent& onReply) {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Discover, buf);
  return Exchange(buf, 0, onReply, true);
}

TExchangeResult ReadAll(int deviceIndex, const TReplyEvent& onReply) {
  TBusyGuard busy;
  const TZEL device = CopyOfDevice(deviceIndex);
  const std::uint32_t model = device.ModelCode();
  return RunBatched(
      device, TCommand::Read, 0,
      [model](TSendBuf& buf, std::uint16_t tag) {
        if (HasTag(tag, model) && FlagsOfTag(tag, model) != kFlagWriteOnly) AddReadItem(buf, tag);
      },
      onReply);
}

TExchangeResult WriteAll(int deviceIndex, const TReplyEvent& onReply) {
  TBusyGuard busy;
  const TZEL device = CopyOfDevice(deviceIndex);
  const std::uint32_t model = device.ModelCode();
  return RunBatched(
      device, TCommand::Write, 10,
      [&device, model](TSendBuf& buf, std::uint16_t tag) {
        const std::uint8_t type = TypeOfTag(tag, model) & 0x7F;
        if (FlagsOfTag(tag, model) != kFlagReadOnly && type >= vtIPv4 && type <= vtDWord)
          AddWriteItemFromRecord(buf, device, tag);
      },
      onReply);
}

TExchangeResult WriteGeneral(int deviceIndex, const TReplyEvent& onReply) {
  TBusyGuard busy;
  const TZEL device = CopyOfDevice(deviceIndex);
  TSendBuf buf;
  BuildHeader(device.address, TCommand::Write, buf);
  for (std::uint16_t tag : {1, 2, 3, 4, 6}) AddWriteItemFromRecord(buf, device, tag);
  return Exchange(buf, 10, onReply, true);
}

TExchangeResult TriggerUpgrade(const std::string& ipText, const TReplyEvent& onReply) {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Upgrade, buf);
  const TDeviceAddress destination = IpPortAddress(TextToIp(ipText), kDevicePort);
  std::copy(destination.begin(), destination.end(), buf.begin());
  return Exchange(buf, 0, onReply, true);
}

}  // namespace velkaro
