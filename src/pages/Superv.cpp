#include "pages/Superv.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <algorithm>

#include "pages/BindingTag.h"
#include "pages/GroupEnabling.h"
#include "pages/IPEdit.h"
#include "pages/PageBuilding.h"
#include "pages/SpinEdit.h"

namespace velkaro {

namespace {

constexpr int kGroupLeft = 8, kGroupWidth = 305;
constexpr int kSpinLeft = 210, kSpinWidth = 87, kSpinHeight = 21;
constexpr int kCheckLeft = 128, kCheckWidth = 16, kCheckHeight = 17;
constexpr int kLabelGap = 4;
constexpr int kFailureWrapWidth = 122;
constexpr int kFailureLabelTop = 20, kRebootDelayLabelTop = 56;

// The labels keep their places; with a font too wide for the space before the control on
// their right they wrap instead of running under it.
void FitLabel(QLabel* label, int maxWidth) {
  label->setWordWrap(false);
  label->adjustSize();
  if (label->width() <= maxWidth) return;
  label->setWordWrap(true);
  label->resize(maxWidth, label->heightForWidth(maxWidth));
}

QLabel* MakeFittedLabel(const QString& text, QWidget* parent, int left, int top, int rightLimit) {
  auto* label = new QLabel(text, parent);
  label->move(left, top);
  FitLabel(label, rightLimit - kLabelGap - left);
  return label;
}

QSpinBox* MakeSpin(QWidget* parent, int top, int tag, const QString& name, bool seconds) {
  auto* spin = new TSpinEdit(parent);
  spin->setGeometry(kSpinLeft, top, kSpinWidth, kSpinHeight);
  spin->setRange(TSuperv::kSpinMinimum, TSuperv::kSpinMaximum);
  spin->setSingleStep(1);
  if (seconds) spin->setSuffix(QStringLiteral(" sec"));
  spin->setValue(TSuperv::kSpinMinimum);
  spin->setObjectName(name);
  SetTag(spin, tag);
  return spin;
}

}  // namespace

TSuperv::TSuperv(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption,
                 int pageIndex, int tagBase) {
  const TPageRegistration add(owner, pageControl, this, caption, pageIndex);

  equipmentBox_ = new QGroupBox(QStringLiteral(" Equipment to supervise "), this);
  equipmentBox_->setGeometry(kGroupLeft, 4, kGroupWidth, 53);
  add(equipmentBox_);
  addressLabel_ = MakeFittedLabel(QStringLiteral("IP Address :"), equipmentBox_, 35, 28, 128);
  add(addressLabel_);
  address_ = new TIPEdit(equipmentBox_);
  address_->move(128, 24);
  address_->resize(address_->sizeHint());
  address_->setObjectName(QStringLiteral("SupervisedAddress"));
  address_->setAccessibleName(QStringLiteral("IP Address"));
  SetTag(address_, tagBase);
  add(address_);

  methodBox_ = new QGroupBox(QStringLiteral(" Supervision Method "), this);
  methodBox_->setGeometry(kGroupLeft, 64, kGroupWidth, 97);
  add(methodBox_);
  pingLabel_ = MakeFittedLabel(QStringLiteral("Ping activated :"), methodBox_, 8, 24, kCheckLeft);
  add(pingLabel_);
  ping_ = new QCheckBox(methodBox_);
  ping_->setGeometry(kCheckLeft, 22, kCheckWidth, kCheckHeight);
  ping_->setChecked(true);
  ping_->setObjectName(QStringLiteral("Ping"));
  ping_->setAccessibleName(QStringLiteral("Ping activated"));
  SetTag(ping_, BindingTag(tagBase + 1, 0));
  add(ping_);
  scanLabel_ = MakeFittedLabel(QStringLiteral("Scan activated :"), methodBox_, 8, 48, kCheckLeft);
  add(scanLabel_);
  scan_ = new QCheckBox(methodBox_);
  scan_->setGeometry(kCheckLeft, 46, kCheckWidth, kCheckHeight);
  scan_->setChecked(true);
  scan_->setObjectName(QStringLiteral("Scan"));
  scan_->setAccessibleName(QStringLiteral("Scan activated"));
  SetTag(scan_, BindingTag(tagBase + 1, 1));
  add(scan_);
  portLabel_ = MakeFittedLabel(QStringLiteral("Port :"), methodBox_, 173, 48, kSpinLeft);
  // Wrapped, this short label would run into the row below; it moves left towards the Scan box.
  if (portLabel_->wordWrap()) {
    portLabel_->setWordWrap(false);
    portLabel_->adjustSize();
    const int floor = kCheckLeft + kCheckWidth + kLabelGap;
    portLabel_->move(std::max(floor, kSpinLeft - kLabelGap - portLabel_->width()), 48);
  }
  add(portLabel_);
  port_ = MakeSpin(methodBox_, 44, tagBase + 2, QStringLiteral("Port"), false);
  add(port_);
  intervalLabel_ =
      MakeFittedLabel(QStringLiteral("Interval between Requests :"), methodBox_, 8, 72, kSpinLeft);
  add(intervalLabel_);
  interval_ = MakeSpin(methodBox_, 68, tagBase + 3, QStringLiteral("Interval"), true);
  add(interval_);

  rebootBox_ = new QGroupBox(QStringLiteral(" Reboot "), this);
  rebootBox_->setGeometry(kGroupLeft, 168, kGroupWidth, 117);
  add(rebootBox_);
  failureLabel_ =
      new QLabel(QStringLiteral("Number of unsuccessful Requests before Reboot :"), rebootBox_);
  failureLabel_->move(8, kFailureLabelTop);
  // Wrapped in 122 pixels; when the font makes that run into the label below, the width goes
  // up to the spin box instead.
  failureLabel_->setWordWrap(true);
  const int room = kRebootDelayLabelTop - kFailureLabelTop - kLabelGap;
  const int wrapWidth = failureLabel_->heightForWidth(kFailureWrapWidth) <= room
                            ? kFailureWrapWidth
                            : kSpinLeft - kLabelGap - 8;
  failureLabel_->resize(wrapWidth, failureLabel_->heightForWidth(wrapWidth));
  add(failureLabel_);
  failureCount_ = MakeSpin(rebootBox_, 24, tagBase + 4, QStringLiteral("FailureCount"), false);
  add(failureCount_);
  rebootDelayLabel_ = MakeFittedLabel(QStringLiteral("Delay before Reboot :"), rebootBox_, 8,
                                      kRebootDelayLabelTop, kSpinLeft);
  add(rebootDelayLabel_);
  // 24 pixels a row like the boxes above; the classic 20 put this box one pixel into the last.
  // The device keeps the reboot delay at B + 6 and the first-request delay at B + 5.
  rebootDelay_ = MakeSpin(rebootBox_, 60, tagBase + 6, QStringLiteral("RebootDelay"), true);
  add(rebootDelay_);
  firstRequestLabel_ = MakeFittedLabel(QStringLiteral("Delay before First Request after Reboot :"),
                                       rebootBox_, 8, 88, kSpinLeft);
  add(firstRequestLabel_);
  firstRequestDelay_ =
      MakeSpin(rebootBox_, 84, tagBase + 5, QStringLiteral("FirstRequestDelay"), true);
  add(firstRequestDelay_);
  // A wrapped last label makes the box taller.
  constexpr int kBottomMargin = 8;
  const int contentBottom =
      std::max(firstRequestLabel_->geometry().bottom(), firstRequestDelay_->geometry().bottom());
  if (contentBottom + 1 + kBottomMargin > rebootBox_->height())
    rebootBox_->resize(rebootBox_->width(), contentBottom + 1 + kBottomMargin);

  // Attached after the boxes were ticked: building the page runs no handler, and with both
  // boxes ticked everything starts enabled. toggled also fires when a load changes a box.
  connect(ping_, &QCheckBox::toggled, this, &TSuperv::MethodChange);
  connect(scan_, &QCheckBox::toggled, this, &TSuperv::MethodChange);
}

TSuperv::~TSuperv() = default;

void TSuperv::MethodChange() {
  const bool scan = scan_->isChecked();
  const bool supervised = ping_->isChecked() || scan;
  SetGroupEnabled(rebootBox_, supervised);
  SetGroupEnabled(interval_, supervised);
  intervalLabel_->setEnabled(supervised);
  portLabel_->setEnabled(scan);
  port_->setEnabled(scan);
}

}  // namespace velkaro
