#include "dialog/Zel8Form.h"

#include <QCheckBox>
#include <QLabel>
#include <QTabWidget>

#include "dialog/CompactTabs.h"
#include "dialog/FormPages.h"
#include "dialog/Rack.h"
#include "pages/Lab.h"
#include "pages/Misc.h"
#include "pages/Security.h"
#include "ui_Zel8Form.h"

namespace velkaro {

namespace {

// Device n's parameters are device 1's plus 100 * (n - 1).
constexpr int kDeviceTagStep = 100;
constexpr int kLabelsTagBase = 39;
constexpr int kAccountsTagBase = 40;
constexpr int kMiscTagBase = 81;
constexpr int kSocketsPerDevice = 8;

QString DeviceCaption(int device) {
  return QStringLiteral("Device %1").arg(device);
}

int DeviceTagBase(int base, int device) {
  return base + kDeviceTagStep * (device - 1);
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

  // Each page goes to its index, pushing the later pages to the right.
  SecurityPage = new TSecurity(this, PageControl, QStringLiteral("Security"), 3, 20, 8, 1);

  for (int n = 1; n <= kDevices; ++n)
    LabelPages[static_cast<std::size_t>(n - 1)] =
        new TLab(this, LabelControl, DeviceCaption(n), n, DeviceTagBase(kLabelsTagBase, n),
                 kSocketsPerDevice, 1);
  LabelControl->setCurrentWidget(pages_->LabelDevice);

  for (int n = 1; n <= kDevices; ++n)
    AccountPages[static_cast<std::size_t>(n - 1)] =
        new TRack(this, AccountControl, DeviceCaption(n), n, DeviceTagBase(kAccountsTagBase, n), 1);
  AccountControl->setCurrentWidget(pages_->AccountAdmin);

  for (int n = 1; n <= kDevices; ++n)
    MiscPages[static_cast<std::size_t>(n - 1)] =
        new TMisc(this, MiscControl, DeviceCaption(n), n - 1, DeviceTagBase(kMiscTagBase, n),
                  kSocketsPerDevice, 1);
  MiscControl->setCurrentIndex(0);
}

Tzel8Form::~Tzel8Form() = default;

}  // namespace velkaro
