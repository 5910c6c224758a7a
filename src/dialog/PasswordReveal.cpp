#include "dialog/PasswordReveal.h"

#include <QAction>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velkaro {

namespace {

const QString kToggleName = QStringLiteral("RevealPassword");
const QString kShowTip = QStringLiteral("Show password");
const QString kHideTip = QStringLiteral("Hide password");

// An eye drawn with the edit's text colour, so it follows light and dark palettes.
QIcon EyeIcon(const QColor& colour) {
  constexpr int kSize = 32;
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(colour, 2.5));
  QPainterPath lid;
  lid.moveTo(3, 16);
  lid.quadTo(16, 2, 29, 16);
  lid.quadTo(16, 30, 3, 16);
  p.drawPath(lid);
  p.setBrush(colour);
  p.drawEllipse(QPointF(16, 16), 5, 5);
  return QIcon(pixmap);
}

}  // namespace

QAction* RevealToggle(const QLineEdit* edit) {
  if (!edit) return nullptr;
  return edit->findChild<QAction*>(kToggleName, Qt::FindDirectChildrenOnly);
}

QAction* MakePasswordEdit(QLineEdit* edit) {
  if (!edit) return nullptr;
  if (QAction* existing = RevealToggle(edit)) return existing;
  edit->setEchoMode(QLineEdit::Password);
  auto* toggle = new QAction(EyeIcon(edit->palette().color(QPalette::Text)), kShowTip, edit);
  toggle->setObjectName(kToggleName);
  toggle->setCheckable(true);
  toggle->setToolTip(kShowTip);
  QObject::connect(toggle, &QAction::toggled, edit, [edit, toggle](bool shown) {
    edit->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    toggle->setToolTip(shown ? kHideTip : kShowTip);
  });
  edit->addAction(toggle, QLineEdit::TrailingPosition);
  return toggle;
}

}  // namespace velkaro
