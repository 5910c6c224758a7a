// Every place where the GUI would block on the user or touch the desktop goes through here,
// so tests can replace it: message boxes, file choosers, the mouse cursor and URL opening.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

#include "protocol/Exchange.h"

class QMessageBox;
class QWidget;

namespace velkaro::ui {

enum class MessageKind { Information, Warning, Error };

struct TFileRequest {
  QString title;
  QString fileName;          // proposed name or start folder
  QString filter;            // Qt filter text, e.g. "Config files (*.cfg *.CFG);;All files (*)"
  QString defaultExtension;  // without the dot
  bool mustExist = false;
  bool confirmOverwrite = true;  // ask before an existing file is chosen for saving
};

struct TUiHooks {
  std::function<void(QWidget* parent, const QString& text, MessageKind kind)> message;
  // Return the chosen file name, or an empty text for Cancel.
  std::function<QString(QWidget* parent, const TFileRequest& request)> saveFile;
  std::function<QString(QWidget* parent, const TFileRequest& request)> openFile;
  // Return whether the user said Yes.
  std::function<bool(QWidget* parent, const QString& text)> question;
  std::function<void(bool busy)> busyCursor;
  // Return whether the desktop accepted the URL.
  std::function<bool(const QString& url)> openUrl;
  // The box that gives a URL no browser could open.
  std::function<void(QWidget* parent, const QString& url)> urlBox;
};

// Converts a "description|patterns|description|patterns" filter list, as written in the
// program's texts, into Qt's form. Patterns match without regard to case there, so each one is
// listed in lower and upper case; "*.*" matches every name.
QString QtFilter(const QString& pairs);

// Modal box with a single OK button. Errors and warnings are also kept for the diagnostics.
void ShowMessage(QWidget* parent, const QString& text, MessageKind kind = MessageKind::Error);
// Modal Yes/No box, No being the default; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);
QString ChooseSaveFile(QWidget* parent, const TFileRequest& request);
QString ChooseOpenFile(QWidget* parent, const TFileRequest& request);
void SetBusyCursor(bool busy);
bool OpenUrl(const QString& url);
// Opens `url` in the browser; when none can be started, a box gives the URL with a Copy button.
void OpenUrlOrShow(QWidget* parent, const QString& url);
// That box, not yet shown; its "Copy" button puts the URL on the clipboard and leaves it open.
std::unique_ptr<QMessageBox> MakeUrlBox(QWidget* parent, const QString& url);

// The latest error and warning texts shown (at most kRecentMessages), oldest first, each with
// its time.
inline constexpr int kRecentMessages = 20;
QStringList RecentMessages();

// Replaces the real implementations; members left empty keep the real behaviour.
void SetUiHooks(TUiHooks hooks);
void ResetUiHooks();

// The busy hook of a session's exchange settings: the cursor through its seam.
std::function<void(bool)> BusyCursorHook();

// Program texts from the core are UTF-8.
QString CoreText(const std::string& text);
// One error box per failed exchange, "Connection Error:  " + its text, over the active window.
void ShowExchangeErrors(const TExchangeResult& result);

}  // namespace velkaro::ui
