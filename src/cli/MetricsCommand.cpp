#include "cli/MetricsCommand.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "cli/CliExitCode.h"
#include "cli/CliOutput.h"
#include "cli/PrometheusText.h"
#include "operations/DeviceOperations.h"
#include "platform/AtomicFile.h"
#include "platform/Utf8Path.h"

namespace velkaro::cli {

namespace {

namespace fs = std::filesystem;

// node_exporter usually runs as a user of its own: the file must be readable by everyone.
constexpr fs::perms kOutputMode =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;

// Checked before anything is sent: a run that cannot write its result should not start.
void CheckOutputTarget(const std::string& file) {
  std::error_code ec;
  const fs::path path = Utf8Path(file);
  if (fs::is_directory(path, ec))
    throw TCliFailure(kExitUsage, "Cannot write metrics to '" + file + "': it is a folder");
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec))
    throw TCliFailure(kExitUsage, "Cannot write metrics to '" + file + "': folder '" +
                                      Utf8Text(folder) + "' not found");
}

struct TRead {
  TDeviceMetrics metrics;
  ops::TReadOutcome outcome;
};

// Every device read, at most `parallel` at once, each with its own sockets.
std::vector<TRead> ReadAllDevices(const TExchangeSettings& settings, const TDeviceList& listed,
                                  int parallel) {
  std::vector<TRead> reads(listed.size());
  for (std::size_t i = 0; i < listed.size(); ++i) reads[i].metrics.device = listed[i];
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < reads.size(); i = next++) {
      TZEL record = reads[i].metrics.device;
      reads[i].outcome = ops::ReadAll(settings, record);
      reads[i].metrics.up = reads[i].outcome.answered;
      if (reads[i].metrics.up) reads[i].metrics.device = std::move(record);
    }
  };
  const std::size_t workers =
      std::min(reads.size(), static_cast<std::size_t>(std::max(parallel, 1)));
  std::vector<std::thread> threads;
  for (std::size_t i = 1; i < workers; ++i) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  return reads;
}

void WriteOutput(const std::string& file, const std::string& text) {
  try {
    ReplaceFileContent(file, text);
    // A new file got 0666 less the umask; an old one keeps its mode, so this is done once.
    const fs::path path = Utf8Path(ResolveFileName(file));
    if ((fs::status(path).permissions() & fs::perms::all) != kOutputMode)
      fs::permissions(path, kOutputMode, fs::perm_options::replace);
  } catch (const std::exception& e) {
    throw TCliFailure(kExitFailure, "Cannot write metrics to '" + file + "': " + e.what());
  }
}

}  // namespace

int RunMetrics(const TCliOptions& o, TCliContext& ctx) {
  const auto start = std::chrono::steady_clock::now();
  if (!o.file.empty()) CheckOutputTarget(o.file);

  const ops::TDiscovery discovery = ops::DiscoverDevices(ctx.session, o.rounds);
  ReportErrors(discovery.exchange, ctx);
  const int discoveryErrors = ctx.connectionErrors;
  if (ctx.session.DeviceList.CapReached()) ctx.err << kDeviceCapText << '\n';
  if (ctx.session.DeviceList.empty()) {
    const std::string hint = ops::NoAnswerText(ctx.session.settings);
    ctx.err << EscapeControl(hint.empty() ? "No device answered" : hint) << '\n';
  }

  std::vector<TRead> reads =
      ReadAllDevices(ctx.session.settings, ctx.session.DeviceList, o.parallel);
  std::vector<TDeviceMetrics> metrics;
  for (TRead& r : reads) {
    ReportErrors(r.outcome.exchange, ctx);
    if (!r.metrics.up) {
      ctx.err << "Device " << IpToText(r.metrics.device.values.AsUInt(2)) << " ("
              << MacToText(r.metrics.device.MAC) << "): " << kDeviceNotResponding
              << " to its read; shown down\n";
    }
    metrics.push_back(std::move(r.metrics));
  }

  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  const std::string text = MetricsText(metrics, took.count());
  if (o.file.empty())
    ctx.out << text;
  else
    WriteOutput(o.file, text);
  return discoveryErrors > 0 ? kExitFailure : kExitOk;
}

}  // namespace velkaro::cli
