#include "Zel8Form.h"

#include <QCheckBox>
#include <QLabel>
#include <QTabWidget>

#include "CompactTabs.h"
#include "FormPages.h"
#include "Rack.h"
#include "ui_Zel8Form.h"

namespace velkaro {

namespace {

constexpr int kDeviceTagStep = 100;
constexpr int kAccountsTagBase = 40;

QString DeviceCaption(int device) {
  return QStringLiteral("Device %1").arg(device);
}

}  // namespace

Tzel8Form::Tzel8Form(QWidget* owner) : TZelForm(owner), pages_(std::make_unique<Ui::Tzel8Pages>()) {
  ArrangeFrame(447, 411, 430, 368, 384);
  // The rack has no HTTP switch of its own; the hidden box still carries bit 1 of parameter 6.
  httpLabel->hide();
  http_authorized->hide();

  QTabWidget holder;
  pages_->setupUi(&holder);
  AdoptFormPages(*this, holder);
  LabelControl = pages_->LabelControl;
  AccountControl = pages_->AccountControl;
  MiscControl = pages_->MiscControl;
  for (QTabWidget* nested : {LabelControl, AccountControl, MiscControl}) UseCompactSideTabs(nested);

  LabelControl->setCurrentWidget(pages_->LabelDevice);

  for (int n = 1; n <= kDevices; ++n)
    racks_[static_cast<std::size_t>(n - 1)] = new TRack(
        this, AccountControl, DeviceCaption(n), n, kAccountsTagBase + kDeviceTagStep * (n - 1), 1);
  AccountControl->setCurrentWidget(pages_->AccountAdmin);
}

Tzel8Form::~Tzel8Form() = default;

TRack* Tzel8Form::AccountPage(int device) const {
  if (device < 1 || device > kDevices) return nullptr;
  return racks_[static_cast<std::size_t>(device - 1)];
}

}  // namespace velkaro
