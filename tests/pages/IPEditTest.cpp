#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "pages/IPEdit.h"
#include "protocol/IPAddrUtils.h"
#include "support/UiRecorder.h"

using velkaro::TIPEdit;

namespace {
const QString kNotValid = QStringLiteral(
    " is not a valid entry. Please specify a value between 0 and 255 for this field.");
}

class TIPEditTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void sizesAndParts();
  void largeFontKeepsOctetsWhole();
  void partsAreInvisibleToBinding();
  void thirdDigitAdvances_data();
  void thirdDigitAdvances();
  void noAdvanceWhenCaretNotAtEnd();
  void periodSplits();
  void periodOrSpaceIgnored_data();
  void periodOrSpaceIgnored();
  void keypadDigitsAndDecimal();
  void clampAbove255_data();
  void clampAbove255();
  void backspaceAcrossBoxes_data();
  void backspaceAcrossBoxes();
  void backspaceWithSelectionDeletesSelection();
  void homeEndArrows();
  void keystrokeFilter_data();
  void keystrokeFilter();
  void refusedKeyIsReadOnlyUntilKeyUp();
  void lostKeyUpDoesNotSwallowDigit();
  void pasteOnlyDigits();
  void readRewritesBoxes();
  void readAcceptOctal();
  void emptyReadWrite();
  void writeValid();
  void writeInvalid_data();
  void writeInvalid();
  void propertyAndSignal();
  void focusEnteringSelectsFirstBox();
  void panelAndDotClicks();
  void panelExitSelectsFirstBox();
  void disabledAndReadOnly();
  void deleteWhileFocused();

 private:
  QLineEdit* Box(int i) const {
    return edit_->findChild<QLineEdit*>(QStringLiteral("octet%1").arg(i + 1));
  }
  QLabel* Dot(int i) const { return edit_->findChild<QLabel*>(QStringLiteral("dot%1").arg(i + 1)); }
  QStringList Boxes() const {
    QStringList out;
    for (int i = 0; i < 4; ++i) out << Box(i)->text();
    return out;
  }
  // Index of the box holding the focus, -1 for none of them.
  int FocusedBox() const {
    for (int i = 0; i < 4; ++i)
      if (Box(i)->hasFocus()) return i;
    return -1;
  }
  void Focus(int i, int cursor) {
    Box(i)->setFocus(Qt::OtherFocusReason);
    Box(i)->setCursorPosition(cursor);
    QVERIFY(Box(i)->hasFocus());
  }
  // Types each character into whatever widget holds the focus, as a keyboard would.
  void Type(const QString& keys) {
    for (const QChar c : keys) {
      QWidget* target = QApplication::focusWidget();
      QVERIFY(target);
      QTest::keyClick(target, c.toLatin1());
    }
  }
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, key, modifiers);
  }

  std::unique_ptr<QWidget> window_;
  QLineEdit* before_ = nullptr;
  TIPEdit* edit_ = nullptr;
  QLineEdit* after_ = nullptr;
  velkaro::test::TUiRecorder ui_;
};

void TIPEditTest::init() {
  ui_.Clear();
  ui_.Install();

  window_ = std::make_unique<QWidget>();
  auto* column = new QVBoxLayout(window_.get());
  before_ = new QLineEdit(window_.get());
  edit_ = new TIPEdit(window_.get());
  after_ = new QLineEdit(window_.get());
  column->addWidget(before_);
  column->addWidget(edit_);
  column->addWidget(after_);
  window_->show();
  window_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  before_->setFocus();
  QVERIFY(before_->hasFocus());
}

void TIPEditTest::cleanup() {
  window_.reset();
  velkaro::ui::ResetUiHooks();
  for (const velkaro::ui::MessageKind kind : ui_.kinds)
    QCOMPARE(kind, velkaro::ui::MessageKind::Error);
}

