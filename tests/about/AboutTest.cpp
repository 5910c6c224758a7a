// The about box: texts with and without a version block, the maker's links, the layout at two
// resolutions and the modal run.
#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "about/About.h"
#include "about/LinkLabel.h"
#include "about/SystemFigures.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"
#include "support/UiRecorder.h"
#include "version/Oem.h"

using namespace velkaro;

namespace {

QLabel* Label(const QDialog& box, const char* name) {
  return box.findChild<QLabel*>(QString::fromLatin1(name));
}

bool Placed(const QLabel* label) {
  return label && !label->isHidden();
}

}  // namespace

class AboutTest : public QObject {
  Q_OBJECT

 private:
  testing::TTempDir dir_;
  test::TUiRecorder ui_;

  // A variant that shows the maker's addresses.
  static TOemVariant Maker() {
    TOemVariant oem;
    oem.makerWebAddress = kMakerWebAddress;
    oem.makerEmail = kMakerEmail;
    return oem;
  }

 private slots:
  void initTestCase() { QApplication::setApplicationName(QStringLiteral("Velkaro")); }

  void init() {
    ui_.Clear();
    ui_.Install();
  }

  void cleanup() {
    ui::ResetUiHooks();
    for (QWidget* w : QApplication::topLevelWidgets())
      QVERIFY2(!w->isVisible(), "window left open");
  }

  void textsFromTheVersionBlock() {
    TFormAbout about(Maker());
    const auto box = about.BuildDialog();
    QCOMPARE(box->windowTitle(), QStringLiteral("About Velkaro ..."));
    QCOMPARE(Label(*box, "TitleLabel")->text(), QStringLiteral("Velkaro"));
    QCOMPARE(Label(*box, "TitleLabel")->font().pointSize(), 22);
    QVERIFY(Label(*box, "TitleLabel")->font().bold());
    QLabel* version = Label(*box, "VersionLabel");
    QCOMPARE(version->text(), QStringLiteral("Version 1.2.0.2"));
    QVERIFY(version->font().bold());
    // "&" is shown as it is.
    QCOMPARE(Label(*box, "DescriptionLabel")->text(), QStringLiteral("About & test box"));
    QCOMPARE(Label(*box, "DescriptionLabel")->textFormat(), Qt::PlainText);
    QVERIFY(Label(*box, "CopyrightLabel")->text().startsWith(QStringLiteral("Copyright")));
    QVERIFY(!Label(*box, "IconLabel")->pixmap().isNull());
    QCOMPARE(Label(*box, "IconLabel")->pos(), QPoint(13, 7));
  }

  void textsWithoutVersionBlock() {
    const std::string plain = dir_.File("no-block");
    const std::string text = "not a program";
    testing::WriteBytes(plain, {text.begin(), text.end()});
    TFormAbout about(Maker());
    about.SetProgramFile(plain);
    const auto box = about.BuildDialog();
    QCOMPARE(Label(*box, "VersionLabel")->text(), QStringLiteral("Version <info not available>"));
    QCOMPARE(Label(*box, "DescriptionLabel")->text(), QStringLiteral("<info not available>"));
    QCOMPARE(Label(*box, "CopyrightLabel")->text(), QStringLiteral("<info not available>"));
  }

  void systemFigures() {
    TFormAbout about(Maker());
    const auto box = about.BuildDialog();
    QCOMPARE(Label(*box, "CaptionsLabel")->text(),
             QStringLiteral("Available Memory:\nPlatform, CPU:"));
    const TSystemFigures figures = ReadSystemFigures();
    QCOMPARE(Label(*box, "ValuesLabel")->text(),
             QStringLiteral("%1 KB\n%2x %3 or compatible")
                 .arg(figures.memoryKb)
                 .arg(figures.processors)
                 .arg(QString::fromStdString(figures.processorName)));
  }

  void widthsFollowPixelsPerInch_data() {
    QTest::addColumn<int>("pixelsPerInch");
    QTest::addColumn<int>("dialog");
    QTest::addColumn<int>("systemLabel");
    QTest::newRow("96 dpi") << 96 << 410 << 150;
    QTest::newRow("120 dpi") << 120 << 520 << 187;
  }
  void widthsFollowPixelsPerInch() {
    QFETCH(int, pixelsPerInch);
    QFETCH(int, dialog);
    QFETCH(int, systemLabel);
    QCOMPARE(TFormAbout::DialogWidth(pixelsPerInch), dialog);
    QCOMPARE(TFormAbout::SystemLabelWidth(pixelsPerInch), systemLabel);
  }

