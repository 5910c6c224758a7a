#include "upgrade/FileNameEdit.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QResizeEvent>
#include <QSettings>
#include <QToolButton>

#include "operations/UpgradeOperation.h"
#include "tftp/IdTrivialFTP.h"
#include "ui/RememberedSettings.h"

namespace velkaro {

TFileNameEdit::TFileNameEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), browse_(new QToolButton(this)) {
  edit_->setObjectName(QStringLiteral("edit"));
  browse_->setObjectName(QStringLiteral("browse"));
  browse_->setText(QStringLiteral("..."));
  browse_->setToolTip(tr("Browse"));
  // Tab goes to the name; the button is for the mouse, as in the classic control.
  browse_->setFocusPolicy(Qt::NoFocus);
  setFocusProxy(edit_);
  setFocusPolicy(Qt::StrongFocus);
  connect(edit_, &QLineEdit::textChanged, this, &TFileNameEdit::textChanged);
  connect(browse_, &QToolButton::clicked, this, &TFileNameEdit::Browse);
  resize(289, 21);
}

QString TFileNameEdit::Text() const {
  return edit_->text();
}

void TFileNameEdit::SetText(const QString& text) {
  edit_->setText(text);
}

void TFileNameEdit::Browse() {
  ui::TFileRequest request = request_;
  request.fileName =
      Text().isEmpty() ? ui::LastFolder(QString::fromLatin1(ui::kFirmwareFolderKey)) : Text();
  const QString chosen = ui::ChooseOpenFile(window(), request);
  if (chosen.isEmpty()) return;
  RememberImageFile(chosen);
  SetText(QDir::toNativeSeparators(chosen));
}

void TFileNameEdit::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The button is square and sits at the right end; the name takes the rest.
  const int h = event->size().height();
  const int w = event->size().width();
  browse_->setGeometry(w - h, 0, h, h);
  edit_->setGeometry(0, 0, w - h, h);
}

ui::TFileRequest ImageFileRequest() {
  ui::TFileRequest request;
  request.title = QObject::tr("Choose the upgrade file");
  request.filter = ui::QtFilter(QStringLiteral("Upgrade files (*.bin)|*.BIN|All files (*.*)|*.*"));
  request.defaultExtension = QStringLiteral("bin");
  request.mustExist = true;
  return request;
}

QString ImageFileProblem(const QString& name) {
  if (name.isEmpty()) return {};
  return ui::CoreText(ops::ImageProblem(QFile::encodeName(name).toStdString()));
}

QString LastImageFile() {
  const auto settings = ui::OpenSettings();
  return settings ? settings->value(QString::fromLatin1(kLastImageKey)).toString() : QString();
}

void RememberImageFile(const QString& file) {
  if (file.isEmpty()) return;
  ui::RememberFolderOf(QString::fromLatin1(ui::kFirmwareFolderKey), file);
  if (const auto settings = ui::OpenSettings())
    settings->setValue(QString::fromLatin1(kLastImageKey), file);
}

int LastTftpPort() {
  const auto settings = ui::OpenSettings();
  if (!settings) return TIdTrivialFTP::kDefaultPort;
  bool ok = false;
  const int port = settings->value(QString::fromLatin1(kTftpPortKey)).toInt(&ok);
  return ok && port >= 1 && port <= 65535 ? port : TIdTrivialFTP::kDefaultPort;
}

void RememberTftpPort(int port) {
  if (const auto settings = ui::OpenSettings())
    settings->setValue(QString::fromLatin1(kTftpPortKey), port);
}

}  // namespace velkaro
