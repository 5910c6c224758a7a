#include "app/FormMain.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>

#include "about/About.h"
#include "app/ApplyForm.h"
#include "app/DeviceGrid.h"
#include "app/DeviceListExport.h"
#include "app/DeviceTableModel.h"
#include "app/InterfaceMenu.h"
#include "app/RestoreForm.h"
#include "app/ScanRunner.h"
#include "app/TagCaptions.h"
#include "app/WindowSettings.h"
#include "operations/ConfigRestore.h"
#include "operations/DeviceOperations.h"
#include "platform/AtomicFile.h"
#include "platform/Socket.h"
#include "protocol/ConfigFile.h"
#include "protocol/Exchange.h"
#include "protocol/Session.h"
#include "ui/AppIcons.h"
#include "ui/DeviceTextQt.h"
#include "ui/ExchangeWorker.h"
#include "ui/RememberedSettings.h"
#include "ui/UiSeams.h"
#include "version/Oem.h"

namespace velkaro {

namespace {

// Name, Type, IP Address, MAC Address, Interface, State; then the filler
constexpr int kDataColumns = TDeviceTableModel::kFiller;
constexpr int kScanTicks = 10;
constexpr int kFirstTickMs = 10;
constexpr int kNetworkTags[] = {1, 2, 3};  // subnet mask, IP address, gateway
constexpr int kTickMs = 250;
constexpr int kCellSlack = 4;  // keeps a full cell's text clear of the next column
constexpr int kWatchIntervalMs = 1000;
constexpr int kFrameRoom = 16;  // a window frame's borders and a title bar's share
// Rounds a device has to answer, after the watch started or yielded, before it may count as
// missing.
constexpr int kWatchGraceRounds = 3;

const QString kConfigFilter = QStringLiteral("Config files (*.cfg)|*.CFG|All files (*.*)|*.*");

// The proposed file name must not lead the save dialog into another folder.
QString SafeFileName(QString name) {
  for (QChar& c : name)
    if (c == u'/' || c == u'\\' || c.unicode() < 0x20) c = u'_';
  return name;
}

}  // namespace

TFormMain::TFormMain(TExchangeSettings settings, TModelFactories factories, QWidget* parent)
    : QMainWindow(parent) {
  Session.settings = std::move(settings);
  UseOem(Session, SelectOem());
  BuildComponents();
  FormCreate(std::move(factories));
}

TFormMain::~TFormMain() {
  Timer->stop();
  WatchTimer->stop();
}

void TFormMain::BuildComponents() {
  BuildMenus();
  BuildToolBar();

  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FilterEdit = new QLineEdit(client);
  FilterEdit->setObjectName(QStringLiteral("FilterEdit"));
  FilterEdit->setPlaceholderText(tr("Filter by name, type, IP or MAC address, interface"));
  FilterEdit->setClearButtonEnabled(true);
  FilterEdit->hide();
  layout->addWidget(FilterEdit);
  BuildGrid();
  layout->addWidget(StringGrid, 1);

  EmptyHint = new QLabel(tr("Press Scan (Ctrl+S) to find switches on your network"));
  EmptyHint->setObjectName(QStringLiteral("EmptyHint"));
  EmptyHint->setAlignment(Qt::AlignCenter);
  EmptyHint->setWordWrap(true);
  EmptyHint->setForegroundRole(QPalette::PlaceholderText);
  // Clicks go through to the grid below.
  EmptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* hintLayout = new QVBoxLayout(StringGrid->viewport());
  hintLayout->addWidget(EmptyHint);

  // The classic sizes were made for a small 8-point font in which a MAC address fits its
  // 100-pixel column; wider fonts scale the window and the columns alike.
  const QFontMetrics metrics(StringGrid->font());
  const int needed = metrics.horizontalAdvance(QStringLiteral("00.00.00.00.00.00")) +
                     2 * (StringGrid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) +
                     kCellSlack;
  sizeScale_ = std::max(1.0, needed / 100.0);
  // Room for the five data columns (the Interface column added 70) and a little filler.
  resize(Scaled(586), Scaled(250));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // Never larger than the screen it opens on, with room left for the window's frame.
    const QRect available = screen->availableGeometry();
    const QSize frame(kFrameRoom, kFrameRoom * 2);
    resize(size().boundedTo(available.size() - frame).expandedTo(QSize(1, 1)));
    move(available.center() - rect().center());
  }
  setWindowIcon(ui::ProgramIcon());

  ProgressBar = new QProgressBar(client);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setRange(0, 100);
  ProgressBar->setTextVisible(false);
  ProgressBar->setFixedHeight(4);
  ProgressBar->setStyleSheet(
      QStringLiteral("QProgressBar { border: 1px inset #808080; background: palette(window); }"
                     "QProgressBar::chunk { background: navy; }"));
  ProgressBar->hide();
  layout->addWidget(ProgressBar);
  setCentralWidget(client);

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  setStatusBar(StatusBar);

  scanRunner_ = new TScanRunner(Session, this);

  Timer = new QTimer(this);
  Timer->setObjectName(QStringLiteral("Timer"));
  Timer->setInterval(kTickMs);
  connect(Timer, &QTimer::timeout, this, &TFormMain::TimerTimer);

