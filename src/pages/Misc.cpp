#include "pages/Misc.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <algorithm>

#include "pages/BindingTag.h"
#include "pages/PageBuilding.h"

namespace velkaro {

namespace {

constexpr int kLabelLeft = 16, kBoxLeft = 180, kBoxWidth = 100, kBoxHeight = 21;
constexpr int kLabelGap = 4;
// Inside the 305-pixel group, clear of its frame; ten digits still fit in the narrowest box.
constexpr int kBoxRightLimit = 297, kMinBoxWidth = 72;

// Counters are the device's to change: shown, selectable, but neither editable nor a Tab stop.
QLineEdit* MakeCounterBox(QWidget* parent, int top, int tag, const QString& name) {
  auto* box = new QLineEdit(parent);
  box->setGeometry(kBoxLeft, top, kBoxWidth, kBoxHeight);
  box->setReadOnly(true);
  box->setFocusPolicy(Qt::ClickFocus);
  // It looks read-only too: the page's background instead of the white of an entry field.
  QPalette palette = box->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  box->setPalette(palette);
  box->setObjectName(name);
  SetTag(box, tag);
  return box;
}

}  // namespace

TMisc::TMisc(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption, int pageIndex,
             int tagBase, int rowCount, int firstNumber) {
  const TPageRegistration add(owner, pageControl, this, caption, pageIndex);

  group_ = new QGroupBox(QStringLiteral(" Miscellaneous "), this);
  group_->setObjectName(QStringLiteral("MiscGroup"));
  add(group_);

  int y = 28;
  powerUpLabel_ = MakeLabel(QStringLiteral("Number of Power Up :"), group_, kLabelLeft, y);
  add(powerUpLabel_);
  powerUp_ = MakeCounterBox(group_, y - 4, tagBase, QStringLiteral("PowerUp"));
  powerUp_->setAccessibleName(powerUpLabel_->text());
  add(powerUp_);

  y += 40;
  rows_.resize(static_cast<std::size_t>(std::max(rowCount, 0)));
  const bool numbered = rows_.size() > 1;
  for (std::size_t i = 0; i < rows_.size(); ++i, y += 24) {
    TRow& row = rows_[i];
    const int k = static_cast<int>(i) + 1;
    const int outlet = firstNumber + k - 1;
    QString text = QStringLiteral("Number of OFF/ON Switching ");
    if (numbered) text += QString::number(outlet);
    text += QLatin1Char(':');
    row.label = MakeLabel(text, group_, kLabelLeft, y);
    add(row.label);
    row.value = MakeCounterBox(group_, y - 4, tagBase + k, QStringLiteral("Switching%1").arg(k));
    row.value->setAccessibleName(text);
    add(row.value);
  }
  group_->setGeometry(8, 4, 305, y + 10);
  MakeRoomForLabels();
}

// The boxes stand at 180; a font too wide for the labels moves them right, within the group,
// so no row number hides under a box.
void TMisc::MakeRoomForLabels() {
  int labelsRight = powerUpLabel_->geometry().right();
  for (const TRow& row : rows_) labelsRight = std::max(labelsRight, row.label->geometry().right());
  const int left = std::clamp(labelsRight + kLabelGap, kBoxLeft, kBoxRightLimit - kMinBoxWidth);
  if (left == kBoxLeft) return;
  const int width = std::min(kBoxWidth, kBoxRightLimit - left);
  powerUp_->setGeometry(left, powerUp_->y(), width, kBoxHeight);
  for (const TRow& row : rows_) row.value->setGeometry(left, row.value->y(), width, kBoxHeight);
}

TMisc::~TMisc() = default;

TMisc::TRow TMisc::Row(int index) const {
  if (index < 0 || index >= RowCount()) return {};
  return rows_[static_cast<std::size_t>(index)];
}

}  // namespace velkaro
