// The property dialog factories of the three models, handed to RegisterBuiltinModels by the
// main window. The owner passed to a factory is the main window (a QWidget*, or null).
#pragma once

#include "protocol/ModelRegistry.h"

namespace velkaro {

DialogFactory MakeZel1Factory();
DialogFactory MakeZel4Factory();
DialogFactory MakeZel8Factory();

}  // namespace velkaro