  WatchTimer = new QTimer(this);
  WatchTimer->setObjectName(QStringLiteral("WatchTimer"));
  WatchTimer->setInterval(kWatchIntervalMs);
  connect(WatchTimer, &QTimer::timeout, this, &TFormMain::WatchTick);
}

void TFormMain::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  ScanMenu = file->addAction(tr("&Scan"), this, &TFormMain::Scan);
  ScanMenu->setObjectName(QStringLiteral("ScanMenu"));
  ScanMenu->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  ConfigMenu = file->addAction(tr("&Configure"), this, &TFormMain::Config);
  ConfigMenu->setObjectName(QStringLiteral("ConfigMenu"));
  WebMenu = file->addAction(tr("&Web"), this, &TFormMain::Web);
  WebMenu->setObjectName(QStringLiteral("WebMenu"));
  file->addSeparator();
  SaveConfigMenu = file->addAction(tr("S&ave Config"), this, &TFormMain::SaveClick);
  SaveConfigMenu->setObjectName(QStringLiteral("SaveConfigMenu"));
  RestoreConfigMenu = file->addAction(tr("&Restore Config..."), this, &TFormMain::RestoreClick);
  RestoreConfigMenu->setObjectName(QStringLiteral("RestoreConfigMenu"));
  ExportListMenu = file->addAction(tr("&Export list\u2026"), this, &TFormMain::ExportListClick);
  ExportListMenu->setObjectName(QStringLiteral("ExportListMenu"));
  file->addSeparator();
  Interfaces = new TInterfaceMenu(file, Session.settings.interfaces);
  // An explicit target overrides the interfaces.
  Interfaces->Menu()->setEnabled(Session.settings.target.EveryInterface());
  file->addSeparator();
  ExitMenu = file->addAction(tr("E&xit"), this, &TFormMain::Quit);
  ExitMenu->setObjectName(QStringLiteral("ExitMenu"));

  QMenu* view = menuBar()->addMenu(tr("&View"));
  FilterMenu = view->addAction(tr("&Filter\u2026"), this, &TFormMain::ShowFilter);
  FilterMenu->setObjectName(QStringLiteral("FilterMenu"));
  FilterMenu->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  view->addSeparator();
  WatchMenu = view->addAction(tr("&Watch devices"));
  WatchMenu->setObjectName(QStringLiteral("WatchMenu"));
  WatchMenu->setCheckable(true);
  connect(WatchMenu, &QAction::toggled, this, &TFormMain::SetWatching);
  ForgetOfflineMenu =
      view->addAction(tr("F&orget offline devices"), this, &TFormMain::ForgetOffline);
  ForgetOfflineMenu->setObjectName(QStringLiteral("ForgetOfflineMenu"));
  ForgetOfflineMenu->setEnabled(false);

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  AboutMenu = help->addAction(tr("&About..."), this, &TFormMain::AboutMenuClick);
  AboutMenu->setObjectName(QStringLiteral("AboutMenu"));
  SaveDiagnosticsMenu = help->addAction(tr("Save &diagnostics\u2026"), this, [this] {
    if (diagnosticsHandler_) diagnosticsHandler_();
  });
  SaveDiagnosticsMenu->setObjectName(QStringLiteral("SaveDiagnosticsMenu"));
}

void TFormMain::BuildToolBar() {
  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setFixedHeight(42);
  ToolBar1->setIconSize(QSize(32, 32));
  ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, ToolBar1);

  const auto makeButton = [this](const char* name, const QString& icon, const QString& hint,
                                 void (TFormMain::*handler)()) {
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(ui::ToolIcon(icon));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(39, 38);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    connect(button, &QToolButton::clicked, this, handler);
    return button;
  };
  ScanButton = makeButton("ScanButton", QStringLiteral("scan"), tr("Scan"), &TFormMain::Scan);
  ConfigButton =
      makeButton("ConfigButton", QStringLiteral("configure"), tr("Configure"), &TFormMain::Config);
  WebButton = makeButton("WebButton", QStringLiteral("web"), tr("Web"), &TFormMain::Web);
  UpgradeButton = makeButton("UpgradeButton", QStringLiteral("upgrade"), QString(),
                             &TFormMain::UpgradeButtonClick);
  ToolBar1->addWidget(ScanButton);
  ToolBar1->addWidget(ConfigButton);
  ToolBar1->addWidget(WebButton);
  upgradeButtonAction_ = ToolBar1->addWidget(UpgradeButton);
  WatchButton = new QToolButton(ToolBar1);
  WatchButton->setObjectName(QStringLiteral("WatchButton"));
  WatchButton->setIcon(ui::ToolIcon(QStringLiteral("watch")));
  WatchButton->setIconSize(QSize(32, 32));
  WatchButton->setFixedSize(39, 38);
  WatchButton->setAutoRaise(true);
  WatchButton->setCheckable(true);
  WatchButton->setToolTip(tr("Watch devices: find them every second and show who goes offline"));
  connect(WatchButton, &QToolButton::toggled, this, &TFormMain::SetWatching);
  ToolBar1->addWidget(WatchButton);
}

