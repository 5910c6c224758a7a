// Password edits of the accounts pages: masked, with an eye at the right end that shows the
// text while it is pressed in (a toggle) and masks it again when released.
#pragma once

class QAction;
class QLineEdit;

namespace velkaro {

// Masks `edit` and adds its reveal toggle (named "RevealPassword"); a second call does nothing.
// Returns the toggle.
QAction* MakePasswordEdit(QLineEdit* edit);

// The reveal toggle of `edit`, or null when it has none.
QAction* RevealToggle(const QLineEdit* edit);

}  // namespace velkaro