  void layoutFollowsPixelsPerInch() {
    TFormAbout about(Maker());
    about.SetPixelsPerInch(120);
    const auto box = about.BuildDialog();
    QCOMPARE(box->width(), 520);
    QLabel* captions = Label(*box, "CaptionsLabel");
    QLabel* values = Label(*box, "ValuesLabel");
    QCOMPARE(captions->width(), 187);
    QCOMPARE(captions->x(), 60);
    QCOMPARE(values->x(), 60 + 187);
    QCOMPARE(values->y(), captions->y());
    QCOMPARE(Label(*box, "VersionLabel")->width(), 520 - 70);
    QVERIFY(Label(*box, "VersionLabel")->y() >= 66);
    auto* ok = box->findChild<QPushButton*>(QStringLiteral("OKButton"));
    QCOMPARE(ok->x() + ok->width(), 520 - 6);
    QCOMPARE(box->height(), ok->y() + ok->height() + 6);
    QVERIFY(ok->y() >= std::max(captions->geometry().bottom(), values->geometry().bottom()) + 24);
    QVERIFY(ok->isDefault());
  }

  void makerLinksOpenAndDisableOnFailure() {
    TFormAbout about(Maker());
    const auto box = about.BuildDialog();
    auto* web = box->findChild<TLinkLabel*>(QStringLiteral("WebLabel"));
    auto* mail = box->findChild<TLinkLabel*>(QStringLiteral("MailLabel"));
    QVERIFY(Placed(web) && Placed(mail));
    QCOMPARE(web->text(), QString::fromLatin1(kMakerWebAddress));
    QCOMPARE(web->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(web->font().underline());
    QTest::mouseClick(web, Qt::LeftButton);
    QCOMPARE(ui_.urls, QStringList{QString::fromLatin1(kMakerWebAddress)});
    QVERIFY(web->isEnabled());

    ui_.openUrlResult = false;
    QTest::mouseClick(mail, Qt::LeftButton);
    QCOMPARE(ui_.urls.last(), QStringLiteral("mailto:") + QString::fromLatin1(kMakerEmail));
    QVERIFY(!mail->isEnabled());
    QVERIFY(!mail->IsLink());
    QCOMPARE(mail->cursor().shape(), Qt::ArrowCursor);
    mail->Open();  // no longer a link: nothing is handed to the desktop
    QCOMPARE(ui_.urls.size(), 2);
  }

  void emptyMakerAddressesCloseUpTheLayout() {
    TFormAbout about(Maker());
    const auto withLinks = about.BuildDialog();
    const auto without = TFormAbout().BuildDialog();
    QVERIFY(!Placed(Label(*without, "WebLabel")));
    QVERIFY(!Placed(Label(*without, "MailLabel")));
    const int bevelWith = withLinks->findChild<QFrame*>(QStringLiteral("Bevel"))->y();
    const int bevelWithout = without->findChild<QFrame*>(QStringLiteral("Bevel"))->y();
    const QLabel* web = Label(*withLinks, "WebLabel");
    const QLabel* mail = Label(*withLinks, "MailLabel");
    QCOMPARE(bevelWith - bevelWithout, web->height() + 1 + mail->height() + 6);
    QCOMPARE(withLinks->height() - without->height(), bevelWith - bevelWithout);
  }

  void showAboutIsModalAndClosesWithOk() {
    TFormAbout about(Maker());
    QString title;
    bool okHadFocus = false;
    const test::TModalDriver<QDialog> box([&](QDialog& shown) {
      title = shown.windowTitle();
      okHadFocus = shown.focusWidget() == shown.findChild<QPushButton*>(QStringLiteral("OKButton"));
      QTest::keyClick(&shown, Qt::Key_Return);
    });
    about.ShowAbout();
    QVERIFY(!box.OpenAfterAction());
    QCOMPARE(title, QStringLiteral("About Velkaro ..."));
    QVERIFY(okHadFocus);
    QVERIFY(!QApplication::activeModalWidget());
  }
};

QTEST_MAIN(AboutTest)
#include "AboutTest.moc"
