// TSpinEdit: numbers typed beyond the range are kept while typing and pulled to the nearer
// bound when editing ends; anything else is refused as usual.
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include "pages/SpinEdit.h"

using velkaro::TSpinEdit;

namespace {

void Retype(TSpinEdit& spin, const QString& typed) {
  spin.findChild<QLineEdit*>()->selectAll();
  QTest::keyClicks(&spin, typed);
}

}  // namespace

class SpinEditTest : public QObject {
  Q_OBJECT

 private slots:
  void validateKeepsOutOfRangeNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    QTest::newRow("in range") << "12 sec" << int(QValidator::Acceptable);
    QTest::newRow("above") << "70000 sec" << int(QValidator::Intermediate);
    QTest::newRow("below") << "0 sec" << int(QValidator::Intermediate);
    QTest::newRow("nine digits") << "999999999 sec" << int(QValidator::Intermediate);
    QTest::newRow("ten digits") << "9999999999 sec" << int(QValidator::Invalid);
    QTest::newRow("letters") << "1a sec" << int(QValidator::Invalid);
    QTest::newRow("negative") << "-5 sec" << int(QValidator::Invalid);
  }
  void validateKeepsOutOfRangeNumbers() {
    QFETCH(QString, text);
    QFETCH(int, state);
    TSpinEdit spin;
    spin.setRange(1, 65535);
    spin.setSuffix(QStringLiteral(" sec"));
    int pos = 0;
    QCOMPARE(int(spin.validate(text, pos)), state);
  }

  void fixupClampsToTheNearerBound() {
    TSpinEdit spin;
    spin.setRange(1, 65535);
    spin.setSuffix(QStringLiteral(" sec"));
    QString text = QStringLiteral("70000 sec");
    spin.fixup(text);
    QCOMPARE(text, QStringLiteral("65535 sec"));
    text = QStringLiteral("0");
    spin.fixup(text);
    QCOMPARE(text, QStringLiteral("1 sec"));
  }

  void enterAndFocusLossCorrect() {
    TSpinEdit spin;
    spin.setRange(1, 65535);
    QCOMPARE(spin.correctionMode(), QAbstractSpinBox::CorrectToNearestValue);
    QSignalSpy finished(&spin, &QSpinBox::editingFinished);
    Retype(spin, QStringLiteral("123456"));
    QTest::keyClick(&spin, Qt::Key_Return);
    QCOMPARE(spin.value(), 65535);
    QCOMPARE(finished.count(), 1);
    Retype(spin, QStringLiteral("0"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&spin, &out);
    QCOMPARE(spin.value(), 1);
    Retype(spin, QStringLiteral("42"));
    QCOMPARE(spin.value(), 42);  // in range: taken while typing
  }
};

QTEST_MAIN(SpinEditTest)
#include "SpinEditTest.moc"
