// Tab bars of the property dialogs. The toolkit's tab bar neither wraps onto several lines nor
// fits eleven captions into the width of a page, so:
// - the top-level pages are listed down the left side with level captions, one tab per line;
// - the rack model's nested page controls keep their turned captions with less padding, enough
//   for the "Group" page and five device pages to show without scroll arrows.
#pragma once

class QTabWidget;

namespace velkaro {

// Tabs down the left side, never elided, no scroll arrows, narrow padding.
void UseCompactSideTabs(QTabWidget* pageControl);

// Tabs down the left side with captions written across, never elided, no scroll arrows.
void UseSideTabs(QTabWidget* pageControl);

// The width the side tabs of `pageControl` take with every tab shown, hidden ones included, so
// the frame does not change when tabs appear.
int SideTabsWidth(QTabWidget* pageControl);

}  // namespace velkaro