void TIPEditTest::sizesAndParts() {
  // A dialog-sized font gets the classic geometry: 21-pixel boxes at 24-pixel steps.
  QFont small = edit_->font();
  small.setPixelSize(8);
  edit_->setFont(small);
  QTRY_COMPARE(Box(3)->geometry(), QRect(73, 1, 21, 19));
  QCOMPARE(edit_->sizeHint(), QSize(100, 21));
  QCOMPARE(edit_->minimumWidth(), 100);
  QCOMPARE(edit_->height(), 21);
  // In a layout it may grow in width only.
  QVERIFY(edit_->width() >= 100);
  QCOMPARE(edit_->frameWidth(), 1);
  for (int i = 0; i < 4; ++i) {
    QLineEdit* box = Box(i);
    QVERIFY(box);
    QCOMPARE(box->parentWidget(), edit_);
    QCOMPARE(box->geometry(), QRect(24 * i + 1, 1, 21, 19));
    QCOMPARE(box->maxLength(), 3);
    QVERIFY(!box->hasFrame());
    QCOMPARE(box->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(box->font(), edit_->font());
    // Only the first box is a Tab stop.
    QCOMPARE(bool(box->focusPolicy() & Qt::TabFocus), i == 0);
  }
  for (int i = 0; i < 3; ++i) {
    QVERIFY(Dot(i));
    QCOMPARE(Dot(i)->text(), QStringLiteral("."));
    QCOMPARE(Dot(i)->geometry(), QRect(24 * i + 22, 1, 3, 19));
    QCOMPARE(Dot(i)->font(), edit_->font());
  }
  QCOMPARE(edit_->cursor().shape(), Qt::IBeamCursor);
}

void TIPEditTest::largeFontKeepsOctetsWhole() {
  QFont large = edit_->font();
  large.setPixelSize(20);
  edit_->setFont(large);
  QTRY_VERIFY(Box(0)->width() > 21);
  const QFontMetrics metrics(large);
  for (int i = 0; i < 4; ++i) {
    // Three digits plus the line edit's own margins and caret.
    for (const QString& digits :
         {QStringLiteral("888"), QStringLiteral("000"), QStringLiteral("255")})
      QVERIFY(Box(i)->width() >= metrics.horizontalAdvance(digits) + 5);
    QVERIFY(Box(i)->height() >= metrics.height());
  }
  QVERIFY(edit_->minimumWidth() > 100);
  QCOMPARE(edit_->minimumWidth(), edit_->sizeHint().width());
  QVERIFY(edit_->height() > 21);
  // Dots stay between their boxes.
  QCOMPARE(Dot(0)->x(), Box(0)->geometry().right() + 1);
  QCOMPARE(Box(1)->x(), Dot(0)->geometry().right() + 1);
  // A standalone control takes its hint as size.
  const TIPEdit alone;
  QCOMPARE(alone.size(), alone.sizeHint());
}

void TIPEditTest::partsAreInvisibleToBinding() {
  edit_->setProperty("Tag", 2);
  const auto parts = edit_->findChildren<QWidget*>();
  QCOMPARE(parts.size(), 7);
  for (QWidget* part : parts) {
    QVERIFY2(!part->property("Tag").isValid(), qPrintable(part->objectName()));
    QVERIFY(TIPEdit::IsPart(part));
  }
  QVERIFY(!TIPEdit::IsPart(edit_));
  QVERIFY(!TIPEdit::IsPart(before_));
  QVERIFY(!TIPEdit::IsPart(nullptr));
  QCOMPARE(edit_->property("Tag").toInt(), 2);
  // A pass over the window's editable controls that skips parts sees only the outer edits.
  int lineEdits = 0;
  for (QLineEdit* e : window_->findChildren<QLineEdit*>())
    if (!TIPEdit::IsPart(e)) ++lineEdits;
  QCOMPARE(lineEdits, 2);
}

void TIPEditTest::thirdDigitAdvances_data() {
  QTest::addColumn<int>("box");
  QTest::addColumn<QString>("start");
  QTest::addColumn<QStringList>("expected");
  QTest::addColumn<QString>("selectedInNext");
  QTest::newRow("empty, box 0") << 0 << QString() << QStringList{"192", "", "", ""} << QString();
  QTest::newRow("over old value") << 0 << QStringLiteral("10.20.30.40")
                                  << QStringList{"192", "20", "30", "40"} << QStringLiteral("20");
  QTest::newRow("box 2") << 2 << QStringLiteral("1.2.3.4") << QStringList{"1", "2", "192", "4"}
                         << QStringLiteral("4");
}

void TIPEditTest::thirdDigitAdvances() {
  QFETCH(int, box);
  QFETCH(QString, start);
  QFETCH(QStringList, expected);
  QFETCH(QString, selectedInNext);
  edit_->SetText(start);
  Focus(box, 0);
  Box(box)->selectAll();
  Type(QStringLiteral("19"));
  QCOMPARE(FocusedBox(), box);
  Type(QStringLiteral("2"));
  QCOMPARE(FocusedBox(), box + 1);
  QCOMPARE(Boxes(), expected);
  QCOMPARE(Box(box + 1)->selectedText(), selectedInNext);
  // Typing on replaces the selected octet.
  Type(QStringLiteral("7"));
  QCOMPARE(Box(box + 1)->text(), QStringLiteral("7"));
  QVERIFY(ui_.messages.isEmpty());
}

void TIPEditTest::noAdvanceWhenCaretNotAtEnd() {
  Focus(0, 0);
  Type(QStringLiteral("12"));
  Box(0)->setCursorPosition(1);
  Type(QStringLiteral("5"));
  QCOMPARE(Box(0)->text(), QStringLiteral("152"));
  QCOMPARE(FocusedBox(), 0);
  // The last box never advances.
  Focus(3, 0);
  Type(QStringLiteral("123"));
  QCOMPARE(FocusedBox(), 3);
  QCOMPARE(Box(3)->text(), QStringLiteral("123"));
}

void TIPEditTest::periodSplits() {
  Focus(0, 0);
  Type(QStringLiteral("1.2"));
  QCOMPARE(Boxes(), (QStringList{"1", "2", "", ""}));
  QCOMPARE(FocusedBox(), 1);
  Type(QStringLiteral(" 3.45"));
  QCOMPARE(Boxes(), (QStringList{"1", "2", "3", "45"}));
  QCOMPARE(edit_->Text(), QStringLiteral("1.2.3.45"));
}

void TIPEditTest::periodOrSpaceIgnored_data() {
  QTest::addColumn<int>("box");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("cursor");
  QTest::addColumn<char>("key");
  QTest::newRow("period, empty box") << 0 << QString() << 0 << '.';
  QTest::newRow("space, empty box") << 1 << QString() << 0 << ' ';
  QTest::newRow("period, caret at 0") << 0 << QStringLiteral("12") << 0 << '.';
  QTest::newRow("space, caret at 0") << 2 << QStringLiteral("7") << 0 << ' ';
  QTest::newRow("period, last box") << 3 << QStringLiteral("12") << 2 << '.';
  QTest::newRow("space, last box") << 3 << QStringLiteral("12") << 2 << ' ';
}

void TIPEditTest::periodOrSpaceIgnored() {
  QFETCH(int, box);
  QFETCH(QString, text);
  QFETCH(int, cursor);
  QFETCH(char, key);
  if (!text.isEmpty()) {
    Focus(box, 0);
    Type(text);
  }
  Focus(box, cursor);
  Type(QString(QLatin1Char(key)));
  QCOMPARE(FocusedBox(), box);
  QCOMPARE(Box(box)->text(), text);
  QCOMPARE(Box(box)->cursorPosition(), cursor);
}

void TIPEditTest::keypadDigitsAndDecimal() {
  Focus(0, 0);
  QTest::keyClick(Box(0), Qt::Key_1, Qt::KeypadModifier);
  QTest::keyClick(Box(0), Qt::Key_0, Qt::KeypadModifier);
  QTest::keyClick(Box(0), Qt::Key_Period, Qt::KeypadModifier);
  QCOMPARE(FocusedBox(), 1);
  QTest::keyClick(Box(1), Qt::Key_4, Qt::KeypadModifier);
  // Layouts with a decimal comma report the keypad key as a comma.
  QTest::keyClick(Box(1), Qt::Key_Comma, Qt::KeypadModifier);
  QCOMPARE(FocusedBox(), 2);
  QCOMPARE(Boxes(), (QStringList{"10", "4", "", ""}));
  // A comma from the main keyboard neither moves nor types.
  Type(QStringLiteral("5,"));
  QCOMPARE(FocusedBox(), 2);
  QCOMPARE(Box(2)->text(), QStringLiteral("5"));
}

void TIPEditTest::clampAbove255_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<QString>("message");
  QTest::newRow("300") << "300"
                       << "255" << QString("300" + kNotValid);
  QTest::newRow("256") << "256"
                       << "255" << QString("256" + kNotValid);
  QTest::newRow("999") << "999"
                       << "255" << QString("999" + kNotValid);
}

