// The modal property dialog shared by every device model: the General page, the Options toggle
// that reads the full parameter set, OK that writes it back, and the binding passes that move
// values between the controls and the working copy of the device record.
//
// How pages and model dialogs plug in (see also BindingTag.h):
// - Every control that takes part in binding must be in the dialog's component list. The list
//   keeps creation order: the form-description controls first, then the controls of the pages
//   built in code, page by page. LoadControls/StoreControls walk it from the last entry back to
//   the first, so whatever a page creates last is loaded first.
// - A page built in code registers itself and then every control it creates, in creation order,
//   with AddComponent (or a whole finished subtree with AddComponentTree). Its visual parent is
//   free. Qt's parent ownership releases the controls with the page; a destroyed widget drops
//   out of the list by itself.
// - Change handlers that must follow loaded values connect to QAbstractButton::toggled (or
//   QCheckBox::stateChanged), never to clicked: a load changes state through setChecked, which
//   emits toggled exactly when the state really changes, just as a click does.
// - A radio group is the set of auto-exclusive radio buttons of one parent widget; give each
//   group a container of its own.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "pages/ComponentOwner.h"
#include "protocol/DeviceRecord.h"
#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"
#include "ui/PropertyDialog.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace Ui {
class TZelForm;
}

namespace velkaro {

class TIPEdit;

// Pages built in code (TSecurity, TSuperv, TMisc, TLab in the pages library) take the dialog
// as their TComponentOwner: pass `this` from a model dialog's constructor.
class TZelForm : public QDialog, public TPropertyDialog, public TComponentOwner {
  Q_OBJECT

 public:
  // Builds the General page from the form description, makes it the current page and wires
  // the OK and Options buttons. `owner` is the main window (may be null in tests).
  explicit TZelForm(QWidget* owner = nullptr);
  ~TZelForm() override;

  // --- TPropertyDialog ---------------------------------------------------------------------
  // The index of the edited record in DeviceList (the dialog's Tag); taken by Execute.
  void SetDevice(TSession& session, int index) override;
  // Loads, shows General only, runs modally; on OK puts local_zel back into DeviceList and
  // writes it (WriteAll when the options were loaded, else WriteGeneral). Returns 1 for OK and
  // 2 for Cancel, Escape or the close box (nothing written then). An index that names no
  // record returns 2 without showing anything.
  int Execute() override;

  // --- component list ----------------------------------------------------------------------
  // Appends one component (null or already listed: ignored).
  void AddComponent(QWidget* component) override;
  // Appends `root` and its descendants in pre-order (which is uic's and most hand-written
  // code's creation order). Qt-internal helpers (object names starting with "qt_") are not
  // listed, and the inner parts of leaf controls (TIPEdit, spin boxes, line edits, buttons,
  // labels) are neither listed nor entered.
  void AddComponentTree(QWidget* root);
  void RemoveComponent(QWidget* component);
  // Live components in creation order.
  std::vector<QWidget*> Components() const;

  // --- pages -------------------------------------------------------------------------------
  // Appends `page` to `pageControl` with `caption`, then moves it to `pageIndex` (clamped to the
  // tab range), so later insertions push pages already there to the right. The page's tab
  // follows the dialog's state when `pageControl` is PageControl: hidden in the General-only
  // state. Does not register components. Returns the page's index.
  int InsertPage(QTabWidget* pageControl, QWidget* page, const QString& caption,
                 int pageIndex) override;
  // For model dialogs' form-description pages: appends `page` to PageControl and registers
  // its component tree (AddComponentTree).
  int AddFormPage(QWidget* page, const QString& caption);

  // Sizes the dialog for a model: fixed client size, PageControl at (8, 8) with the given size,
  // the Options button at the bottom left and OK and Cancel at the bottom right, all 75 x 25
  // with their tops at `buttonsTop`. The page tabs stand down the left side: the dialog and
  // PageControl are wider than given by the width of those tabs (SideTabsWidth), which follows
  // the captions and the font.
  void ArrangeFrame(int clientWidth, int clientHeight, int pageWidth, int pageHeight,
                    int buttonsTop);

