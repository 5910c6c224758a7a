// The window's device grid with thousands of simulated devices on the loopback interface: how
// long a default scan takes against its schedule, how late the event loop (keystrokes, menus)
// runs during the fill, the process's memory after each of five scans, and the time of one sort
// and of one filter keystroke over the whole list.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "app/FormMain.h"
#include "protocol/Exchange.h"
#include "sim/Simulator.h"
#include "support/Loopback.h"

#if __has_include("app/DeviceGrid.h")
#include <QLineEdit>

#include "app/DeviceGrid.h"
#include "app/DeviceTableModel.h"
#define VELKARO_GRID_MODEL 1
#else
#include <QTableWidget>  // the grid before it was a view over a model
#endif

using namespace velkaro;

namespace {

// A scan's own schedule: the first tick after 10 ms, ten rounds 250 ms apart, the last tick
// ending it.
constexpr double kScheduleMs = 10 + 10 * 250;

double ResidentMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

std::unique_ptr<sim::TSimulator> StartDevices(int count) {
  sim::TSimOptions options;
  options.port = 0;
  options.count = count;
  auto simulator = std::make_unique<sim::TSimulator>(options);
  simulator->Start();
  return simulator;
}

TExchangeSettings Aimed(const sim::TSimulator& simulator) {
  TExchangeSettings settings;
  settings.target = {velkaro::testing::kLoopback, simulator.Port()};
  return settings;
}

// Runs the event loop until `done`, at most `limitMs`; returns the largest delay of a 10 ms
// probe timer meanwhile (what a keystroke or a menu click would wait).
double RunUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0;
  double worst = 0;
  QTimer probe;
  probe.setInterval(10);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    worst = std::max(worst, static_cast<double>(now - last - 10));
    last = now;
  });
  probe.start();
  while (!done() && clock.elapsed() < limitMs)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return worst;
}

void BM_ScanFill(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  auto simulator = StartDevices(count);
  // The simulated devices live in this process too: the window's share is what comes after.
  const double withoutWindowMb = ResidentMb();
  TFormMain form(Aimed(*simulator));
  form.show();
  double scanMs = 0, fillMs = 0, worstDelay = 0, rows = 0;
  double firstMb = 0, lastMb = 0;
  int scans = 0;
  for (auto _ : state) {
    QElapsedTimer clock;
    clock.start();
    form.Scan();
    double filledAt = -1;
    const double delay = RunUntil(
        [&] {
          if (filledAt < 0 && form.StringGrid->rowCount() >= count) filledAt = clock.elapsed();
          return !form.Scanning();
        },
        60000);
    scanMs += clock.elapsed();
    fillMs += filledAt < 0 ? clock.elapsed() : filledAt;
    worstDelay = std::max(worstDelay, delay);
    rows += form.StringGrid->rowCount();
    ++scans;
    (scans == 1 ? firstMb : lastMb) = ResidentMb();
  }
  state.counters["devices"] = count;
  state.counters["rows_avg"] = rows / scans;
  state.counters["scan_ms"] = scanMs / scans;
  state.counters["over_schedule_pct"] = (scanMs / scans / kScheduleMs - 1) * 100;
  state.counters["grid_full_ms"] = fillMs / scans;
  state.counters["max_event_delay_ms"] = worstDelay;
  state.counters["window_mb_first"] = firstMb - withoutWindowMb;
  state.counters["window_mb_last"] = lastMb - withoutWindowMb;
  form.close();
}
BENCHMARK(BM_ScanFill)->Arg(2000)->Arg(10000)->Iterations(5)->Unit(benchmark::kMillisecond);

#ifdef VELKARO_GRID_MODEL
// The grid filled by one discovery, shown.
struct TFilledWindow {
  std::unique_ptr<sim::TSimulator> simulator;
  std::unique_ptr<TFormMain> form;
  explicit TFilledWindow(int count) : simulator(StartDevices(count)) {
    form = std::make_unique<TFormMain>(Aimed(*simulator));
    form->show();
    for (int round = 0; round < 5 && form->StringGrid->rowCount() < count; ++round)
      Discover(form->Session.settings, MergeInto(form->Session));
    QCoreApplication::processEvents();
  }
};

void BM_Sort(benchmark::State& state) {
  TFilledWindow window(static_cast<int>(state.range(0)));
  const int columns[] = {TDeviceTableModel::kName, TDeviceTableModel::kIp, TDeviceTableModel::kMac};
  int turn = 0;
  for (auto _ : state) {
    const int column = columns[turn % 3];
    window.form->StringGrid->sortByColumn(column,
                                          turn / 3 % 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
    QCoreApplication::processEvents();  // the view's repaint counts too
    ++turn;
  }
  state.counters["rows"] = window.form->StringGrid->rowCount();
}
BENCHMARK(BM_Sort)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_FilterKeystroke(benchmark::State& state) {
  TFilledWindow window(static_cast<int>(state.range(0)));
  window.form->StringGrid->sortByColumn(TDeviceTableModel::kName, Qt::AscendingOrder);
  // One more or one less character, as a user types and corrects.
  const QString texts[] = {QStringLiteral("02.00.5e.00.1"), QStringLiteral("02.00.5e.00.")};
  int turn = 0;
  for (auto _ : state) {
    window.form->FilterEdit->setText(texts[turn++ % 2]);
    QCoreApplication::processEvents();
  }
  state.counters["rows"] = window.form->Session.DeviceList.size();
}
BENCHMARK(BM_FilterKeystroke)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
