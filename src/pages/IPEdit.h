// TIPEdit: IPv4 address entry in dotted-decimal form. Four octet boxes and three fixed dots sit in
// one bordered frame that looks like a single text box; the caret moves between the boxes the
// way a user expects and an octet above 255 is clamped with a message.
//
// Binding: a dialog's binding pass treats TIPEdit as a leaf. The control carries the binding
// tag (dynamic property "Tag") itself; its boxes and dots are private children of the control,
// never carry a "Tag", are never listed among the dialog's components, and IsPart() tells them
// apart should a pass walk the object tree anyway.
#pragma once

#include <QFrame>
#include <QString>
#include <array>

#include "protocol/IPAddrUtils.h"  // TAssertionFailure, thrown by SetText

class QLabel;
class QLineEdit;
class QKeyEvent;

namespace velkaro {

class TIPEdit : public QFrame {
  Q_OBJECT
  Q_PROPERTY(QString text READ Text WRITE SetText NOTIFY textChanged USER true)
  Q_PROPERTY(bool acceptOctal READ AcceptOctal WRITE SetAcceptOctal)
  Q_PROPERTY(bool readOnly READ ReadOnly WRITE SetReadOnly)

 public:
  // Sizes for the usual dialog font; a font whose three digits do not fit into a box widens the
  // boxes (and heightens the control) just enough to show every octet whole.
  static constexpr int kWidth = 100;
  static constexpr int kHeight = 21;
  static constexpr int kBoxWidth = 21;
  static constexpr int kDotWidth = 3;

  explicit TIPEdit(QWidget* parent = nullptr);

  // Dotted address, or "" when all four boxes are empty. Empty boxes become "0" and, unless
  // AcceptOctal, every box is rewritten in plain decimal (007 -> 7): reading changes the display.
  QString Text() const;
  // "" clears the boxes. Anything else must be a valid dotted address (no leading zeros);
  // otherwise throws TAssertionFailure("Bad IP address string given to component") and the
  // boxes keep their contents.
  void SetText(const QString& text);

  bool AcceptOctal() const { return acceptOctal_; }
  void SetAcceptOctal(bool accept) { acceptOctal_ = accept; }

  // Read-only keeps the address selectable and copyable; setEnabled(false) disables the boxes.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);

  // True for the boxes and dots that belong to some TIPEdit.
  static bool IsPart(const QObject* object);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // Any change of a box's text, typed or set; one signal per SetText. Reading Text never emits.
  void textChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  enum class TCaret { Start, End, SelectAll };

  void FitToFont();
  int BoxIndex(const QObject* object) const;
  int DotIndex(const QObject* object) const;
  // Position of the caret as the user sees it: the start of a selection, if any.
  static int Caret(const QLineEdit* box);
  void FocusBox(int index, TCaret caret);
  void SetBoxText(int index, const QString& text) const;
  void SetBoxesEditable(bool editable);

  bool OctetKeyDown(int index, QKeyEvent* event);
  void OctetKeyUp();
  void OctetChange(int index);
  void PanelClick();
  void DotClick(int index);
  void OctetFocusIn(int index, Qt::FocusReason reason);
  void SelectFirstBox();

  std::array<QLineEdit*, 4> octets_{};
  std::array<QLabel*, 3> dots_{};
  bool acceptOctal_ = false;
  bool readOnly_ = false;
  bool movingFocus_ = false;
  // Set while the control writes into its own boxes: no automatic advance.
  mutable int settingInCode_ = 0;
  // Set while reading or writing Text: no textChanged per box.
  mutable int quiet_ = 0;
  QSize hint_{kWidth, kHeight};
};

}  // namespace velkaro