void TFormMain::BuildKeyboardPaths() {
  // Tool bars leave their buttons out of the Tab chain; these are the window's main commands.
  for (QToolButton* button : {ScanButton, ConfigButton, WebButton, UpgradeButton})
    button->setFocusPolicy(Qt::TabFocus);
  // Tab leaves the grid instead of walking its cells; the arrows choose the row.
  StringGrid->setTabKeyNavigation(false);

  const QString upgradeHint = tr("Upgrade the firmware of the selected device (Ctrl+U)");
  UpgradeButton->setToolTip(upgradeHint);
  UpgradeMenu = new QAction(tr("&Upgrade..."), this);
  UpgradeMenu->setObjectName(QStringLiteral("UpgradeMenu"));
  UpgradeMenu->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
  UpgradeMenu->setToolTip(upgradeHint);
  UpgradeMenu->setStatusTip(upgradeHint);
  UpgradeMenu->setVisible(Session.oem.upgradeOffered);
  connect(UpgradeMenu, &QAction::triggered, UpgradeButton, &QToolButton::click);
  if (auto* file = qobject_cast<QMenu*>(RestoreConfigMenu->parent())) {
    const QList<QAction*> entries = file->actions();
    const qsizetype after = entries.indexOf(RestoreConfigMenu);
    file->insertAction(after + 1 < entries.size() ? entries[after + 1] : nullptr, UpgradeMenu);
    file->setToolTipsVisible(true);
    // Enabled when the button is; the shortcut of a disabled button's entry clicks nothing.
    connect(file, &QMenu::aboutToShow, this,
            [this] { UpgradeMenu->setEnabled(UpgradeButton->isEnabled()); });
  }

  // Enter on a row does what a double click does.
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* enter = new QShortcut(QKeySequence(key), StringGrid);
    enter->setContext(Qt::WidgetShortcut);
    connect(enter, &QShortcut::activated, ConfigButton, &QToolButton::click);
  }
}

void TFormMain::BuildGrid() {
  Devices = new TDeviceTableModel(Session, this);
  DeviceProxy = new TDeviceProxyModel(*Devices, this);
  StringGrid = new TDeviceGrid(*Devices, *DeviceProxy);
  StringGrid->setObjectName(QStringLiteral("StringGrid"));
  StringGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Ctrl and Shift clicks select several rows, for the upgrade of many devices at once.
  StringGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
  StringGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid->setShowGrid(false);
  StringGrid->setWordWrap(false);
  StringGrid->setCornerButtonEnabled(false);
  StringGrid->verticalHeader()->hide();
  // Room for the font in use; 16 pixels is the classic row and is kept whenever the font fits.
  StringGrid->verticalHeader()->setMinimumSectionSize(1);
  StringGrid->verticalHeader()->setDefaultSectionSize(
      std::max(16, StringGrid->fontMetrics().height() + 3));
  StringGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  QHeaderView* header = StringGrid->horizontalHeader();
  header->setHighlightSections(false);
  // A click sorts by the column, a second one the other way; the sort is stable.
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);
  StringGrid->setSortingEnabled(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);  // list order until a click
  header->setMinimumSectionSize(0);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionResizeMode(kDataColumns, QHeaderView::Fixed);
  header->setStretchLastSection(false);

  // The selected device is the current row's, wherever a sort or a filter moves it; a row the
  // filter hides leaves no device selected.
  connect(StringGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) {
            StringGridSelectCell(current.column(), current.isValid() ? current.row() + 1 : 0);
          });
  // A row the user picks during a scan wins over the one selected before it.
  connect(StringGrid, &QAbstractItemView::pressed, this,
          [this](const QModelIndex&) { keptSelection_.reset(); });
  connect(StringGrid, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex&) { StringGridDblClick(); });
  connect(DeviceProxy, &QAbstractItemModel::rowsInserted, this, &TFormMain::UpdateShownCount);
  connect(DeviceProxy, &QAbstractItemModel::modelReset, this, &TFormMain::UpdateShownCount);
  connect(FilterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
    DeviceProxy->SetNeedle(text);
    UpdateShownCount();
  });
  auto* hideFilter = new QShortcut(QKeySequence(Qt::Key_Escape), FilterEdit);
  hideFilter->setContext(Qt::WidgetShortcut);
  connect(hideFilter, &QShortcut::activated, this, [this] {
    FilterEdit->clear();
    FilterEdit->hide();
    StringGrid->setFocus();
  });
  // The filler column follows the user's column drags and horizontal scrolling.
  connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int) {
    if (column < kDataColumns) FitLastColumn();
  });
  connect(StringGrid->horizontalScrollBar(), &QScrollBar::valueChanged, this,
          &TFormMain::FitLastColumn);
}

void TFormMain::FormCreate(TModelFactories factories) {
  upgradeButtonAction_->setVisible(Session.oem.upgradeOffered);
  UpgradeButton->setEnabled(Session.oem.upgradeOffered);
  BuildKeyboardPaths();

  setWindowTitle(QApplication::applicationName());

  const int widths[kDataColumns + 1] = {150, 160, 90, 100, 70, 130, 0};
  for (int c = 0; c <= kDataColumns; ++c) StringGrid->setColumnWidth(c, Scaled(widths[c]));
  // Only watching tells online from offline.
  StringGrid->setColumnHidden(TDeviceTableModel::kState, true);

  dialogFactories_ = {{kModelZel1, std::move(factories.zel1)},
                      {kModelZel4, std::move(factories.zel4)},
                      {kModelZel8, std::move(factories.zel8)}};

  Session.settings.busy = ui::BusyCursorHook();
  Session.settings.showDeviceRow = [this](int index) { ShowDeviceRow(index); };
  ResetGrid();
  RestoreWindowState(*this, *StringGrid, kDataColumns);
  FitLastColumn();
}

