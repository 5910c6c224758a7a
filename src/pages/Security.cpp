#include "pages/Security.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <algorithm>

#include "pages/BindingTag.h"
#include "pages/IPEdit.h"
#include "pages/PageBuilding.h"

namespace velkaro {

namespace {

constexpr int kGroupLeft = 8, kGroupTop = 4, kGroupWidth = 305;
constexpr int kHeadingTop = 16;
constexpr int kFirstRowTop = 36, kRowPitch = 32;
constexpr int kGlyphSize = 17;
constexpr int kRadioPanelLeft = 168;

}  // namespace

TSecurity::TSecurity(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption,
                     int pageIndex, int tagBase, int rowCount, int firstNumber) {
  const TPageRegistration add(owner, pageControl, this, caption, pageIndex);

  group_ = new QGroupBox(QStringLiteral(" IP Security Masks "), this);
  group_->setObjectName(QStringLiteral("SecurityGroup"));
  add(group_);

  permitHeading_ = MakeLabel(QStringLiteral("Permit"), group_, 168, kHeadingTop);
  add(permitHeading_);
  denyHeading_ = MakeLabel(QStringLiteral("Deny"), group_, 208, kHeadingTop);
  add(denyHeading_);
  activatedHeading_ = MakeLabel(QStringLiteral("Activated"), group_, 240, kHeadingTop);
  add(activatedHeading_);

  rows_.resize(static_cast<std::size_t>(std::max(rowCount, 0)));
  int y = kFirstRowTop;
  int n = firstNumber;
  for (std::size_t i = 0; i < rows_.size(); ++i, y += kRowPitch, ++n) {
    TRow& row = rows_[i];
    const int maskTag = tagBase + 2 * static_cast<int>(i);
    const int flagsTag = maskTag + 1;
    const QString number = QStringLiteral("#") + QString::number(n);

    row.number = MakeLabel(number, group_, 35, y);
    add(row.number);

    row.mask = new TIPEdit(group_);
    row.mask->move(56, y - 4);
    row.mask->resize(row.mask->sizeHint());
    row.mask->setObjectName(QStringLiteral("Mask%1").arg(n));
    row.mask->setAccessibleName(QStringLiteral("Mask ") + number);
    SetTag(row.mask, maskTag);
    add(row.mask);

    // Its own container makes the row's two buttons one exclusive group.
    row.radioPanel = new QWidget(group_);
    row.radioPanel->setGeometry(kRadioPanelLeft, y - 6, 73, 25);
    add(row.radioPanel);

    row.permit = new QRadioButton(row.radioPanel);
    row.permit->setGeometry(8, 4, kGlyphSize, kGlyphSize);
    row.permit->setObjectName(QStringLiteral("Permit%1").arg(n));
    row.permit->setAccessibleName(QStringLiteral("Permit ") + number);
    SetTag(row.permit, BindingTag(flagsTag, 1));
    add(row.permit);

    row.deny = new QRadioButton(row.radioPanel);
    row.deny->setGeometry(48, 4, kGlyphSize, kGlyphSize);
    row.deny->setObjectName(QStringLiteral("Deny%1").arg(n));
    row.deny->setAccessibleName(QStringLiteral("Deny ") + number);
    row.deny->setChecked(true);
    add(row.deny);

    row.activated = new QCheckBox(group_);
    row.activated->setGeometry(256, y - 2, kGlyphSize, kGlyphSize);
    row.activated->setObjectName(QStringLiteral("Activated%1").arg(n));
    row.activated->setAccessibleName(QStringLiteral("Activated ") + number);
    SetTag(row.activated, BindingTag(flagsTag, 0));
    add(row.activated);
  }
  group_->setGeometry(kGroupLeft, kGroupTop, kGroupWidth, y);
  MakeRoomForMasks();
}

// The columns stand at 168, 208 and 256 for a 100-pixel address control; the control grows
// with its font, and then the columns move right, the group widening with them if needed.
void TSecurity::MakeRoomForMasks() {
  constexpr int kGap = 4, kRightMargin = 8;
  int masksRight = 0;
  for (const TRow& row : rows_) masksRight = std::max(masksRight, row.mask->geometry().right());
  const int shift = std::max(0, masksRight + 1 + kGap - kRadioPanelLeft);
  if (shift == 0) return;
  for (QWidget* w : {static_cast<QWidget*>(permitHeading_), static_cast<QWidget*>(denyHeading_),
                     static_cast<QWidget*>(activatedHeading_)})
    w->move(w->x() + shift, w->y());
  int right = 0;
  for (const TRow& row : rows_) {
    row.radioPanel->move(row.radioPanel->x() + shift, row.radioPanel->y());
    row.activated->move(row.activated->x() + shift, row.activated->y());
    right = std::max(right, row.activated->geometry().right());
  }
  right = std::max(right, activatedHeading_->geometry().right());
  group_->resize(std::max(kGroupWidth, right + 1 + kRightMargin), group_->height());
}

// Every control is a descendant of the page, so Qt releases them all with it; the owner's
// component list only guards them and forgets each one as it goes.
TSecurity::~TSecurity() = default;

TSecurity::TRow TSecurity::Row(int index) const {
  if (index < 0 || index >= RowCount()) return {};
  return rows_[static_cast<std::size_t>(index)];
}

}  // namespace velkaro
