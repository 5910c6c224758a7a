// Program start: application title, command line, main window, message loop.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/DemoDevices.h"
#include "app/Diagnostics.h"
#include "app/FormMain.h"
#include "app/StartOptions.h"
#include "dialog/DialogFactories.h"
#include "protocol/NetInterfaces.h"
#include "ui/AppIcons.h"
#include "ui/RememberedSettings.h"
#include "upgrade/FleetUpgradeForm.h"
#include "upgrade/UpgradeForm.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationName(QStringLiteral("Velkaro"));
  QApplication::setWindowIcon(velkaro::ui::ProgramIcon());

  velkaro::TStartOptions options;
  std::string error;
#ifdef _WIN32
  // argv holds the ANSI code page there; Qt's list is the UTF-16 command line, as UTF-8 here.
  std::vector<std::string> arguments;
  for (const QString& a : QCoreApplication::arguments().mid(1))
    arguments.push_back(a.toStdString());
#else
  const std::vector<std::string> arguments(argv + 1, argv + argc);
#endif
  if (!velkaro::ParseStartOptions(arguments, options, error)) {
    std::fprintf(stderr, "velkaro: %s\n%s", error.c_str(), velkaro::kStartUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(velkaro::kStartUsage, stdout);
    return 0;
  }

  // The demo remembers its own window and folders, apart from the real program's.
  velkaro::ui::SetSettingsScope(
      QString::fromLatin1(options.demo ? velkaro::ui::kDemoScope : velkaro::ui::kProgramScope));

  velkaro::TDemoDevices demo;
  if (options.demo && !demo.Start(error)) {
    std::fprintf(stderr, "velkaro: %s\n", error.c_str());
    return 1;
  }
  velkaro::TExchangeSettings settings;
  if (options.demo) settings.target = demo.Target();
  if (options.targetGiven) settings.target = options.target;
  if (!options.targetGiven && !options.demo) {
    const auto usable = velkaro::UsableInterfaces();
    const auto unknown = velkaro::UnknownInterfaces(usable, options.interfaces);
    if (!unknown.empty()) {
      std::fprintf(stderr, "velkaro: unknown interface '%s'; usable: %s\n", unknown.front().c_str(),
                   velkaro::InterfaceNamesText(usable).c_str());
      return 2;
    }
  }
  settings.interfaces = options.interfaces;

  // From here on every datagram is kept, bounded, for Help > "Save diagnostics…" and --log.
  velkaro::TSessionDiagnostics diagnostics;
  velkaro::TFormMain form(
      std::move(settings),
      {velkaro::MakeZel1Factory(), velkaro::MakeZel4Factory(), velkaro::MakeZel8Factory()});
  // One upgrade dialog for the whole run: the chosen image stays between openings.
  velkaro::TUpgradeForm upgradeForm(&form);
  if (options.demo) upgradeForm.RedirectUploads(QStringLiteral("127.0.0.1"), demo.TftpPort());
  form.SetUpgradeHandler(
      [&upgradeForm](std::optional<velkaro::TZEL> device, const velkaro::TExchangeSettings& s) {
        upgradeForm.ShowForDevice(std::move(device), s);
      });
  velkaro::TFleetUpgradeForm fleetForm(&form);
  if (options.demo) fleetForm.RedirectUploads(QStringLiteral("127.0.0.1"), demo.TftpPort());
  form.SetFleetUpgradeHandler(
      [&fleetForm](std::vector<velkaro::TZEL> devices, const velkaro::TExchangeSettings& s) {
        fleetForm.ShowForDevices(std::move(devices), s);
      });
  QObject::connect(&fleetForm, &velkaro::TFleetUpgradeForm::runningChanged, &form,
                   &velkaro::TFormMain::SetScanBlocked);
  form.SetDiagnosticsHandler(
      [&diagnostics, &form] { diagnostics.Save(&form, form.Session.settings); });
  form.show();
  if (options.watch) form.WatchMenu->setChecked(true);
  const int code = QApplication::exec();
  if (!options.logFile.empty()) {
    if (diagnostics.Log().Full())
      std::fprintf(stderr, "velkaro: %s\n", diagnostics.Log().FullText().c_str());
    try {
      diagnostics.Log().WriteTo(options.logFile);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "velkaro: cannot write the packet log %s: %s\n", options.logFile.c_str(),
                   e.what());
      return 1;
    }
  }
  return code;
}
