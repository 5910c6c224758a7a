// Property dialog of the four-outlet switch (model code 0x04010100): the frame's General page,
// the Labels, Administrator account, Users accounts and Options pages of its form description,
// and the Security, four Supervision and the Miscellaneous pages built in code.
#pragma once

#include <memory>

#include "ZelForm.h"

namespace Ui {
class Tzel4Pages;
}

namespace velkaro {

class Tzel4Form : public TZelForm {
  Q_OBJECT

 public:
  explicit Tzel4Form(QWidget* owner = nullptr);
  ~Tzel4Form() override;

 private:
  std::unique_ptr<Ui::Tzel4Pages> pages_;
};

}  // namespace velkaro