int TFormMain::Scaled(int pixels) const {
  return static_cast<int>(std::lround(pixels * sizeScale_));
}

void TFormMain::SetUpgradeHandler(UpgradeHandler handler) {
  upgradeHandler_ = std::move(handler);
}

void TFormMain::SetFleetUpgradeHandler(FleetUpgradeHandler handler) {
  fleetUpgradeHandler_ = std::move(handler);
}

void TFormMain::SetRestoreRunner(RestoreRunner runner) {
  restoreRunner_ = std::move(runner);
}

bool TFormMain::RoundRunning() const {
  return scanRunner_->RoundRunning();
}

bool TFormMain::Scanning() const {
  return Timer->isActive() || scanRunner_->RoundRunning();
}

std::vector<int> TFormMain::SelectedDeviceIndexes() const {
  std::vector<int> indexes;
  for (const int index : StringGrid->SelectedSourceRows())
    if (static_cast<std::size_t>(index) < Session.DeviceList.size()) indexes.push_back(index);
  return indexes;
}

void TFormMain::SetDeviceActionsEnabled(bool enabled) {
  ConfigMenu->setEnabled(enabled);
  ConfigButton->setEnabled(enabled);
  WebMenu->setEnabled(enabled);
  WebButton->setEnabled(enabled);
  SaveConfigMenu->setEnabled(enabled);
  RestoreConfigMenu->setEnabled(enabled);
}

bool TFormMain::HasSelectedDevice() const {
  const int index = Session.SelectedDevice;
  return index >= 0 && static_cast<std::size_t>(index) < Session.DeviceList.size();
}

bool TFormMain::RequireSelectedDevice() {
  if (HasSelectedDevice()) return true;
  if (!Session.DeviceList.empty()) StatusBar->showMessage(tr("No device is selected"));
  return false;
}

void TFormMain::UpdateShownCount() {
  if (DeviceProxy->Needle().isEmpty()) return;
  StatusBar->showMessage(
      tr("%1 of %2 devices shown").arg(StringGrid->rowCount()).arg(Session.DeviceList.size()));
}

void TFormMain::ShowFilter() {
  FilterEdit->show();
  FilterEdit->setFocus();
  FilterEdit->selectAll();
}

void TFormMain::ShowFailure(const std::exception& error) {
  // Only a failed exchange is a connection error; anything else says what it is.
  const bool exchange = dynamic_cast<const TSocketError*>(&error) != nullptr;
  ui::ShowMessage(
      this,
      (exchange ? ui::CoreText(kConnectionErrorPrefix) : QString()) + ui::CoreText(error.what()),
      ui::MessageKind::Error);
}

void TFormMain::Scan() {
  // A watch round under way is no scan: its answers join the new list.
  if (Timer->isActive() || (RoundRunning() && !Watching()) || scanBlocked_) return;
  std::optional<TDeviceAddress> selected;
  if (HasSelectedDevice())
    selected = Session.DeviceList[static_cast<std::size_t>(Session.SelectedDevice)].address;
  ResetGrid();
  keptSelection_ = selected;
  scanRunner_->Errors().Clear();
  scanRunner_->TakeLateReplies();  // a watch round's stragglers belong to no scan
  tickWaiting_ = false;
  Session.settings.interfaces = Interfaces->Chosen();
  if (Session.settings.target.EveryInterface() && ChosenInterfaces(Session.settings).empty()) {
    // Said once here rather than by every exchange of the scan.
    StatusBar->showMessage(ui::CoreText(ops::kNoInterfaceText));
    return;
  }
  StatusBar->clearMessage();
  scanCounter_ = 0;
  Timer->setInterval(kFirstTickMs);
  Timer->start();
  ProgressBar->setValue(0);
  ProgressBar->show();
}

void TFormMain::SetScanBlocked(bool blocked) {
  scanBlocked_ = blocked;
  ScanButton->setEnabled(!blocked);
  ScanMenu->setEnabled(!blocked);
  if (blocked && Timer->isActive()) {
    // No further round: its discoveries would compete with the transfers.
    Timer->stop();
    tickWaiting_ = false;
    ProgressBar->hide();
  }
}

void TFormMain::ResetGrid() {
  SetDeviceActionsEnabled(false);
  Session.DeviceList.Clear();
  Devices->Reset();
  if (!Watching()) StringGrid->setColumnHidden(TDeviceTableModel::kState, true);
  ForgetOfflineMenu->setEnabled(false);
  // The first device listed becomes the selected one, as it arrives.
  Session.SelectedDevice = 0;
  StringGrid->viewport()->update();
  UpdateEmptyHint();
}

