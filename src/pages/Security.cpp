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

// The columns stand at 168, 208 and 256 for a 100-pixel address control and an 8-point font
// at 96 dpi. A larger font grows the address control and the headings: the columns then move
// right, each heading clear of the one before, the rows go below the headings, and the
// numbers and addresses move left if the group would not fit in its page otherwise.
void TSecurity::MakeRoomForMasks() {
  constexpr int kGap = 4, kHeadingGap = 3, kRightMargin = 8, kNumberLeft = 35, kNumberMinLeft = 8;
  // The widest group the page holds beside its left margin.
  constexpr int kGroupMaxWidth = 313;
  int masksRight = 0;
  for (const TRow& row : rows_) masksRight = std::max(masksRight, row.mask->geometry().right());

  // Heading lefts and the shift of each column for a given right edge of the addresses.
  QLabel* headings[] = {permitHeading_, denyHeading_, activatedHeading_};
  const int designed[] = {kRadioPanelLeft, 208, 240};
  int shift[3] = {};
  int right = 0;
  const auto place = [&](int addressesRight) {
    int left = std::max(designed[0], addressesRight + 1 + kGap);
    for (int c = 0; c < 3; ++c) {
      if (c > 0) left = std::max(designed[c] + shift[0], left);
      shift[c] = left - designed[c];
      left += headings[c]->width() + kHeadingGap;
    }
    right = std::max(designed[2] + shift[2] + headings[2]->width(), 256 + shift[2] + kGlyphSize);
  };
  place(masksRight);
  const int pull =
      std::clamp(right + kRightMargin - kGroupMaxWidth, 0, kNumberLeft - kNumberMinLeft);
  if (pull > 0) {
    for (const TRow& row : rows_) {
      row.number->move(row.number->x() - pull, row.number->y());
      row.mask->move(row.mask->x() - pull, row.mask->y());
    }
    place(masksRight - pull);
  }

  int headingsBottom = 0;
  for (int c = 0; c < 3; ++c) {
    headings[c]->move(designed[c] + shift[c], headings[c]->y());
    headingsBottom = std::max(headingsBottom, headings[c]->geometry().bottom());
  }
  // The radio panels start 6 pixels above their row.
  const int down = std::max(0, headingsBottom + 1 + 6 - kFirstRowTop);
  int groupRight = 0, groupBottom = 0;
  for (const TRow& row : rows_) {
    for (QWidget* w : {static_cast<QWidget*>(row.number), static_cast<QWidget*>(row.mask)})
      w->move(w->x(), w->y() + down);
    row.radioPanel->move(row.radioPanel->x() + shift[0], row.radioPanel->y() + down);
    // The Deny button follows its heading inside the panel.
    const int denyShift = shift[1] - shift[0];
    if (denyShift > 0) {
      row.deny->move(row.deny->x() + denyShift, row.deny->y());
      row.radioPanel->resize(row.radioPanel->width() + denyShift, row.radioPanel->height());
    }
    row.activated->move(row.activated->x() + shift[2], row.activated->y() + down);
    groupRight = std::max(groupRight, row.activated->geometry().right());
    groupBottom = std::max(groupBottom, row.activated->geometry().bottom());
  }
  groupRight = std::max(groupRight, activatedHeading_->geometry().right());
  if (shift[2] > 0 || pull > 0)
    group_->resize(std::max(kGroupWidth, groupRight + 1 + kRightMargin), group_->height());
  if (down > 0) group_->resize(group_->width(), group_->height() + down);
}

// Every control is a descendant of the page, so Qt releases them all with it; the owner's
// component list only guards them and forgets each one as it goes.
TSecurity::~TSecurity() = default;

TSecurity::TRow TSecurity::Row(int index) const {
  if (index < 0 || index >= RowCount()) return {};
  return rows_[static_cast<std::size_t>(index)];
}

}  // namespace velkaro
