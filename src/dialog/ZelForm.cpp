#include "dialog/ZelForm.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <exception>

#include "dialog/CompactTabs.h"
#include "dialog/ControlBinding.h"
#include "dialog/DeviceTextValidator.h"
#include "dialog/PasswordReveal.h"
#include "operations/DeviceOperations.h"
#include "pages/BindingTag.h"
#include "pages/IPEdit.h"
#include "protocol/Exchange.h"
#include "protocol/Session.h"
#include "ui/DeviceTextQt.h"
#include "ui/ExchangeWorker.h"
#include "ui/UiSeams.h"
#include "ui_ZelForm.h"

namespace velkaro {

namespace {

const QString kOptionsShow = QStringLiteral("Options -->>");
const QString kOptionsHide = QStringLiteral("<<-- Options");
const QString kNotResponding = ui::CoreText(kDeviceNotResponding);

// Controls whose inner widgets are parts of their own, never components of the dialog.
bool IsLeafControl(const QWidget* w) {
  return dynamic_cast<const TIPEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractButton*>(w) ||
         qobject_cast<const QLabel*>(w) || qobject_cast<const QTabBar*>(w) ||
         qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QComboBox*>(w);
}

double fontScale = 1.0;

}  // namespace

TZelForm::TZelForm(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::TZelForm>()) {
  ui_->setupUi(this);
  if (fontScale != 1.0) {
    QFont scaled = font();
    scaled.setPointSizeF(scaled.pointSizeF() * fontScale);
    setFont(scaled);
  }
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  PageControl = ui_->PageControl;
  General = ui_->General;
  IPBox = ui_->IPBox;
  IPAddressLabel = ui_->IPAddressLabel;
  ipaddress = ui_->ipaddress;
  submaskLabel = ui_->submaskLabel;
  submask = ui_->submask;
  gatewayLabel = ui_->gatewayLabel;
  gateway = ui_->gateway;
  PortBox = ui_->PortBox;
  PortLabel = ui_->PortLabel;
  Port = ui_->Port;
  ConfigBox = ui_->ConfigBox;
  velkaroLabel = ui_->velkaroLabel;
  velkaro_authorized = ui_->velkaro_authorized;
  httpLabel = ui_->httpLabel;
  http_authorized = ui_->http_authorized;
  AvanceButton = ui_->AvanceButton;
  OKBtn = ui_->OKBtn;
  CancelBtn = ui_->CancelBtn;

  // Declaration order of the form description.
  for (QWidget* w :
       std::initializer_list<QWidget*>{PageControl,    General,         IPBox,
                                       IPAddressLabel, ipaddress,       submaskLabel,
                                       submask,        gatewayLabel,    gateway,
                                       PortBox,        PortLabel,       Port,
                                       ConfigBox,      velkaroLabel,    velkaro_authorized,
                                       httpLabel,      http_authorized, AvanceButton,
                                       OKBtn,          CancelBtn})
    AddComponent(w);

  UseSideTabs(PageControl);
  ArrangeFrame(345, 373, 330, 329, 345);  // the one-outlet model's frame
  PageControl->setCurrentWidget(General);
  connect(AvanceButton, &QPushButton::clicked, this, [this] { AvanceButtonClick(); });
  connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
}

TZelForm::~TZelForm() = default;

void TZelForm::SetFontScale(double scale) {
  fontScale = scale > 0 ? scale : 1.0;
}

void TZelForm::SetDevice(TSession& session, int index) {
  session_ = &session;
  deviceTag_ = index;
}

bool TZelForm::DeviceIndexValid(int index) const {
  return session_ && index >= 0 && static_cast<std::size_t>(index) < session_->DeviceList.size();
}

int TZelForm::Execute() {
  deviceIndex_ = deviceTag_;
  if (!DeviceIndexValid(deviceIndex_)) return kResultCancel;
  local_zel_ = session_->DeviceList[static_cast<std::size_t>(deviceIndex_)];
  // Which device is being configured, when several dialogs were opened one after another.
  setWindowTitle(tr("Properties") +
                 QStringLiteral(" \u2013 %1 (%2)")
                     .arg(ui::DeviceTextToQString(local_zel_.values.AsText(7)),
                          QString::fromStdString(IpToText(local_zel_.values.AsUInt(2)))));
  optionsLoaded_ = false;
  LoadControls();
  // The discovery reported the General page only; option pages wait for their read.
  MarkUnreportedControls(General);
  ShowOptionPages(false);
  AvanceButton->setText(kOptionsShow);

  const int r = exec() == kResultOk ? kResultOk : kResultCancel;
  if (r != kResultOk) return r;

  if (QWidget* owner = parentWidget()) owner->repaint();
  // The list is only ever emptied by a scan, which cannot start while the dialog is open;
  // checked anyway so a stale index can never write past the list.
  if (!DeviceIndexValid(deviceIndex_)) return r;
  session_->DeviceList.Replace(static_cast<std::size_t>(deviceIndex_), local_zel_);
  writeAnswered_ = false;
  ops::TWriteOutcome write;
  // The dialog has gone; the window shows the wait. A user who stops it is told nothing more.
  if (!ui::RunWhileBusy(
          parentWidget(), tr("Writing…"),
          [&write, record = local_zel_, all = optionsLoaded_, settings = session_->settings] {
            write = all ? ops::WriteAll(settings, record) : ops::WriteGeneral(settings, record);
          }))
    return r;
  ui::ShowExchangeErrors(write.exchange);
  if (write.exchange.NoSocket()) return r;
  // The window is content with the final answer; the command-line tool also counts the
  // answers of the earlier batches (TWriteOutcome::Confirmed).
  writeAnswered_ = write.finalAcknowledged;
  if (!writeAnswered_) ui::ShowMessage(parentWidget(), kNotResponding);
  return r;
}

void TZelForm::AddComponent(QWidget* component) {
  if (!component) return;
  const bool listed =
      std::any_of(components_.begin(), components_.end(),
                  [component](const QPointer<QWidget>& p) { return p == component; });
  if (listed) return;
  components_.emplace_back(component);
  auto* edit = qobject_cast<QLineEdit*>(component);
  if (!edit || TagOf(edit) == 0) return;
  if (!edit->validator()) edit->setValidator(new TDeviceTextValidator(edit));
  if (edit->echoMode() == QLineEdit::Password) MakePasswordEdit(edit);
}

void TZelForm::AddComponentTree(QWidget* root) {
  if (!root) return;
  if (!root->objectName().startsWith(QLatin1String("qt_"))) AddComponent(root);
  if (IsLeafControl(root)) return;
  const QObjectList children = root->children();
  for (QObject* child : children) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w && !w->isWindow()) AddComponentTree(w);
  }
}

