// The model dialogs' pages laid out at design time: a model's form description has a page
// control as its root, whose pages join the frame's PageControl behind General.
#pragma once

class QTabWidget;

namespace velkaro {

class TZelForm;

// Moves every page of `holder` behind the pages that PageControl already has, keeping captions
// and order, and lists each page's components with the dialog in creation order.
void AdoptFormPages(TZelForm& form, QTabWidget& holder);

}  // namespace velkaro
