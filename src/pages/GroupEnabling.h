// Enabling or disabling a control together with every control inside it.
#pragma once

class QWidget;

namespace velkaro {

// Each child widget is treated first, recursively and in child order, then the widget itself.
// Every widget gets its own explicit state, so re-enabling a container later does not bring
// back children that were disabled one by one.
void EnableGroup(QWidget* widget);
void DisableGroup(QWidget* widget);
void SetGroupEnabled(QWidget* widget, bool enabled);

}  // namespace velkaro