void TZelForm::RemoveComponent(QWidget* component) {
  components_.erase(std::remove_if(components_.begin(), components_.end(),
                                   [component](const QPointer<QWidget>& p) {
                                     return p.isNull() || p == component;
                                   }),
                    components_.end());
}

std::vector<QWidget*> TZelForm::Components() const {
  std::vector<QWidget*> live;
  live.reserve(components_.size());
  for (const auto& p : components_)
    if (p) live.push_back(p.data());
  return live;
}

int TZelForm::InsertPage(QTabWidget* pageControl, QWidget* page, const QString& caption,
                         int pageIndex) {
  if (!pageControl || !page) return -1;
  const int appended = pageControl->addTab(page, caption);
  const int target = std::clamp(pageIndex, 0, appended);
  if (target != appended) pageControl->tabBar()->moveTab(appended, target);
  const int index = pageControl->indexOf(page);
  if (pageControl == PageControl) {
    if (index > 0) PageControl->setTabVisible(index, optionsLoaded_);
    FitFrame();
  }
  return index;
}

int TZelForm::AddFormPage(QWidget* page, const QString& caption) {
  if (!page) return -1;
  const int index = InsertPage(PageControl, page, caption, PageControl->count());
  AddComponentTree(page);
  return index;
}

void TZelForm::ArrangeFrame(int clientWidth, int clientHeight, int pageWidth, int pageHeight,
                            int buttonsTop) {
  frame_ = {clientWidth, clientHeight, pageWidth, pageHeight, buttonsTop};
  FitFrame();
}

