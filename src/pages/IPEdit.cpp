#include "pages/IPEdit.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpressionValidator>
#include <QStringList>

#include "protocol/IPAddrUtils.h"
#include "ui/UiSeams.h"

namespace velkaro {

namespace {

// Marks boxes and dots so that IsPart() can tell them from a dialog's own controls.
constexpr char kPartProperty[] = "velkaroIPEditPart";

// Scoped increment of one of the control's guards.
class TGuard {
 public:
  explicit TGuard(int& counter) : counter_(counter) { ++counter_; }
  ~TGuard() { --counter_; }
  TGuard(const TGuard&) = delete;
  TGuard& operator=(const TGuard&) = delete;

 private:
  int& counter_;
};

bool IsDigitKey(int key) {
  return key >= Qt::Key_0 && key <= Qt::Key_9;
}

// The keypad's decimal key reports a comma on some layouts.
bool IsPeriodKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_Period ||
         (event->key() == Qt::Key_Comma && (event->modifiers() & Qt::KeypadModifier));
}

}  // namespace

TIPEdit::TIPEdit(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  setCursor(Qt::IBeamCursor);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  auto* digits =
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
  for (int i = 0; i < 4; ++i) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QStringLiteral("octet%1").arg(i + 1));
    box->setProperty(kPartProperty, true);
    box->setFrame(false);
    box->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    box->setMaxLength(3);
    // Pasted or dropped text never brings anything but digits into a box.
    box->setValidator(digits);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    // Only the first box is a Tab stop; the others are reached by typing or clicking.
    box->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
    box->installEventFilter(this);
    connect(box, &QLineEdit::textChanged, this, [this, i] { OctetChange(i); });
    octets_[static_cast<std::size_t>(i)] = box;
    row->addWidget(box);
    if (i == 3) break;
    auto* dot = new QLabel(QStringLiteral("."), this);
    dot->setObjectName(QStringLiteral("dot%1").arg(i + 1));
    dot->setProperty(kPartProperty, true);
    dot->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    dot->setFixedWidth(kDotWidth);
    dot->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    dot->installEventFilter(this);
    dots_[static_cast<std::size_t>(i)] = dot;
    row->addWidget(dot);
  }
  row->addStretch(1);
  FitToFont();
  resize(hint_);
  // Giving the control the focus gives it to the first box, also for Tab and Backtab.
  setFocusProxy(octets_[0]);
}

QSize TIPEdit::sizeHint() const {
  return hint_;
}

QSize TIPEdit::minimumSizeHint() const {
  return hint_;
}

void TIPEdit::FitToFont() {
  if (!octets_[0]) return;
  const QFontMetricsF metrics(font());
  qreal digit = 0;
  for (char c = '0'; c <= '9'; ++c)
    digit = std::max(digit, metrics.horizontalAdvance(QLatin1Char(c)));
  // A line edit keeps 2 pixels each side and one for the caret; with less room it scrolls the
  // first digit out of sight.
  const int boxWidth = std::max(kBoxWidth, static_cast<int>(std::ceil(3 * digit)) + 2 * 2 + 1);
  for (QLineEdit* box : octets_) box->setFixedWidth(boxWidth);
  hint_ = QSize(
      kWidth + 4 * (boxWidth - kBoxWidth),
      std::max(kHeight, static_cast<int>(std::ceil(metrics.height())) + 2 * frameWidth() + 2));
  setMinimumWidth(hint_.width());
  setFixedHeight(hint_.height());
  updateGeometry();
}

void TIPEdit::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) FitToFont();
  QFrame::changeEvent(event);
}

bool TIPEdit::IsPart(const QObject* object) {
  return object && object->property(kPartProperty).toBool() &&
         qobject_cast<const TIPEdit*>(object->parent());
}

