#include "app/InterfaceMenu.h"

#include <QAction>
#include <QMenu>
#include <algorithm>

#include "protocol/Frame.h"

namespace velkaro {

TInterfaceMenu::TInterfaceMenu(QMenu* parent, std::vector<std::string> chosen, TLister list)
    : QObject(parent), chosen_(std::move(chosen)), list_(std::move(list)) {
  menu_ = parent->addMenu(tr("&Interfaces"));
  menu_->setObjectName(QStringLiteral("InterfacesMenu"));
  connect(menu_, &QMenu::aboutToShow, this, &TInterfaceMenu::Rebuild);
  Rebuild();
}

void TInterfaceMenu::Rebuild() {
  menu_->clear();
  QAction* all = menu_->addAction(tr("&All interfaces"));
  all->setObjectName(QStringLiteral("AllInterfaces"));
  all->setCheckable(true);
  all->setChecked(chosen_.empty());
  connect(all, &QAction::triggered, this, [this] {
    chosen_.clear();
    // Rebuilt later: the action that sent this signal must not be deleted inside it.
    QMetaObject::invokeMethod(this, &TInterfaceMenu::Rebuild, Qt::QueuedConnection);
  });
  menu_->addSeparator();
  std::vector<std::string> shown;
  const auto add = [&](const std::string& name, const QString& text) {
    // An interface name is no access key: a '&' in it is shown as it is.
    QAction* a = menu_->addAction(QString(text).replace(u'&', QStringLiteral("&&")));
    a->setData(QString::fromStdString(name));
    a->setCheckable(true);
    a->setChecked(std::find(chosen_.begin(), chosen_.end(), name) != chosen_.end());
    connect(a, &QAction::toggled, this, [this, name](bool on) { Toggle(name, on); });
    shown.push_back(name);
  };
  for (const TNetInterface& i : list_ ? list_() : std::vector<TNetInterface>{})
    add(i.link.name,
        QString::fromStdString(i.link.name + "  (" + IpToText(i.link.localAddress) + ")"));
  // A chosen interface that went away stays listed, so that it can be unticked.
  for (const std::string& name : chosen_)
    if (std::find(shown.begin(), shown.end(), name) == shown.end())
      add(name, QString::fromStdString(name) + tr("  (not available)"));
}

void TInterfaceMenu::Toggle(const std::string& name, bool on) {
  const auto it = std::find(chosen_.begin(), chosen_.end(), name);
  if (on && it == chosen_.end()) chosen_.push_back(name);
  if (!on && it != chosen_.end()) chosen_.erase(it);
  QMetaObject::invokeMethod(this, &TInterfaceMenu::Rebuild, Qt::QueuedConnection);
}

}  // namespace velkaro
