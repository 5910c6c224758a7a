#include "ui/UiSeams.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "protocol/Exchange.h"

namespace velkaro::ui {

namespace {

TUiHooks hooks;

QStringList& Recent() {
  static QStringList recent;
  return recent;
}

QString RunFileDialog(QWidget* parent, const TFileRequest& r, bool save) {
  // A folder is where the chooser opens, with no name typed in; a file is proposed by name.
  const bool folder = !r.fileName.isEmpty() && QFileInfo(r.fileName).isDir();
  QFileDialog dialog(parent, r.title, folder ? QString() : r.fileName, r.filter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(r.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!r.defaultExtension.isEmpty()) dialog.setDefaultSuffix(r.defaultExtension);
  if (!r.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (folder)
    dialog.setDirectory(r.fileName);
  else if (!r.fileName.isEmpty())
    dialog.selectFile(r.fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace

QString QtFilter(const QString& pairs) {
  const QStringList parts = pairs.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& raw : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
      const QString pattern = raw.trimmed();
      if (pattern == u"*.*" || pattern == u"*") {
        patterns = {QStringLiteral("*")};
        break;
      }
      for (const QString& variant : {pattern.toLower(), pattern.toUpper()})
        if (!patterns.contains(variant)) patterns << variant;
    }
    if (patterns.isEmpty()) continue;
    // Qt reads the patterns from the last parentheses, so the description's own ones go.
    QString description = parts[i].trimmed();
    if (const qsizetype open = description.lastIndexOf(u'(');
        open > 0 && description.endsWith(u')'))
      description = description.left(open).trimmed();
    filters << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
  }
  return filters.join(QStringLiteral(";;"));
}

QStringList RecentMessages() {
  return Recent();
}

void ShowMessage(QWidget* parent, const QString& text, MessageKind kind) {
  if (kind != MessageKind::Information) {
    Recent().append(QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char(' ') + text);
    while (Recent().size() > kRecentMessages) Recent().removeFirst();
  }
  if (hooks.message) return hooks.message(parent, text, kind);
  const QString title = QApplication::applicationName();
  switch (kind) {
    case MessageKind::Information:
      QMessageBox::information(parent, title, text, QMessageBox::Ok);
      break;
    case MessageKind::Warning:
      QMessageBox::warning(parent, title, text, QMessageBox::Ok);
      break;
    case MessageKind::Error:
      QMessageBox::critical(parent, title, text, QMessageBox::Ok);
      break;
  }
}

bool AskYesNo(QWidget* parent, const QString& text) {
  if (hooks.question) return hooks.question(parent, text);
  return QMessageBox::question(parent, QApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

QString ChooseSaveFile(QWidget* parent, const TFileRequest& request) {
  if (hooks.saveFile) return hooks.saveFile(parent, request);
  return RunFileDialog(parent, request, true);
}

QString ChooseOpenFile(QWidget* parent, const TFileRequest& request) {
  if (hooks.openFile) return hooks.openFile(parent, request);
  return RunFileDialog(parent, request, false);
}

void SetBusyCursor(bool busy) {
  if (hooks.busyCursor) return hooks.busyCursor(busy);
  if (busy) {
    if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  }
}

bool OpenUrl(const QString& url) {
  if (hooks.openUrl) return hooks.openUrl(url);
  return QDesktopServices::openUrl(QUrl(url));
}

std::unique_ptr<QMessageBox> MakeUrlBox(QWidget* parent, const QString& url) {
  auto box = std::make_unique<QMessageBox>(
      QMessageBox::Information, QApplication::applicationName(),
      QApplication::translate("UrlBox", "No web browser could be started. The page is at:"),
      QMessageBox::Ok, parent);
  box->setObjectName(QStringLiteral("UrlBox"));
  box->setInformativeText(url);
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPushButton* copy =
      box->addButton(QApplication::translate("UrlBox", "&Copy"), QMessageBox::ActionRole);
  copy->setObjectName(QStringLiteral("CopyButton"));
  // An action button would close the box; the user may still want to read the URL.
  copy->disconnect();
  QObject::connect(copy, &QPushButton::clicked, box.get(),
                   [url] { QApplication::clipboard()->setText(url); });
  return box;
}

void OpenUrlOrShow(QWidget* parent, const QString& url) {
  if (OpenUrl(url)) return;
  if (hooks.urlBox) return hooks.urlBox(parent, url);
  MakeUrlBox(parent, url)->exec();
}

void SetUiHooks(TUiHooks newHooks) {
  hooks = std::move(newHooks);
}

void ResetUiHooks() {
  hooks = {};
}

std::function<void(bool)> BusyCursorHook() {
  return [](bool busy) { SetBusyCursor(busy); };
}

QString CoreText(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void ShowExchangeErrors(const TExchangeResult& result) {
  for (const TExchangeError& error : result.errors)
    ShowMessage(QApplication::activeWindow(), CoreText(error.Message()), MessageKind::Error);
}

}  // namespace velkaro::ui
