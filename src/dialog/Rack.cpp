#include "dialog/Rack.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog/MyCheckBox.h"
#include "pages/BindingTag.h"
#include "pages/ComponentOwner.h"

namespace velkaro {

namespace {

constexpr int kGroupLeft = 8;
constexpr int kGroupTop = 4;
constexpr int kGroupWidth = 369;
constexpr int kGroupHeight = 502;  // taller than the page: the scroll box scrolls
constexpr int kEditLeft = 77;
constexpr int kEditWidth = 153;
constexpr int kEditHeight = 21;
constexpr int kCellWidth = 14;  // the style's check indicator, not clipped
constexpr int kCellHeight = 17;
constexpr int kRowPitch = 56;
constexpr int kNumbersTop = 32;
constexpr int kMargin = 8, kGap = 4;

int SocketLeft(int socket) {
  return 221 + 16 * socket;
}

// Twin partner of socket k: k + 4 for 1-4, k - 4 for 5-8.
int Partner(int socket) {
  return ((socket - 1) ^ 4) + 1;
}

}  // namespace

TRack::TRack(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption, int pageIndex,
             int tagBase, int firstSocket)
    : tagBase_(tagBase) {
  // Lists one component with the dialog as soon as it exists, so the list keeps creation order.
  const auto own = [owner](QWidget* w) {
    if (owner) owner->AddComponent(w);
    return w;
  };
  own(this);
  if (owner) owner->InsertPage(pageControl, this, caption, pageIndex);

  scrollBox_ = new QScrollArea(this);
  scrollBox_->setFrameShape(QFrame::NoFrame);
  scrollBox_->setWidgetResizable(false);
  own(scrollBox_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scrollBox_);

  scrollContent_ = new QWidget;
  scrollContent_->setFixedSize(kGroupLeft + kGroupWidth + kGroupLeft,
                               kGroupTop + kGroupHeight + kGroupTop);
  scrollBox_->setWidget(scrollContent_);
  own(scrollContent_);

  group_ = new QGroupBox(QStringLiteral(" Users Accounts "), scrollContent_);
  group_->setGeometry(kGroupLeft, kGroupTop, kGroupWidth, kGroupHeight);
  own(group_);

  DeviceActivated = new QCheckBox(QStringLiteral("Device Activated"), group_);
  DeviceActivated->move(8, 24);
  DeviceActivated->adjustSize();
  DeviceActivated->setChecked(true);
  SetTag(DeviceActivated, BindingTag(tagBase, 0));
  own(DeviceActivated);

  TwinMode = new QCheckBox(QStringLiteral("Twin Mode"), group_);
  TwinMode->move(150, 24);
  TwinMode->adjustSize();
  TwinMode->setChecked(false);
  SetTag(TwinMode, BindingTag(tagBase, 1));
  own(TwinMode);

  // A larger font moves the heading up and left to stay above the numbers and over the
  // sockets, and Twin Mode left to stay clear of it, down to touching Device Activated.
  heading_ = new QLabel(QStringLiteral("Authorized Sockets"), group_);
  heading_->adjustSize();
  heading_->move(std::min(248, SocketLeft(kSockets) + kCellWidth - heading_->width()),
                 std::min(16, kNumbersTop - heading_->height()));
  own(heading_);
  const int twinRoom = std::min(SocketLeft(1), heading_->x()) - 1 - TwinMode->width();
  TwinMode->move(std::max(DeviceActivated->geometry().right() + 1, std::min(150, twinRoom)),
                 TwinMode->y());

  for (int k = 1; k <= kSockets; ++k) {
    auto* number = new QLabel(QString::number(firstSocket + k - 1), group_);
    number->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    number->setGeometry(SocketLeft(k), kNumbersTop, kCellWidth,
                        std::max(13, number->sizeHint().height()));
    socketNumbers_[static_cast<std::size_t>(k - 1)] = number;
    own(number);
  }

  // The edits start after the widest of their labels.
  int editLeft = kEditLeft;
  for (const QString& text : {QStringLiteral("Login :"), QStringLiteral("Password :")})
    editLeft = std::max(editLeft, 8 + group_->fontMetrics().horizontalAdvance(text) + kGap + 1);
  const int editWidth = kEditLeft + kEditWidth - editLeft;

  for (int i = 1; i <= kUsers; ++i) {
    TUserRow& row = users_[static_cast<std::size_t>(i - 1)];
    const int y = kRowPitch * i;
    const int socketsParameter = tagBase + 4 * i;

    row.loginLabel = new QLabel(QStringLiteral("Login :"), group_);
    row.loginLabel->move(8, y);
    row.loginLabel->adjustSize();
    own(row.loginLabel);

    row.login = new QLineEdit(group_);
    row.login->setGeometry(editLeft, y - 4, editWidth, kEditHeight);
    row.login->setMaxLength(kTextLimit);
    SetTag(row.login, BindingTag(socketsParameter - 2));
    own(row.login);

    row.passwordLabel = new QLabel(QStringLiteral("Password :"), group_);
    row.passwordLabel->move(8, y + 24);
    row.passwordLabel->adjustSize();
    own(row.passwordLabel);

    row.password = new QLineEdit(group_);
    row.password->setGeometry(editLeft, y + 20, editWidth, kEditHeight);
    row.password->setMaxLength(kTextLimit);
    row.password->setEchoMode(QLineEdit::Password);  // the dialog adds the reveal toggle
    SetTag(row.password, BindingTag(socketsParameter - 1));
    own(row.password);

    for (int k = 1; k <= kSockets; ++k) {
      auto* box = new TMyCheckBox(i, k, group_);
      box->setGeometry(SocketLeft(k), y - 2, kCellWidth, kCellHeight);
      box->setFocusPolicy(Qt::ClickFocus);
      SetTag(box, BindingTag(socketsParameter, k - 1));
      row.sockets[static_cast<std::size_t>(k - 1)] = box;
      own(box);
    }
  }

  // Attached after the initial states are set: building the page runs no handler.
  connect(DeviceActivated, &QCheckBox::toggled, this, [this] { ActivatedChange(); });
  connect(TwinMode, &QCheckBox::toggled, this, [this] { TwinModeChange(); });
  for (TUserRow& row : users_)
    for (TMyCheckBox* box : row.sockets)
      connect(box, &QCheckBox::toggled, this, [this, box] { SocketChange(box); });
}

TRack::~TRack() {
  // Row by row, then the column numbers, the two switches, the heading and the group; the
  // scroll box goes with the sheet.
  for (TUserRow& row : users_) {
    for (TMyCheckBox*& box : row.sockets) {
      delete box;
      box = nullptr;
    }
    delete row.password;
    delete row.passwordLabel;
    delete row.login;
    delete row.loginLabel;
    row = {};
  }
  for (QLabel*& number : socketNumbers_) {
    delete number;
    number = nullptr;
  }
  delete TwinMode;
  TwinMode = nullptr;
  delete DeviceActivated;
  DeviceActivated = nullptr;
  delete heading_;
  heading_ = nullptr;
  delete group_;
  group_ = nullptr;
}

TMyCheckBox* TRack::Box(int user, int socket) const {
  if (user < 1 || user > kUsers || socket < 1 || socket > kSockets) return nullptr;
  return users_[static_cast<std::size_t>(user - 1)].sockets[static_cast<std::size_t>(socket - 1)];
}

QLineEdit* TRack::LoginEdit(int user) const {
  if (user < 1 || user > kUsers) return nullptr;
  return users_[static_cast<std::size_t>(user - 1)].login;
}

QLineEdit* TRack::PasswordEdit(int user) const {
  if (user < 1 || user > kUsers) return nullptr;
  return users_[static_cast<std::size_t>(user - 1)].password;
}

QLabel* TRack::SocketNumber(int socket) const {
  if (socket < 1 || socket > kSockets) return nullptr;
  return socketNumbers_[static_cast<std::size_t>(socket - 1)];
}

void TRack::ActivatedChange() {
  const bool e = DeviceActivated->isChecked();
  TwinMode->setEnabled(e);
  heading_->setEnabled(e);
  for (QLabel* number : socketNumbers_) number->setEnabled(e);
  for (TUserRow& row : users_) {
    row.loginLabel->setEnabled(e);
    row.passwordLabel->setEnabled(e);
    row.login->setEnabled(e);
    row.password->setEnabled(e);
    for (TMyCheckBox* box : row.sockets) box->setEnabled(e);
  }
}

void TRack::TwinModeChange() {
  if (!TwinMode->isChecked()) {
    for (int i = 1; i <= kUsers; ++i)
      for (int k = 5; k <= 8; ++k) Box(i, k)->setEnabled(true);
    return;
  }
  // Users 1-4 keep sockets 1-4, users 5-8 keep sockets 5-8; sockets 5-8 end disabled.
  for (int i = 1; i <= 4; ++i)
    for (int k = 5; k <= 8; ++k) {
      Box(i, k)->setChecked(Box(i, k - 4)->isChecked());
      Box(i, k)->setEnabled(false);
    }
  for (int i = 5; i <= kUsers; ++i)
    for (int k = 1; k <= 4; ++k) {
      Box(i, k)->setChecked(Box(i, k + 4)->isChecked());
      Box(i, k + 4)->setEnabled(false);
    }
}

void TRack::SocketChange(TMyCheckBox* sender) {
  if (!sender || !TwinMode->isChecked()) return;
  // A box whose state does not change raises no event, so the copy back stops at once.
  if (TMyCheckBox* partner = Box(sender->UserRow, Partner(sender->SocketColumn)))
    partner->setChecked(sender->isChecked());
}

}  // namespace velkaro
