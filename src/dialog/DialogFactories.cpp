#include "DialogFactories.h"

#include <QWidget>

#include "ZelForm.h"

namespace velkaro {

namespace {

// Until the model dialogs exist every model gets the frame with its General page.
DialogFactory FrameFactory() {
  return [](void* owner) -> std::unique_ptr<TPropertyDialog> {
    return std::make_unique<TZelForm>(static_cast<QWidget*>(owner));
  };
}

}  // namespace

DialogFactory MakeZel1Factory() {
  return FrameFactory();
}
DialogFactory MakeZel4Factory() {
  return FrameFactory();
}
DialogFactory MakeZel8Factory() {
  return FrameFactory();
}

}  // namespace velkaro
