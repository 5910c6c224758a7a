// Side tabs of the rack model's nested page controls: the toolkit's tab bar does not wrap onto
// several lines, so the tabs are drawn with less padding, enough for the "Group" page and five
// device pages to show without scroll arrows.
#pragma once

class QTabWidget;

namespace velkaro {

// Tabs down the left side, never elided, no scroll arrows, narrow padding.
void UseCompactSideTabs(QTabWidget* pageControl);

}  // namespace velkaro
