// The dialog side of a page built in code, as the page sees it. The property dialog
// (TZelForm) implements it; the pages stay below the dialog library and never include it.
//
// A page inserts itself with InsertPage, then registers itself and every control it creates,
// in creation order, with AddComponent: the dialog's binding passes find bound controls only
// through that list. The controls' visual parents are the page's own widgets, so they are
// released with the page; a destroyed widget drops out of the list by itself.
#pragma once

class QString;
class QTabWidget;
class QWidget;

namespace velkaro {

class TComponentOwner {
 public:
  // Appends one component to the owner's list (null or already listed: ignored).
  virtual void AddComponent(QWidget* component) = 0;
  // Appends `page` to `pageControl` with `caption`, then moves it to `pageIndex`, so later
  // insertions push pages already there to the right. Returns the page's index.
  virtual int InsertPage(QTabWidget* pageControl, QWidget* page, const QString& caption,
                         int pageIndex) = 0;

 protected:
  ~TComponentOwner() = default;
};

}  // namespace velkaro
