#include "dialog/ControlBinding.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>
#include <cstdint>
#include <limits>

#include "pages/BindingTag.h"
#include "pages/IPEdit.h"
#include "protocol/Frame.h"

namespace velkaro {

namespace {

// The designed maximum length of a text edit, kept while a longer loaded text widens it.
constexpr char kTypingLimitProperty[] = "velkaroTypingLimit";

bool BoundParameter(const QWidget* control, TBinding& binding) {
  const int tag = TagOf(control);
  if (tag == 0) return false;
  binding = DecodeBindingTag(tag);
  return binding.parameter >= TValueSlots::kFirstTag && binding.parameter <= TValueSlots::kLastTag;
}

// Bit numbers name one of the eight low bits; anything else binds nothing.
bool ValidBit(int bit) {
  return bit >= 0 && bit <= 7;
}

bool LowBit(const TValueSlots& values, int parameter, int bit) {
  return ((values.AsUInt(parameter) & 0xFFu) >> bit) & 1u;
}

void StoreBit(TValueSlots& values, int parameter, int bit, bool set) {
  const std::uint32_t value = values.AsUInt(parameter);
  const std::uint32_t flag = 1u << bit;
  values.Set(parameter, set ? (value | flag) : (value & ~flag));
}

void LoadText(QLineEdit* edit, const QString& text) {
  QVariant limit = edit->property(kTypingLimitProperty);
  if (!limit.isValid()) {
    limit = edit->maxLength();
    edit->setProperty(kTypingLimitProperty, limit);
  }
  // QLineEdit cuts a text set in code to its maximum length; the limit is for typing only.
  edit->setMaxLength(std::max(limit.toInt(), static_cast<int>(text.size())));
  edit->setText(text);
  edit->setCursorPosition(0);  // a text longer than the box shows its start, not its end
}

// Holds one control disabled while its parameter is unreported. Page logic that enables the
// control meanwhile clears its own disabled flag, which shows up as an EnabledChange: that wish is
// remembered for the release and undone at once.
class TUnreportedLock : public QObject {
 public:
  explicit TUnreportedLock(QWidget* control)
      : QObject(control),
        control_(control),
        wantEnabled_(!control->testAttribute(Qt::WA_ForceDisabled)),
        toolTip_(control->toolTip()) {
    control_->setToolTip(QString::fromLatin1(kNotReportedText));
    control_->setEnabled(false);
    control_->installEventFilter(this);
  }
  void Release() {
    control_->removeEventFilter(this);
    control_->setToolTip(toolTip_);
    control_->setEnabled(wantEnabled_);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == control_ && event->type() == QEvent::EnabledChange &&
        !control_->testAttribute(Qt::WA_ForceDisabled)) {
      wantEnabled_ = true;
      control_->setEnabled(false);
    }
    return false;
  }

 private:
  QWidget* control_;
  bool wantEnabled_;
  QString toolTip_;
};

TUnreportedLock* LockOf(const QWidget* control) {
  for (QObject* child : control->children())
    if (auto* lock = dynamic_cast<TUnreportedLock*>(child)) return lock;
  return nullptr;
}

}  // namespace

TControlKind KindOf(const QWidget* control) {
  if (!control) return TControlKind::Other;
  if (dynamic_cast<const TIPEdit*>(control)) return TControlKind::IPEdit;
  if (qobject_cast<const QLineEdit*>(control)) return TControlKind::TextEdit;
  if (qobject_cast<const QSpinBox*>(control)) return TControlKind::SpinEdit;
  if (qobject_cast<const QCheckBox*>(control)) return TControlKind::CheckBox;
  if (qobject_cast<const QRadioButton*>(control)) return TControlKind::RadioButton;
  return TControlKind::Other;
}

