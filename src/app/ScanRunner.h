// The discovery rounds of a scan, off the UI thread: one round's replies are gathered on the
// exchange thread and merged into DeviceList on the UI thread once the round is over, and the
// round's failures are counted for the single box shown after the scan.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "protocol/LateReplies.h"
#include "protocol/Session.h"

namespace velkaro {

// Each distinct failure message once, with how often it came, in the order first seen.
class TErrorTally {
 public:
  void Add(const QString& message);
  bool Empty() const { return entries_.empty(); }
  void Clear() { entries_.clear(); }
  // One line per message; a repeated one ends with " (N times)".
  QString Summary() const;

 private:
  struct TEntry {
    QString message;
    int count;
  };
  std::vector<TEntry> entries_;
};

class TScanRunner : public QObject {
  Q_OBJECT

 public:
  // Merges into `session`, which outlives the runner.
  explicit TScanRunner(TSession& session, QObject* parent = nullptr);

  // Runs one discovery exchange; when it is over `merge` is given its replies, every failure
  // message goes to `failed` and to the tally, then `done` runs. All of that on the UI thread.
  // One round at a time.
  using TMerge = std::function<void(const std::vector<TReply>& replies)>;
  void StartRound(std::function<void(const QString& failure)> failed, std::function<void()> done,
                  TMerge merge);
  bool RoundRunning() const { return running_; }
  TErrorTally& Errors() { return errors_; }
  // Answers that came after a round's listening, until the next round started or now, since the
  // last call.
  int TakeLateReplies() { return late_->Take(); }

 private:
  bool running_ = false;
  // Shared with the round under way, which may outlive the runner.
  std::shared_ptr<TLateReplies> late_ = std::make_shared<TLateReplies>();
  TSession& session_;
  TErrorTally errors_;
};

}  // namespace velkaro
