// The about box: texts with and without a version block, the maker's links, the layout at two
// resolutions and the modal run.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "about/About.h"
#include "about/LinkLabel.h"
#include "about/SystemFigures.h"
#include "ui/UiSeams.h"
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
  QTemporaryDir dir_;
  QStringList opened_;
  bool openResult_ = true;

 private slots:
  void initTestCase() {
    QApplication::setApplicationName(QStringLiteral("Velkaro"));
    QVERIFY(dir_.isValid());
  }

  void init() {
    opened_.clear();
    openResult_ = true;
    ui::TUiHooks hooks;
    hooks.openUrl = [this](const QString& url) {
      opened_ << url;
      return openResult_;
    };
    ui::SetUiHooks(hooks);
    MakerWebAddress = kMakerWebAddress;
    MakerEmail = kMakerEmail;
  }

  void cleanup() {
    ui::ResetUiHooks();
    for (QWidget* w : QApplication::topLevelWidgets())
      QVERIFY2(!w->isVisible(), "window left open");
  }

  void textsFromTheVersionBlock() {
    TFormAbout about;
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
    const QString plain = dir_.filePath(QStringLiteral("no-block"));
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a program");
    file.close();
    TFormAbout about;
    about.SetProgramFile(plain.toStdString());
    const auto box = about.BuildDialog();
    QCOMPARE(Label(*box, "VersionLabel")->text(), QStringLiteral("Version <info not available>"));
    QCOMPARE(Label(*box, "DescriptionLabel")->text(), QStringLiteral("<info not available>"));
    QCOMPARE(Label(*box, "CopyrightLabel")->text(), QStringLiteral("<info not available>"));
  }

  void systemFigures() {
    TFormAbout about;
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

  void layoutFollowsPixelsPerInch() {
    QCOMPARE(TFormAbout::DialogWidth(96), 410);
    QCOMPARE(TFormAbout::DialogWidth(120), 520);
    QCOMPARE(TFormAbout::SystemLabelWidth(96), 150);
    QCOMPARE(TFormAbout::SystemLabelWidth(120), 187);
    TFormAbout about;
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
    TFormAbout about;
    const auto box = about.BuildDialog();
    auto* web = box->findChild<TLinkLabel*>(QStringLiteral("WebLabel"));
    auto* mail = box->findChild<TLinkLabel*>(QStringLiteral("MailLabel"));
    QVERIFY(Placed(web) && Placed(mail));
    QCOMPARE(web->text(), QString::fromLatin1(kMakerWebAddress));
    QCOMPARE(web->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(web->font().underline());
    QTest::mouseClick(web, Qt::LeftButton);
    QCOMPARE(opened_, QStringList{QString::fromLatin1(kMakerWebAddress)});
    QVERIFY(web->isEnabled());

    openResult_ = false;
    QTest::mouseClick(mail, Qt::LeftButton);
    QCOMPARE(opened_.last(), QStringLiteral("mailto:") + QString::fromLatin1(kMakerEmail));
    QVERIFY(!mail->isEnabled());
    QVERIFY(!mail->IsLink());
    QCOMPARE(mail->cursor().shape(), Qt::ArrowCursor);
    mail->Open();  // no longer a link: nothing is handed to the desktop
    QCOMPARE(opened_.size(), 2);
  }

  void emptyMakerAddressesCloseUpTheLayout() {
    TFormAbout about;
    const auto withLinks = about.BuildDialog();
    MakerWebAddress.clear();
    MakerEmail.clear();
    const auto without = about.BuildDialog();
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
    TFormAbout about;
    QString title;
    bool okHadFocus = false;
    QTimer closer;
    closer.setInterval(0);
    QElapsedTimer elapsed;
    elapsed.start();
    connect(&closer, &QTimer::timeout, &closer, [&] {
      auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (box && box->isVisible()) {
        title = box->windowTitle();
        okHadFocus = box->focusWidget() == box->findChild<QPushButton*>(QStringLiteral("OKButton"));
        QTest::keyClick(box, Qt::Key_Return);
      } else if (elapsed.elapsed() > 5000) {
        closer.stop();
        if (box) box->reject();
      }
    });
    closer.start();
    about.ShowAbout();
    closer.stop();
    QCOMPARE(title, QStringLiteral("About Velkaro ..."));
    QVERIFY(okHadFocus);
    QVERIFY(!QApplication::activeModalWidget());
  }
};

QTEST_MAIN(AboutTest)
#include "AboutTest.moc"