void TFormMain::TimerTimer() {
  // Ticks stay strictly one after another: a tick that comes while the round (or a modal box of
  // another action) is still under way runs as soon as it is over.
  if (scanRunner_->RoundRunning() || inExchange_) {
    tickWaiting_ = true;
    return;
  }
  tickWaiting_ = false;
  Timer->stop();
  if (scanCounter_ >= kScanTicks) {
    FinishScan();
    return;
  }
  ProgressBar->setValue(scanCounter_ * 10);
  Timer->setInterval(kTickMs);
  Timer->start();
  ++scanCounter_;
  scanRunner_->StartRound([this](const QString& failure) { StatusBar->showMessage(failure); },
                          [this] {
                            if (tickWaiting_) TimerTimer();
                          },
                          [this](const std::vector<TReply>& replies) {
                            MergeRoundReplies([this, &replies] {
                              // A device whose interface was silent this round may move to the one
                              // it answered on.
                              Session.DeviceList.StartRound();
                              for (const TReply& reply : replies) MergeReply(Session, reply);
                            });
                          });
}

void TFormMain::FinishScan() {
  ProgressBar->hide();
  const int found = static_cast<int>(Session.DeviceList.size());
  QString status = found == 1 ? tr("1 device found") : tr("%1 devices found").arg(found);
  if (Session.DeviceList.CapReached())
    status += QStringLiteral(". ") + ui::CoreText(kDeviceCapText);
  // A silent scan on real interfaces names them, and the usual cause.
  if (found == 0 && !ops::NoAnswerText(Session.settings).empty())
    status = ui::CoreText(ops::NoAnswerText(Session.settings));
  if (const int late = scanRunner_->TakeLateReplies(); late > 0)
    status += QStringLiteral(". ") + ui::CoreText(ops::LateRepliesText(late));
  if (moved_) status = ReportMovedDevice() + QStringLiteral(" ") + status;
  StatusBar->showMessage(status);
  keptSelection_.reset();
  UpdateEmptyHint();
  // One box for the whole scan, each failure once with its count.
  if (!scanRunner_->Errors().Empty()) {
    const QString summary = scanRunner_->Errors().Summary();
    scanRunner_->Errors().Clear();
    ui::ShowMessage(this, summary, ui::MessageKind::Error);
  }
}

QString TFormMain::ReportMovedDevice() {
  const TMovedDevice moved = *moved_;
  moved_.reset();
  const QString ip = QString::fromStdString(IpToText(moved.ip));
  const int index = Session.DeviceList.Find(moved.address);
  if (index >= 0 &&
      Session.DeviceList[static_cast<std::size_t>(index)].values.AsUInt(2) == moved.ip)
    return tr("%1 answers at %2.").arg(moved.name, ip);
  const QString warning =
      index >= 0
          ? tr("%1 was not heard at its new address %2; it still answers at %3.")
                .arg(moved.name, ip,
                     QString::fromStdString(IpToText(
                         Session.DeviceList[static_cast<std::size_t>(index)].values.AsUInt(2))))
          : tr("%1 was not heard at its new address %2.").arg(moved.name, ip);
  ui::ShowMessage(this, warning, ui::MessageKind::Warning);
  return warning;
}

void TFormMain::UpdateEmptyHint() {
  EmptyHint->setVisible(Session.DeviceList.empty());
}

void TFormMain::ShowDeviceRow(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= Session.DeviceList.size()) return;
  Devices->DeviceChanged(index);
  if (Devices->InBatch()) return;  // the round's end selects and enables
  SetDeviceActionsEnabled(true);
  const TZEL& record = Session.DeviceList[static_cast<std::size_t>(index)];
  if (keptSelection_ && *keptSelection_ == record.address) {
    keptSelection_.reset();
    StringGrid->setCurrentCell(StringGrid->ViewRow(index), 0);
  } else if (index == Session.SelectedDevice && StringGrid->currentRow() < 0) {
    // The device a new list starts with selected gets its row made current.
    StringGrid->setCurrentCell(StringGrid->ViewRow(index), 0);
    StringGrid->viewport()->update();
  }
  UpdateEmptyHint();
}

void TFormMain::MergeRoundReplies(const std::function<void()>& merge) {
  Devices->BeginBatch();
  merge();
  Devices->EndBatch();
  if (Session.DeviceList.empty()) return;
  SetDeviceActionsEnabled(true);
  if (keptSelection_) {
    if (const int kept = Session.DeviceList.Find(*keptSelection_); kept >= 0) {
      keptSelection_.reset();
      StringGrid->setCurrentCell(StringGrid->ViewRow(kept), 0);
    }
  }
  // The device a new list starts with selected gets its row made current.
  if (StringGrid->currentRow() < 0 && HasSelectedDevice())
    StringGrid->setCurrentCell(StringGrid->ViewRow(Session.SelectedDevice), 0);
  UpdateEmptyHint();
}

void TFormMain::StringGridSelectCell(int /*column*/, int row) {
  Session.SelectedDevice = row >= 1 ? StringGrid->SourceRow(row - 1) : -1;
}

