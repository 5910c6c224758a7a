#include "dialog/CompactTabs.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <vector>

namespace velkaro {

namespace {

constexpr int kTabPadding = 8;  // along the tab; the usual styles use about 24

class TCompactTabStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_TabBarTabHSpace) return kTabPadding;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

// Side tabs whose captions read across: the tab keeps its side-tab frame, its size and label
// are those of a tab on top.
class TLevelSideTabStyle : public QProxyStyle {
 public:
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    QSize s = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_TabBarTab) s.transpose();  // the tab bar hands in the turned size
    return s;
  }
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    if (element == CE_TabBarTabLabel) {
      if (const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(option)) {
        QStyleOptionTab level(*tab);
        level.shape = QTabBar::RoundedNorth;
        QProxyStyle::drawControl(element, &level, painter, widget);
        return;
      }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

// One style of each kind for every such tab bar; the application releases them at its end.
template <class TStyle>
QStyle* SharedStyle() {
  static QPointer<QStyle> style;
  if (!style) {
    style = new TStyle;
    style->setParent(qApp);
  }
  return style;
}

void PlaceOnTheLeft(QTabWidget* pageControl) {
  pageControl->setTabPosition(QTabWidget::West);
  pageControl->setElideMode(Qt::ElideNone);
  pageControl->setUsesScrollButtons(false);
}

}  // namespace

void UseCompactSideTabs(QTabWidget* pageControl) {
  if (!pageControl) return;
  PlaceOnTheLeft(pageControl);
  pageControl->tabBar()->setStyle(SharedStyle<TCompactTabStyle>());
}

void UseSideTabs(QTabWidget* pageControl) {
  if (!pageControl) return;
  PlaceOnTheLeft(pageControl);
  pageControl->tabBar()->setStyle(SharedStyle<TLevelSideTabStyle>());
}

int SideTabsWidth(QTabWidget* pageControl) {
  if (!pageControl) return 0;
  QTabBar* bar = pageControl->tabBar();
  // The bar sizes itself by its shown tabs: show them all for the measure, then put back.
  std::vector<int> hidden;
  for (int i = 0; i < bar->count(); ++i)
    if (!bar->isTabVisible(i)) hidden.push_back(i);
  const int current = pageControl->currentIndex();
  const bool signalsWereBlocked = pageControl->blockSignals(true);
  for (const int i : hidden) bar->setTabVisible(i, true);
  const int width = bar->sizeHint().width();
  for (const int i : hidden) bar->setTabVisible(i, false);
  pageControl->setCurrentIndex(current);
  pageControl->blockSignals(signalsWereBlocked);
  return width;
}

}  // namespace velkaro
