#include "about/LinkLabel.h"

#include <QMouseEvent>

#include "ui/UiSeams.h"

namespace velkaro {

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(true);
  setText(text);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette blue = palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  setPalette(blue);
  setCursor(Qt::PointingHandCursor);
}

QString TLinkLabel::Target() const {
  return text().contains(u'@') ? QStringLiteral("mailto:") + text() : text();
}

void TLinkLabel::Open() {
  if (!link_) return;
  if (ui::OpenUrl(Target())) return;
  link_ = false;
  unsetCursor();
  setPalette(QPalette());
  QFont plain = font();
  plain.setUnderline(false);
  setFont(plain);
  setEnabled(false);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Open();
  QLabel::mouseReleaseEvent(event);
}

}  // namespace velkaro
