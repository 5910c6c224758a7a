#include "ui/ExchangeWorker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThreadPool>

#include "protocol/Exchange.h"

namespace velkaro::ui {

namespace {

QThreadPool& ExchangeThread() {
  static QThreadPool* pool = [] {
    auto* p = new QThreadPool(QCoreApplication::instance());
    p->setMaxThreadCount(1);  // one exchange at a time, as the devices expect
    return p;
  }();
  return *pool;
}

}  // namespace

TCancelFlag RunExchange(QObject* context, std::function<void()> work, std::function<void()> done) {
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  // Looked at on the UI thread only: the context may go while the work runs.
  QPointer<QObject> receiver(context);
  ExchangeThread().start([cancel, receiver, work = std::move(work), done = std::move(done)] {
    {
      const TCancelScope scope(*cancel);
      work();
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [receiver, done] {
          if (receiver && done) done();
        },
        Qt::QueuedConnection);
  });
  return cancel;
}

bool RunWhileBusy(QWidget* owner, const QString& text, std::function<void()> work) {
  QEventLoop loop;
  bool finished = false;
  const TCancelFlag cancel = RunExchange(&loop, std::move(work), [&] {
    finished = true;
    loop.quit();
  });
  QProgressDialog panel(text, QCoreApplication::translate("Busy", "Cancel"), 0, 0, owner);
  panel.setObjectName(QString::fromLatin1(kBusyPanelName));
  panel.setWindowTitle(QCoreApplication::applicationName());
  panel.setWindowModality(Qt::WindowModal);
  panel.setAutoClose(false);
  panel.setAutoReset(false);
  panel.setMinimumDuration(0);
  QObject::connect(&panel, &QProgressDialog::canceled, &panel, [&] {
    cancel->store(true);
    panel.setLabelText(QCoreApplication::translate("Busy", "Cancelling…"));
  });
  if (!finished) {
    panel.show();
    loop.exec();
  }
  return !cancel->load();
}

}  // namespace velkaro::ui
