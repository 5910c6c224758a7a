#include "app/Diagnostics.h"

#include <QDir>
#include <QFileInfo>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/SocketProbe.h"
#include "protocol/Exchange.h"
#include "protocol/Frame.h"
#include "ui/UiSeams.h"
#include "version/Oem.h"
#include "version/VersionInfo.h"

namespace velkaro {

namespace {

std::string SummaryFileName(const QString& logFile) {
  const QFileInfo info(logFile);
  // Never the log's own name, whatever extension the user gave it.
  return QDir(info.path())
      .filePath(info.completeBaseName() + QStringLiteral("-summary.txt"))
      .toStdString();
}

}  // namespace

TSessionDiagnostics::TSessionDiagnostics()
    : log_("velkaro " + TVersionInfo().FileVersion), scope_(log_) {}

TSessionDiagnostics::~TSessionDiagnostics() = default;

std::string TSessionDiagnostics::Summary(const TExchangeSettings& settings) const {
  const TTarget& target = settings.target;
  std::ostringstream out;
  const TVersionInfo version;
  out << "Velkaro diagnostics\n"
      << "Version: " << version.FileVersion << '\n'
      << "OEM code: " << settings.oemCode << '\n'
      << "Target: " << IpToText(target.address) << ':' << target.port << '\n'
      << "Interfaces:\n";
  try {
    const auto interfaces = BroadcastInterfaces();
    if (interfaces.empty()) out << "  none that is up with a broadcast address\n";
    for (const TProbedInterface& i : interfaces)
      out << "  " << i.name << ' ' << IpToText(i.address) << " netmask " << IpToText(i.netmask)
          << " broadcast " << IpToText(i.broadcast) << '\n';
  } catch (const std::exception& e) {
    out << "  not listed: " << e.what() << '\n';
  }
  out << "Packet log: " << log_.Packets() << " datagrams";
  if (log_.Full()) out << "; " << log_.FullText();
  out << "\nLast errors:\n";
  const QStringList errors = ui::RecentMessages();
  if (errors.isEmpty()) out << "  none\n";
  for (const QString& e : errors) out << "  " << e.toStdString() << '\n';
  return out.str();
}

bool TSessionDiagnostics::Save(QWidget* parent, const TExchangeSettings& settings) const {
  ui::TFileRequest request;
  request.title = QObject::tr("Save diagnostics");
  request.fileName = QStringLiteral("velkaro-diagnostics.pcapng");
  request.filter = ui::QtFilter(QStringLiteral("Packet captures|*.pcapng|All files|*.*"));
  request.defaultExtension = QStringLiteral("pcapng");
  const QString fileName = ui::ChooseSaveFile(parent, request);
  if (fileName.isEmpty()) return false;
  const std::string summaryFile = SummaryFileName(fileName);
  try {
    log_.WriteTo(fileName.toStdString());
    ReplaceFileContent(summaryFile, Summary(settings));
  } catch (const std::exception& e) {
    ui::ShowMessage(parent, ui::CoreText(std::string("Cannot save the diagnostics: ") + e.what()));
    return false;
  }
  ui::ShowMessage(parent,
                  QObject::tr("Diagnostics saved: %1 and %2")
                      .arg(QDir::toNativeSeparators(fileName),
                           QDir::toNativeSeparators(QString::fromStdString(summaryFile))),
                  ui::MessageKind::Information);
  return true;
}

}  // namespace velkaro
