#include "cli/WatchCommand.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "operations/DeviceWatch.h"
#include "platform/StopRequest.h"
#include "protocol/Exchange.h"

namespace velkaro::cli {

namespace {

using Clock = std::chrono::steady_clock;

// A thread that waits for SIGINT or SIGTERM and tells the watch; when the run ends on its own
// the thread is woken the same way.
class TStopWatcher {
 public:
  TStopWatcher() {
    PrepareStopRequest();
    thread_ = std::thread([this] {
      WaitForStopRequest();
      {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
      }
      wake_.notify_all();
    });
  }
  ~TStopWatcher() {
    if (!stopped_) RequestStop();
    thread_.join();
  }
  TStopWatcher(const TStopWatcher&) = delete;
  TStopWatcher& operator=(const TStopWatcher&) = delete;

  const std::atomic<bool>& Flag() const { return stopped_; }
  bool Stopped() const { return stopped_; }
  // Sleeps until `until`; false when a stop came first.
  bool SleepUntil(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_until(lock, until, [this] { return stopped_.load(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stopped_{false};
  std::thread thread_;
};

std::chrono::milliseconds Milliseconds(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000 + 0.5));
}

}  // namespace

int RunWatch(const TCliOptions& o, TCliContext& ctx) {
  // Read before any thread runs: it asks the locale.
  const TTextEncoding encoding = TerminalEncoding();
  TSession& session = ctx.session;
  session.DeviceList.Clear();
  session.SelectedDevice = 0;
  ops::TDeviceWatch watch(Milliseconds(o.missingAfter));
  const auto interval = Milliseconds(o.interval);
  const Clock::time_point start = Clock::now();
  const Clock::time_point end =
      o.duration > 0 ? start + Milliseconds(o.duration) : Clock::time_point::max();

  TStopWatcher stop;
  const TCancelScope cancel(stop.Flag());
  bool capTold = false;
  Clock::time_point next = start;
  while (stop.SleepUntil(std::min(next, end)) && Clock::now() < end) {
    // A round longer than the interval is followed at once by the next.
    next = Clock::now() + interval;
    std::vector<TReply> replies;
    const TExchangeResult round =
        Discover(session.settings, [&replies](const TReply& reply) { replies.push_back(reply); });
    if (round.cancelled || stop.Stopped()) break;
    ReportErrors(round, ctx);
    if (round.NoSocket()) return kExitFailure;

    std::vector<ops::TWatchEvent> events = watch.MergeRound(session, replies);
    std::vector<ops::TWatchEvent> missing = watch.MarkMissing(session);
    events.insert(events.end(), std::make_move_iterator(missing.begin()),
                  std::make_move_iterator(missing.end()));
    if (session.DeviceList.CapReached() && !capTold) {
      ctx.err << kDeviceCapText << '\n';
      capTold = true;
    }
    for (const ops::TWatchEvent& event : events) {
      if (stop.Stopped()) break;  // after a whole line, never within one
      if (o.json)
        ctx.out << WatchEventJson(event).dump() << '\n';
      else
        ctx.out << WatchEventLine(event, encoding) << '\n';
      ctx.out.flush();
    }
  }
  return kExitOk;
}

}  // namespace velkaro::cli
