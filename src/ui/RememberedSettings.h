// What the program remembers between runs (window geometry, column widths, last folders), kept
// with QSettings under a scope: the program's own, the demo's, or a test's. Without a scope
// nothing is read or written, so a window made by a test starts as the classic one.
#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace velkaro::ui {

inline constexpr const char* kSettingsOrganization = "Velkaro";
inline constexpr const char* kProgramScope = "velkaro";
inline constexpr const char* kDemoScope = "velkaro-demo";

// Names the settings file (QSettings' application name); an empty text turns remembering off.
void SetSettingsScope(const QString& scope);
QString SettingsScope();
// The settings of the scope; null when there is none.
std::unique_ptr<QSettings> OpenSettings();

// Keys of the remembered folders.
inline constexpr const char* kConfigFolderKey = "folders/config";
inline constexpr const char* kFirmwareFolderKey = "folders/firmware";
// The folder remembered under `key` when it still exists, else an empty text.
QString LastFolder(const QString& key);
// Remembers the folder that holds `file`.
void RememberFolderOf(const QString& key, const QString& file);
// `name` in the folder remembered under `key`, or `name` alone.
QString InLastFolder(const QString& key, const QString& name);

}  // namespace velkaro::ui