void TIPEditTest::clampAbove255() {
  QFETCH(QString, typed);
  QFETCH(QString, shown);
  QFETCH(QString, message);
  Focus(1, 0);
  Type(typed);
  QCOMPARE(Box(1)->text(), shown);
  QCOMPARE(Box(1)->selectedText(), shown);
  QCOMPARE(ui_.messages, QStringList{message});
  // The user continues in the same box.
  QCOMPARE(FocusedBox(), 1);
  Type(QStringLiteral("25"));
  QCOMPARE(Box(1)->text(), QStringLiteral("25"));
  QCOMPARE(ui_.messages.size(), 1);
}

void TIPEditTest::backspaceAcrossBoxes_data() {
  QTest::addColumn<QString>("start");
  QTest::addColumn<QString>("left");
  QTest::newRow("three digits") << "192.168.0.1"
                                << "16";
  QTest::newRow("one digit") << "192.7.0.1"
                             << "";
}

void TIPEditTest::backspaceAcrossBoxes() {
  QFETCH(QString, start);
  QFETCH(QString, left);
  edit_->SetText(start);
  Focus(2, 0);
  Press(Qt::Key_Backspace);
  QCOMPARE(FocusedBox(), 1);
  QCOMPARE(Box(1)->text(), left);
  QCOMPARE(Box(1)->cursorPosition(), left.size());
  // The box that was left keeps its text.
  QCOMPARE(Box(2)->text(), QStringLiteral("0"));
  QCOMPARE(Box(0)->text(), QStringLiteral("192"));
}