void TZelForm::FitFrame() {
  if (frame_.clientWidth == 0) return;  // not arranged yet
  constexpr int kMargin = 8, kButtonWidth = 75, kButtonHeight = 25, kButtonGap = 5;
  // The pages keep their designed width; the side tabs come on top of it.
  const int tabs = SideTabsWidth(PageControl);
  const int clientWidth = frame_.clientWidth + tabs;
  const int buttonsTop = frame_.buttonsTop;
  setFixedSize(clientWidth, frame_.clientHeight);
  PageControl->setGeometry(kMargin, kMargin, frame_.pageWidth + tabs, frame_.pageHeight);
  // 75 pixels, or what the widest caption needs with the style's margins; both captions of the
  // Options button count, so it does not change size when toggled.
  const QFontMetrics metrics(AvanceButton->font());
  int caption = 0;
  for (const QString& text : {kOptionsShow, kOptionsHide, OKBtn->text(), CancelBtn->text()})
    caption = std::max(caption, metrics.horizontalAdvance(text));
  const QStyle* style = AvanceButton->style();
  const int buttonWidth =
      std::max(kButtonWidth, caption + 2 * style->pixelMetric(QStyle::PM_ButtonMargin) +
                                 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth));
  AvanceButton->setGeometry(kMargin, buttonsTop, buttonWidth, kButtonHeight);
  const int cancelLeft = clientWidth - kMargin - buttonWidth;
  CancelBtn->setGeometry(cancelLeft, buttonsTop, buttonWidth, kButtonHeight);
  OKBtn->setGeometry(cancelLeft - kButtonGap - buttonWidth, buttonsTop, buttonWidth, kButtonHeight);
}

void TZelForm::LoadControls() {
  // Snapshot of guarded pointers: a change handler may rebuild or delete controls.
  const std::vector<QPointer<QWidget>> list = components_;
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (QWidget* w = it->data()) LoadControl(w, local_zel_.values);
  update();
}

void TZelForm::MarkUnreportedControls(const QWidget* root) {
  for (QWidget* w : Components())
    if (!root || root->isAncestorOf(w)) MarkUnreported(w, local_zel_.values);
}

void TZelForm::StoreControls() {
  const std::vector<QPointer<QWidget>> list = components_;
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (QWidget* w = it->data()) StoreControl(w, local_zel_.values);
}

bool TZelForm::CheckGeneralAddresses() {
  struct TField {
    TIPEdit* edit;
    const char* text;
  };
  const TField fields[] = {{ipaddress, "Please enter a valid IP Address."},
                           {submask, "Please enter a valid Subnet Mask."},
                           {gateway, "Please enter a valid Gateway."}};
  for (const TField& f : fields) {
    if (!local_zel_.values.Reported(TagOf(f.edit))) continue;  // never written
    // The edit gives either the empty text or four octets of 0-255; only the former would turn
    // into 0.0.0.0 on the device and cut it off the network.
    if (f.edit->Text().isEmpty()) {
      PageControl->setCurrentWidget(General);
      f.edit->setFocus();
      ui::ShowMessage(this, QString::fromLatin1(f.text));
      return false;
    }
  }
  return true;
}

