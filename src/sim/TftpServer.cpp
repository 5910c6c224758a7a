#include "sim/TftpServer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "platform/Socket.h"

namespace velkaro::sim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace tftp;

constexpr auto kStopCheck = std::chrono::milliseconds(20);
constexpr std::size_t kLargestDatagram = 65536;
constexpr std::size_t kKeptTransfers = 8;  // images are large; older ones are dropped
// After the final block, how long a stray socket still waits for the client's answer.
constexpr auto kStrayLinger = std::chrono::milliseconds(500);

}  // namespace

struct TTftpServer::TState {
  std::uint32_t bindAddress;
  std::uint16_t requestedPort;
  std::string acceptedName;

  mutable std::mutex mutex;
  mutable std::condition_variable transferEnded;
  TTftpSwitches switches;
  std::deque<TTftpTransfer> transfers;
  std::size_t requestCount = 0;
  std::size_t transferCount = 0;
  std::size_t busyRefusals = 0;
  TTftpHooks hooks;

  std::mutex lifecycle;  // Start and Stop come from the simulator's thread and the test's
  std::atomic<bool> stop{false};
  std::atomic<bool> running{false};
  std::atomic<std::uint16_t> port{0};
  TUdpSocket socket;
  std::thread thread;

  // Serving thread only: one worker per running transfer.
  struct TWorker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::list<TWorker> workers;

  void Serve();
  void ReapWorkers(bool all);
  void Run(TRequest request, std::uint32_t clientIp, std::uint16_t clientPort, TTftpSwitches sw,
           TTftpHooks hooks, std::atomic<bool>& done);
  // `settle` is called once the outcome is known, before the client is told it: whoever waits
  // for the client then finds the transfer recorded and its hook run. Not called when the
  // transfer is abandoned or the client ends it.
  TTftpTransfer Transfer(const TRequest& request, std::uint32_t clientIp, std::uint16_t clientPort,
                         const TTftpSwitches& sw,
                         const std::function<void(const TTftpTransfer&)>& settle);
};

TTftpServer::TTftpServer(std::uint32_t bindAddress, std::uint16_t port, std::string acceptedName)
    : state_(std::make_unique<TState>()) {
  state_->bindAddress = bindAddress;
  state_->requestedPort = port;
  state_->acceptedName = std::move(acceptedName);
}

TTftpServer::~TTftpServer() {
  Stop();
}

void TTftpServer::Start() {
  auto& s = *state_;
  std::lock_guard lock(s.lifecycle);
  if (s.running) return;
  TUdpSocket socket;
  socket.SetReuseAddress();
  socket.Bind(s.bindAddress, s.requestedPort);
  s.port = socket.LocalPort();
  s.socket = std::move(socket);
  s.stop = false;
  s.running = true;
  s.thread = std::thread([&s] { s.Serve(); });
}

void TTftpServer::Stop() {
  auto& s = *state_;
  std::lock_guard lock(s.lifecycle);
  s.stop = true;
  if (s.thread.joinable()) s.thread.join();
  s.socket.Close();
  s.running = false;
}

bool TTftpServer::Running() const {
  return state_->running;
}
std::uint16_t TTftpServer::Port() const {
  return state_->port;
}

TTftpSwitches TTftpServer::Switches() const {
  std::lock_guard lock(state_->mutex);
  return state_->switches;
}

void TTftpServer::SetSwitches(const TTftpSwitches& switches) {
  std::lock_guard lock(state_->mutex);
  state_->switches = switches;
}

std::size_t TTftpServer::RequestCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->requestCount;
}

void TTftpServer::SetHooks(TTftpHooks hooks) {
  std::lock_guard lock(state_->mutex);
  state_->hooks = std::move(hooks);
}

std::size_t TTftpServer::BusyRefusals() const {
  std::lock_guard lock(state_->mutex);
  return state_->busyRefusals;
}

std::size_t TTftpServer::TransferCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->transferCount;
}

bool TTftpServer::WaitForTransfers(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->transferEnded.wait_for(lock, timeout,
                                        [&] { return state_->transferCount >= count; });
}

std::vector<TTftpTransfer> TTftpServer::Transfers() const {
  std::lock_guard lock(state_->mutex);
  return {state_->transfers.begin(), state_->transfers.end()};
}

TTftpTransfer TTftpServer::LastTransfer() const {
  std::lock_guard lock(state_->mutex);
  return state_->transfers.empty() ? TTftpTransfer{} : state_->transfers.back();
}

