// Walks every page of the three model dialogs, the rack's nested pages too, and checks what a
// user sees: no control overlaps a sibling or sticks out of its parent, no caption is cut off,
// every tab shows whole without scroll arrows, and read-only fields look read-only. ctest runs
// this at 96 dpi and again with VELKARO_TEST_FONT_DPI=120.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

#include "DialogTestSupport.h"
#include "dialog/Zel1Form.h"
#include "dialog/Zel4Form.h"
#include "dialog/Zel8Form.h"
#include "pages/IPEdit.h"
#include "sim/DeviceProfile.h"
#include "support/Wine.h"

using namespace velkaro;

namespace {

QString Describe(const QWidget* w) {
  QString name = w->objectName();
  if (name.isEmpty()) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) name = '"' + label->text() + '"';
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
      name = '"' + button->text() + '"';
    if (name.isEmpty() || name == QLatin1String("\"\"")) name = w->accessibleName();
  }
  return QString::fromLatin1(w->metaObject()->className()) + ' ' + name;
}

// Controls whose inner widgets are their own business.
bool IsLeaf(const QWidget* w) {
  return qobject_cast<const TIPEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractButton*>(w) ||
         qobject_cast<const QLabel*>(w) || qobject_cast<const QTabBar*>(w) ||
         qobject_cast<const QComboBox*>(w);
}

bool ScrolledContent(const QWidget* parent) {
  return parent->parentWidget() && qobject_cast<const QScrollArea*>(parent->parentWidget()) &&
         parent->objectName() == QLatin1String("qt_scrollarea_viewport");
}

// A caption wider or taller than its control is cut off on screen.
QString ClippedText(const QWidget* w) {
  if (const auto* label = qobject_cast<const QLabel*>(w)) {
    if (label->text().isEmpty()) return {};
    const QSize need =
        label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
    if (need.width() > label->width() || need.height() > label->height())
      return QStringLiteral("%1 is cut off: needs %2x%3 in %4x%5")
          .arg(Describe(w))
          .arg(need.width())
          .arg(need.height())
          .arg(label->width())
          .arg(label->height());
  }
  if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
    const auto* button = static_cast<const QAbstractButton*>(w);
    if (!button->text().isEmpty() && button->sizeHint().width() > button->width())
      return QStringLiteral("%1 is cut off: needs %2 in %3")
          .arg(Describe(w))
          .arg(button->sizeHint().width())
          .arg(button->width());
  }
  if (const auto* push = qobject_cast<const QPushButton*>(w)) {
    const int text = push->fontMetrics().horizontalAdvance(push->text()) +
                     2 * push->style()->pixelMetric(QStyle::PM_ButtonMargin);
    if (text > push->width())
      return QStringLiteral("%1 is cut off: text %2 in %3")
          .arg(Describe(w))
          .arg(text)
          .arg(push->width());
  }
  return {};
}

// Overlapping siblings, controls outside their parent and cut captions, among the shown
// widgets under `parent`.
void CollectLayoutFaults(const QWidget* parent, QStringList& faults) {
  std::vector<const QWidget*> shown;
  for (const QObject* o : parent->children()) {
    const auto* w = qobject_cast<const QWidget*>(o);
    if (w && !w->isWindow() && w->isVisible()) shown.push_back(w);
  }
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const QWidget* a = shown[i];
    if (!ScrolledContent(parent) && !parent->rect().contains(a->geometry()))
      faults << QStringLiteral("%1 sticks out of %2").arg(Describe(a), Describe(parent));
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      const QWidget* b = shown[j];
      if (a->geometry().intersects(b->geometry()))
        faults << QStringLiteral("%1 overlaps %2 in %3")
                      .arg(Describe(a), Describe(b), Describe(parent));
    }
    const QString clipped = ClippedText(a);
    if (!clipped.isEmpty()) faults << clipped;
    if (!IsLeaf(a)) CollectLayoutFaults(a, faults);
  }
}

// Tabs that need scroll arrows, lie outside their bar or do not show their whole caption.
void CollectTabFaults(const QWidget* root, QStringList& faults) {
  for (const QTabWidget* pages : root->findChildren<const QTabWidget*>()) {
    if (!pages->isVisible()) continue;
    const QTabBar* bar = pages->tabBar();
    for (const QToolButton* arrow : bar->findChildren<const QToolButton*>())
      if (arrow->isVisible()) faults << Describe(pages) + QStringLiteral(" shows scroll arrows");
    if (!pages->rect().contains(bar->geometry()))
      faults << Describe(pages) + QStringLiteral(" cuts its tab bar");
    for (int i = 0; i < bar->count(); ++i) {
      if (!bar->isTabVisible(i)) continue;
      const QRect tab = bar->tabRect(i);
      const int caption = bar->fontMetrics().horizontalAdvance(bar->tabText(i));
      // Level captions run along the width, turned ones along the height.
      const int room = pages->tabPosition() == QTabWidget::West &&
                               bar->tabRect(i).height() > bar->tabRect(i).width()
                           ? tab.height()
                           : tab.width();
      if (!bar->rect().contains(tab) || room < caption)
        faults << QStringLiteral("tab \"%1\" of %2 is not shown whole")
                      .arg(bar->tabText(i), Describe(pages));
    }
  }
}

