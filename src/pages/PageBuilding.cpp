#include "pages/PageBuilding.h"

#include <QLabel>

namespace velkaro {

QLabel* MakeLabel(const QString& text, QWidget* parent, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->move(left, top);
  label->adjustSize();
  return label;
}

}  // namespace velkaro