void TIPEditTest::backspaceWithSelectionDeletesSelection() {
  edit_->SetText(QStringLiteral("192.168.0.1"));
  Focus(1, 0);
  Box(1)->selectAll();
  Press(Qt::Key_Backspace);
  QCOMPARE(FocusedBox(), 1);
  QCOMPARE(Boxes(), (QStringList{"192", "", "0", "1"}));
  // Now at the start of an empty box: back into box 0.
  Press(Qt::Key_Backspace);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->text(), QStringLiteral("19"));
  // Box 0 has nowhere to go back to; Backspace at its start changes nothing.
  Box(0)->setCursorPosition(0);
  Press(Qt::Key_Backspace);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->text(), QStringLiteral("19"));
  // Inside a box Backspace is ordinary editing.
  Box(0)->setCursorPosition(2);
  Press(Qt::Key_Backspace);
  QCOMPARE(Box(0)->text(), QStringLiteral("1"));
  QCOMPARE(FocusedBox(), 0);
}

void TIPEditTest::homeEndArrows() {
  edit_->SetText(QStringLiteral("10.20.30.40"));
  Focus(1, 1);
  Press(Qt::Key_End);
  QCOMPARE(FocusedBox(), 3);
  QCOMPARE(Box(3)->cursorPosition(), 2);
  QVERIFY(!Box(3)->hasSelectedText());
  Press(Qt::Key_Home);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->cursorPosition(), 0);
  // Right inside a box moves the caret; at its end it moves to the next box's start.
  Press(Qt::Key_Right);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->cursorPosition(), 1);
  Press(Qt::Key_Right);
  QCOMPARE(FocusedBox(), 0);
  Press(Qt::Key_Right);
  QCOMPARE(FocusedBox(), 1);
  QCOMPARE(Box(1)->cursorPosition(), 0);
  // Left at a box's start goes to the previous box's end.
  Press(Qt::Key_Left);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->cursorPosition(), 2);
  Box(0)->setCursorPosition(0);
  Press(Qt::Key_Left);
  QCOMPARE(FocusedBox(), 0);
  // The last box keeps the caret at its end.
  Focus(3, 2);
  Press(Qt::Key_Right);
  QCOMPARE(FocusedBox(), 3);
  QCOMPARE(Box(3)->cursorPosition(), 2);
  // Navigation never changes the address.
  QCOMPARE(edit_->Text(), QStringLiteral("10.20.30.40"));
}

