#include "pages/BindingTag.h"

#include <QObject>
#include <QVariant>

namespace velkaro {

void SetTag(QObject* object, int tag) {
  if (object) object->setProperty(kTagProperty, tag);
}

int TagOf(const QObject* object) {
  if (!object) return 0;
  bool ok = false;
  const int tag = object->property(kTagProperty).toInt(&ok);
  return ok ? tag : 0;
}

}  // namespace velkaro