void TTftpServer::Clear() {
  std::lock_guard lock(state_->mutex);
  state_->transfers.clear();
  state_->requestCount = 0;
  state_->transferCount = 0;
}

void TTftpServer::TState::Serve() {
  TBytes buffer(kLargestDatagram);
  while (!stop) {
    try {
      if (!socket.WaitReadable(kStopCheck)) continue;
      const TDatagramInfo info = socket.ReceiveFrom(buffer);
      TRequest request;
      if (!ParseRequest(std::span(buffer.data(), info.copied), request)) continue;
      TTftpSwitches sw;
      TTftpHooks h;
      {
        std::lock_guard lock(mutex);
        ++requestCount;
        sw = switches;
        h = hooks;
      }
      ReapWorkers(false);
      if (workers.size() >= sw.maxTransfers) {
        // A queue would let silent clients hold a real upload past its time-out.
        TUdpSocket link;
        link.Bind(bindAddress, 0);
        link.SendTo(MakeError(errNotDefined, "Too many transfers"), info.address, info.port);
        std::lock_guard lock(mutex);
        ++busyRefusals;
        continue;
      }
      auto done = std::make_shared<std::atomic<bool>>(false);
      std::thread worker([this, request, ip = info.address, port = info.port, sw, h, done] {
        Run(request, ip, port, sw, h, *done);
      });
      workers.push_back({std::move(worker), std::move(done)});
    } catch (const TSocketError&) {
      // One failed request (for example a client that vanished) must not end the server.
    }
  }
  ReapWorkers(true);
}

void TTftpServer::TState::ReapWorkers(bool all) {
  for (auto w = workers.begin(); w != workers.end();) {
    if (!all && !*w->done) {
      ++w;
      continue;
    }
    w->thread.join();
    w = workers.erase(w);
  }
}

void TTftpServer::TState::Run(TRequest request, std::uint32_t clientIp, std::uint16_t clientPort,
                              TTftpSwitches sw, TTftpHooks h, std::atomic<bool>& done) {
  const bool hooked = !sw.silent;
  if (hooked && h.begin) h.begin(sw);
  bool settled = false;
  // The hook first, the record last: whoever waits for the record sees the hook's effects (a
  // device rebooting) and a free slot.
  const auto settle = [&](const TTftpTransfer& t, bool keep) {
    if (settled) return;
    settled = true;
    if (hooked && h.end) h.end(t);
    done = true;
    if (!keep) return;
    std::lock_guard lock(mutex);
    transfers.push_back(t);
    while (transfers.size() > kKeptTransfers) transfers.pop_front();
    ++transferCount;
    transferEnded.notify_all();
  };
  try {
    const TTftpTransfer t = Transfer(request, clientIp, clientPort, sw,
                                     [&](const TTftpTransfer& now) { settle(now, true); });
    settle(t, true);
  } catch (const TSocketError&) {
    settle({}, false);  // a client that vanished; not a transfer worth keeping
  }
}