void TIPEditTest::keystrokeFilter_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::newRow("letter") << int(Qt::Key_A) << int(Qt::NoModifier);
  QTest::newRow("minus") << int(Qt::Key_Minus) << int(Qt::NoModifier);
  QTest::newRow("shift digit") << int(Qt::Key_5) << int(Qt::ShiftModifier);
  QTest::newRow("alt digit") << int(Qt::Key_5) << int(Qt::AltModifier);
  QTest::newRow("ctrl digit") << int(Qt::Key_5) << int(Qt::ControlModifier);
  QTest::newRow("shift backspace") << int(Qt::Key_Backspace) << int(Qt::ShiftModifier);
  QTest::newRow("ctrl x") << int(Qt::Key_X) << int(Qt::ControlModifier);
}

void TIPEditTest::keystrokeFilter() {
  QFETCH(int, key);
  QFETCH(int, modifiers);
  edit_->SetText(QStringLiteral("1.22.3.4"));
  Focus(1, 0);
  Box(1)->selectAll();
  Press(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  QCOMPARE(Boxes(), (QStringList{"1", "22", "3", "4"}));
  QCOMPARE(FocusedBox(), 1);
  QVERIFY(!Box(1)->isReadOnly());
  // Plain digits, Delete and Backspace edit.
  Box(1)->setCursorPosition(1);
  Press(Qt::Key_Delete);
  Press(Qt::Key_Backspace);
  Type(QStringLiteral("9"));
  QCOMPARE(Box(1)->text(), QStringLiteral("9"));
}

void TIPEditTest::refusedKeyIsReadOnlyUntilKeyUp() {
  Focus(0, 0);
  QTest::keyPress(Box(0), Qt::Key_B);
  QVERIFY(Box(0)->isReadOnly());
  // The key-up may arrive in another box (period moved on to box 1).
  QTest::keyRelease(Box(1), Qt::Key_B);
  QVERIFY(!Box(0)->isReadOnly());
  // Shift and Ctrl alone leave the box editable.
  QTest::keyPress(Box(0), Qt::Key_Shift);
  QVERIFY(!Box(0)->isReadOnly());
  QTest::keyRelease(Box(0), Qt::Key_Shift);
}

void TIPEditTest::lostKeyUpDoesNotSwallowDigit() {
  Focus(0, 0);
  // Alt goes down here and comes up in another window.
  QTest::keyPress(Box(0), Qt::Key_Alt);
  QVERIFY(Box(0)->isReadOnly());
  Type(QStringLiteral("7"));
  QCOMPARE(Box(0)->text(), QStringLiteral("7"));
}

void TIPEditTest::pasteOnlyDigits() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("1a"));
  if (clipboard->text() != QStringLiteral("1a")) QSKIP("no clipboard on this platform");
  Focus(0, 0);
  Box(0)->paste();
  QCOMPARE(Box(0)->text(), QString());
  clipboard->setText(QStringLiteral("12"));
  Box(0)->paste();
  QCOMPARE(Box(0)->text(), QStringLiteral("12"));
  // Ctrl+V is a key combination: refused by the keystroke filter.
  Box(0)->setCursorPosition(2);
  Press(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(Box(0)->text(), QStringLiteral("12"));
}

void TIPEditTest::readRewritesBoxes() {
  Focus(0, 0);
  Type(QStringLiteral("10."));
  Focus(2, 0);
  Type(QStringLiteral("007"));
  QCOMPARE(FocusedBox(), 3);
  Type(QStringLiteral("1"));
  QCOMPARE(Boxes(), (QStringList{"10", "", "007", "1"}));
  QCOMPARE(edit_->Text(), QStringLiteral("10.0.7.1"));
  QCOMPARE(Boxes(), (QStringList{"10", "0", "7", "1"}));
  QCOMPARE(edit_->Text(), QStringLiteral("10.0.7.1"));
}

void TIPEditTest::readAcceptOctal() {
  QVERIFY(!edit_->AcceptOctal());
  edit_->SetAcceptOctal(true);
  Focus(2, 0);
  Type(QStringLiteral("007"));
  QCOMPARE(edit_->Text(), QStringLiteral("0.0.007.0"));
  QCOMPARE(Boxes(), (QStringList{"0", "0", "007", "0"}));
}

void TIPEditTest::emptyReadWrite() {
  QCOMPARE(edit_->Text(), QString());
  QCOMPARE(Boxes(), (QStringList{"", "", "", ""}));
  edit_->SetText(QStringLiteral("1.2.3.4"));
  QCOMPARE(Boxes(), (QStringList{"1", "2", "3", "4"}));
  edit_->SetText(QString());
  QCOMPARE(Boxes(), (QStringList{"", "", "", ""}));
  QCOMPARE(edit_->Text(), QString());
  // One octet typed is enough for a full address.
  Focus(3, 0);
  Type(QStringLiteral("5"));
  QCOMPARE(edit_->Text(), QStringLiteral("0.0.0.5"));
}

