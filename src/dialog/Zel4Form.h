// Property dialog of the four-outlet switch (model code 0x04010100): the frame's General page,
// the Labels, Administrator account, Users accounts and Options pages of its form description,
// and the Security, four Supervision and the Miscellaneous pages built in code.
#pragma once

#include <array>
#include <memory>

#include "dialog/ZelForm.h"

namespace Ui {
class Tzel4Pages;
}

namespace velkaro {

class TMisc;
class TSecurity;
class TSuperv;

class Tzel4Form : public TZelForm {
  Q_OBJECT

 public:
  static constexpr int kSockets = 4;

  explicit Tzel4Form(QWidget* owner = nullptr);
  ~Tzel4Form() override;

  // Pages built in code, owned by PageControl.
  TSecurity* SecurityPage = nullptr;
  std::array<TSuperv*, kSockets> SupervisionPages{};  // "Supervision 1" to "Supervision 4"
  TMisc* MiscPage = nullptr;

 private:
  std::unique_ptr<Ui::Tzel4Pages> pages_;
};

}  // namespace velkaro