void TFormMain::Config() {
  if (!RequireSelectedDevice()) return;
  const std::uint32_t model =
      Session.DeviceList[static_cast<std::size_t>(Session.SelectedDevice)].ModelCode();
  if (FindModel(model) < 0) return;
  const auto found = dialogFactories_.find(model);
  if (found == dialogFactories_.end() || !found->second) return;
  const DialogFactory& factory = found->second;
  try {
    std::unique_ptr<TPropertyDialog> dialog = factory(this);
    if (!dialog) return;
    const int index = Session.SelectedDevice;
    const TZEL before = Session.DeviceList[static_cast<std::size_t>(index)];
    dialog->SetDevice(Session, index);
    const int result = dialog->Execute();
    const bool written = result == 1 && dialog->WriteAnswered();
    dialog.reset();
    if (result == 1 && static_cast<std::size_t>(index) < Session.DeviceList.size()) {
      // Sent even when unanswered: a device that took its new address may answer only there.
      const TZEL& after = Session.DeviceList[static_cast<std::size_t>(index)];
      if (std::any_of(std::begin(kNetworkTags), std::end(kNetworkTags), [&](int tag) {
            return after.values.AsUInt(tag) != before.values.AsUInt(tag);
          }))
        moved_ = TMovedDevice{before.address, ui::DeviceTextToQString(before.values.AsText(7)),
                              after.values.AsUInt(2)};
    }
    if (result == 1) Scan();
    if (written) StatusBar->showMessage(tr("Configuration written"));
  } catch (const std::exception& e) {
    ShowFailure(e);
  }
}

QString TFormMain::DeviceUrl() const {
  if (!HasSelectedDevice()) return {};
  const TZEL& record = Session.DeviceList[static_cast<std::size_t>(Session.SelectedDevice)];
  return QStringLiteral("http://") + QString::fromStdString(IpToText(record.values.AsUInt(2))) +
         u':' + QString::number(record.values.AsUInt(4)) + u'/';
}

void TFormMain::Web() {
  if (!RequireSelectedDevice()) return;
  const QString url = DeviceUrl();
  if (url.isEmpty()) return;
  ui::OpenUrlOrShow(this, url);
}

void TFormMain::StringGridDblClick() {
  Web();
}

void TFormMain::SaveClick() {
  if (!RequireSelectedDevice()) return;
  const int device = Session.SelectedDevice;
  const TZEL& record = Session.DeviceList[static_cast<std::size_t>(device)];
  if (FindModel(record.ModelCode()) < 0) return;

  const QString name = ui::DeviceTextToQString(record.values.AsText(7));
  ui::TFileRequest request;
  request.title = tr("Save ") + name;
  request.fileName = ui::InLastFolder(QString::fromLatin1(ui::kConfigFolderKey),
                                      SafeFileName(name) + QStringLiteral(".cfg"));
  request.filter = ui::QtFilter(kConfigFilter);
  request.defaultExtension = QStringLiteral("cfg");
  // Saving adds or updates the device's section; the rest of an existing file stays.
  request.confirmOverwrite = false;
  const QString file = ui::ChooseSaveFile(this, request);
  if (file.isEmpty()) return;
  ui::RememberFolderOf(QString::fromLatin1(ui::kConfigFolderKey), file);

  // As the command-line tool: only the device's own answers count, and a lost answer saves
  // nothing. The read runs on a copy; a cancelled one leaves the list as it was.
  TZEL copy = record;
  ops::TReadOutcome read;
  inExchange_ = true;
  const bool completed = ui::RunWhileBusy(
      this, tr("Reading device…"),
      [&read, &copy, settings = Session.settings] { read = ops::ReadAll(settings, copy); });
  inExchange_ = false;
  // A device list rebuilt meanwhile no longer holds the device read.
  const bool stillListed =
      static_cast<std::size_t>(device) < Session.DeviceList.size() &&
      Session.DeviceList[static_cast<std::size_t>(device)].address == copy.address;
  if (!completed || !stillListed) return;
  ops::StoreReadRecord(Session, device, copy, read);
  ui::ShowExchangeErrors(read.exchange);
  const ops::TSaveOutcome save =
      ops::SaveReadDevice(Session, device, QFile::encodeName(file).toStdString(), std::move(read));
  saveAnswered_ = save.read.answered;
  if (save.saved) StatusBar->showMessage(tr("Saved to %1").arg(QDir::toNativeSeparators(file)));
  if (save.read.exchange.NoSocket()) {
    // nothing was sent; the box above says why
  } else if (!save.read.answered) {
    ui::ShowMessage(this, ui::CoreText(kDeviceNotResponding), ui::MessageKind::Error);
  } else if (!save.saved) {
    ui::ShowMessage(this, ui::CoreText(save.error), ui::MessageKind::Error);
  }
}

std::map<int, QString> TFormMain::ModelCaptions(std::uint32_t model) {
  const auto found = dialogFactories_.find(model);
  if (found == dialogFactories_.end() || !found->second) return {};
  const std::unique_ptr<TPropertyDialog> dialog = found->second(this);
  const auto* widget = dynamic_cast<const QWidget*>(dialog.get());
  return widget ? TagCaptions(widget) : std::map<int, QString>{};
}

