#include "pages/Lab.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "pages/BindingTag.h"
#include "pages/PageBuilding.h"

namespace velkaro {

namespace {

constexpr int kLabelLeft = 35, kBoxLeft = 136, kBoxWidth = 153, kBoxHeight = 21;
constexpr int kRowPitch = 32;

QLineEdit* MakeNameBox(QWidget* parent, int top, int tag, const QString& name) {
  auto* box = new QLineEdit(parent);
  box->setGeometry(kBoxLeft, top, kBoxWidth, kBoxHeight);
  // Longer names could not travel to the device whole (one-byte length on the wire).
  box->setMaxLength(TLab::kNameLimit);
  box->setObjectName(name);
  SetTag(box, tag);
  return box;
}

}  // namespace

TLab::TLab(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption, int pageIndex,
           int tagBase, int rowCount, int firstNumber) {
  const TPageRegistration add(owner, pageControl, this, caption, pageIndex);

  group_ = new QGroupBox(QStringLiteral(" Labels "), this);
  group_->setObjectName(QStringLiteral("LabelsGroup"));
  add(group_);

  int y = 28;
  deviceLabel_ = MakeLabel(QStringLiteral("Device Name :"), group_, kLabelLeft, y);
  add(deviceLabel_);
  deviceName_ = MakeNameBox(group_, y - 4, tagBase, QStringLiteral("DeviceName"));
  deviceName_->setAccessibleName(deviceLabel_->text());
  add(deviceName_);

  y += kRowPitch;
  rows_.resize(static_cast<std::size_t>(std::max(rowCount, 0)));
  for (std::size_t i = 0; i < rows_.size(); ++i, y += kRowPitch) {
    TRow& row = rows_[i];
    const int k = static_cast<int>(i);
    const int socket = firstNumber + k;
    const QString text = QStringLiteral("Socket ") + QString::number(socket) + QLatin1Char(':');
    row.label = MakeLabel(text, group_, kLabelLeft, y);
    add(row.label);
    row.name =
        MakeNameBox(group_, y - 4, tagBase + 2 + 4 * k, QStringLiteral("SocketName%1").arg(socket));
    row.name->setAccessibleName(text);
    add(row.name);
  }
  group_->setGeometry(8, 4, 305, y);
}

TLab::~TLab() = default;

TLab::TRow TLab::Row(int index) const {
  if (index < 0 || index >= RowCount()) return {};
  return rows_[static_cast<std::size_t>(index)];
}

}  // namespace velkaro