bool TZelForm::ConfirmNetworkChange() {
  struct TField {
    TIPEdit* edit;
    QString caption;
  };
  const TField fields[] = {
      {ipaddress, tr("IP Address")}, {submask, tr("Subnet Mask")}, {gateway, tr("Gateway")}};
  QStringList changes;
  for (const TField& f : fields) {
    const int tag = TagOf(f.edit);
    if (!local_zel_.values.Reported(tag)) continue;  // never written
    const std::uint32_t from = local_zel_.values.AsUInt(tag);
    const std::uint32_t to = TextToIp(f.edit->Text().toStdString());
    if (from != to)
      changes << QStringLiteral("%1: %2 \u2192 %3")
                     .arg(f.caption, QString::fromStdString(IpToText(from)),
                          QString::fromStdString(IpToText(to)));
  }
  if (changes.isEmpty()) return true;
  const QString question =
      tr("Change the network settings of %1?")
          .arg(ui::DeviceTextToQString(local_zel_.values.AsText(7))) +
      QStringLiteral("\n\n") + changes.join(u'\n') + QStringLiteral("\n\n") +
      tr("The device will answer only at its new address; a wrong value can take it off this "
         "network.");
  if (ui::AskYesNo(this, question)) return true;
  PageControl->setCurrentWidget(General);
  ipaddress->setFocus();
  return false;
}

void TZelForm::OKBtnClick() {
  if (!CheckGeneralAddresses() || !ConfirmNetworkChange()) return;
  TValueSlots& v = local_zel_.values;
  // A value the device did not report is not made up here: it would be written.
  const auto store = [&v](int tag, std::uint32_t value) {
    if (v.Reported(tag)) v.Set(tag, value);
  };
  store(2, TextToIp(ipaddress->Text().toStdString()));
  store(1, TextToIp(submask->Text().toStdString()));
  store(3, TextToIp(gateway->Text().toStdString()));
  store(4, static_cast<std::uint32_t>(Port->value()));  // held within 1-65535 by the spin box
  std::uint32_t options = 0;
  if (velkaro_authorized->isChecked()) options += 1;
  if (http_authorized->isChecked()) options += 2;
  store(6, options);
  if (optionsLoaded_) StoreControls();
  done(kResultOk);
}

void TZelForm::AvanceButtonClick() {
  if (optionsLoaded_) {
    optionsLoaded_ = false;
    AvanceButton->setText(kOptionsShow);
    ShowOptionPages(false);
    return;
  }
  // Only the device's own final answer counts, as in the command-line tool; the window shows the
  // pages even when some values were not reported.
  readAnswered_ = false;
  if (!DeviceIndexValid(deviceIndex_)) return;
  TZEL record = session_->DeviceList[static_cast<std::size_t>(deviceIndex_)];
  ops::TReadOutcome read;
  // Cancelled: the dialog stays as it was and nothing of the read reaches the device list.
  if (!ui::RunWhileBusy(this, tr("Reading device…"),
                        [&read, &record, settings = session_->settings] {
                          read = ops::ReadAll(settings, record);
                        }))
    return;
  if (DeviceIndexValid(deviceIndex_)) ops::StoreReadRecord(*session_, deviceIndex_, record, read);
  ui::ShowExchangeErrors(read.exchange);
  if (read.exchange.NoSocket()) return;
  readAnswered_ = read.answered;
  if (!readAnswered_) {
    ui::ShowMessage(this, kNotResponding);
    return;
  }
  if (DeviceIndexValid(deviceIndex_))
    local_zel_ = session_->DeviceList[static_cast<std::size_t>(deviceIndex_)];
  ShowOptionPages(true);
  LoadControls();
  MarkUnreportedControls();
  optionsLoaded_ = true;
  AvanceButton->setText(kOptionsHide);
}

void TZelForm::showEvent(QShowEvent* event) {
  FitLabelsToFont();
  WidenForPages();
  QDialog::showEvent(event);
}

