#include "app/TagCaptions.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QStringList>
#include <QTabWidget>
#include <algorithm>
#include <vector>

#include "pages/BindingTag.h"

namespace velkaro {

namespace {

QString Clean(QString text) {
  text.remove(u'&');
  text = text.trimmed();
  while (text.endsWith(u':')) text = text.chopped(1).trimmed();
  return text;
}

// Tab and group captions from the dialog down to the control.
QStringList PlaceOf(const QWidget* control, const QWidget* dialog) {
  QStringList place;
  for (const QWidget* w = control->parentWidget(); w && w != dialog; w = w->parentWidget()) {
    QString caption;
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) caption = box->title();
    const QWidget* stack = w->parentWidget();
    if (qobject_cast<const QStackedWidget*>(stack))
      if (const auto* tabs = qobject_cast<const QTabWidget*>(stack->parentWidget()))
        caption = tabs->tabText(tabs->indexOf(const_cast<QWidget*>(w)));
    caption = Clean(caption);
    // A page often repeats its tab's caption as its group's title.
    if (!caption.isEmpty() && (place.isEmpty() || place.front() != caption)) place.prepend(caption);
  }
  return place;
}

// The control's own text, else the label left of it on the same line.
QString LabelOf(const QWidget* control) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(control))
    if (!Clean(button->text()).isEmpty()) return Clean(button->text());
  const QWidget* parent = control->parentWidget();
  if (!parent) return {};
  const QRect at = control->geometry();
  const QLabel* best = nullptr;
  for (const QLabel* label : parent->findChildren<const QLabel*>(Qt::FindDirectChildrenOnly)) {
    const QRect r = label->geometry();
    const bool sameLine = r.top() < at.bottom() && r.bottom() > at.top();
    if (!sameLine || r.left() >= at.left()) continue;
    if (!best || r.left() > best->geometry().left()) best = label;
  }
  return best ? Clean(best->text()) : QString();
}

}  // namespace

std::map<int, QString> TagCaptions(const QWidget* dialog) {
  std::map<int, std::vector<const QWidget*>> bound;
  for (const QWidget* w : dialog->findChildren<const QWidget*>()) {
    const int parameter = DecodeBindingTag(TagOf(w)).parameter;
    if (TagOf(w) != 0 && parameter >= 1 && parameter <= 999) bound[parameter].push_back(w);
  }
  std::map<int, QString> captions;
  for (const auto& [tag, controls] : bound) {
    QStringList place = PlaceOf(controls.front(), dialog);
    if (controls.size() == 1) {
      const QString label = LabelOf(controls.front());
      if (!label.isEmpty()) place << label;
    } else {
      for (const QWidget* other : controls) {
        const QStringList p = PlaceOf(other, dialog);
        qsizetype shared = 0;
        while (shared < std::min(place.size(), p.size()) && place[shared] == p[shared]) ++shared;
        place = place.mid(0, shared);
      }
    }
    captions[tag] = place.join(QStringLiteral(" / "));
  }
  return captions;
}

}  // namespace velkaro
