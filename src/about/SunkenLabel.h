// A label whose text looks pressed into the dialog: a light copy offset down and right under
// the text.
#pragma once

#include <QLabel>

namespace velkaro {

class TSunkenLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TSunkenLabel(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace velkaro
