// A file name entry with a browse button beside it: the name can be typed or chosen in a
// file-open dialog. Used by the upgrade dialogs for the firmware image.
#pragma once

#include <QString>
#include <QWidget>

#include "ui/UiSeams.h"

class QLineEdit;
class QToolButton;

namespace velkaro {

class TFileNameEdit : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString text READ Text WRITE SetText NOTIFY textChanged USER true)

 public:
  explicit TFileNameEdit(QWidget* parent = nullptr);

  QString Text() const;
  void SetText(const QString& text);

  // What the browse button asks for; its file name is replaced by the current text each time.
  const ui::TFileRequest& Request() const { return request_; }
  void SetRequest(const ui::TFileRequest& request) { request_ = request; }

  QLineEdit* Edit() const { return edit_; }
  QToolButton* BrowseButton() const { return browse_; }

 public slots:
  // Opens the file chooser; a chosen name replaces the text, Cancel leaves it alone.
  void Browse();

 signals:
  // Every change of the name, typed, chosen or set in code.
  void textChanged(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLineEdit* edit_;
  QToolButton* browse_;
  ui::TFileRequest request_;
};

// What the browse button of both upgrade dialogs asks for: a firmware image that exists.
ui::TFileRequest ImageFileRequest();
// Why the named file cannot be sent as an image, for the note beside the chooser; empty when it
// can, and for an empty name (nothing chosen yet is no fault).
QString ImageFileProblem(const QString& name);

// What both upgrade dialogs remember between runs (nothing without a settings scope): the image
// last sent, with its folder, and the TFTP port it went to.
inline constexpr const char* kLastImageKey = "upgrade/image";
inline constexpr const char* kTftpPortKey = "upgrade/tftpPort";
// The image last started with, or an empty text.
QString LastImageFile();
// Remembers `file` as the last image and its folder as the firmware folder, however it was
// chosen.
void RememberImageFile(const QString& file);
// The remembered port, or 69 when none (or no valid one) is.
int LastTftpPort();
void RememberTftpPort(int port);

}  // namespace velkaro
