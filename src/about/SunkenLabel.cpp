#include "about/SunkenLabel.h"

#include <QPainter>

namespace velkaro {

TSunkenLabel::TSunkenLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(true);
}

void TSunkenLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setFont(font());
  const int flags = static_cast<int>(alignment()) | Qt::TextWordWrap;
  const QRect area = contentsRect().adjusted(0, 0, -1, -1);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawText(area.translated(1, 1), flags, text());
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Dark));
  painter.drawText(area, flags, text());
}

}  // namespace velkaro
