#include "dialog/Zel4Form.h"

#include <QTabWidget>

#include "dialog/FormPages.h"
#include "pages/Misc.h"
#include "pages/Security.h"
#include "pages/Superv.h"
#include "ui_Zel4Form.h"

namespace velkaro {

namespace {

constexpr int kSupervisionTagBase = 28;
constexpr int kSupervisionTagStep = 7;

}  // namespace

Tzel4Form::Tzel4Form(QWidget* owner) : TZelForm(owner), pages_(std::make_unique<Ui::Tzel4Pages>()) {
  ArrangeFrame(345, 411, 330, 368, 384);
  QTabWidget holder;
  pages_->setupUi(&holder);
  AdoptFormPages(*this, holder);

  // Each page goes to its index, pushing the later form pages to the right.
  SecurityPage = new TSecurity(this, PageControl, QStringLiteral("Security"), 4, 20, 4, 1);
  for (int n = 1; n <= kSockets; ++n)
    SupervisionPages[static_cast<std::size_t>(n - 1)] =
        new TSuperv(this, PageControl, QStringLiteral("Supervision %1").arg(n), 4 + n,
                    kSupervisionTagBase + kSupervisionTagStep * (n - 1));
  MiscPage = new TMisc(this, PageControl, QStringLiteral("Miscellaneous"), 10, 81, 4, 1);
}

Tzel4Form::~Tzel4Form() = default;

}  // namespace velkaro
