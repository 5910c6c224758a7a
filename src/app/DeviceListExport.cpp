#include "app/DeviceListExport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <array>
#include <chrono>

#include "operations/CsvText.h"
#include "protocol/DeviceText.h"
#include "protocol/Frame.h"

namespace velkaro {

namespace {

constexpr std::array<const char*, 9> kFields = {
    "name", "type", "ip", "mac", "interface", "model", "state", "first_seen", "last_seen"};

QString UtcTime(TWallTime when) {
  if (when == TWallTime{}) return {};
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc())
      .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
}

std::array<QString, kFields.size()> Fields(const TSession& session, std::size_t index) {
  const TZEL& record = session.DeviceList[index];
  const TPresence& presence = session.DeviceList.PresenceOf(index);
  return {QString::fromStdString(DeviceTextToUtf8(record.values.AsText(7))),
          QString::fromStdString(DeviceTextToUtf8(record.values.AsText(5))),
          QString::fromStdString(IpToText(record.values.AsUInt(2))),
          QString::fromStdString(MacToText(record.MAC)),
          QString::fromStdString(record.link.name),
          QString::number(record.ModelCode()),
          presence.missing ? QStringLiteral("offline") : QStringLiteral("online"),
          UtcTime(presence.firstHeard),
          UtcTime(presence.lastHeard)};
}

}  // namespace

TExportFormat ExportFormatOf(const QString& fileName) {
  return fileName.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive) ? TExportFormat::Json
                                                                         : TExportFormat::Csv;
}

QByteArray ExportDeviceList(const TSession& session, const std::vector<int>& indexes,
                            TExportFormat format) {
  if (format == TExportFormat::Json) {
    QJsonArray devices;
    for (const int index : indexes) {
      if (index < 0 || static_cast<std::size_t>(index) >= session.DeviceList.size()) continue;
      const auto fields = Fields(session, static_cast<std::size_t>(index));
      QJsonObject device;
      for (std::size_t f = 0; f < kFields.size(); ++f) {
        const QString key = QString::fromLatin1(kFields[f]);
        if (key == u"model")
          device.insert(key, fields[f].toLongLong());
        else
          device.insert(key, fields[f]);
      }
      devices.append(device);
    }
    return QJsonDocument(devices).toJson(QJsonDocument::Indented);
  }
  std::string csv = ops::CsvLine(std::vector<std::string>(kFields.begin(), kFields.end()));
  for (const int index : indexes) {
    if (index < 0 || static_cast<std::size_t>(index) >= session.DeviceList.size()) continue;
    std::vector<std::string> line;
    for (const QString& field : Fields(session, static_cast<std::size_t>(index)))
      line.push_back(field.toStdString());
    csv += ops::CsvLine(line);
  }
  return QByteArray::fromStdString(csv);
}

}  // namespace velkaro