void TFormMain::RestoreClick() {
  // Several rows take one section as a template; one row gets the restore of its own device.
  const std::vector<int> selected = SelectedDeviceIndexes();
  const bool many = selected.size() > 1;
  if (!many && !RequireSelectedDevice()) return;
  const int device = Session.SelectedDevice;
  if (!many && FindModel(Session.DeviceList[static_cast<std::size_t>(device)].ModelCode()) < 0)
    return;

  ui::TFileRequest request;
  request.title =
      many ? tr("Apply a template to %n devices", nullptr, static_cast<int>(selected.size()))
           : tr("Restore ") +
                 ui::DeviceTextToQString(
                     Session.DeviceList[static_cast<std::size_t>(device)].values.AsText(7));
  request.filter = ui::QtFilter(kConfigFilter);
  request.defaultExtension = QStringLiteral("cfg");
  request.mustExist = true;
  request.fileName = ui::LastFolder(QString::fromLatin1(ui::kConfigFolderKey));
  const QString file = ui::ChooseOpenFile(this, request);
  if (file.isEmpty()) return;
  ui::RememberFolderOf(QString::fromLatin1(ui::kConfigFolderKey), file);

  std::vector<ops::TCfgSection> sections;
  std::string error;
  if (!ops::ReadCfgFile(QFile::encodeName(file).toStdString(), sections, error)) {
    ui::ShowMessage(this, ui::CoreText(error), ui::MessageKind::Error);
    return;
  }
  if (sections.empty()) {
    ui::ShowMessage(this, tr("%1 holds no saved configuration.").arg(file), ui::MessageKind::Error);
    return;
  }
  bool written = false;
  try {
    if (many) {
      // Copies: the list may be rebuilt while the dialog is open.
      std::vector<TZEL> devices;
      std::map<std::uint32_t, TTagNames> names;
      for (const int index : selected) {
        const TZEL& record = Session.DeviceList[static_cast<std::size_t>(index)];
        devices.push_back(record);
        const std::uint32_t model = record.ModelCode();
        const auto factory = dialogFactories_.find(model);
        if (names.count(model) || factory == dialogFactories_.end() || !factory->second) continue;
        const std::unique_ptr<TPropertyDialog> dialog = factory->second(this);
        if (const auto* widget = dynamic_cast<const QWidget*>(dialog.get()))
          names[model] = {TagCaptions(widget), MaskedTags(widget)};
      }
      TApplyForm form(Session.settings, std::move(devices), file, std::move(sections),
                      std::move(names), this);
      form.exec();
      written = form.Written();
    } else {
      const TZEL& record = Session.DeviceList[static_cast<std::size_t>(device)];
      TRestoreForm form(Session, device, file, std::move(sections),
                        ModelCaptions(record.ModelCode()), this);
      if (restoreRunner_)
        restoreRunner_(form);
      else
        form.exec();
      written = form.Written();
    }
  } catch (const std::exception& e) {
    ShowFailure(e);
  }
  if (written) Scan();
}

void TFormMain::UpgradeButtonClick() {
  const std::vector<int> selected = SelectedDeviceIndexes();
  if (selected.size() > 1 && fleetUpgradeHandler_) {
    std::vector<TZEL> devices;
    for (const int index : selected)
      devices.push_back(Session.DeviceList[static_cast<std::size_t>(index)]);
    fleetUpgradeHandler_(std::move(devices), Session.settings);
    return;
  }
  if (!upgradeHandler_) return;
  if (!Session.DeviceList.empty() && !RequireSelectedDevice()) return;
  upgradeHandler_(SelectedRecord(Session), Session.settings);
}

void TFormMain::ExportListClick() {
  std::vector<int> shown;
  for (int row = 0; row < StringGrid->rowCount(); ++row)
    shown.push_back(StringGrid->SourceRow(row));
  if (shown.empty()) {
    StatusBar->showMessage(tr("No device is listed"));
    return;
  }
  ui::TFileRequest request;
  request.title = tr("Export list");
  request.fileName =
      ui::InLastFolder(QString::fromLatin1(ui::kConfigFolderKey), QStringLiteral("devices.csv"));
  request.filter = tr("CSV files (*.csv);;JSON files (*.json);;All files (*)");
  request.defaultExtension = QStringLiteral("csv");
  const QString file = ui::ChooseSaveFile(this, request);
  if (file.isEmpty()) return;
  ui::RememberFolderOf(QString::fromLatin1(ui::kConfigFolderKey), file);
  const QByteArray content = ExportDeviceList(Session, shown, ExportFormatOf(file));
  try {
    ReplaceFileContent(
        QFile::encodeName(file).toStdString(),
        std::string_view(content.constData(), static_cast<std::size_t>(content.size())));
  } catch (const std::exception& e) {
    ui::ShowMessage(this, tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(file), e.what()),
                    ui::MessageKind::Error);
    return;
  }
  const QString where = QDir::toNativeSeparators(file);
  StatusBar->showMessage(shown.size() == 1
                             ? tr("1 device exported to %1").arg(where)
                             : tr("%1 devices exported to %2").arg(shown.size()).arg(where));
}

bool TFormMain::Watching() const {
  return WatchTimer->isActive();
}

void TFormMain::SetWatchTimes(std::chrono::milliseconds interval,
                              std::chrono::milliseconds missingAfter) {
  WatchTimer->setInterval(static_cast<int>(interval.count()));
  watch_ = ops::TDeviceWatch(missingAfter);
}