QStringList Faults(const QWidget& dialog) {
  QApplication::processEvents();
  QStringList faults;
  CollectLayoutFaults(&dialog, faults);
  CollectTabFaults(&dialog, faults);
  return faults;
}

// Calls `check` with a name for each state: every top-level page, and for a page holding
// nested page controls, each nested page.
void ForEveryPage(TZelForm& dialog, const std::function<void(const QString&)>& check) {
  for (int i = 0; i < dialog.PageControl->count(); ++i) {
    dialog.PageControl->setCurrentIndex(i);
    const QString page = dialog.PageControl->tabText(i);
    const auto nested = dialog.PageControl->widget(i)->findChildren<QTabWidget*>();
    if (nested.isEmpty()) check(page);
    for (QTabWidget* inner : nested)
      for (int k = 0; k < inner->count(); ++k) {
        inner->setCurrentIndex(k);
        check(page + QStringLiteral(" / ") + inner->tabText(k));
      }
  }
}

}  // namespace

class DialogLayoutTest : public QObject {
  Q_OBJECT

  int dpi_ = 96;

 private slots:
  void initTestCase() {
    dpi_ = test::UseTestFontDpi();
    qInfo("measuring at %d dpi", dpi_);
  }
  void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

  void noOverlapNoCutCaption_data() {
    QTest::addColumn<std::uint32_t>("model");
    QTest::newRow("one outlet") << kModelZel1;
    QTest::newRow("four outlets") << kModelZel4;
    QTest::newRow("rack") << kModelZel8;
  }
  void noOverlapNoCutCaption() {
    QFETCH(std::uint32_t, model);
    if (dpi_ != 96 && velkaro::testing::RunningUnderWine()) QSKIP(velkaro::testing::kWineTextWidths);
    const auto dialog = test::MakeLoadedForm(model);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QStringList faults;
    int states = 0;
    ForEveryPage(*dialog, [&](const QString& page) {
      ++states;
      for (const QString& f : Faults(*dialog)) faults << page + QStringLiteral(": ") + f;
    });
    QVERIFY(states >= dialog->PageControl->count());
    faults.removeDuplicates();
    for (const QString& f : faults) qWarning("%s", qPrintable(f));
    QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("%1 layout faults").arg(faults.size())));

    // The General-only state the dialog opens in: one tab, the same frame.
    const QSize frame = dialog->size();
    dialog->PageControl->setCurrentIndex(0);
    for (int i = 1; i < dialog->PageControl->count(); ++i)
      dialog->PageControl->setTabVisible(i, false);
    const QStringList general = Faults(*dialog);
    QVERIFY2(general.isEmpty(), qPrintable(general.join(QLatin1Char('\n'))));
    QCOMPARE(dialog->size(), frame);
  }

  // The walk itself finds what it is there for.
  void faultsAreFound() {
    QWidget parent;
    parent.resize(200, 100);
    auto* edit = new QLineEdit(&parent);
    edit->setGeometry(10, 10, 100, 20);
    auto* button = new QRadioButton(&parent);
    button->setGeometry(105, 12, 17, 17);
    auto* label = new QLabel(QStringLiteral("A label far too long for its box"), &parent);
    label->setGeometry(10, 40, 30, 16);
    auto* outside = new QCheckBox(&parent);
    outside->setGeometry(190, 80, 17, 17);
    auto* pages = new QTabWidget(&parent);
    pages->setGeometry(10, 60, 60, 40);
    for (int i = 0; i < 5; ++i) pages->addTab(new QWidget, QStringLiteral("Page %1").arg(i));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    const QString all = Faults(parent).join(QLatin1Char('\n'));
    QVERIFY2(all.contains(QStringLiteral("QLineEdit")) && all.contains(QStringLiteral("overlaps")),
             qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("is cut off")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("sticks out")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("scroll arrows")) ||
                 all.contains(QStringLiteral("not shown whole")),
             qPrintable(all));
  }

  // Counters are the device's: their boxes take the page's background, entry fields do not.
  void readOnlyFieldsLookReadOnly() {
    for (const std::uint32_t model : {kModelZel1, kModelZel4, kModelZel8}) {
      const auto dialog = test::MakeLoadedForm(model);
      int readOnly = 0, editable = 0;
      for (const QLineEdit* edit : dialog->findChildren<const QLineEdit*>()) {
        if (TIPEdit::IsPart(edit) || qobject_cast<const QAbstractSpinBox*>(edit->parentWidget()))
          continue;
        const QPalette p = edit->palette();
        if (edit->isReadOnly()) {
          ++readOnly;
          QCOMPARE(p.color(QPalette::Base), p.color(QPalette::Window));
          QVERIFY(!(edit->focusPolicy() & Qt::TabFocus));
        } else if (edit->isEnabled()) {
          ++editable;
          QVERIFY2(p.color(QPalette::Base) != p.color(QPalette::Window),
                   qPrintable(edit->objectName()));
        }
      }
      QVERIFY(readOnly >= 2);  // power-up and at least one switching counter
      QVERIFY(editable >= 3);
    }
  }
};

QTEST_MAIN(DialogLayoutTest)
#include "DialogLayoutTest.moc"