TTftpTransfer TTftpServer::TState::Transfer(
    const TRequest& request, std::uint32_t clientIp, std::uint16_t clientPort,
    const TTftpSwitches& sw, const std::function<void(const TTftpTransfer&)>& settle) {
  TTftpTransfer t;
  t.fileName = request.fileName;
  t.mode = request.mode;
  t.options = request.options;
  t.clientIp = clientIp;
  t.clientPort = clientPort;
  if (sw.silent) return t;

  TUdpSocket link;  // the server's transfer ID
  link.Bind(bindAddress, 0);
  const auto send = [&](const TBytes& packet, bool twice) {
    link.SendTo(packet, clientIp, clientPort);
    if (twice) link.SendTo(packet, clientIp, clientPort);
  };
  const auto refuse = [&](std::uint16_t code, const std::string& message) {
    t.refused = true;
    settle(t);
    send(MakeError(code, message), false);
    return t;
  };

  if (request.opcode != opWriteRequest) return refuse(errIllegalOperation, "Upload only");
  if (!acceptedName.empty() && request.fileName != acceptedName)
    return refuse(errAccessViolation, "Access violation");
  if (!SameText(request.mode, "octet") && !SameText(request.mode, "netascii"))
    return refuse(errIllegalOperation, "Illegal TFTP operation");
  if (sw.errorAtBlock == 0) return refuse(sw.errorCode, sw.errorMessage);

  const auto asked =
      std::find_if(request.options.begin(), request.options.end(),
                   [](const auto& o) { return SameText(o.first, kBlockSizeOption); });
  long wanted = 0;
  if (!sw.noOptions && asked != request.options.end() && ParseDecimal(asked->second, wanted) &&
      wanted >= kMinBlockSize) {
    const long granted = std::min<long>({wanted, sw.maxBlockSize, kMaxBlockSize});
    t.blockSize = static_cast<int>(granted);
    long replied = 0;
    if (!sw.blockSizeReply.empty() && ParseDecimal(sw.blockSizeReply, replied) &&
        replied >= kMinBlockSize && replied <= kMaxBlockSize)
      t.blockSize = static_cast<int>(replied);
    send(MakeOptionAck({{kBlockSizeOption,
                         sw.blockSizeReply.empty() ? std::to_string(granted) : sw.blockSizeReply}}),
         sw.duplicateAcks);
  } else {
    send(MakeAck(0), sw.duplicateAcks);
  }

  TBytes buffer(kLargestDatagram);
  std::optional<TUdpSocket> stray;
  const auto checkStray = [&](std::chrono::milliseconds wait) {
    while (stray && stray->WaitReadable(wait)) {
      const TDatagramInfo info = stray->ReceiveFrom(buffer);
      const std::span<const std::uint8_t> packet(buffer.data(), info.copied);
      if (Word(packet, 0) == opError) t.strayErrorCodes.push_back(Word(packet, 2));
      wait = std::chrono::milliseconds(0);
    }
  };

  std::uint16_t expected = 1;
  long index = 1;  // the expected block counted without wrapping
  bool stalled = false;
  const std::chrono::milliseconds idle(std::max(sw.idleTimeoutMs, 1));
  auto deadline = Clock::now() + idle;
  while (!stop) {
    checkStray(std::chrono::milliseconds(0));
    const auto now = Clock::now();
    if (now >= deadline) break;  // abandoned
    const auto wait =
        std::min(std::chrono::ceil<std::chrono::milliseconds>(deadline - now), kStopCheck);
    if (!link.WaitReadable(wait)) continue;
    const TDatagramInfo info = link.ReceiveFrom(buffer);
    const std::span<const std::uint8_t> packet(buffer.data(), info.copied);
    if (info.address != clientIp || info.port != clientPort) {
      if (Word(packet, 0) != opError)
        link.SendTo(MakeError(errUnknownTransferId, "Unknown transfer ID"), info.address,
                    info.port);
      continue;
    }
    deadline = Clock::now() + idle;
    const std::uint16_t opcode = Word(packet, 0);
    if (opcode == opError) {
      t.clientErrorCode = Word(packet, 2);
      t.clientError = Text(packet, 4);
      break;
    }
    if (stalled) continue;
    if (opcode != opData || info.size < kDataHeaderSize) {
      ++t.unexpectedPackets;
      continue;
    }
    ++t.dataPackets;
    const std::uint16_t block = Word(packet, 2);
    const std::size_t size = info.size - kDataHeaderSize;
    if (block == static_cast<std::uint16_t>(expected - 1)) {
      ++t.repeatedPackets;
      send(MakeAck(block), false);
      continue;
    }
    if (block != expected) {
      ++t.unexpectedPackets;
      continue;
    }
    if (size > static_cast<std::size_t>(t.blockSize))
      return refuse(errIllegalOperation, "Block larger than agreed");
    if (index == sw.errorAtBlock) return refuse(sw.errorCode, sw.errorMessage);
    if (t.image.size() + size > sw.maxImageBytes)
      return refuse(errAllocationExceeded, "Image too large");
    t.image.insert(t.image.end(), packet.begin() + kDataHeaderSize, packet.end());
    t.blockSizes.push_back(static_cast<std::uint32_t>(size));
    t.blockNumbers.push_back(block);
    const bool final = size < static_cast<std::size_t>(t.blockSize);
    t.complete = final;
    // With a stray socket the record waits for what the client says to it.
    if (final && !stray && index != sw.strayAtBlock) settle(t);
    if (index == sw.stallAtBlock && !final) {
      stalled = true;
      continue;
    }
    if (!(final && sw.noFinalAck)) send(MakeAck(block), sw.duplicateAcks);
    if (index == sw.strayAtBlock) {
      stray.emplace();
      stray->Bind(bindAddress, 0);
      stray->SendTo(MakeAck(static_cast<std::uint16_t>(block + 1)), clientIp, clientPort);
    }
    if (final) {
      t.complete = true;
      if (stray && t.strayErrorCodes.empty()) checkStray(kStrayLinger);
      break;
    }
    expected = static_cast<std::uint16_t>(expected + 1);
    ++index;
  }
  return t;
}

}  // namespace velkaro::sim
