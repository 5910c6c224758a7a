// Program start: application title, command line, main window, message loop.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/DemoDevices.h"
#include "app/FormMain.h"
#include "app/StartOptions.h"
#include "dialog/DialogFactories.h"
#include "protocol/NetInterfaces.h"
#include "ui/AppIcons.h"
#include "upgrade/UpgradeForm.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationName(QStringLiteral("Velkaro"));
  QApplication::setWindowIcon(velkaro::ui::ProgramIcon());

  velkaro::TStartOptions options;
  std::string error;
  if (!velkaro::ParseStartOptions(std::vector<std::string>(argv + 1, argv + argc), options,
                                  error)) {
    std::fprintf(stderr, "velkaro: %s\n%s", error.c_str(), velkaro::kStartUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(velkaro::kStartUsage, stdout);
    return 0;
  }

  velkaro::TDemoDevices demo;
  if (options.demo && !demo.Start(error)) {
    std::fprintf(stderr, "velkaro: %s\n", error.c_str());
    return 1;
  }
  if (options.targetGiven) velkaro::Settings().target = options.target;
  if (!options.targetGiven && !options.demo) {
    const auto usable = velkaro::UsableInterfaces();
    const auto unknown = velkaro::UnknownInterfaces(usable, options.interfaces);
    if (!unknown.empty()) {
      std::fprintf(stderr, "velkaro: unknown interface '%s'; usable: %s\n", unknown.front().c_str(),
                   velkaro::InterfaceNamesText(usable).c_str());
      return 2;
    }
  }
  velkaro::Settings().interfaces = options.interfaces;

  velkaro::TFormMain form(
      {velkaro::MakeZel1Factory(), velkaro::MakeZel4Factory(), velkaro::MakeZel8Factory()});
  // One upgrade dialog for the whole run: the chosen image stays between openings.
  velkaro::TUpgradeForm upgradeForm(&form);
  if (options.demo) upgradeForm.RedirectUploads(QStringLiteral("127.0.0.1"), demo.TftpPort());
  form.SetUpgradeHandler([&upgradeForm] { upgradeForm.ShowForDevice(); });
  form.show();
  return QApplication::exec();
}
