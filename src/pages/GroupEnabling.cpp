#include "pages/GroupEnabling.h"

#include <QWidget>

namespace velkaro {

void SetGroupEnabled(QWidget* widget, bool enabled) {
  if (!widget) return;
  const QObjectList children = widget->children();
  for (QObject* child : children) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w && !w->isWindow()) SetGroupEnabled(w, enabled);
  }
  widget->setEnabled(enabled);
}

void EnableGroup(QWidget* widget) {
  SetGroupEnabled(widget, true);
}
void DisableGroup(QWidget* widget) {
  SetGroupEnabled(widget, false);
}

}  // namespace velkaro
