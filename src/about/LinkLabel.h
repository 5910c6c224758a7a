// A label that opens its own text (a web address, or an e-mail address as "mailto:") when
// clicked, and stops being a link when the desktop cannot open it.
#pragma once

#include <QLabel>

namespace velkaro {

class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  TLinkLabel(const QString& text, QWidget* parent);

  // What a click hands to the desktop.
  QString Target() const;
  bool IsLink() const { return link_; }
  // Opens the target; on failure the label is disabled and no longer a link.
  void Open();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool link_ = true;
};

}  // namespace velkaro
