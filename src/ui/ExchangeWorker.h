// Exchanges with the devices run on one worker thread, one at a time and in the order they were
// asked for, so the window keeps drawing, ticking and answering while a device takes its time.
// The work itself must touch no widget and no device list: it returns what it got, and the UI
// thread merges that afterwards.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QObject;
class QWidget;

namespace velkaro::ui {

// Set it to end the work's exchanges at their next listening check.
using TCancelFlag = std::shared_ptr<std::atomic<bool>>;

// Runs `work` on the exchange thread, then `done` on the UI thread, unless `context` is gone by
// then.
TCancelFlag RunExchange(QObject* context, std::function<void()> work, std::function<void()> done);

// Object name of the panel RunWhileBusy shows.
inline constexpr const char* kBusyPanelName = "BusyPanel";

// Runs `work` on the exchange thread while `owner` shows `text` with a Cancel button and the
// event loop keeps running; returns when the work has ended. True when it ran to its end, false
// when the user cancelled (the caller drops what the work got).
bool RunWhileBusy(QWidget* owner, const QString& text, std::function<void()> work);

}  // namespace velkaro::ui
