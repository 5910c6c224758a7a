#include "dialog/DialogFactories.h"

#include <QWidget>

#include "dialog/Zel1Form.h"
#include "dialog/Zel4Form.h"
#include "dialog/Zel8Form.h"
#include "protocol/ModelRegistry.h"

namespace velkaro {

namespace {

template <class TForm>
DialogFactory FactoryOf() {
  return [](QWidget* owner) -> std::unique_ptr<TPropertyDialog> {
    return std::make_unique<TForm>(owner);
  };
}

}  // namespace

DialogFactory MakeZel1Factory() {
  return FactoryOf<Tzel1Form>();
}
DialogFactory MakeZel4Factory() {
  return FactoryOf<Tzel4Form>();
}
DialogFactory MakeZel8Factory() {
  return FactoryOf<Tzel8Form>();
}

TDialogFactories BuiltinDialogFactories() {
  return {{kModelZel1, MakeZel1Factory()},
          {kModelZel4, MakeZel4Factory()},
          {kModelZel8, MakeZel8Factory()}};
}

}  // namespace velkaro