bool LoadControl(QWidget* control, const TValueSlots& values) {
  TBinding b;
  if (!BoundParameter(control, b) || !values.Has(b.parameter)) return false;
  const int p = b.parameter;
  switch (KindOf(control)) {
    case TControlKind::TextEdit:
      LoadText(static_cast<QLineEdit*>(control), DeviceTextToQString(values.AsText(p)));
      return true;
    case TControlKind::IPEdit:
      dynamic_cast<TIPEdit*>(control)->SetText(QString::fromStdString(IpToText(values.AsUInt(p))));
      return true;
    case TControlKind::SpinEdit: {
      const std::int64_t v = std::clamp<std::int64_t>(
          values.AsInt64(p), std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
      static_cast<QSpinBox*>(control)->setValue(static_cast<int>(v));
      return true;
    }
    case TControlKind::CheckBox:
      if (!ValidBit(b.field)) return false;
      static_cast<QCheckBox*>(control)->setChecked(LowBit(values, p, b.field));
      return true;
    case TControlKind::RadioButton: {
      auto* radio = static_cast<QRadioButton*>(control);
      if (b.mask != 0) {
        const auto low = values.AsUInt(p) & 0xFFu;
        SetRadioChecked(radio, (low & static_cast<std::uint32_t>(b.mask)) ==
                                   static_cast<std::uint32_t>(b.field));
        return true;
      }
      if (!ValidBit(b.field)) return false;
      SetRadioChecked(radio, LowBit(values, p, b.field));
      return true;
    }
    case TControlKind::Other:
      break;
  }
  return false;
}

bool StoreControl(QWidget* control, TValueSlots& values) {
  TBinding b;
  if (!BoundParameter(control, b) || !values.Reported(b.parameter)) return false;
  const int p = b.parameter;
  switch (KindOf(control)) {
    case TControlKind::TextEdit:
      values.Set(p, QStringToDeviceText(static_cast<QLineEdit*>(control)->text()));
      return true;
    case TControlKind::IPEdit:
      values.Set(p, TextToIp(dynamic_cast<TIPEdit*>(control)->Text().toStdString()));
      return true;
    case TControlKind::SpinEdit: {
      const int v = static_cast<QSpinBox*>(control)->value();
      if (v >= 0)
        values.Set(p, static_cast<std::uint32_t>(v));
      else
        values.Set(p, static_cast<std::int64_t>(v));
      return true;
    }
    case TControlKind::CheckBox:
      if (!ValidBit(b.field)) return false;
      StoreBit(values, p, b.field, static_cast<QCheckBox*>(control)->isChecked());
      return true;
    case TControlKind::RadioButton: {
      const bool selected = static_cast<QRadioButton*>(control)->isChecked();
      if (b.mask != 0) {
        if (!selected) return false;
        const std::uint32_t mask = static_cast<std::uint32_t>(b.mask);
        values.Set(p, (values.AsUInt(p) & ~mask) | static_cast<std::uint32_t>(b.field));
        return true;
      }
      if (!ValidBit(b.field)) return false;
      StoreBit(values, p, b.field, selected);
      return true;
    }
    case TControlKind::Other:
      break;
  }
  return false;
}

bool MarkUnreported(QWidget* control, const TValueSlots& values) {
  TBinding b;
  if (!BoundParameter(control, b) || KindOf(control) == TControlKind::Other) return false;
  const bool unreported = !values.Reported(b.parameter);
  TUnreportedLock* lock = LockOf(control);
  if (unreported && !lock) new TUnreportedLock(control);  // owned by the control
  if (!unreported && lock) {
    lock->Release();
    delete lock;
  }
  return unreported;
}

void SetRadioChecked(QRadioButton* button, bool checked) {
  if (!button || button->isChecked() == checked) return;
  if (checked) {
    // Auto-exclusivity clears the selected sibling and emits its toggled(false), as a click.
    button->setChecked(true);
    return;
  }
  // Exclusive buttons refuse to be cleared directly; lift the exclusivity for this one change.
  QButtonGroup* group = button->group();
  const bool groupExclusive = group && group->exclusive();
  const bool autoExclusive = button->autoExclusive();
  if (groupExclusive) group->setExclusive(false);
  if (autoExclusive) button->setAutoExclusive(false);
  button->setChecked(false);
  if (autoExclusive) button->setAutoExclusive(true);
  if (groupExclusive) group->setExclusive(true);
}

}  // namespace velkaro
