// File > "Export list…": the listed devices as CSV (RFC 4180, CRLF) or as a JSON array, with
// the grid's columns, the model code, the online state and when each was first and last heard.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "protocol/Session.h"

namespace velkaro {

enum class TExportFormat { Csv, Json };

// The format a file name asks for: JSON for a ".json" name (any case), CSV otherwise.
TExportFormat ExportFormatOf(const QString& fileName);

// The records at `indexes` of the session's list, in that order; texts in UTF-8.
QByteArray ExportDeviceList(const TSession& session, const std::vector<int>& indexes,
                            TExportFormat format);

}  // namespace velkaro
