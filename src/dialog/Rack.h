// TRack: the Accounts page of one device driven by the rack model. It edits the device's
// activation and twin-mode switches and, for eight users, a login, a password and the sockets
// the user may switch. Loading and storing are the dialog's binding passes; the page only keeps
// the controls consistent: "Device Activated" enables the account grid, "Twin Mode" ties
// socket k to socket k + 4.
//
// Parameters for tag base B: B bit 0 activated, bit 1 twin mode; for user i = 1-8
// B + 4i - 2 login, B + 4i - 1 password, B + 4i the sockets (bit k - 1 = socket k).
#pragma once

#include <QString>
#include <QWidget>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class QTabWidget;

namespace velkaro {

class TComponentOwner;
class TMyCheckBox;

class TRack : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kUsers = 8;
  static constexpr int kSockets = 8;
  static constexpr int kTextLimit = 32;

  // Inserts the page into `pageControl` at `pageIndex` and registers it and every control on it
  // with `owner` (the dialog) in creation order. `firstSocket` is the number shown over the
  // first socket column.
  TRack(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption, int pageIndex,
        int tagBase, int firstSocket);
  ~TRack() override;

  void ActivatedChange();
  void TwinModeChange();
  void SocketChange(TMyCheckBox* sender);

  QCheckBox* DeviceActivated = nullptr;
  QCheckBox* TwinMode = nullptr;

  // user and socket count from 1; null outside 1-8.
  TMyCheckBox* Box(int user, int socket) const;
  QLineEdit* LoginEdit(int user) const;
  QLineEdit* PasswordEdit(int user) const;
  QLabel* SocketNumber(int socket) const;
  QLabel* Heading() const { return heading_; }
  QGroupBox* AccountGroup() const { return group_; }
  QScrollArea* ScrollBox() const { return scrollBox_; }
  int TagBase() const { return tagBase_; }

 private:
  struct TUserRow {
    QLabel* loginLabel = nullptr;
    QLineEdit* login = nullptr;
    QLabel* passwordLabel = nullptr;
    QLineEdit* password = nullptr;
    std::array<TMyCheckBox*, kSockets> sockets{};
  };

  int tagBase_;
  QScrollArea* scrollBox_ = nullptr;
  QWidget* scrollContent_ = nullptr;
  QGroupBox* group_ = nullptr;
  QLabel* heading_ = nullptr;
  std::array<QLabel*, kSockets> socketNumbers_{};
  std::array<TUserRow, kUsers> users_{};
};

}  // namespace velkaro
