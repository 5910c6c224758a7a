#include "ui/RememberedSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace velkaro::ui {

namespace {

QString& Scope() {
  static QString scope;
  return scope;
}

}  // namespace

void SetSettingsScope(const QString& scope) {
  Scope() = scope;
}

QString SettingsScope() {
  return Scope();
}

std::unique_ptr<QSettings> OpenSettings() {
  if (Scope().isEmpty()) return nullptr;
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     QString::fromLatin1(kSettingsOrganization), Scope());
}

QString LastFolder(const QString& key) {
  const auto settings = OpenSettings();
  if (!settings) return {};
  const QString folder = settings->value(key).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberFolderOf(const QString& key, const QString& file) {
  const auto settings = OpenSettings();
  if (!settings || file.isEmpty()) return;
  settings->setValue(key, QFileInfo(file).absolutePath());
}

QString InLastFolder(const QString& key, const QString& name) {
  const QString folder = LastFolder(key);
  return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

}  // namespace velkaro::ui
