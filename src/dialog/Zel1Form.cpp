#include "Zel1Form.h"

#include <QTabWidget>

#include "FormPages.h"
#include "ui_Zel1Form.h"

namespace velkaro {

Tzel1Form::Tzel1Form(QWidget* owner) : TZelForm(owner), pages_(std::make_unique<Ui::Tzel1Pages>()) {
  ArrangeFrame(345, 373, 330, 329, 345);
  QTabWidget holder;
  pages_->setupUi(&holder);
  AdoptFormPages(*this, holder);
}

Tzel1Form::~Tzel1Form() = default;

}  // namespace velkaro
