// The about box: program title, icon, version, description, copyright, the maker's addresses
// as links and a few system figures, in a dialog built in code.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "protocol/OemVariant.h"

class QDialog;
class QWidget;

namespace velkaro {

class TFormAbout {
 public:
  // `oem`: whose maker addresses the box shows (none by default).
  explicit TFormAbout(TOemVariant oem = {});

  // Builds the dialog, shows it modally and frees it when the user closes it.
  void ShowAbout(QWidget* parent = nullptr);

  // Builds the dialog without showing it; the caller owns it. ShowAbout runs exactly this.
  std::unique_ptr<QDialog> BuildDialog(QWidget* parent = nullptr) const;

  // The file whose version block is shown; the running program's own by default.
  void SetProgramFile(std::string fileName) { programFile_ = std::move(fileName); }
  // Lays out for these pixels per inch instead of the screen's (0 = the screen's).
  void SetPixelsPerInch(int ppi) { ppi_ = ppi; }

  // Client width of the dialog and width of the two system labels at a given resolution.
  static int DialogWidth(int ppi);
  static int SystemLabelWidth(int ppi);
  // The two texts of the system figures, lines separated by "\n".
  static QString FigureCaptions();
  static QString FigureValues();

 private:
  std::string programFile_;
  int ppi_ = 0;
  TOemVariant oem_;
};

}  // namespace velkaro
