#include "about/About.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "about/LinkLabel.h"
#include "about/SunkenLabel.h"
#include "about/SystemFigures.h"
#include "ui/AppIcons.h"
#include "version/Oem.h"
#include "version/VersionInfo.h"

namespace velkaro {

namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// Places labels from top to bottom; an empty text places nothing and keeps the cursor.
class TAboutLayout {
 public:
  TAboutLayout(QDialog* dialog, int clientWidth)
      : dialog_(dialog), clientWidth_(clientWidth), w(clientWidth - 70) {}

  bool AddAboutLine(QLabel* label, const QString& text, int gap) {
    if (text.isEmpty()) {
      label->hide();
      return false;
    }
    label->setText(text);
    const int width = clientWidth_ < x + w ? clientWidth_ - 6 : w;
    const int hint = label->heightForWidth(width);
    const int height = hint > 0 ? hint : label->sizeHint().height();
    label->setGeometry(x, y, width, height);
    label->show();
    if (gap != 0) y += height + gap;
    return true;
  }

  QLabel* NewLabel() const {
    auto* label = new QLabel(dialog_);
    label->setTextFormat(Qt::PlainText);  // "&" is a plain character
    label->setWordWrap(true);
    return label;
  }

  QDialog* dialog_;
  int clientWidth_;
  int y = 12;
  int x = 60;
  int w;
};

}  // namespace

TFormAbout::TFormAbout(TOemVariant oem) : programFile_(kOwnProgramFile), oem_(std::move(oem)) {}

int TFormAbout::DialogWidth(int ppi) {
  return static_cast<int>(ppi / 96.0 * 440) - 30;
}

int TFormAbout::SystemLabelWidth(int ppi) {
  return static_cast<int>(ppi / 96.0 * 150);
}

QString TFormAbout::FigureCaptions() {
  return QObject::tr("Available Memory:") + u'\n' + QObject::tr("Platform, CPU:");
}

QString TFormAbout::FigureValues() {
  const TSystemFigures figures = ReadSystemFigures();
  return QStringLiteral("%1 KB\n%2x %3 %4")
      .arg(figures.memoryKb)
      .arg(figures.processors)
      .arg(Text(figures.processorName), QObject::tr("or compatible"));
}

std::unique_ptr<QDialog> TFormAbout::BuildDialog(QWidget* parent) const {
  auto dialog = std::make_unique<QDialog>(parent);
  dialog->setObjectName(QStringLiteral("AboutBox"));
  dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint);
  const QString title = QApplication::applicationName();
  dialog->setWindowTitle(QObject::tr("About ") + title + QStringLiteral(" ..."));
  const int ppi = ppi_ > 0 ? ppi_ : dialog->logicalDpiX();
  const int clientWidth = DialogWidth(ppi);
  TAboutLayout layout(dialog.get(), clientWidth);

  const TVersionInfo info(dialog.get(), programFile_);

  auto* titleLabel = new TSunkenLabel(dialog.get());
  titleLabel->setObjectName(QStringLiteral("TitleLabel"));
  titleLabel->setFont(QFont(QStringLiteral("Arial"), 22, QFont::Bold));
  titleLabel->setGeometry(60, 12, layout.w, titleLabel->height());
  layout.AddAboutLine(titleLabel, title, 10);
  layout.y = std::max(layout.y, 66);

  auto* icon = new QLabel(dialog.get());
  icon->setObjectName(QStringLiteral("IconLabel"));
  QIcon programIcon = QApplication::windowIcon();
  if (programIcon.isNull()) programIcon = ui::ProgramIcon();
  icon->setPixmap(programIcon.pixmap(32, 32));
  icon->setGeometry(13, 7, 32, 32);

  QLabel* version = layout.NewLabel();
  version->setObjectName(QStringLiteral("VersionLabel"));
  QFont bold = version->font();
  bold.setBold(true);
  version->setFont(bold);
  layout.AddAboutLine(version, QObject::tr("Version ") + Text(info.FileVersion), 4);

  QLabel* description = layout.NewLabel();
  description->setObjectName(QStringLiteral("DescriptionLabel"));
  layout.AddAboutLine(description, Text(info.FileDescription), 24);

  QLabel* copyright = layout.NewLabel();
  copyright->setObjectName(QStringLiteral("CopyrightLabel"));
  layout.AddAboutLine(copyright, Text(info.LegalCopyright), 6);

  auto* web = new TLinkLabel(QString(), dialog.get());
  web->setObjectName(QStringLiteral("WebLabel"));
  layout.AddAboutLine(web, Text(oem_.makerWebAddress), 1);
  auto* mail = new TLinkLabel(QString(), dialog.get());
  mail->setObjectName(QStringLiteral("MailLabel"));
  layout.AddAboutLine(mail, Text(oem_.makerEmail), 6);

  auto* line = new QFrame(dialog.get());
  line->setObjectName(QStringLiteral("Bevel"));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(layout.x, layout.y, layout.w, 2);
  layout.y += 9;

  layout.w = SystemLabelWidth(ppi);
  QLabel* captions = layout.NewLabel();
  captions->setObjectName(QStringLiteral("CaptionsLabel"));
  layout.AddAboutLine(captions, FigureCaptions(), 0);
  layout.x += captions->width();
  QLabel* values = layout.NewLabel();
  values->setObjectName(QStringLiteral("ValuesLabel"));
  layout.AddAboutLine(values, FigureValues(), 0);
  layout.y += std::max(captions->height(), values->height()) + 24;

  auto* ok = new QPushButton(QObject::tr("OK"), dialog.get());
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  QObject::connect(ok, &QPushButton::clicked, dialog.get(), &QDialog::accept);
  const QSize button = ok->sizeHint();
  ok->setGeometry(clientWidth - button.width() - 6, layout.y, button.width(), button.height());
  // First in tab order: the dialog's other children take no focus.
  ok->setFocus();
  dialog->setFixedSize(clientWidth, ok->y() + button.height() + 6);

  if (const QScreen* screen = dialog->screen())
    dialog->move(screen->availableGeometry().center() - dialog->rect().center());
  return dialog;
}

void TFormAbout::ShowAbout(QWidget* parent) {
  const std::unique_ptr<QDialog> dialog = BuildDialog(parent);
  dialog->exec();
}

}  // namespace velkaro
