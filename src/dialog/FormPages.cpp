#include "dialog/FormPages.h"

#include <QTabWidget>

#include "dialog/ZelForm.h"

namespace velkaro {

void AdoptFormPages(TZelForm& form, QTabWidget& holder) {
  while (holder.count() > 0) {
    QWidget* page = holder.widget(0);
    const QString caption = holder.tabText(0);
    holder.removeTab(0);
    form.AddFormPage(page, caption);
  }
}

}  // namespace velkaro
