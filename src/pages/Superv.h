// TSuperv: one Supervision page: the equipment the device watches, how it watches it and how
// it reboots it. Parameters for tag base B:
//   B      supervised address (IPv4)          B + 3  interval between requests, seconds
//   B + 1  method byte: bit 0 ping, bit 1 scan B + 4  failed requests before a reboot
//   B + 2  scanned port                        B + 5  delay before the first request after a
//                                                     reboot (shown last)
//                                              B + 6  delay before the reboot (shown second)
// MethodChange keeps the controls' enabled states in step with the two method boxes, also
// when the binding pass loads the method byte.
#pragma once

#include <QString>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QSpinBox;
class QTabWidget;

namespace velkaro {

class TComponentOwner;
class TIPEdit;

class TSuperv : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kSpinMinimum = 1;
  static constexpr int kSpinMaximum = 65535;

  // Inserts the page into `pageControl` at `pageIndex` and registers it and every control on it
  // with `owner` in creation order. A TZelForm (model dialogs: pass `this`) is a
  // TComponentOwner.
  TSuperv(TComponentOwner* owner, QTabWidget* pageControl, const QString& caption, int pageIndex,
          int tagBase);
  ~TSuperv() override;

  // Change handler of the Ping and Scan boxes.
  void MethodChange();

  QGroupBox* EquipmentBox() const { return equipmentBox_; }
  QLabel* AddressLabel() const { return addressLabel_; }
  TIPEdit* Address() const { return address_; }
  QGroupBox* MethodBox() const { return methodBox_; }
  QCheckBox* Ping() const { return ping_; }
  QCheckBox* Scan() const { return scan_; }
  QLabel* PortLabel() const { return portLabel_; }
  QSpinBox* Port() const { return port_; }
  QLabel* IntervalLabel() const { return intervalLabel_; }
  QSpinBox* Interval() const { return interval_; }
  QGroupBox* RebootBox() const { return rebootBox_; }
  QSpinBox* FailureCount() const { return failureCount_; }
  QSpinBox* RebootDelay() const { return rebootDelay_; }
  QSpinBox* FirstRequestDelay() const { return firstRequestDelay_; }

 private:
  QGroupBox* equipmentBox_ = nullptr;
  QLabel* addressLabel_ = nullptr;
  TIPEdit* address_ = nullptr;
  QGroupBox* methodBox_ = nullptr;
  QLabel* pingLabel_ = nullptr;
  QCheckBox* ping_ = nullptr;
  QLabel* scanLabel_ = nullptr;
  QCheckBox* scan_ = nullptr;
  QLabel* portLabel_ = nullptr;
  QSpinBox* port_ = nullptr;
  QLabel* intervalLabel_ = nullptr;
  QSpinBox* interval_ = nullptr;
  QGroupBox* rebootBox_ = nullptr;
  QLabel* failureLabel_ = nullptr;
  QSpinBox* failureCount_ = nullptr;
  QLabel* rebootDelayLabel_ = nullptr;
  QSpinBox* rebootDelay_ = nullptr;
  QLabel* firstRequestLabel_ = nullptr;
  QSpinBox* firstRequestDelay_ = nullptr;
};

}  // namespace velkaro
