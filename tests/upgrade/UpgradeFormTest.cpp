// The upgrade dialog against a simulated device on 127.0.0.1: trigger, TFTP upload of the chosen
// image, progress, errors and the state kept between openings.
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "pages/IPEdit.h"
#include "protocol/DeviceList.h"
#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "sim/Simulator.h"
#include "sim/TftpServer.h"
#include "support/LoopbackSimulator.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"
#include "support/TftpTestSupport.h"
#include "support/UiRecorder.h"
#include "ui/RememberedSettings.h"
#include "upgrade/FileNameEdit.h"
#include "upgrade/UpgradeForm.h"

using namespace velkaro;
using velkaro::testing::kLoopback;
using velkaro::testing::Pattern;

namespace {

// What a test saw while the modal dialog was open.
struct TModalRun {
  bool opened = false;          // the dialog was the active modal widget
  bool stillOpenAfter = false;  // visible when the body had run
};

// The upload runs on the exchange thread: lets the event loop run until the dialog is idle.
bool WaitWhileBusy(const TUpgradeForm& form) {
  return QTest::qWaitFor([&] { return !form.Busy(); }, 15000);
}

// Shows the dialog with ShowForDevice and runs `body` once it is the active modal widget, then
// waits for an upgrade the body started. The body only records; whatever it leaves open is
// closed afterwards, so a failure never hangs.
TModalRun RunModal(TUpgradeForm& form, const TSession& session, const std::function<void()>& body,
                   std::source_location where = std::source_location::current()) {
  const velkaro::test::TModalDriver<TUpgradeForm> driver(
      [&](TUpgradeForm& shown) {
        body();
        QVERIFY(WaitWhileBusy(shown));
      },
      {.only = &form, .closeAfterAction = true, .limit = std::chrono::seconds(20)}, where);
  form.ShowForDevice(SelectedRecord(session), session.settings);
  return {driver.Met(), driver.OpenAfterAction()};
}

}  // namespace

class UpgradeFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<velkaro::testing::TLoopbackSimulator> simulator;
  std::unique_ptr<TUpgradeForm> form;
  std::unique_ptr<velkaro::testing::TTempDir> dir;
  velkaro::test::TUiRecorder ui_;
  TSession session_;

  // Starts `count` simulated devices; device i answers at 127.0.0.(i + 1).
  void StartDevices(int count) {
    sim::TSimOptions o;
    o.tftpPort = 0;
    o.models = {kModelZel1};
    o.count = count;
    simulator = velkaro::testing::StartLoopbackSimulator(o, [count](sim::TSimulator& s) {
      for (int i = 0; i < count; ++i)
        s.SetValue(static_cast<std::size_t>(i), 2, kLoopback + static_cast<unsigned>(i));
    });
    simulator->Tftp().Start();  // its port is known before the first trigger
    simulator->ListDevices(session_);
    form->TftpPort->setValue(simulator->Tftp().Port());
    simulator->ClearRequests();
  }

  QString FilePath(const QString& name) const {
    return QString::fromStdString(dir->File(name.toStdString()));
  }

  QString WriteImage(const QString& name, const TBytes& bytes) {
    const QString path = FilePath(name);
    velkaro::testing::WriteBytes(path.toStdString(), bytes);
    return path;
  }

  std::size_t UpgradeRequests() const {
    std::size_t n = 0;
    for (const auto& r : simulator->Requests())
      if (r.data.size() > kCommandOffset &&
          r.data[kCommandOffset] == static_cast<std::uint8_t>(TCommand::Upgrade))
        ++n;
    return n;
  }

 private slots:
  void init() {
    ui_.Clear();
    ui_.Install();
    dir = std::make_unique<velkaro::testing::TTempDir>();
    form = std::make_unique<TUpgradeForm>();
    session_ = {};  // this test's own devices, aimed nowhere until it starts some
    session_.settings = velkaro::testing::NowhereSettings();
  }

  void cleanup() {
    form.reset();
    simulator.reset();
    ui::ResetUiHooks();
    dir.reset();
    QStringList left;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) left << w->metaObject()->className();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u',')));
  }

  void componentsAsDescribed() {
    QCOMPARE(form->windowTitle(), QStringLiteral("Upgrade"));
    QCOMPARE(form->size(), QSize(444, 188));
    QVERIFY(form->isModal());
    QCOMPARE(form->GroupBox1->title(), QStringLiteral(" Upgrade Parameters "));
    QCOMPARE(form->Label1->text(), QStringLiteral("Upgrade Filename"));
    QCOMPARE(form->Label2->text(), QStringLiteral("IP Address"));
    QCOMPARE(form->UpgradeFile->width(), 289);
    QCOMPARE(form->UpgradeFile->parentWidget(), form->GroupBox1);
    QCOMPARE(form->UpgradeIP->parentWidget(), form->GroupBox1);
    QVERIFY(form->UpgradeIP->width() >= 100);  // wider for a font whose digits need it
    QCOMPARE(form->ProgressBar->size(), QSize(250, 4));
    QVERIFY(form->ProgressBar->isHidden());
    QCOMPARE(form->CancelBtn->text(), QStringLiteral("Cancel"));
    QCOMPARE(form->UpgradeBtn->text(), QStringLiteral("Upgrade"));
    QCOMPARE(form->Label3->text(), QStringLiteral("TFTP Port"));
    QCOMPARE(form->TftpPort->value(), 69);
    QCOMPARE(form->TftpPort->minimum(), 1);
    QCOMPARE(form->TftpPort->maximum(), 65535);
    QVERIFY(form->TftpPort->focusPolicy() & Qt::TabFocus);
    QCOMPARE(form->IdTrivialFTP.ReceiveTimeout(), 4000);
    QCOMPARE(form->IdTrivialFTP.TransferMode(), tfOctet);
    QCOMPARE(form->IdTrivialFTP.RequestedBlockSize(), 1500);
    QVERIFY(!form->UpgradeBtn->isEnabled());
    // The address is no Tab stop, neither the control nor any of its boxes.
    QVERIFY(!(form->UpgradeIP->focusPolicy() & Qt::TabFocus));
    const auto boxes = form->UpgradeIP->findChildren<QWidget*>();
    QVERIFY(!boxes.isEmpty());
    for (QWidget* w : boxes)
      QVERIFY2(!(w->focusPolicy() & Qt::TabFocus), qPrintable(w->objectName()));
    QVERIFY(form->UpgradeFile->Edit()->focusPolicy() & Qt::TabFocus);
  }

  void browseButtonAsksForAnExistingUpgradeFile() {
    const QString image = WriteImage(QStringLiteral("fw.bin"), Pattern(10));
    form->UpgradeFile->SetText(QStringLiteral("/old/name.bin"));
    ui_.openAnswer = image;
    form->UpgradeFile->BrowseButton()->click();
    QCOMPARE(ui_.openRequests.size(), 1);
    const ui::TFileRequest& r = ui_.openRequests.front();
    QCOMPARE(r.title, QStringLiteral("Choose the upgrade file"));
    QCOMPARE(r.filter, QStringLiteral("Upgrade files (*.bin *.BIN);;All files (*)"));
    QCOMPARE(r.defaultExtension, QStringLiteral("bin"));
    QVERIFY(r.mustExist);
    QCOMPARE(r.fileName, QStringLiteral("/old/name.bin"));
    QCOMPARE(QDir::fromNativeSeparators(form->UpgradeFile->Text()),
             QDir::fromNativeSeparators(image));
    // Cancel in the chooser keeps the name.
    ui_.openAnswer.clear();
    form->UpgradeFile->Browse();
    QCOMPARE(QDir::fromNativeSeparators(form->UpgradeFile->Text()),
             QDir::fromNativeSeparators(image));
  }

  void emptyDeviceListLeavesIpEmptyAndUpgradeDisabled() {
    StartDevices(1);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), Pattern(1000)));
    form->PrepareForDevice(SelectedRecord(session_), session_.settings);
    QCOMPARE(form->UpgradeIP->Text(), QStringLiteral("127.0.0.1"));  // shown before
    session_.DeviceList.Clear();
    bool ipEmpty = false;
    bool enabled = true;
    const TModalRun run = RunModal(*form, session_, [&] {
      ipEmpty = form->UpgradeIP->Text().isEmpty();
      enabled = form->UpgradeBtn->isEnabled();
      form->UpgradeBtnClick();  // does nothing without an address
    });
    QVERIFY(run.opened);
    QVERIFY(ipEmpty);
    QVERIFY(!enabled);
    QVERIFY(run.stillOpenAfter);
    QCOMPARE(UpgradeRequests(), std::size_t{0});
    QCOMPARE(simulator->Tftp().RequestCount(), std::size_t{0});
    QVERIFY(ui_.messages.isEmpty());
  }

  void selectionOutsideTheListCountsAsNoDevice() {
    StartDevices(1);
    session_.SelectedDevice = 5;
    form->PrepareForDevice(SelectedRecord(session_), session_.settings);
    QVERIFY(form->UpgradeIP->Text().isEmpty());
    session_.SelectedDevice = -1;
    form->PrepareForDevice(SelectedRecord(session_), session_.settings);
    QVERIFY(form->UpgradeIP->Text().isEmpty());
  }

  void missingFileDisablesUpgradeAtOnce() {
    StartDevices(1);
    const QString image = WriteImage(QStringLiteral("fw.bin"), Pattern(1000));
    form->UpgradeFile->SetText(image);
    form->PrepareForDevice(SelectedRecord(session_), session_.settings);
    QVERIFY(form->UpgradeBtn->isEnabled());
    form->UpgradeFile->SetText(FilePath(QStringLiteral("missing.bin")));
    QVERIFY(!form->UpgradeBtn->isEnabled());
    form->UpgradeFile->SetText(image);
    QVERIFY(form->UpgradeBtn->isEnabled());
    // Typed: one more letter names a file that is not there.
    QTest::keyClicks(form->UpgradeFile->Edit(), QStringLiteral("x"));
    QCOMPARE(form->UpgradeFile->Text(), image + u'x');
    QVERIFY(!form->UpgradeBtn->isEnabled());
    QTest::keyClick(form->UpgradeFile->Edit(), Qt::Key_Backspace);
    QVERIFY(form->UpgradeBtn->isEnabled());
    // A folder is no image.
    form->UpgradeFile->SetText(QString::fromStdString(dir->Path().string()));
    QVERIFY(!form->UpgradeBtn->isEnabled());
    form->UpgradeFile->SetText(QString());
    QVERIFY(!form->UpgradeBtn->isEnabled());
  }

  void uploadFillsTheBarAndClosesTheDialog() {
    StartDevices(1);
    const TBytes image = Pattern(300000, 7);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), image));
    QList<int> values;
    QList<int> maxima;
    bool barShown = true;
    connect(form->ProgressBar, &QProgressBar::valueChanged, form.get(), [&](int v) {
      values << v;
      maxima << form->ProgressBar->maximum();
      if (v > 0) barShown = barShown && form->ProgressBar->isVisible();
    });
    bool enabledBefore = false;
    const TModalRun run = RunModal(*form, session_, [&] {
      enabledBefore = form->UpgradeBtn->isEnabled();
      QTest::mouseClick(form->UpgradeBtn, Qt::LeftButton);
    });
    QVERIFY(run.opened);
    QVERIFY(enabledBefore);
    QVERIFY(!run.stillOpenAfter);  // closed by the end of the upload
    QCOMPARE(form->result(), int(QDialog::Rejected));
    QVERIFY(form->ProgressBar->isHidden());
    QVERIFY(ui_.messages.isEmpty());
    QVERIFY(!values.isEmpty());
    QCOMPARE(values.last(), int(image.size()));
    QCOMPARE(maxima.last(), int(image.size()));
    QVERIFY(barShown);
    for (qsizetype i = 1; i < values.size(); ++i) QVERIFY(values[i] > values[i - 1]);
    QCOMPARE(UpgradeRequests(), std::size_t{1});
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    const sim::TTftpTransfer t = simulator->Tftp().LastTransfer();
    QVERIFY(t.complete);
    QCOMPARE(t.fileName, std::string("/"));
    QCOMPARE(t.mode, std::string("octet"));
    QCOMPARE(t.blockSize, 1500);
    QVERIFY(t.image == image);
    QVERIFY(!form->IdTrivialFTP.Active());
    QVERIFY(form->UpgradeBtn->isEnabled());  // ready for the next opening
  }

  // Only a regular, non-empty file is an image: the dialog keeps Upgrade disabled, says why, and
  // a click sends nothing.
  void emptyFileOrFifoIsRefusedAndSaysWhy() {
    StartDevices(1);
    const std::size_t before = simulator->RequestCount();
    const QString folder = FilePath(QStringLiteral("image.dir"));
    QVERIFY(QDir().mkpath(folder));
    std::vector<std::pair<QString, QString>> cases = {
        {WriteImage(QStringLiteral("empty.bin"), {}), QStringLiteral("the file is empty")},
        {folder, QStringLiteral("it is a folder")},
    };
#ifndef _WIN32
    // Windows has no FIFO in its file system.
    const QString fifo = FilePath(QStringLiteral("image.fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    cases.emplace_back(fifo, QStringLiteral("it is not a regular file"));
#endif
    for (const auto& [file, reason] : cases) {
      form->UpgradeFile->SetText(file);
      QVERIFY(!form->UpgradeBtn->isEnabled());
      QVERIFY(form->ImageProblem->isVisibleTo(form.get()));
      QCOMPARE(form->ImageProblem->text(), reason);
      form->UpgradeBtn->click();
    }
    QCOMPARE(simulator->RequestCount(), before);
    QVERIFY(ui_.messages.isEmpty());
  }

  void hiddenDialogIgnoresAClick() {
    // A click queued during an upload arrives after the dialog has closed.
    StartDevices(1);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), Pattern(100)));
    form->PrepareForDevice(SelectedRecord(session_), session_.settings);
    QVERIFY(form->UpgradeBtn->isEnabled());
    form->UpgradeBtnClick();
    QVERIFY(!simulator->WaitForRequests(1, std::chrono::milliseconds(200)));
    QCOMPARE(simulator->Tftp().RequestCount(), std::size_t{0});
  }

  void errorPacketShowsTheDeviceMessage() {
    StartDevices(1);
    simulator->Tftp().SetSwitches(
        {.errorAtBlock = 2, .errorCode = 3, .errorMessage = "Flash full"});
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), Pattern(10000)));
    const TModalRun run = RunModal(*form, session_, [&] { form->UpgradeBtn->click(); });
    QVERIFY(run.opened);
    QVERIFY(!run.stillOpenAfter);
    QVERIFY(form->ProgressBar->isHidden());
    QCOMPARE(ui_.messages, QStringList{QStringLiteral("Transfert Error:  Flash full")});
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    QVERIFY(simulator->Tftp().LastTransfer().refused);
  }

  // The upload's silence outlasts the trigger exchange's listening limit: only the time-out is
  // told, no receive error of the trigger.
  void silentTftpSideTimesOut() {
    StartDevices(1);
    simulator->Tftp().SetSwitches({.silent = true});
    form->IdTrivialFTP.SetReceiveTimeout(300);  // 4 silent waits: 1.2 s
    session_.settings.timeLimit = std::chrono::milliseconds(500);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), Pattern(5000)));
    const TModalRun run = RunModal(*form, session_, [&] { form->UpgradeBtn->click(); });
    QVERIFY(!run.stillOpenAfter);
    QCOMPARE(ui_.messages, QStringList{QString::fromUtf8("Transfert Error:  Délai d'inactivité")});
  }

  void unconfirmedFinalBlockIsReportedAsAFailure() {
    // Only the final ACK proves that the whole image arrived.
    StartDevices(1);
    simulator->Tftp().SetSwitches({.noFinalAck = true});
    form->IdTrivialFTP.SetReceiveTimeout(300);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), Pattern(4000, 3)));
    const TModalRun run = RunModal(*form, session_, [&] { form->UpgradeBtn->click(); });
    QVERIFY(!run.stillOpenAfter);
    QVERIFY(form->ProgressBar->isHidden());
    QCOMPARE(ui_.messages, QStringList{QString::fromUtf8("Transfert Error:  Délai d'inactivité")});
  }

  void noAnswerToTheTriggerSaysSoAndLeavesTheDialogOpen() {
    StartDevices(1);
    simulator->SetSilent(true);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), Pattern(1000)));
    bool enabledAfter = false;
    const TModalRun run = RunModal(*form, session_, [&] {
      form->UpgradeBtn->click();
      QVERIFY(WaitWhileBusy(*form));
      enabledAfter = form->UpgradeBtn->isEnabled();
    });
    QVERIFY(run.opened);
    QVERIFY(run.stillOpenAfter);
    QVERIFY(enabledAfter);
    QCOMPARE(ui_.messages, QStringList{QStringLiteral("Device not responding")});
    QCOMPARE(ui_.kinds, QList<ui::MessageKind>{ui::MessageKind::Error});
    QVERIFY(simulator->WaitForRequests(1, std::chrono::seconds(1)));
    QCOMPARE(UpgradeRequests(), std::size_t{1 + kTriggerResends});  // sent again, then given up
    QCOMPARE(simulator->Tftp().RequestCount(), std::size_t{0});
    QVERIFY(form->ProgressBar->isHidden());
  }

  // Typed into the field, the port takes the image; the default 69 would reach nothing here.
  void uploadGoesToThePortTyped() {
    StartDevices(1);
    form->TftpPort->setValue(69);
    const TBytes image = Pattern(3000, 4);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), image));
    const QString port = QString::number(simulator->Tftp().Port());
    const TModalRun run = RunModal(*form, session_, [&] {
      form->TftpPort->setFocus();
      form->TftpPort->selectAll();
      QTest::keyClicks(form->TftpPort, port);
      form->UpgradeBtn->click();
    });
    QVERIFY(run.opened);
    QVERIFY(!run.stillOpenAfter);
    QVERIFY(ui_.messages.isEmpty());
    QCOMPARE(form->IdTrivialFTP.Port(), int(simulator->Tftp().Port()));
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    QVERIFY(simulator->Tftp().LastTransfer().image == image);
  }

  // The port and the image of an upgrade are there again in the next run's dialog.
  void portAndImageAreRememberedForTheNextRun() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(dir->Path().string()));
    ui::SetSettingsScope(QStringLiteral("velkaro-test"));
    StartDevices(1);
    const QString image = WriteImage(QStringLiteral("fw.bin"), Pattern(2000, 6));
    form->UpgradeFile->SetText(image);
    RunModal(*form, session_, [&] { form->UpgradeBtn->click(); });
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    const TUpgradeForm next;
    const int remembered = next.TftpPort->value();
    const QString lastImage = LastImageFile();
    const QString folder = ui::LastFolder(QString::fromLatin1(ui::kFirmwareFolderKey));
    ui::SetSettingsScope(QString());
    QCOMPARE(remembered, int(simulator->Tftp().Port()));
    QCOMPARE(lastImage, image);
    QCOMPARE(QDir(folder).canonicalPath(),
             QDir(QString::fromStdString(dir->Path().string())).canonicalPath());
    // Without a scope nothing is remembered.
    QCOMPARE(TUpgradeForm().TftpPort->value(), 69);
  }

  // Cancel while the device has not yet answered: nothing is asked and no image leaves, even
  // though the answer comes after all.
  void cancelWhileTheTriggerAnswerIsAwaited() {
    StartDevices(1);
    // Shared with the simulator's thread, which may still take a resent trigger afterwards.
    const auto triggered = std::make_shared<std::atomic<bool>>(false);
    const auto release = std::make_shared<std::atomic<bool>>(false);
    simulator->SetUpgradeHandler([triggered, release](const sim::TUpgradeEvent&) {
      *triggered = true;
      // The answer is held back until the test has clicked Cancel (bounded).
      for (int i = 0; i < 500 && !*release; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), Pattern(5000)));
    bool cancelEnabled = false;
    const TModalRun run = RunModal(*form, session_, [&] {
      form->UpgradeBtn->click();
      QVERIFY(QTest::qWaitFor([&] { return triggered->load(); }, 5000));
      cancelEnabled = form->CancelBtn->isEnabled();
      form->CancelBtn->click();
      *release = true;
    });
    *release = true;
    QVERIFY(run.opened);
    QVERIFY(cancelEnabled);
    QVERIFY(!run.stillOpenAfter);
    QVERIFY(ui_.questions.isEmpty());
    QVERIFY(ui_.messages.isEmpty());
    QVERIFY(UpgradeRequests() >= 1);  // answered once released, and still no image
    QVERIFY(!simulator->Tftp().WaitForTransfers(1, std::chrono::milliseconds(300)));
    QCOMPARE(simulator->Tftp().RequestCount(), std::size_t{0});
    QVERIFY(form->UpgradeBtn->isEnabled());  // ready for the next try
  }

  // Cancel during the transfer asks first: No lets it go on, Yes ends it with an ERROR packet
  // that the device's receiver sees, and the user is told the device may need a new upload.
  void cancelDuringTheTransferAsksThenEndsItWithAnError() {
    StartDevices(1);
    simulator->Tftp().SetSwitches({.stallAtBlock = 3, .idleTimeoutMs = 20000});
    form->IdTrivialFTP.SetReceiveTimeout(3000);  // 12 s before the client would give up
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), Pattern(20000, 8)));
    bool busyAfterNo = false;
    const TModalRun run = RunModal(*form, session_, [&] {
      form->UpgradeBtn->click();
      QVERIFY(QTest::qWaitFor([&] { return form->ProgressBar->value() > 0; }, 5000));
      ui_.questionAnswer = false;
      form->CancelBtn->click();
      QTest::qWait(200);
      busyAfterNo = form->Busy() && form->isVisible();
      ui_.questionAnswer = true;
      form->CancelBtn->click();
    });
    QVERIFY(run.opened);
    QVERIFY(busyAfterNo);
    QVERIFY(!run.stillOpenAfter);
    QCOMPARE(ui_.questions.size(), 2);
    QCOMPARE(ui_.questions.front(),
             QStringLiteral("Stop the upload? The device may then need a new upload."));
    QCOMPARE(ui_.messages,
             QStringList{QStringLiteral("Upload cancelled: the device may need a new upload.")});
    QCOMPARE(ui_.kinds, QList<ui::MessageKind>{ui::MessageKind::Warning});
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(5)));
    const sim::TTftpTransfer t = simulator->Tftp().LastTransfer();
    QVERIFY(!t.complete);
    QCOMPARE(t.blockNumbers.size(), std::size_t{3});
    QCOMPARE(t.clientErrorCode, std::uint16_t{0});
    QCOMPARE(t.clientError, std::string(TIdTrivialFTP::kCancelMessage));
    QVERIFY(form->ProgressBar->isHidden());
  }

  void cancelClosesTheDialog() {
    StartDevices(1);
    const TModalRun run = RunModal(*form, session_, [&] { form->CancelBtn->click(); });
    QVERIFY(run.opened);
    QVERIFY(!run.stillOpenAfter);
    QCOMPARE(form->result(), int(QDialog::Rejected));
    QCOMPARE(UpgradeRequests(), std::size_t{0});
  }

  void reopeningKeepsTheFileAndRefreshesTheAddress() {
    StartDevices(2);
    QCOMPARE(session_.DeviceList.size(), std::size_t{2});
    const QString image = WriteImage(QStringLiteral("fw.bin"), Pattern(2000));
    session_.SelectedDevice = 0;
    QString ip;
    RunModal(*form, session_, [&] {
      ip = form->UpgradeIP->Text();
      form->UpgradeFile->SetText(image);
      form->UpgradeBtn->click();
    });
    QCOMPARE(ip, QStringLiteral("127.0.0.1"));
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    session_.SelectedDevice = 1;
    QString file;
    bool enabled = false;
    const TModalRun run = RunModal(*form, session_, [&] {
      ip = form->UpgradeIP->Text();
      file = form->UpgradeFile->Text();
      enabled = form->UpgradeBtn->isEnabled();
      form->CancelBtn->click();
    });
    QVERIFY(run.opened);
    QCOMPARE(ip, QStringLiteral("127.0.0.2"));
    QCOMPARE(file, image);
    QVERIFY(enabled);
  }

  void repeatedAnswerUploadsOnce() {
    StartDevices(1);
    simulator->SetDuplicates(1);
    const std::size_t repliesBefore = simulator->RepliesSent();
    const TBytes image = Pattern(20000, 5);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), image));
    const TModalRun run = RunModal(*form, session_, [&] { form->UpgradeBtn->click(); });
    QVERIFY(!run.stillOpenAfter);
    QVERIFY(ui_.messages.isEmpty());
    QCOMPARE(simulator->RepliesSent() - repliesBefore, std::size_t{2});
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    QCOMPARE(simulator->Tftp().RequestCount(), std::size_t{1});
    QVERIFY(simulator->Tftp().LastTransfer().image == image);
    // The next click uploads again.
    const TModalRun again = RunModal(*form, session_, [&] { form->UpgradeBtn->click(); });
    QVERIFY(!again.stillOpenAfter);
    QVERIFY(simulator->Tftp().WaitForTransfers(2, std::chrono::seconds(3)));
    QCOMPARE(simulator->Tftp().RequestCount(), std::size_t{2});
  }

  void clicksAndClosingDuringAnUploadAreRefused() {
    StartDevices(1);
    const TBytes image = Pattern(200000, 9);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), image));
    int attempts = 0;
    bool openDuring = true;
    bool busyDuring = true;
    // Runs while the upload goes on, as any user input would.
    QTimer poke;
    poke.setInterval(0);
    connect(&poke, &QTimer::timeout, form.get(), [&] {
      // The dialog closes itself at the end of the upload, before its results are shown.
      if (!form->Busy() || !form->isVisible()) return;
      ++attempts;
      form->UpgradeBtnClick();
      form->reject();
      form->close();
      openDuring = openDuring && form->isVisible();
      busyDuring = busyDuring && form->Busy();
    });
    const TModalRun run = RunModal(*form, session_, [&] {
      poke.start();
      form->UpgradeBtn->click();
      QVERIFY(WaitWhileBusy(*form));
      poke.stop();
    });
    QVERIFY(attempts > 0);
    QVERIFY(openDuring);
    QVERIFY(busyDuring);
    QVERIFY(!run.stillOpenAfter);
    QVERIFY(ui_.messages.isEmpty());
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    QCOMPARE(simulator->Tftp().RequestCount(), std::size_t{1});
    QCOMPARE(UpgradeRequests(), std::size_t{1});
    QVERIFY(simulator->Tftp().LastTransfer().image == image);
  }

  // The device takes the whole image, then stays silent for the length of a receive timeout;
  // the window keeps handling events all along.
  void windowKeepsTickingDuringAnUpgrade() {
    StartDevices(1);
    simulator->Tftp().SetSwitches({.noFinalAck = true});
    form->IdTrivialFTP.SetReceiveTimeout(1000);
    const TBytes image = Pattern(300000, 11);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), image));
    int ticks = 0;
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    QTimer timer;
    timer.setInterval(20);
    connect(&timer, &QTimer::timeout, form.get(), [&] {
      if (!form->Busy()) return;
      if (sinceTick.isValid()) longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
      sinceTick.start();
      ++ticks;
    });
    timer.start();
    QElapsedTimer run;
    run.start();
    const TModalRun modal = RunModal(*form, session_, [&] { form->UpgradeBtn->click(); });
    timer.stop();
    QVERIFY(!modal.stillOpenAfter);
    QVERIFY(run.elapsed() >= 1000);  // the silence was really waited through
    qInfo("%d ticks in %lld ms, longest gap %lld ms", ticks, run.elapsed(), longestGapMs);
    QVERIFY2(ticks >= 25, qPrintable(QString::number(ticks)));
    QVERIFY2(longestGapMs < 1000, qPrintable(QString::number(longestGapMs)));
    QCOMPARE(ui_.messages, QStringList{QString::fromUtf8("Transfert Error:  Délai d'inactivité")});
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    QVERIFY(simulator->Tftp().LastTransfer().complete);
    QVERIFY(simulator->Tftp().LastTransfer().image == image);
  }

  void uploadHostRedirectsTheImageOnly() {
    // The demo's devices carry made-up addresses; only the trigger names them.
    sim::TSimOptions o;
    o.tftpPort = 0;
    o.models = {kModelZel4};
    simulator = velkaro::testing::StartLoopbackSimulator(
        o, [](sim::TSimulator& s) { s.SetValue(0, 2, TextToIp("10.0.0.2")); });
    simulator->Tftp().Start();
    simulator->ListDevices(session_);
    form->RedirectUploads(QStringLiteral("127.0.0.1"), simulator->Tftp().Port());
    const TBytes image = Pattern(3000, 2);
    form->UpgradeFile->SetText(WriteImage(QStringLiteral("fw.bin"), image));
    QString ip;
    const TModalRun run = RunModal(*form, session_, [&] {
      ip = form->UpgradeIP->Text();
      form->UpgradeBtn->click();
    });
    QCOMPARE(ip, QStringLiteral("10.0.0.2"));
    QVERIFY(!run.stillOpenAfter);
    QVERIFY(ui_.messages.isEmpty());
    QVERIFY(simulator->Tftp().WaitForTransfers(1, std::chrono::seconds(3)));
    QVERIFY(simulator->Tftp().LastTransfer().image == image);
    QCOMPARE(simulator->UpgradeCount(), std::size_t{1});
  }

  void fileGoneBeforeTheAnswerUploadsNothing() {
    StartDevices(1);
    simulator->SetReplyDelay(50);
    const QString image = WriteImage(QStringLiteral("fw.bin"), Pattern(1000));
    form->UpgradeFile->SetText(image);
    // The image disappears after the click's own check, before the device answers.
    simulator->SetUpgradeHandler([image](const sim::TUpgradeEvent&) { QFile::remove(image); });
    const TModalRun run = RunModal(*form, session_, [&] { form->UpgradeBtn->click(); });
    QVERIFY(run.stillOpenAfter);
    QVERIFY(ui_.messages.isEmpty());
    QCOMPARE(simulator->Tftp().RequestCount(), std::size_t{0});
    QVERIFY(!form->UpgradeBtn->isEnabled());
  }

  void screenshot() {
    StartDevices(1);
    form->UpgradeFile->SetText(QStringLiteral("/home/user/firmware/zel4-v2.31.bin"));
    form->PrepareForDevice(SelectedRecord(session_), session_.settings);
    form->IdTrivialFTPWorkBegin(form->IdTrivialFTP, wmWrite, 1000);
    form->IdTrivialFTPWork(form->IdTrivialFTP, wmWrite, 400);
    QCOMPARE(form->ProgressBar->value(), 400);
    form->IdTrivialFTPWork(form->IdTrivialFTP, wmWrite, 1001);  // beyond the maximum: ignored
    QCOMPARE(form->ProgressBar->value(), 400);
    const QImage picture = form->grab().toImage();
    QCOMPARE(picture.size(), QSize(444, 188) * form->devicePixelRatio());
    QDir().mkpath(QStringLiteral(VELKARO_SCREENSHOT_DIR));
    QVERIFY(picture.save(QStringLiteral(VELKARO_SCREENSHOT_DIR "/upgrade-form.png")));
    form->ProgressBar->hide();
  }
};

QTEST_MAIN(UpgradeFormTest)
#include "UpgradeFormTest.moc"
