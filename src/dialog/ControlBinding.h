// The per-control rules of the binding passes: how one control is filled from its parameter's
// value slot and stored back, chosen by the control's kind and its binding tag.
#pragma once

#include <QString>
#include <string>

#include "protocol/DeviceRecord.h"
#include "ui/DeviceTextQt.h"

class QRadioButton;
class QWidget;

namespace velkaro {

// Kinds the passes recognise; derived classes count as their base kind.
enum class TControlKind { Other, TextEdit, IPEdit, SpinEdit, CheckBox, RadioButton };
TControlKind KindOf(const QWidget* control);

// Tooltip of a bound control whose parameter the device did not report.
inline constexpr char kNotReportedText[] = "Not reported by this device";

// Fills `control` from its slot. Unbound controls, parameters outside 1-999, empty slots and
// other kinds are left untouched. Returns whether the control was loaded.
bool LoadControl(QWidget* control, const TValueSlots& values);
// Stores `control` into its slot. Returns whether the slot was written. A slot the device did
// not report is never stored into: a value made up here would be written to the device.
bool StoreControl(QWidget* control, TValueSlots& values);

// Disables a bound control whose parameter `values` does not report and sets the tooltip above;
// page logic that enables it meanwhile does not bring it back. Once its parameter is reported,
// the control gets back its tooltip and is enabled when it was so before or page logic enabled
// it meanwhile. Returns whether the control is held disabled.
bool MarkUnreported(QWidget* control, const TValueSlots& values);

// Selects or clears one radio button as a click would, emitting toggled on every real change.
// Clearing works on auto-exclusive buttons and exclusive button groups too, leaving the rest of
// the group as it is (so a group may end with no button selected).
void SetRadioChecked(QRadioButton* button, bool checked);

using ui::DeviceTextToQString;
using ui::QStringToDeviceText;

}  // namespace velkaro
