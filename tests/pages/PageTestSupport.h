// Shared by the option page tests: a real property dialog that hosts pages built in code, with
// access to its working record, and a check that a page listed every control it made.
#pragma once

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QtTest>
#include <algorithm>
#include <vector>

#include "dialog/ZelForm.h"
#include "pages/IPEdit.h"

namespace velkaro::test {

// A font of the given pixel size: small ones leave every label room at its designed place,
// larger ones make the pages fit their labels.
inline QFont PixelFont(int pixels) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  return font;
}

// The dialog frame itself; pages are inserted into its PageControl or into a nested one.
// Pages take their font when they are built, so set it before.
class THost : public TZelForm {
 public:
  explicit THost(int fontPixels = 8) { setFont(PixelFont(fontPixels)); }

  TZEL& Record() { return local_zel_; }
  TValueSlots& Values() { return local_zel_.values; }

  // A nested page control on a top-level page, like the rack model's Miscellaneous sheet.
  QTabWidget* AddNestedControl() {
    auto* sheet = new QWidget;
    InsertPage(PageControl, sheet, QStringLiteral("Nested"), PageControl->count());
    AddComponent(sheet);
    auto* nested = new QTabWidget(sheet);
    AddComponent(nested);
    return nested;
  }
};

// The page and every widget on it, in creation order, are the last entries of the dialog's
// component list; the expected list is what the dialog's own tree walk makes of the page.
inline bool ListedInCreationOrder(const TZelForm& form, QWidget* page) {
  THost walker;
  const std::size_t own = walker.Components().size();
  walker.AddComponentTree(page);
  const std::vector<QWidget*> all = walker.Components();
  const std::vector<QWidget*> expected(all.begin() + static_cast<std::ptrdiff_t>(own), all.end());
  const std::vector<QWidget*> list = form.Components();
  if (expected.empty() || list.size() < expected.size()) return false;
  return std::equal(expected.begin(), expected.end(), list.end() - std::ssize(expected));
}

}  // namespace velkaro::test