void TIPEditTest::writeValid() {
  edit_->SetText(QStringLiteral("192.168.100.254"));
  QCOMPARE(Boxes(), (QStringList{"192", "168", "100", "254"}));
  // Writing in code never moves the focus, not even with three-digit octets.
  QVERIFY(before_->hasFocus());
  QVERIFY(!Box(0)->hasSelectedText());
  // With the focus in box 0 the whole first octet is selected.
  Focus(0, 1);
  edit_->SetText(QStringLiteral("192.168.100.253"));
  QCOMPARE(Box(0)->selectedText(), QStringLiteral("192"));
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(edit_->Text(), QStringLiteral("192.168.100.253"));
  edit_->SetText(QStringLiteral("0.0.0.0"));
  QCOMPARE(edit_->Text(), QStringLiteral("0.0.0.0"));
  QVERIFY(ui_.messages.isEmpty());
}

void TIPEditTest::writeInvalid_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("two dots") << "1.2.3";
  QTest::newRow("four dots") << "1.2.3.4.";
  QTest::newRow("range") << "256.1.1.1";
  QTest::newRow("leading zero") << "1.2.03.4";
  QTest::newRow("empty field") << "1..3.4";
  QTest::newRow("space") << "1.2. 3.4";
  QTest::newRow("letters") << "a.b.c.d";
  QTest::newRow("too long") << "100.100.100.1000";
  QTest::newRow("non-ASCII") << QString::fromUtf8("1.2.3.\xC2\xB2");
}

void TIPEditTest::writeInvalid() {
  QFETCH(QString, text);
  edit_->SetText(QStringLiteral("10.1.2.3"));
  QSignalSpy changed(edit_, &TIPEdit::textChanged);
  QString message;
  try {
    edit_->SetText(text);
  } catch (const velkaro::TAssertionFailure& e) {
    message = QString::fromUtf8(e.what());
  }
  QCOMPARE(message, QStringLiteral("Bad IP address string given to component"));
  QCOMPARE(Boxes(), (QStringList{"10", "1", "2", "3"}));
  // Through the property system the same failure reaches the caller.
  QVERIFY_THROWS_EXCEPTION(velkaro::TAssertionFailure, edit_->setProperty("text", text));
  QCOMPARE(Boxes(), (QStringList{"10", "1", "2", "3"}));
  QCOMPARE(changed.count(), 0);
}

void TIPEditTest::propertyAndSignal() {
  QSignalSpy changed(edit_, &TIPEdit::textChanged);
  QVERIFY(edit_->setProperty("text", QStringLiteral("10.0.0.138")));
  QCOMPARE(changed.count(), 1);
  QCOMPARE(edit_->property("text").toString(), QStringLiteral("10.0.0.138"));
  // Writing the same address again, or reading, is no change.
  edit_->SetText(QStringLiteral("10.0.0.138"));
  QCOMPARE(changed.count(), 1);
  Focus(2, 0);
  Box(2)->clear();
  changed.clear();
  Type(QStringLiteral("007"));
  QCOMPARE(changed.count(), 3);
  edit_->Text();
  QCOMPARE(changed.count(), 3);
  // A clamped octet reports once, with its final value.
  Box(3)->clear();
  changed.clear();
  Type(QStringLiteral("3"));
  Type(QStringLiteral("0"));
  Type(QStringLiteral("0"));
  QCOMPARE(changed.count(), 3);
  QCOMPARE(Box(3)->text(), QStringLiteral("255"));
  QCOMPARE(ui_.messages, QStringList{QString("300" + kNotValid)});
}

