#include "protocol/Exchange.h"

#include <algorithm>
#include <stdexcept>

#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Socket.h"

namespace velkaro {

namespace {

// Shows the busy cursor for the lifetime of the guard, whichever way the operation ends.
class TBusyGuard {
 public:
  TBusyGuard() { NotifyBusy(true); }
  ~TBusyGuard() { NotifyBusy(false); }
  TBusyGuard(const TBusyGuard&) = delete;
  TBusyGuard& operator=(const TBusyGuard&) = delete;
};

// Requests are built from a copy: reply callbacks may append to the device list, which would
// move the original record.
TZEL CopyOfDevice(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= DeviceList.size())
    throw std::out_of_range("device index " + std::to_string(index) +
                            " is not in the device list (" + std::to_string(DeviceList.size()) +
                            " devices)");
  return DeviceList[static_cast<std::size_t>(index)];
}

std::chrono::milliseconds exchangeTimeLimit = kDefaultExchangeTimeLimit;

void ListenForReplies(TUdpSocket& socket, int retryCount, const TReplyEvent& onReply, bool last) {
  TBytes buffer(kMaxDatagram);
  int c = retryCount;
  bool gotData;
  const auto deadline = std::chrono::steady_clock::now() + exchangeTimeLimit;
  do {
    if (std::chrono::steady_clock::now() >= deadline)
      throw std::runtime_error("Réception UDP interrompue : des datagrammes arrivent encore après " +
                               std::to_string(exchangeTimeLimit.count()) + " ms.");
    gotData = false;
    if (socket.WaitReadable(kReceivePeriod)) {
      const TDatagramInfo info = socket.ReceiveFrom(buffer);
      if (info.size == 0) throw std::runtime_error("Erreur de réception UDP = 0.");
      if (info.Truncated())
        throw std::runtime_error("Erreur de réception UDP, datagramme de " +
                                 std::to_string(info.size) + " octets (maximum " +
                                 std::to_string(kMaxDatagram) + ").");
      gotData = true;
      if (onReply) {
        const TBytes data(buffer.begin(), buffer.begin() + static_cast<long>(info.copied));
        onReply(IpToText(info.address), info.port, last, data);
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
void RunBatched(const TZEL& device, TCommand command, int retryCount, const TTagSelector& addItem,
                const TReplyEvent& onReply) {
  const std::uint16_t n = MaxTag(device.ModelCode());
  int limit = kTagsPerRequest;
  TSendBuf buf;
  BuildHeader(device.address, command, buf);
  for (int tag = 1; tag <= n; ++tag) {
    if (tag > limit) {
      buf.resize(buf.size() - 2);
      Exchange(buf, retryCount, onReply, false);
      limit += kTagsPerRequest;
      BuildHeader(device.address, command, buf);
    }
    addItem(buf, static_cast<std::uint16_t>(tag));
  }
  Exchange(buf, retryCount, onReply, true);
}

void AddWriteItemFromRecord(TSendBuf& buf, const TZEL& device, std::uint16_t tag) {
  const std::uint8_t type = TypeOfTag(tag, device.ModelCode()) & 0x7F;
  if (type == vtString)
    AddWriteItem(buf, tag, type, 0, SlotText(device, tag));
  else
    AddWriteItem(buf, tag, type, SlotNumber(device, tag));
}

}  // namespace

void SetExchangeTimeLimit(std::chrono::milliseconds limit) { exchangeTimeLimit = limit; }

void Exchange(const TBytes& request, int retryCount, const TReplyEvent& onReply, bool last) {
  // Failing to get a working socket is the caller's problem; everything after is reported here.
  TUdpSocket socket;
  socket.EnableBroadcast();
  socket.SetReceiveBuffer(kExchangeReceiveBuffer);
  try {
    const TTarget target = GetTarget();
    socket.SendTo(request, target.address, target.port);
    ListenForReplies(socket, retryCount, onReply, last);
  } catch (const std::exception& e) {
    ReportConnectionError(e.what());
  } catch (...) {
    ReportConnectionError("Erreur inconnue pendant l'échange UDP.");
  }
  // The socket closes here on every path, also when the error reporter throws.
}

void Discover(const TReplyEvent& onReply) {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Discover, buf);
  Exchange(buf, 0, onReply, true);
}

void ReadAll(int deviceIndex, const TReplyEvent& onReply) {
  TBusyGuard busy;
  const TZEL device = CopyOfDevice(deviceIndex);
  const std::uint32_t model = device.ModelCode();
  RunBatched(
      device, TCommand::Read, 0,
      [model](TSendBuf& buf, std::uint16_t tag) {
        if (HasTag(tag, model) && FlagsOfTag(tag, model) != kFlagWriteOnly) AddReadItem(buf, tag);
      },
      onReply);
}

void WriteAll(int deviceIndex, const TReplyEvent& onReply) {
  TBusyGuard busy;
  const TZEL device = CopyOfDevice(deviceIndex);
  const std::uint32_t model = device.ModelCode();
  RunBatched(
      device, TCommand::Write, 10,
      [&device, model](TSendBuf& buf, std::uint16_t tag) {
        const std::uint8_t type = TypeOfTag(tag, model) & 0x7F;
        if (FlagsOfTag(tag, model) != kFlagReadOnly && type >= vtIPv4 && type <= vtDWord)
          AddWriteItemFromRecord(buf, device, tag);
      },
      onReply);
}

void WriteGeneral(int deviceIndex, const TReplyEvent& onReply) {
  TBusyGuard busy;
  const TZEL device = CopyOfDevice(deviceIndex);
  TSendBuf buf;
  BuildHeader(device.address, TCommand::Write, buf);
  for (std::uint16_t tag : {1, 2, 3, 4, 6}) AddWriteItemFromRecord(buf, device, tag);
  Exchange(buf, 10, onReply, true);
}

void TriggerUpgrade(const std::string& ipText, const TReplyEvent& onReply) {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Upgrade, buf);
  const TDeviceAddress destination = IpPortAddress(TextToIp(ipText), kDevicePort);
  std::copy(destination.begin(), destination.end(), buf.begin());
  Exchange(buf, 0, onReply, true);
}

}  // namespace velkaro
