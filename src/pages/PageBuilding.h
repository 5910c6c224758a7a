// Shared by the pages built in code: inserting the page into the dialog, registering it and its
// controls with the dialog's component list, and plain labels.
#pragma once

#include "pages/ComponentOwner.h"

class QLabel;
class QString;
class QTabWidget;
class QWidget;

namespace velkaro {

// Made first in a page's constructor: inserts `page` into `pageControl` at `pageIndex` and
// registers it with `owner`; each call registers one more control, so the list keeps creation
// order. A null owner gets neither.
class TPageRegistration {
 public:
  TPageRegistration(TComponentOwner* owner, QTabWidget* pageControl, QWidget* page,
                    const QString& caption, int pageIndex)
      : owner_(owner) {
    if (!owner_) return;
    owner_->InsertPage(pageControl, page, caption, pageIndex);
    owner_->AddComponent(page);
  }

  void operator()(QWidget* control) const {
    if (owner_) owner_->AddComponent(control);
  }

 private:
  TComponentOwner* owner_;
};

// A label showing `text` at (left, top) in `parent`, as large as its text.
QLabel* MakeLabel(const QString& text, QWidget* parent, int left, int top);

}  // namespace velkaro
