// Property dialog of the eight-outlet rack unit (model code 0x08000100), which drives up to
// five devices: the frame's General page (without the HTTP switch, which is still loaded and
// stored), the Labels, Accounts, Options and "Miscellaneous " pages of its form description,
// the Security page, and per device a Labels, an Accounts and a Miscellaneous page on the
// nested page controls.
#pragma once

#include <array>
#include <memory>

#include "dialog/ZelForm.h"

namespace Ui {
class Tzel8Pages;
}

namespace velkaro {

class TLab;
class TMisc;
class TRack;
class TSecurity;

class Tzel8Form : public TZelForm {
  Q_OBJECT

 public:
  static constexpr int kDevices = 5;

  explicit Tzel8Form(QWidget* owner = nullptr);
  ~Tzel8Form() override;

  // Nested page controls of the Labels, Accounts and "Miscellaneous " pages.
  QTabWidget* LabelControl = nullptr;
  QTabWidget* AccountControl = nullptr;
  QTabWidget* MiscControl = nullptr;

  // Pages built in code, owned by their page controls; index n - 1 is device n.
  TSecurity* SecurityPage = nullptr;
  std::array<TLab*, kDevices> LabelPages{};
  std::array<TRack*, kDevices> AccountPages{};
  std::array<TMisc*, kDevices> MiscPages{};

 private:
  std::unique_ptr<Ui::Tzel8Pages> pages_;
};

}  // namespace velkaro
