// File > Interfaces: which network interfaces the next scan goes out on. "All interfaces" first,
// then one checkable entry per usable interface, listed afresh each time the menu opens.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "protocol/NetInterfaces.h"

class QMenu;

namespace velkaro {

class TInterfaceMenu : public QObject {
  Q_OBJECT

 public:
  using TLister = std::function<std::vector<TNetInterface>()>;
  // Adds the submenu to `parent`; `chosen` is the start choice (empty: all), `list` gives the
  // usable interfaces.
  TInterfaceMenu(QMenu* parent, std::vector<std::string> chosen, TLister list = UsableInterfaces);

  QMenu* Menu() const { return menu_; }
  // The names chosen, empty for all interfaces.
  const std::vector<std::string>& Chosen() const { return chosen_; }
  // Lists the entries again (also done each time the menu opens).
  void Rebuild();

 private:
  void Toggle(const std::string& name, bool on);

  QMenu* menu_;
  std::vector<std::string> chosen_;
  TLister list_;
};

}  // namespace velkaro