void TFormMain::SetWatching(bool on) {
  if (on == Watching()) return;
  {
    // The menu entry and the tool button say the same.
    const QSignalBlocker menu(WatchMenu), button(WatchButton);
    WatchMenu->setChecked(on);
    WatchButton->setChecked(on);
  }
  watchRounds_ = 0;
  watchStatus_.clear();
  if (!on) {
    WatchTimer->stop();
    StatusBar->showMessage(tr("Watch stopped"));
    return;
  }
  StringGrid->setColumnHidden(TDeviceTableModel::kState, false);
  FitLastColumn();
  Session.settings.interfaces = Interfaces->Chosen();
  WatchTimer->start();
  StatusBar->showMessage(tr("Watching devices\u2026"));
  WatchTick();
}

void TFormMain::WatchTick() {
  if (!Watching() || scanRunner_->RoundRunning()) return;
  // Yields to a scan, a rollout, an action's exchange and any dialog, and starts over its grace
  // once they are over.
  if (Timer->isActive() || scanBlocked_ || inExchange_ || QApplication::activeModalWidget()) {
    watchRounds_ = 0;
    return;
  }
  if (Session.settings.target.EveryInterface() && ChosenInterfaces(Session.settings).empty()) {
    StatusBar->showMessage(ui::CoreText(ops::kNoInterfaceText));
    return;
  }
  scanRunner_->StartRound(
      [this](const QString& failure) { StatusBar->showMessage(failure); },
      [this] {
        if (tickWaiting_) TimerTimer();
      },
      [this](const std::vector<TReply>& replies) {
        std::vector<ops::TWatchEvent> events;
        MergeRoundReplies([&] { events = watch_.MergeRound(Session, replies); });
        FinishWatchRound(events);
      });
}

void TFormMain::FinishWatchRound(const std::vector<ops::TWatchEvent>& merged) {
  std::vector<ops::TWatchEvent> events = merged;
  if (++watchRounds_ >= kWatchGraceRounds) {
    std::vector<ops::TWatchEvent> missing = watch_.MarkMissing(Session);
    events.insert(events.end(), missing.begin(), missing.end());
  }
  Devices->PresenceChanged();
  int offline = 0;
  for (std::size_t i = 0; i < Session.DeviceList.size(); ++i)
    if (Session.DeviceList.PresenceOf(i).missing) ++offline;
  ForgetOfflineMenu->setEnabled(offline > 0);
  const int online = static_cast<int>(Session.DeviceList.size()) - offline;
  QString status = tr("%1 online, %2 offline").arg(online).arg(offline);
  // The latest device that went or came back is named.
  for (auto it = events.rbegin(); it != events.rend(); ++it) {
    const QString name = ui::DeviceTextToQString(it->device.values.AsText(7));
    if (it->kind == ops::TWatchEventKind::Missing) {
      status += tr(" \u2013 %1 went offline").arg(name);
      break;
    }
    if (it->kind == ops::TWatchEventKind::Back) {
      status += tr(" \u2013 %1 is back online").arg(name);
      break;
    }
  }
  if (status == watchStatus_ && events.empty()) return;
  watchStatus_ = status;
  StatusBar->showMessage(status);
}

void TFormMain::SelectListIndex(int index) {
  const int row = index >= 0 ? StringGrid->ViewRow(index) : -1;
  if (row >= 0) {
    StringGrid->setCurrentCell(row, 0);
  } else {
    StringGrid->selectionModel()->clear();
    Session.SelectedDevice = -1;
  }
}

void TFormMain::ForgetOffline() {
  std::optional<TDeviceAddress> selected;
  if (HasSelectedDevice())
    selected = Session.DeviceList[static_cast<std::size_t>(Session.SelectedDevice)].address;
  const std::size_t before = Session.DeviceList.size();
  Session.DeviceList.RemoveIf(
      [this](std::size_t index) { return Session.DeviceList.PresenceOf(index).missing; });
  const std::size_t forgotten = before - Session.DeviceList.size();
  Devices->Reset();
  if (!Session.DeviceList.empty())
    Devices->DeviceChanged(static_cast<int>(Session.DeviceList.size()) - 1);
  SelectListIndex(selected ? Session.DeviceList.Find(*selected) : -1);
  ForgetOfflineMenu->setEnabled(false);
  SetDeviceActionsEnabled(!Session.DeviceList.empty());
  UpdateEmptyHint();
  StatusBar->showMessage(forgotten == 1 ? tr("1 offline device forgotten")
                                        : tr("%1 offline devices forgotten").arg(forgotten));
}

void TFormMain::AboutMenuClick() {
  TFormAbout about(Session.oem);
  about.ShowAbout(this);
}

void TFormMain::Quit() {
  close();
  QCoreApplication::quit();
}

void TFormMain::FitLastColumn() {
  if (fitting_) return;
  fitting_ = true;
  int sum = 8;
  const int left = std::max(0, StringGrid->columnAt(0));
  for (int c = left; c < kDataColumns; ++c) sum += StringGrid->columnWidth(c);
  const int client = width();
  StringGrid->setColumnWidth(kDataColumns, sum > client ? 0 : client - sum);
  fitting_ = false;
}

void TFormMain::closeEvent(QCloseEvent* event) {
  SaveWindowState(*this, *StringGrid, kDataColumns);
  QMainWindow::closeEvent(event);
}

void TFormMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitLastColumn();
}

}  // namespace velkaro
