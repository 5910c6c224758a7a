// The property dialog factories of the three models, handed to the main window at start.
#pragma once

#include "ui/PropertyDialog.h"

namespace velkaro {

DialogFactory MakeZel1Factory();
DialogFactory MakeZel4Factory();
DialogFactory MakeZel8Factory();
// All three, by model code.
TDialogFactories BuiltinDialogFactories();

}  // namespace velkaro
