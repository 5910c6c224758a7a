#include "app/ScanRunner.h"

#include <QStringList>
#include <memory>
#include <string>

#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "ui/ExchangeWorker.h"
#include "ui/UiSeams.h"

namespace velkaro {

namespace {

struct TRoundReply {
  TNetLink via;  // the interface it came through
  bool last;
  TBytes data;
};

struct TRound {
  std::vector<TRoundReply> replies;
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

TScanRunner::TScanRunner(QObject* parent) : QObject(parent) {}

void TScanRunner::StartRound(std::function<void(const QString& failure)> failed,
                             std::function<void()> done) {
  if (running_) return;
  running_ = true;
  auto round = std::make_shared<TRound>();
  ui::RunExchange(
      this,
      [round] {
        round->result = Discover(
            [&round = *round](const std::string&, int, bool last, const TBytes& data) {
              round.replies.push_back({ReplyLink(), last, data});
            });
      },
      [this, round, failed = std::move(failed), done = std::move(done)] {
        running_ = false;
        // A device whose interface was silent this round may move to the one it answered on.
        DeviceList.StartRound();
        for (const TRoundReply& reply : round->replies)
          MergeReplyVia(reply.via, reply.last, reply.data);
        for (const TExchangeError& error : round->result.errors) {
          const QString message = ui::CoreText(error.Message());
          errors_.Add(message);
          if (failed) failed(message);
        }
        if (done) done();
      });
}

}  // namespace velkaro
