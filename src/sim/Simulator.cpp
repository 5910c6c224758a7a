#include "sim/Simulator.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <queue>
#include <stdexcept>
#include <thread>

#include "platform/Socket.h"
#include "protocol/DeviceList.h"
#include "sim/TftpServer.h"

namespace velkaro::sim {

namespace {

using Clock = std::chrono::steady_clock;

// How long the serving thread waits at most before it looks at the stop flag again.
constexpr std::chrono::milliseconds kStopCheck{20};
constexpr std::size_t kMaxRequest = 65536;
constexpr std::uint32_t kFirstLoopbackDevice = 0x7F000002;  // 127.0.0.2
constexpr std::size_t kMaxLoopbackDevices = 0x00FFFFFD;     // up to 127.255.255.254
// Between the two acknowledgements of a trigger answered twice: the upload has begun by then.
constexpr std::chrono::milliseconds kSecondTriggerAnswer{50};

// Discovery answer: the model code first, so the program can decode the model's tags after it.
constexpr int kDiscoverTags[] = {13, 7, 5, 2, 4, 1, 3, 6, 8, 9, 10, 11, 12};

struct TPending {
  Clock::time_point due;
  std::uint64_t order;
  TBytes data;
  std::uint32_t ip;
  std::uint16_t port;
  bool operator>(const TPending& o) const { return due != o.due ? due > o.due : order > o.order; }
};

bool IsAllDevices(std::span<const std::uint8_t> destination) {
  return std::equal(kAllDevices.begin(), kAllDevices.end(), destination.begin());
}

// Reply frame: the device's own address as source, the request's OEM bytes and command.
TBytes ReplyHeader(const TZEL& device, std::span<const std::uint8_t> request) {
  TBytes out(kEmptyRequestSize, 0);
  std::copy(device.address.begin(), device.address.end(), out.begin() + kSourceOffset);
  out[kOemOffset] = 0x00;
  out[kOemOffset + 1] = 0x01;
  out[kOemOffset + 2] = request[kOemOffset + 2];
  out[kOemOffset + 3] = request[kOemOffset + 3];
  out[kCommandOffset] = request[kCommandOffset];
  out[25] = 0xFF;
  out[26] = 0xFF;
  return out;
}

// Appends the device's value of `tag` as its model encodes it; tags the model or the device
// lacks are left out.
void AddValueItem(TBytes& buf, const TZEL& device, int tag) {
  const TDescriptor d = SimDescriptor(device.ModelCode(), tag);
  // A cleared value plays a firmware that lacks the setting.
  if (d == 0 || !device.values.Has(tag)) return;
  const std::uint8_t type = DescriptorType(d) & 0x7F;
  const auto t = static_cast<std::uint16_t>(tag);
  if (type == vtString) {
    AddWriteItem(buf, t, type, 0, device.values.AsText(tag));
  } else if (type == vtMac) {
    // Write requests never carry MAC items, so the frame helpers do not build them.
    const auto mac = static_cast<std::uint64_t>(device.values.AsInt64(tag));
    const std::size_t n = buf.size();
    buf.resize(n + 3 + 6);
    buf[n - 2] = static_cast<std::uint8_t>(t >> 8);
    buf[n - 1] = static_cast<std::uint8_t>(t);
    buf[n] = 6;
    for (int i = 0; i < 6; ++i)
      buf[n + 1 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(mac >> (40 - 8 * i));
    buf[n + 7] = 0xFF;
    buf[n + 8] = 0xFF;
  } else {
    AddWriteItem(buf, t, type, device.values.AsUInt(tag));
  }
}

// Stores a written item when the model has the tag, it is writable and the length fits its type.
void StoreWrittenItem(TZEL& device, const TReplyItem& item) {
  const TDescriptor d = SimDescriptor(device.ModelCode(), item.tag);
  if (d == 0 || DescriptorFlags(d) == kFlagReadOnly || item.truncated) return;
  // A MAC is read-only on every model, so only the writable types 1-5 arrive here.
  TValue value = DecodeItemValue(DescriptorType(d), item);
  if (!std::holds_alternative<std::monostate>(value)) device.values.Set(item.tag, std::move(value));
}

TBytes Malform(const TBytes& reply, TMalformKind kind) {
  switch (kind) {
    case TMalformKind::Empty:
      return {};
    case TMalformKind::Short:
      return TBytes(reply.begin(), reply.begin() + 10);
    case TMalformKind::Oversize: {
      TBytes out = reply;
      while (out.size() <= 9000) AddWriteItem(out, 11, vtString, 0, std::string(250, 'x'));
      return out;
    }
    case TMalformKind::BadItems:
    default: {
      const std::uint8_t items[] = {
          0x00, 0x02, 0x03, 0x0A, 0x00, 0x00,              // IPv4 with 3 bytes
          0x00, 0x04, 0x01, 0x50,                          // word with 1 byte
          0x00, 0x0D, 0x05, 0x01, 0x01, 0x01, 0x00, 0x00,  // model code with 5 bytes
          0x00, 0x07, 0xC8, 'b',  'r',  'o',  'k',  'e',   // string claiming 200 bytes
      };
      TBytes out(kHeaderSize + sizeof items);
      std::copy_n(reply.begin(), kHeaderSize, out.begin());
      std::copy(std::begin(items), std::end(items), out.begin() + kHeaderSize);
      return out;
    }
  }
}

}  // namespace

struct TSimulator::TState {
  TSimOptions options;

