// What each tag is on a model's property pages, for lists of settings such as a restore's
// differences: found through the dialog's bound controls, so the pages stay the one description.
#pragma once

#include <QString>
#include <map>

class QWidget;

namespace velkaro {

// Tag -> "Page / Group / Label" of the controls bound to it under `dialog`. A tag bound to
// several controls (bits of one value, choices of a field) gets the part their places share.
std::map<int, QString> TagCaptions(const QWidget* dialog);

}  // namespace velkaro