  // --- binding -----------------------------------------------------------------------------
  // Fills every bound control from local_zel (empty slots leave their control as it is).
  void LoadControls();
  // Stores every bound control into local_zel (read-modify-write per slot); slots the device did
  // not report stay empty.
  void StoreControls();
  // Holds disabled every bound control (within `root`, when given) whose parameter local_zel
  // does not report; see MarkUnreported.
  void MarkUnreportedControls(const QWidget* root = nullptr);

  // --- state -------------------------------------------------------------------------------
  const TZEL& local_zel() const { return local_zel_; }
  int DeviceIndex() const { return deviceIndex_; }
  bool OptionsLoaded() const { return optionsLoaded_; }
  bool ReadAnswered() const { return readAnswered_; }
  bool WriteAnswered() const override { return writeAnswered_; }

  // --- handlers ----------------------------------------------------------------------------
  // Stores the General page into local_zel (and every page when the options are loaded), then
  // closes with result 1. Fields the device did not report are neither checked nor stored. An
  // address field of the General page that holds no valid address keeps the dialog open with a
  // message instead.
  void OKBtnClick();
  // Toggles between General only and all pages; loading reads the device.
  void AvanceButtonClick();

  // --- form-description components (owned by the dialog through Qt parenthood) -------------
  QTabWidget* PageControl = nullptr;
  QWidget* General = nullptr;
  QGroupBox* IPBox = nullptr;
  QLabel* IPAddressLabel = nullptr;
  TIPEdit* ipaddress = nullptr;
  QLabel* submaskLabel = nullptr;
  TIPEdit* submask = nullptr;
  QLabel* gatewayLabel = nullptr;
  TIPEdit* gateway = nullptr;
  QGroupBox* PortBox = nullptr;
  QLabel* PortLabel = nullptr;
  QSpinBox* Port = nullptr;
  QGroupBox* ConfigBox = nullptr;
  QLabel* velkaroLabel = nullptr;
  QCheckBox* velkaro_authorized = nullptr;
  QLabel* httpLabel = nullptr;
  QCheckBox* http_authorized = nullptr;
  QPushButton* AvanceButton = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

  // Dialogs made from now on draw their 8-point font this much larger: a desktop of 120 dpi
  // does so with 1.25. Lets the layout be checked on a platform fixed at 96 dpi.
  static void SetFontScale(double scale);

  static constexpr int kResultOk = 1;
  static constexpr int kResultCancel = 2;

 public slots:
  // Escape and the close box end with result 2, like Cancel.
  void reject() override;

 protected:
  // Working copy of the edited record; model dialogs and tests may prepare it.
  TZEL local_zel_;

  void showEvent(QShowEvent* event) override;

  // Shows the tabs of pages 1..n (all pages) or hides them (General only).
  void ShowOptionPages(bool visible);

 private:
  bool CheckGeneralAddresses();
  // A new IP address, mask or gateway moves the device: the user confirms the old and new values.
  bool ConfirmNetworkChange();
  void FitLabelsToFont();
  void WidenForPages();
  static void MakeRoomRightOf(QLabel* label, int oldRight);
  // ArrangeFrame's sizes, widened by the side tabs as they are now.
  void FitFrame();

  struct TFrame {
    int clientWidth = 0, clientHeight = 0, pageWidth = 0, pageHeight = 0, buttonsTop = 0;
  };
  TFrame frame_;

  std::unique_ptr<Ui::TZelForm> ui_;
  std::vector<QPointer<QWidget>> components_;
  // The index SetDevice gave and the session it belongs to.
  bool DeviceIndexValid(int index) const;
  TSession* session_ = nullptr;
  int deviceTag_ = 0;
  int deviceIndex_ = 0;
  bool optionsLoaded_ = false;
  bool readAnswered_ = false;
  bool writeAnswered_ = false;
};

}  // namespace velkaro