QString TIPEdit::Text() const {
  if (std::all_of(octets_.begin(), octets_.end(),
                  [](const QLineEdit* b) { return b->text().isEmpty(); }))
    return {};
  TGuard quiet(quiet_);
  QStringList parts;
  for (int i = 0; i < 4; ++i) {
    const QString t = octets_[static_cast<std::size_t>(i)]->text();
    if (t.isEmpty())
      SetBoxText(i, QStringLiteral("0"));
    else if (!acceptOctal_)
      SetBoxText(i, QString::number(t.toUInt()));
    parts << octets_[static_cast<std::size_t>(i)]->text();
  }
  return parts.join(QLatin1Char('.'));
}

void TIPEdit::SetText(const QString& text) {
  TGuard quiet(quiet_);
  std::array<QString, 4> before;
  for (std::size_t i = 0; i < 4; ++i) before[i] = octets_[i]->text();
  if (text.isEmpty()) {
    for (int i = 0; i < 4; ++i) SetBoxText(i, {});
  } else {
    const std::string s = text.toStdString();
    std::array<int, 4> octet{};
    try {
      for (int n = 1; n <= 4; ++n) octet[static_cast<std::size_t>(n - 1)] = IPOctet(s, n);
    } catch (const std::exception&) {
      throw TAssertionFailure("Bad IP address string given to component");
    }
    for (int i = 0; i < 4; ++i) SetBoxText(i, QString::number(octet[static_cast<std::size_t>(i)]));
    SelectFirstBox();
  }
  bool changed = false;
  for (std::size_t i = 0; i < 4; ++i) changed = changed || before[i] != octets_[i]->text();
  if (changed) emit textChanged();
}

void TIPEdit::SetReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  SetBoxesEditable(true);
}

void TIPEdit::SetBoxesEditable(bool editable) {
  for (QLineEdit* box : octets_) box->setReadOnly(readOnly_ || !editable);
}

int TIPEdit::BoxIndex(const QObject* object) const {
  for (int i = 0; i < 4; ++i)
    if (octets_[static_cast<std::size_t>(i)] == object) return i;
  return -1;
}

int TIPEdit::DotIndex(const QObject* object) const {
  for (int i = 0; i < 3; ++i)
    if (dots_[static_cast<std::size_t>(i)] == object) return i;
  return -1;
}

int TIPEdit::Caret(const QLineEdit* box) {
  return box->hasSelectedText() ? box->selectionStart() : box->cursorPosition();
}

void TIPEdit::FocusBox(int index, TCaret caret) {
  QLineEdit* box = octets_[static_cast<std::size_t>(index)];
  {
    const bool was = movingFocus_;
    movingFocus_ = true;
    box->setFocus(Qt::OtherFocusReason);
    movingFocus_ = was;
  }
  switch (caret) {
    case TCaret::Start:
      box->setCursorPosition(0);
      break;
    case TCaret::End:
      box->setCursorPosition(static_cast<int>(box->text().size()));
      break;
    case TCaret::SelectAll:
      box->selectAll();
      break;
  }
}

void TIPEdit::SetBoxText(int index, const QString& text) const {
  TGuard inCode(settingInCode_);
  octets_[static_cast<std::size_t>(index)]->setText(text);
}