void TIPEditTest::focusEnteringSelectsFirstBox() {
  edit_->SetText(QStringLiteral("10.20.30.40"));
  Box(0)->deselect();
  QVERIFY(before_->hasFocus());
  QTest::keyClick(before_, Qt::Key_Tab);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->selectedText(), QStringLiteral("10"));
  // Tab leaves the control at once: boxes 1-3 are no Tab stops.
  QTest::keyPress(Box(0), Qt::Key_Tab);
  QVERIFY(after_->hasFocus());
  QTest::keyRelease(after_, Qt::Key_Tab);
  // The Tab's key-up went to the next widget; the box it left is editable all the same.
  for (int i = 0; i < 4; ++i) QVERIFY(!Box(i)->isReadOnly());
  Box(0)->deselect();
  QTest::keyClick(after_, Qt::Key_Backtab, Qt::ShiftModifier);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->selectedText(), QStringLiteral("10"));
  // Focus given in code to the control lands on box 0, all selected.
  after_->setFocus();
  Box(0)->deselect();
  edit_->setFocus();
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->selectedText(), QStringLiteral("10"));
  // A click into another box keeps its own caret.
  QTest::mouseClick(Box(2), Qt::LeftButton, {}, QPoint(20, 9));
  QCOMPARE(FocusedBox(), 2);
  QVERIFY(!Box(2)->hasSelectedText());
}

void TIPEditTest::panelAndDotClicks() {
  edit_->SetText(QStringLiteral("10.20.30.40"));
  // The strip right of the last box belongs to the frame.
  QTest::mouseClick(edit_, Qt::LeftButton, {}, QPoint(97, 10));
  QCOMPARE(FocusedBox(), 3);
  QCOMPARE(Box(3)->cursorPosition(), 2);
  QVERIFY(!Box(3)->hasSelectedText());
  for (int dot = 0; dot < 3; ++dot) {
    QTest::mouseClick(Dot(dot), Qt::LeftButton, {}, QPoint(1, 9));
    QCOMPARE(FocusedBox(), dot);
    QCOMPARE(Box(dot)->cursorPosition(), Box(dot)->text().size());
    QVERIFY(!Box(dot)->hasSelectedText());
  }
}

void TIPEditTest::panelExitSelectsFirstBox() {
  edit_->SetText(QStringLiteral("10.20.30.40"));
  Focus(2, 1);
  // Moving inside the control is no exit.
  Focus(1, 1);
  QVERIFY(!Box(0)->hasSelectedText());
  // Tab leaves from any box; nothing stays highlighted behind.
  QTest::keyClick(Box(1), Qt::Key_Tab);
  QVERIFY(after_->hasFocus());
  for (int i = 0; i < 4; ++i) QVERIFY(!Box(i)->hasSelectedText());
  // Coming back lands on the whole first octet.
  QTest::keyClick(after_, Qt::Key_Backtab, Qt::ShiftModifier);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(Box(0)->selectedText(), QStringLiteral("10"));
}

void TIPEditTest::disabledAndReadOnly() {
  edit_->SetText(QStringLiteral("1.2.3.4"));
  edit_->setEnabled(false);
  for (int i = 0; i < 4; ++i) QVERIFY(!Box(i)->isEnabled());
  for (int i = 0; i < 3; ++i) QVERIFY(!Dot(i)->isEnabled());
  QTest::keyClicks(Box(0), QStringLiteral("9"));
  QCOMPARE(edit_->Text(), QStringLiteral("1.2.3.4"));
  edit_->setEnabled(true);
  for (int i = 0; i < 4; ++i) QVERIFY(Box(i)->isEnabled());

  edit_->SetReadOnly(true);
  QVERIFY(edit_->ReadOnly());
  Focus(1, 0);
  Type(QStringLiteral("9"));
  Press(Qt::Key_Backspace);
  QCOMPARE(FocusedBox(), 0);
  QCOMPARE(edit_->Text(), QStringLiteral("1.2.3.4"));
  for (int i = 0; i < 4; ++i) QVERIFY(Box(i)->isReadOnly());
  // Code may still write it.
  edit_->SetText(QStringLiteral("5.6.7.8"));
  QCOMPARE(edit_->Text(), QStringLiteral("5.6.7.8"));
  edit_->SetReadOnly(false);
  Focus(3, 1);
  Type(QStringLiteral("9"));
  QCOMPARE(edit_->Text(), QStringLiteral("5.6.7.89"));
}

void TIPEditTest::deleteWhileFocused() {
  Focus(2, 0);
  delete edit_;
  edit_ = nullptr;
  QVERIFY(window_->findChildren<TIPEdit*>().isEmpty());
  after_->setFocus();
  QVERIFY(after_->hasFocus());
}

QTEST_MAIN(TIPEditTest)
#include "IPEditTest.moc"
