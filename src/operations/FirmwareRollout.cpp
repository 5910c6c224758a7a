#include "operations/FirmwareRollout.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "operations/DeviceOperations.h"
#include "operations/UpgradeOperation.h"
#include "protocol/Exchange.h"
#include "protocol/Frame.h"

namespace velkaro::ops {

namespace {

using Clock = std::chrono::steady_clock;

std::string SecondsText(std::chrono::milliseconds ms) {
  const long long whole = ms.count() / 1000;
  const long long tenths = ms.count() % 1000 / 100;
  return std::to_string(whole) + (tenths ? "." + std::to_string(tenths) : "") + " s";
}

class TRollout {
 public:
  TRollout(const std::vector<TZEL>& devices, const TRolloutSettings& settings,
           const TRolloutProgress& progress)
      : settings_(settings), progress_(progress) {
    for (const TZEL& d : devices) results_.push_back({d, TRolloutResult::NotStarted, 0, {}});
  }

  std::vector<TRolloutDevice> Run() {
    std::size_t first = 0;
    if (settings_.canary && !results_.empty()) {
      Take();
      Process(0);
      first = 1;
      if (results_[0].result != TRolloutResult::Ok)
        stopReason_ = "the first device did not succeed";
    }
    next_ = first;
    const std::size_t left = results_.size() - first;
    const std::size_t workers =
        std::min(left, static_cast<std::size_t>(std::max(settings_.parallel, 1)));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < workers; ++i) threads.emplace_back([this] { Work(); });
    for (std::thread& t : threads) t.join();
    for (TRolloutDevice& r : results_) {
      if (r.result == TRolloutResult::NotStarted && r.error.empty())
        r.error = "not started: " + (stopReason_.empty() ? std::string("stopped") : stopReason_);
    }
    return std::move(results_);
  }

 private:
  // The next device to start, or none when the rollout stops starting new ones.
  bool Take(std::size_t* index = nullptr) {
    std::lock_guard lock(mutex_);
    if (!stopReason_.empty() || next_ >= results_.size()) return false;
    if (index) *index = next_;
    ++next_;
    return true;
  }

  void Work() {
    std::size_t index = 0;
    while (Take(&index)) Process(index);
  }

  void Report(std::size_t index, TRolloutState state, int percent) {
    if (!progress_) return;
    std::lock_guard lock(reportMutex_);
    progress_(index, state, percent);
  }

  void Process(std::size_t index) {
    TRolloutDevice& r = results_[index];
    const std::string ip = IpToText(r.device.values.AsUInt(2));
    const auto start = Clock::now();
    Report(index, TRolloutState::Triggering, 0);

    TIdTrivialFTP ftp;
    ConfigureUpgradeClient(ftp, settings_.tftpPort);
    std::int64_t total = 0;
    int shown = -1;
    ftp.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int64_t max) {
      total = max;
      shown = 0;
      Report(index, TRolloutState::Uploading, 0);
    };
    ftp.OnWork = [&](TIdComponent&, TWorkMode, std::int64_t count) {
      const int percent = total > 0 ? static_cast<int>(count * 100 / total) : 100;
      if (percent == shown) return;
      shown = percent;
      Report(index, TRolloutState::Uploading, percent);
    };
    // The upload goes to the device's own address, whoever answered the trigger.
    const std::string host = settings_.uploadHost.empty() ? ip : settings_.uploadHost;
    const TUpgradeOutcome upgrade = UpgradeDevice(settings_.exchange, ip, settings_.file, host, ftp,
                                                  {}, settings_.force, r.device.link);

    if (!upgrade.imageError.empty()) {
      // The file changed after the checks: nothing was sent to this device.
      r.result = TRolloutResult::TransferFailed;
      r.error = "the image cannot be read: " + upgrade.imageError;
    } else if (!upgrade.uploaded) {
      r.result = TRolloutResult::NoAnswerToTrigger;
      r.error = upgrade.trigger.errors.empty() ? std::string(kDeviceNotResponding)
                                               : upgrade.trigger.errors.front().Message();
    } else if (!upgrade.transferError.empty()) {
      r.result = TRolloutResult::TransferFailed;
      r.error = upgrade.transferError;
    } else if (settings_.returnTimeout.count() > 0) {
      Report(index, TRolloutState::Returning, 100);
      if (AwaitReturn(settings_.exchange, r.device, settings_.returnTimeout)) {
        r.result = TRolloutResult::Ok;
      } else {
        r.result = TRolloutResult::NoReturn;
        r.error = "no answer to a discovery within " + SecondsText(settings_.returnTimeout) +
                  " after the upload";
      }
    } else {
      r.result = TRolloutResult::Ok;
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    {
      std::lock_guard lock(mutex_);
      if (r.result != TRolloutResult::Ok && settings_.stopAfter > 0 &&
          ++failures_ >= settings_.stopAfter && stopReason_.empty()) {
        stopReason_ = "stopped after " + std::to_string(failures_) + " failed device" +
                      (failures_ == 1 ? "" : "s");
      }
    }
    Report(index, TRolloutState::Finished, shown < 0 ? 0 : shown);
  }

  const TRolloutSettings& settings_;
  const TRolloutProgress& progress_;
  std::vector<TRolloutDevice> results_;
  std::mutex mutex_;  // next_, failures_, stopReason_
  std::size_t next_ = 0;
  int failures_ = 0;
  std::string stopReason_;
  std::mutex reportMutex_;
};

}  // namespace

const char* RolloutResultWord(TRolloutResult result) {
  switch (result) {
    case TRolloutResult::Ok:
      return "ok";
    case TRolloutResult::TransferFailed:
      return "transfer failed";
    case TRolloutResult::NoAnswerToTrigger:
      return "no answer to trigger";
    case TRolloutResult::NoReturn:
      return "no return";
    case TRolloutResult::NotStarted:
      return "not started";
  }
  return "not started";
}

const char* RolloutStateWord(TRolloutState state) {
  switch (state) {
    case TRolloutState::Queued:
      return "queued";
    case TRolloutState::Triggering:
      return "triggering";
    case TRolloutState::Uploading:
      return "uploading";
    case TRolloutState::Returning:
      return "waiting for return";
    case TRolloutState::Finished:
      return "finished";
  }
  return "queued";
}

std::vector<TRolloutDevice> RunRollout(const std::vector<TZEL>& devices,
                                       const TRolloutSettings& settings,
                                       const TRolloutProgress& progress) {
  return TRollout(devices, settings, progress).Run();
}

bool AwaitReturn(const TExchangeSettings& settings, const TZEL& device,
                 std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  auto next = Clock::now();
  while (Clock::now() < deadline) {
    std::this_thread::sleep_until(std::min(next, deadline));
    next = Clock::now() + kScanInterval;
    std::atomic<bool> seen{false};
    // Every exchange here was sent after the upload ended, so any answer proves the return.
    Discover(settings, [&](const TReply& reply) {
      const TBytes& data = reply.data;
      if (data.size() >= kSourceOffset + device.address.size() &&
          std::equal(device.address.begin(), device.address.end(), data.begin() + kSourceOffset))
        seen = true;
    });
    if (seen) return true;
  }
  return false;
}

}  // namespace velkaro::ops