// Pages were designed for an 8-point font at 96 dpi. A larger font can make one wider than the
// page area, or give a page's own side tabs more length than the page has: the dialog then
// grows by what is lacking.
void TZelForm::WidenForPages() {
  constexpr int kRightMargin = 4;
  if (frame_.clientWidth == 0 || PageControl->count() == 0) return;
  // Hidden pages have not been laid out yet; they all get the first page's size.
  const QSize size = PageControl->widget(0)->size();
  int lackWidth = 0, lackHeight = 0;
  for (int i = 0; i < PageControl->count(); ++i) {
    const QWidget* page = PageControl->widget(i);
    // A page with a layout fills whatever it is given; its nested page controls fill it.
    if (page->layout()) {
      for (const QTabWidget* nested : page->findChildren<const QTabWidget*>())
        if (nested->tabPosition() == QTabWidget::West)
          lackHeight = std::max(lackHeight, nested->tabBar()->sizeHint().height() - size.height());
      continue;
    }
    for (const QObject* o : page->children())
      if (const auto* w = qobject_cast<const QWidget*>(o); w && !w->isWindow())
        lackWidth = std::max(lackWidth, w->geometry().right() + 1 + kRightMargin - size.width());
  }
  if (lackWidth <= 0 && lackHeight <= 0) return;
  frame_.clientWidth += std::max(0, lackWidth);
  frame_.pageWidth += std::max(0, lackWidth);
  frame_.clientHeight += std::max(0, lackHeight);
  frame_.pageHeight += std::max(0, lackHeight);
  frame_.buttonsTop += std::max(0, lackHeight);
  FitFrame();
}

// Labels were laid out for an 8-point font at 96 dpi; a larger font would cut their text. Each
// one grows around its own alignment: left-aligned text to the right, centred text both ways.
void TZelForm::FitLabelsToFont() {
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label->wordWrap() || label->text().isEmpty() || TIPEdit::IsPart(label)) continue;
    const QSize need = label->sizeHint();
    QRect r = label->geometry();
    if (need.width() > r.width()) {
      const int grow = need.width() - r.width();
      if (label->alignment() & Qt::AlignHCenter)
        r.adjust(-grow / 2, 0, grow - grow / 2, 0);
      else if (label->alignment() & Qt::AlignRight)
        r.adjust(-grow, 0, 0, 0);
      else
        r.setWidth(need.width());
    }
    if (need.height() > r.height()) {
      const int grow = need.height() - r.height();
      // Top-aligned labels are column headings just above their rows: they grow upwards.
      if (label->alignment() & Qt::AlignTop)
        r.adjust(0, -grow, 0, 0);
      else
        r.adjust(0, -grow / 2, 0, grow - grow / 2);
    }
    if (r == label->geometry()) continue;
    const int oldRight = label->geometry().right();
    label->setGeometry(r);
    MakeRoomRightOf(label, oldRight);
  }
}

// A label grown to the right makes room for the control it names: an edit gives up the
// start of its width and keeps its right edge, anything else moves along.
void TZelForm::MakeRoomRightOf(QLabel* label, int oldRight) {
  constexpr int kGap = 4;
  QWidget* parent = label->parentWidget();
  if (!parent) return;
  for (QObject* o : parent->children()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w == label || w->isWindow() || w->x() <= oldRight) continue;
    if (!w->geometry().intersects(label->geometry())) continue;
    QRect g = w->geometry();
    const int left = label->geometry().right() + 1 + kGap;
    if (!qobject_cast<QLineEdit*>(w)) {
      g.moveLeft(left);
      w->setGeometry(g);
      continue;
    }
    // The other edits of its column start where it now starts, so the column stays straight.
    const int oldLeft = g.left();
    for (QObject* c : parent->children())
      if (auto* edit = qobject_cast<QLineEdit*>(c); edit && edit->x() == oldLeft) {
        QRect e = edit->geometry();
        e.setLeft(std::max(left, oldLeft));
        edit->setGeometry(e);
      }
  }
}

void TZelForm::reject() {
  done(kResultCancel);
}

void TZelForm::ShowOptionPages(bool visible) {
  if (!visible) PageControl->setCurrentIndex(0);
  for (int i = 1; i < PageControl->count(); ++i) PageControl->setTabVisible(i, visible);
}

}  // namespace velkaro