  mutable std::mutex mutex;  // devices, switches, handler and request log
  mutable std::condition_variable requestArrived;
  std::vector<TZEL> devices;
  TUpgradeHandler upgradeHandler;
  std::deque<TReceivedRequest> requests;
  std::size_t requestBytes = 0;  // of the datagrams in `requests`
  std::size_t requestCount = 0;
  std::vector<Clock::time_point> silentUntil;  // per device: rebooting until then
  std::vector<TDeviceUploads> uploads;
  std::vector<std::unique_ptr<TTftpServer>> deviceTftp;  // with loopbackIps, made on demand
  std::size_t lastTriggered = 0;                         // whose image the shared receiver takes
  std::size_t activeTransfers = 0;
  std::size_t maxActiveTransfers = 0;
  std::size_t droppedRequests = 0;
  std::size_t droppedReplies = 0;

  std::atomic<std::size_t> repliesSent{0};
  std::atomic<std::size_t> upgrades{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> running{false};
  std::uint16_t port = 0;

  TUdpSocket socket;
  std::thread thread;
  std::unique_ptr<TTftpServer> tftp;

  // Serving thread only.
  std::priority_queue<TPending, std::vector<TPending>, std::greater<>> pending;
  std::uint64_t nextOrder = 0;
  std::uint64_t dropState = 0;  // splitmix64; the same seed gives the same losses
};

TSimulator::TSimulator(TSimOptions options) : state_(std::make_unique<TState>()) {
  auto& s = *state_;
  if (options.models.empty()) options.models = {kModelZel1, kModelZel4, kModelZel8};
  if (options.count < 0) throw std::invalid_argument("device count must not be negative");
  const std::size_t n =
      options.count > 0 ? static_cast<std::size_t>(options.count) : options.models.size();
  s.devices.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    s.devices.push_back(
        MakeDeviceRecord(options.models[i % options.models.size()], i, options.macBase + i + 1));
  if (options.dropRate < 0 || options.dropRate > 1)
    throw std::invalid_argument("drop rate must be from 0 to 1");
  if (options.loopbackIps) {
    if (n > kMaxLoopbackDevices) throw std::invalid_argument("too many devices for 127.0.0.0/8");
    for (std::size_t i = 0; i < n; ++i)
      s.devices[i].values.Set(2, static_cast<std::uint32_t>(kFirstLoopbackDevice + i));
  }
  s.silentUntil.assign(n, Clock::time_point::min());
  s.uploads.resize(n);
  s.deviceTftp.resize(options.loopbackIps ? n : 0);
  s.dropState = options.seed;
  s.options = std::move(options);
  s.tftp = std::make_unique<TTftpServer>(TextToIp(s.options.bindAddress), s.options.tftpPort);
  s.tftp->SetHooks(HooksFor(std::nullopt));
}

bool TSimulator::Drop() {
  auto& s = *state_;
  if (s.options.dropRate <= 0) return false;
  std::uint64_t z = (s.dropState += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53 < s.options.dropRate;
}

TTftpHooks TSimulator::HooksFor(std::optional<std::size_t> device) {
  TState* s = state_.get();
  const auto owner = [s, device] { return device ? *device : s->lastTriggered; };
  TTftpHooks hooks;
  hooks.begin = [s, owner](TTftpSwitches& sw) {
    std::lock_guard lock(s->mutex);
    s->maxActiveTransfers = std::max(s->maxActiveTransfers, ++s->activeTransfers);
    if (s->options.abortAtBlock > 0 && s->options.abortDevices.Has(owner())) {
      sw.errorAtBlock = s->options.abortAtBlock;
      sw.errorCode = tftp::errNotDefined;
      sw.errorMessage = "Transfer aborted by the device";
    }
  };
  hooks.end = [s, owner](const TTftpTransfer& t) {
    std::lock_guard lock(s->mutex);
    --s->activeTransfers;
    if (!t.complete || t.refused) return;
    const std::size_t i = owner();
    TDeviceUploads& u = s->uploads.at(i);
    ++u.count;
    u.latest.push_back(t.image);
    if (u.latest.size() > TDeviceUploads::kKeptImages) u.latest.erase(u.latest.begin());
    if (s->options.noReturn.Has(i))
      s->silentUntil[i] = Clock::time_point::max();
    else if (s->options.rebootMs > 0)
      s->silentUntil[i] = Clock::now() + std::chrono::milliseconds(s->options.rebootMs);
  };
  return hooks;
}

TSimulator::~TSimulator() {
  Stop();
}

void TSimulator::Start() {
  auto& s = *state_;
  if (s.running) return;
  std::uint32_t address = 0;
  if (!ParseIpv4(s.options.bindAddress, address))
    throw std::invalid_argument("invalid bind address '" + s.options.bindAddress + "'");
  TUdpSocket socket;
  socket.EnableBroadcast();
  // A burst of requests from several programs must not be dropped either.
  socket.SetReceiveBuffer(1u << 20);
  socket.Bind(address, s.options.port);
  s.port = socket.LocalPort();
  s.socket = std::move(socket);
  s.stop = false;
  s.running = true;
  s.thread = std::thread([this] { Serve(); });
}

void TSimulator::Stop() {
  auto& s = *state_;
  s.stop = true;
  if (s.thread.joinable()) s.thread.join();
  s.socket.Close();
  s.pending = {};
  s.tftp->Stop();
  for (auto& server : s.deviceTftp)
    if (server) server->Stop();
  s.running = false;
}

bool TSimulator::Running() const {
  return state_->running;
}

std::uint16_t TSimulator::Port() const {
  return state_->port;
}

std::size_t TSimulator::DeviceCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->devices.size();
}

TZEL TSimulator::Snapshot(std::size_t index) const {
  std::lock_guard lock(state_->mutex);
  return state_->devices.at(index);
}

void TSimulator::SetValue(std::size_t index, int tag, TValue value) {
  std::lock_guard lock(state_->mutex);
  state_->devices.at(index).values.Set(tag, std::move(value));
}

void TSimulator::SetReplyDelay(int ms) {
  std::lock_guard lock(state_->mutex);
  state_->options.replyDelayMs = std::max(ms, 0);
}

void TSimulator::SetReplySpacing(int ms) {
  std::lock_guard lock(state_->mutex);
  state_->options.replySpacingMs = std::max(ms, 0);
}

void TSimulator::SetSilent(bool silent) {
  std::lock_guard lock(state_->mutex);
  state_->options.silent = silent;
}

void TSimulator::SilenceDevice(std::size_t index) {
  std::lock_guard lock(state_->mutex);
  state_->silentUntil.at(index) = Clock::time_point::max();
}

void TSimulator::ResumeDevice(std::size_t index) {
  std::lock_guard lock(state_->mutex);
  state_->silentUntil.at(index) = Clock::time_point::min();
}

void TSimulator::SetDuplicates(int copies, int gapMs) {
  std::lock_guard lock(state_->mutex);
  state_->options.duplicates = std::max(copies, 0);
  state_->options.duplicateGapMs = std::max(gapMs, 0);
}

void TSimulator::SetMalformed(bool malformed, TMalformKind kind) {
  std::lock_guard lock(state_->mutex);
  state_->options.malformed = malformed;
  state_->options.malformKind = kind;
}

void TSimulator::SetUpgradeHandler(TUpgradeHandler handler) {
  std::lock_guard lock(state_->mutex);
  state_->upgradeHandler = std::move(handler);
}

std::size_t TSimulator::UpgradeCount() const {
  return state_->upgrades;
}

TDeviceUploads TSimulator::Uploads(std::size_t index) const {
  std::lock_guard lock(state_->mutex);
  return state_->uploads.at(index);
}

std::size_t TSimulator::MaxConcurrentTransfers() const {
  std::lock_guard lock(state_->mutex);
  return state_->maxActiveTransfers;
}

std::size_t TSimulator::DroppedRequests() const {
  std::lock_guard lock(state_->mutex);
  return state_->droppedRequests;
}

std::size_t TSimulator::DroppedReplies() const {
  std::lock_guard lock(state_->mutex);
  return state_->droppedReplies;
}

std::vector<TReceivedRequest> TSimulator::Requests() const {
  std::lock_guard lock(state_->mutex);
  return {state_->requests.begin(), state_->requests.end()};
}

std::size_t TSimulator::RequestCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->requestCount;
}

void TSimulator::ClearRequests() {
  std::lock_guard lock(state_->mutex);
  state_->requests.clear();
  state_->requestBytes = 0;
  state_->requestCount = 0;
}

bool TSimulator::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->requestArrived.wait_for(lock, timeout,
                                         [&] { return state_->requestCount >= count; });
}

std::size_t TSimulator::RepliesSent() const {
  return state_->repliesSent;
}

void TSimulator::OnUpgrade(const TUpgradeEvent& event) {
  TUpgradeHandler handler;
  {
    std::lock_guard lock(state_->mutex);
    handler = state_->upgradeHandler;
  }
  // A device that cannot open its TFTP port stays silent (the caller drops its reply).
  TTftpServer* server = state_->tftp.get();
  if (state_->options.loopbackIps) {
    std::lock_guard lock(state_->mutex);
    auto& own = state_->deviceTftp.at(event.deviceIndex);
    if (!own) {
      own = std::make_unique<TTftpServer>(event.deviceIp, state_->options.tftpPort);
      own->SetSwitches(state_->tftp->Switches());
      own->SetHooks(HooksFor(event.deviceIndex));
    }
    server = own.get();
  } else {
    std::lock_guard lock(state_->mutex);
    state_->lastTriggered = event.deviceIndex;
  }
  server->Start();
  TUpgradeEvent ready = event;
  ready.tftpPort = server->Port();
  if (handler) handler(ready);
}

TTftpServer& TSimulator::Tftp() {
  return *state_->tftp;
}

TTftpServer& TSimulator::Tftp(std::size_t index) {
  std::lock_guard lock(state_->mutex);
  if (state_->deviceTftp.empty()) return *state_->tftp;
  const auto& own = state_->deviceTftp.at(index);
  return own ? *own : *state_->tftp;
}

void TSimulator::Serve() {
  auto& s = *state_;
  TBytes buffer(kMaxRequest);
  while (!s.stop) {
    SendDueReplies();
    auto wait = kStopCheck;
    if (!s.pending.empty()) {
      const auto untilDue =
          std::chrono::ceil<std::chrono::milliseconds>(s.pending.top().due - Clock::now());
      wait = std::clamp(untilDue, std::chrono::milliseconds{0}, kStopCheck);
    }
    try {
      if (!s.socket.WaitReadable(wait)) continue;
      const TDatagramInfo info = s.socket.ReceiveFrom(buffer);
      HandleRequest(TBytes(buffer.begin(), buffer.begin() + static_cast<long>(info.copied)),
                    info.address, info.port);
    } catch (const TSocketError&) {
      // A failed receive (for example an ICMP error reported late) must not end the devices.
    }
  }
}

void TSimulator::SendDueReplies() {
  auto& s = *state_;
  const auto now = Clock::now();
  while (!s.pending.empty() && s.pending.top().due <= now && !s.stop) {
    const TPending& p = s.pending.top();
    if (Drop()) {
      std::lock_guard lock(s.mutex);
      ++s.droppedReplies;
      s.pending.pop();
      continue;
    }
    try {
      s.socket.SendTo(p.data, p.ip, p.port);
      ++s.repliesSent;
    } catch (const TSocketError&) {
      // The requester is gone or unreachable; a device does not care.
    }
    s.pending.pop();
  }
}

void TSimulator::HandleRequest(TBytes request, std::uint32_t ip, std::uint16_t port) {
  auto& s = *state_;
  const auto now = Clock::now();
  TSimOptions o;
  std::size_t deviceCount = 0;
  bool dropped = false;
  {
    std::lock_guard lock(s.mutex);
    ++s.requestCount;
    s.requestBytes += request.size();
    s.requests.push_back({request, ip, port, now});
    while (s.requests.size() > 1 && (s.requests.size() > s.options.requestLogLimit ||
                                     s.requestBytes > s.options.requestLogBytes)) {
      s.requestBytes -= s.requests.front().data.size();
      s.requests.pop_front();
    }
    // Counted before a waiter wakes, so the counts it reads agree with each other.
    dropped = Drop();
    if (dropped) ++s.droppedRequests;
    s.requestArrived.notify_all();
    o = s.options;
    deviceCount = s.devices.size();
  }
  if (dropped) return;
  if (o.silent || request.size() < kEmptyRequestSize) return;

  const std::span<const std::uint8_t> destination(request.data() + kDestinationOffset,
                                                  sizeof(TDeviceAddress));
  const auto kind = static_cast<std::uint16_t>((request[0] << 8) | request[1]);
  const auto command = static_cast<TCommand>(request[kCommandOffset]);
  const auto start = now + std::chrono::milliseconds(o.replyDelayMs);
  std::size_t answered = 0;
  // Device by device, each answer goes out as soon as it is due: with thousands of devices the
  // first answers must not wait for the last to be built.
  for (std::size_t i = 0; i < deviceCount && !s.stop; ++i) {
    TBytes reply;
    std::optional<TUpgradeEvent> upgrade;
    {
      std::lock_guard lock(s.mutex);
      TZEL& device = s.devices[i];
      if (now < s.silentUntil[i]) continue;  // rebooting after an upload
      const bool addressed =
          IsAllDevices(destination) ||
          std::equal(destination.begin(), destination.end(), device.address.begin()) ||
          (kind == 2 && ReadBigEndian(destination.subspan(2, 4)) == device.values.AsUInt(2));
      if (!addressed) continue;
      reply = ReplyHeader(device, request);
      switch (command) {
        case TCommand::Discover:
          for (int tag : kDiscoverTags) AddValueItem(reply, device, tag);
          break;
        case TCommand::Read:
          WalkReplyItems(request, [&](const TReplyItem& item) {
            if (item.tag != kListEnd) AddValueItem(reply, device, item.tag);
          });
          break;
        case TCommand::Write:
          WalkReplyItems(request, [&](const TReplyItem& item) { StoreWrittenItem(device, item); });
          break;
        case TCommand::Upgrade:
          if (kind != 2) continue;
          upgrade = TUpgradeEvent{i, device.values.AsUInt(2), o.tftpPort, ip, port};
          break;
        default:
          continue;
      }
    }
    // The device gets ready for the image before it acknowledges; one that cannot stays silent.
    if (upgrade) {
      try {
        OnUpgrade(*upgrade);
        ++s.upgrades;
      } catch (const std::exception&) {
        continue;
      }
    }
    if (o.malformed) reply = Malform(reply, o.malformKind);
    const auto first = start + std::chrono::milliseconds(o.replySpacingMs) * answered++;
    for (int c = 0; c <= o.duplicates; ++c)
      s.pending.push({first + std::chrono::milliseconds(o.duplicateGapMs) * c, s.nextOrder++, reply,
                      ip, port});
    if (upgrade && o.doubleTrigger.Has(i))
      s.pending.push({first + kSecondTriggerAnswer, s.nextOrder++, reply, ip, port});
    SendDueReplies();
  }
}

}  // namespace velkaro::sim
