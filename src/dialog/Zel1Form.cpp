#include "dialog/Zel1Form.h"

#include <QTabWidget>

#include "dialog/FormPages.h"
#include "pages/Misc.h"
#include "pages/Security.h"
#include "pages/Superv.h"
#include "ui_Zel1Form.h"

namespace velkaro {

Tzel1Form::Tzel1Form(QWidget* owner) : TZelForm(owner), pages_(std::make_unique<Ui::Tzel1Pages>()) {
  ArrangeFrame(345, 373, 330, 329, 345);
  QTabWidget holder;
  pages_->setupUi(&holder);
  AdoptFormPages(*this, holder);

  // Each page goes to its index, pushing the later form pages to the right.
  SecurityPage = new TSecurity(this, PageControl, QStringLiteral("Security"), 3, 30, 4, 1);
  SupervisionPage = new TSuperv(this, PageControl, QStringLiteral("Supervision"), 4, 20);
  MiscPage = new TMisc(this, PageControl, QStringLiteral("Miscellaneous"), 6, 71, 1, 1);
}

Tzel1Form::~Tzel1Form() = default;

}  // namespace velkaro