bool TIPEdit::eventFilter(QObject* watched, QEvent* event) {
  if (const int box = BoxIndex(watched); box >= 0) {
    switch (event->type()) {
      case QEvent::KeyPress:
        return OctetKeyDown(box, static_cast<QKeyEvent*>(event));
      case QEvent::KeyRelease:
        OctetKeyUp();
        break;
      case QEvent::FocusIn:
        OctetFocusIn(box, static_cast<QFocusEvent*>(event)->reason());
        break;
      case QEvent::FocusOut:
        // The key-up of a key that took the focus away (Tab) comes to another widget.
        OctetKeyUp();
        break;
      default:
        break;
    }
  } else if (const int dot = DotIndex(watched); dot >= 0) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      DotClick(dot);
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

bool TIPEdit::OctetKeyDown(int index, QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Shift || key == Qt::Key_Control) return false;

  QLineEdit* box = octets_[static_cast<std::size_t>(index)];
  const bool period = IsPeriodKey(event);
  const int length = static_cast<int>(box->text().size());

  // A key that moves to another box is not also applied to the box it leaves.
  bool moved = true;
  if (key == Qt::Key_Home) {
    FocusBox(0, TCaret::Start);
  } else if (key == Qt::Key_End) {
    FocusBox(3, TCaret::End);
  } else if (key == Qt::Key_Right && index < 3 && !box->hasSelectedText() &&
             box->cursorPosition() == length) {
    FocusBox(index + 1, TCaret::Start);
  } else if (key == Qt::Key_Left && index > 0 && Caret(box) == 0) {
    FocusBox(index - 1, TCaret::End);
  } else if (key == Qt::Key_Backspace && index > 0 && !box->hasSelectedText() &&
             box->cursorPosition() == 0) {
    QLineEdit* previous = octets_[static_cast<std::size_t>(index - 1)];
    FocusBox(index - 1, TCaret::End);
    if (!previous->text().isEmpty() && !readOnly_) {
      previous->setText(previous->text().chopped(1));
      previous->setCursorPosition(static_cast<int>(previous->text().size()));
    }
  } else if ((period || key == Qt::Key_Space) && length > 0 && Caret(box) != 0 && index < 3) {
    FocusBox(index + 1, TCaret::SelectAll);
  } else {
    moved = false;
  }

  // Keystroke filter: only plain digits, Backspace and Delete may change a box's text.
  const Qt::KeyboardModifiers held =
      event->modifiers() & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier);
  const bool accepted = held == Qt::NoModifier &&
                        !(QGuiApplication::mouseButtons() & Qt::LeftButton) &&
                        (IsDigitKey(key) || key == Qt::Key_Backspace || key == Qt::Key_Delete);
  // Accepted keys also end a refusal whose key-up went elsewhere (e.g. Alt+Tab away and back).
  box->setReadOnly(readOnly_ || !accepted);
  if (moved) event->accept();
  return moved;
}

void TIPEdit::OctetKeyUp() {
  SetBoxesEditable(true);
}

void TIPEdit::OctetChange(int index) {
  QLineEdit* box = octets_[static_cast<std::size_t>(index)];
  const QString t = box->text();
  if (!t.isEmpty() && t.toUInt() > 255) {
    SetBoxText(index, QStringLiteral("255"));
    box->selectAll();
    ui::ShowMessage(this,
                    t + QStringLiteral(" is not a valid entry. Please specify a value between 0 "
                                       "and 255 for this field."),
                    ui::MessageKind::Error);
    return;
  }
  if (!quiet_) emit textChanged();
  if (!settingInCode_ && index < 3 && t.size() == 3 && Caret(box) == 3)
    FocusBox(index + 1, TCaret::SelectAll);
}

void TIPEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    PanelClick();
    event->accept();
    return;
  }
  QFrame::mouseReleaseEvent(event);
}

void TIPEdit::PanelClick() {
  FocusBox(3, TCaret::End);
}

void TIPEdit::DotClick(int index) {
  FocusBox(index, TCaret::End);
}

// Writing Text and leaving the control (the frame's exit) select all of box 0. Qt paints a
// selection even in a box without the focus, so an unfocused box 0 gets it when the focus next
// enters the control instead: every entry other than a click selects the whole first octet.
void TIPEdit::SelectFirstBox() {
  if (octets_[0]->hasFocus()) octets_[0]->selectAll();
}

void TIPEdit::OctetFocusIn(int index, Qt::FocusReason reason) {
  // The control itself receiving the focus (Tab, Backtab, setFocus) starts on the whole first
  // octet; moves inside the control, clicks and window switches keep their caret.
  if (index != 0 || movingFocus_) return;
  if (reason == Qt::MouseFocusReason || reason == Qt::ActiveWindowFocusReason ||
      reason == Qt::PopupFocusReason)
    return;
  octets_[0]->selectAll();
}

}  // namespace velkaro
