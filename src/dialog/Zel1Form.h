// Property dialog of the one-outlet switch (model code 0x01010100): the frame's General page,
// the Labels, Users accounts and Options pages of its form description, and the Security,
// Supervision and Miscellaneous pages built in code.
#pragma once

#include <memory>

#include "dialog/ZelForm.h"

namespace Ui {
class Tzel1Pages;
}

namespace velkaro {

class TMisc;
class TSecurity;
class TSuperv;

class Tzel1Form : public TZelForm {
  Q_OBJECT

 public:
  explicit Tzel1Form(QWidget* owner = nullptr);
  ~Tzel1Form() override;

  // Pages built in code, owned by PageControl.
  TSecurity* SecurityPage = nullptr;
  TSuperv* SupervisionPage = nullptr;
  TMisc* MiscPage = nullptr;

 private:
  std::unique_ptr<Ui::Tzel1Pages> pages_;
};

}  // namespace velkaro
