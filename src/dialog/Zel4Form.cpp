#include "Zel4Form.h"

#include <QTabWidget>

#include "FormPages.h"
#include "ui_Zel4Form.h"

namespace velkaro {

Tzel4Form::Tzel4Form(QWidget* owner) : TZelForm(owner), pages_(std::make_unique<Ui::Tzel4Pages>()) {
  ArrangeFrame(345, 411, 330, 368, 384);
  QTabWidget holder;
  pages_->setupUi(&holder);
  AdoptFormPages(*this, holder);
}

Tzel4Form::~Tzel4Form() = default;

}  // namespace velkaro
