#include "dialog/CompactTabs.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QTabBar>
#include <QTabWidget>

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

// One style for every such tab bar; the application releases it at its end.
QStyle* CompactTabStyle() {
  static QPointer<QStyle> style;
  if (!style) {
    style = new TCompactTabStyle;
    style->setParent(qApp);
  }
  return style;
}

}  // namespace

void UseCompactSideTabs(QTabWidget* pageControl) {
  if (!pageControl) return;
  pageControl->setTabPosition(QTabWidget::West);
  pageControl->setElideMode(Qt::ElideNone);
  pageControl->setUsesScrollButtons(false);
  pageControl->tabBar()->setStyle(CompactTabStyle());
}

}  // namespace velkaro
