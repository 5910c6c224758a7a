// The diagnostics of one session of the window: every datagram so far in a bounded packet log,
// written by Help > "Save diagnostics…" together with a text summary, and by --log at the end.
#pragma once

#include <QString>
#include <string>

#include "diag/PacketLog.h"
#include "protocol/Exchange.h"

class QWidget;

namespace velkaro {

class TSessionDiagnostics {
 public:
  TSessionDiagnostics();  // the log becomes the process's packet sink
  ~TSessionDiagnostics();
  TSessionDiagnostics(const TSessionDiagnostics&) = delete;
  TSessionDiagnostics& operator=(const TSessionDiagnostics&) = delete;

  const diag::TPacketLog& Log() const { return log_; }
  // Version, the OEM code and target of the window's exchanges (`settings`), interfaces, the
  // log's state and the last errors shown.
  std::string Summary(const TExchangeSettings& settings) const;
  // Asks for a file name through the file-chooser seam, then writes the log there and the
  // summary beside it (NAME-summary.txt). Tells the outcome in a message; false for Cancel or
  // a failure.
  bool Save(QWidget* parent, const TExchangeSettings& settings) const;

 private:
  diag::TPacketLog log_;
  const diag::TPacketLogScope scope_;
};

}  // namespace velkaro
