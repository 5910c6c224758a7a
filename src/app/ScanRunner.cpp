#include "app/ScanRunner.h"

#include <QStringList>
#include <memory>
#include <string>

#include "protocol/Exchange.h"
#include "protocol/Session.h"
#include "ui/ExchangeWorker.h"
#include "ui/UiSeams.h"

namespace velkaro {

namespace {

struct TRound {
  std::vector<TReply> replies;  // each with the interface it came through
  TExchangeResult result;
};

}  // namespace

void TErrorTally::Add(const QString& message) {
  for (TEntry& entry : entries_) {
    if (entry.message == message) {
      ++entry.count;
      return;
    }
  }
  entries_.push_back({message, 1});
}

QString TErrorTally::Summary() const {
  QStringList lines;
  for (const TEntry& entry : entries_)
    lines << (entry.count > 1 ? QObject::tr("%1 (%2 times)").arg(entry.message).arg(entry.count)
                              : entry.message);
  return lines.join(u'\n');
}

TScanRunner::TScanRunner(TSession& session, QObject* parent) : QObject(parent), session_(session) {}

void TScanRunner::StartRound(std::function<void(const QString& failure)> failed,
                             std::function<void()> done, TMerge merge) {
  if (running_) return;
  running_ = true;
  auto round = std::make_shared<TRound>();
  ui::RunExchange(
      this,
      [round, settings = session_.settings, late = late_] {
        // The previous round's sockets waited for stragglers until now.
        late->Collect();
        round->result = Discover(
            settings, [&round = *round](const TReply& reply) { round.replies.push_back(reply); },
            late.get());
      },
      [this, round, failed = std::move(failed), done = std::move(done), merge = std::move(merge)] {
        running_ = false;
        merge(round->replies);
        for (const TExchangeError& error : round->result.errors) {
          const QString message = ui::CoreText(error.Message());
          errors_.Add(message);
          if (failed) failed(message);
        }
        if (done) done();
      });
}

}  // namespace velkaro
