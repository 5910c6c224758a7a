// Acts on a modal window from inside its own event loop, as a user would, in the way of qtbase's
// ExecCloseHelper: create the driver, then run the code that opens the window. The driver polls
// for the active modal widget of the given type, runs the action on it once, and closes whatever
// is still modal when the time limit passes, so a broken test fails instead of hanging.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <source_location>
#include <string>

namespace velkaro::test {

struct TModalOptions {
  const QWidget* only = nullptr;  // this window, not any window of the type
  bool mustAppear = true;         // false: the test fails if the window appears
  bool closeAfterAction = false;  // close what the action left open; OpenAfterAction() tells
  std::chrono::milliseconds limit{5000};
};

template <class TWindow>
class TModalDriver : public QObject {
 public:
  using TAction = std::function<void(TWindow&)>;

  explicit TModalDriver(TAction action, TModalOptions options = {},
                        std::source_location where = std::source_location::current())
      : action_(std::move(action)), options_(options), where_(where) {
    elapsed_.start();
    connect(&timer_, &QTimer::timeout, this, &TModalDriver::Poll);
    timer_.start(0);  // the first look comes as soon as the modal loop runs
  }

  // The test fails here when the window did not appear as expected, or had to be closed at the
  // time limit; a test that failed already is not reported twice.
  ~TModalDriver() override {
    timer_.stop();
    if (QTest::currentTestFailed()) return;
    if (options_.mustAppear && !met_)
      Fail("the modal window never appeared");
    else if (!options_.mustAppear && met_)
      Fail("a modal window appeared that should not have");
    else if (timedOut_)
      Fail("a modal window was still open at the time limit");
  }

  TModalDriver(const TModalDriver&) = delete;
  TModalDriver& operator=(const TModalDriver&) = delete;

  bool Met() const { return met_; }
  // The window was still showing when the action returned.
  bool OpenAfterAction() const { return openAfterAction_; }

 private:
  void Poll() {
    QWidget* active = QApplication::activeModalWidget();
    if (!met_) {
      auto* window = dynamic_cast<TWindow*>(active);
      if (window && window->isVisible() && (!options_.only || window == options_.only)) {
        Act(*window);
        return;
      }
    } else if (!metWindow_ || !metWindow_->isVisible()) {
      timer_.stop();  // it ended: nothing left to watch
      return;
    }
    timer_.setInterval(10);
    if (elapsed_.elapsed() < options_.limit.count()) return;
    // Past the limit: close what is open, and keep watching for a window that opens late.
    QWidget* open = met_ ? metWindow_.data() : active;
    if (!open) return;
    timedOut_ = true;
    Close(*open);
  }

  void Act(TWindow& window) {
    met_ = true;
    metWindow_ = &window;
    timer_.setInterval(10);  // the watchdog keeps running, also inside the action
    action_(window);
    // The action may have deleted the window: only the guarded pointer is used from here.
    openAfterAction_ = metWindow_ && metWindow_->isVisible();
    if (openAfterAction_ && options_.closeAfterAction) Close(*metWindow_);
    // A window that ended inside the action's own waits has told its exec() loop to stop, but
    // on Windows that loop's dispatcher sleeps until the next message: one posted event wakes it.
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
  }

  // done() rather than reject() or close(): a dialog may refuse those while it is busy.
  static void Close(QWidget& window) {
    if (auto* dialog = qobject_cast<QDialog*>(&window))
      dialog->done(QDialog::Rejected);
    else
      window.close();
  }

  void Fail(const char* what) const {
    QTest::qFail(what, where_.file_name(), static_cast<int>(where_.line()));
  }

  TAction action_;
  TModalOptions options_;
  std::source_location where_;
  QTimer timer_;
  QElapsedTimer elapsed_;
  QPointer<QWidget> metWindow_;
  bool met_ = false;
  bool openAfterAction_ = false;
  bool timedOut_ = false;
};

}  // namespace velkaro::test
