// The property dialog frame against a simulated device: what the General page shows, what OK
// writes with and without the options, the Options toggle, Cancel, and a silent device.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>
#include <set>

#include "DialogTestSupport.h"
#include "dialog/CompactTabs.h"
#include "pages/BindingTag.h"
#include "pages/IPEdit.h"
#include "protocol/ModelRegistry.h"
#include "support/DataRows.h"
#include "support/UiRecorder.h"

using namespace velkaro;
using velkaro::test::ExecuteWith;
using velkaro::test::Part;
using velkaro::test::WriteRequests;

namespace {

constexpr char kNotResponding[] = "Device not responding";

// The frame plus one page built in code, as a model dialog would add it.
class TPagedForm : public TZelForm {
 public:
  TPagedForm() {
    Labels = new QWidget;
    InsertPage(PageControl, Labels, QStringLiteral("Labels"), 1);
    AddComponent(Labels);
    DeviceName = new QLineEdit(Labels);
    DeviceName->setMaxLength(32);
    SetTag(DeviceName, 7);
    AddComponent(DeviceName);
  }
  QWidget* Labels;
  QLineEdit* DeviceName;
};

std::set<int> Keys(const velkaro::test::TItems& items) {
  std::set<int> keys;
  for (const auto& [tag, value] : items) keys.insert(tag);
  return keys;
}

TBytes IpBytes(std::uint32_t ip) {
  return {static_cast<std::uint8_t>(ip >> 24), static_cast<std::uint8_t>(ip >> 16),
          static_cast<std::uint8_t>(ip >> 8), static_cast<std::uint8_t>(ip)};
}

QString IpText(std::uint32_t ip) {
  return QString::fromStdString(IpToText(ip));
}

// What the General page and the buttons say.
const velkaro::test::TWidgetRow<TZelForm, const char*> kCaptions[] = {
    {"IP box", Part<&TZelForm::IPBox>, " Use the following IP Address "},
    {"port box", Part<&TZelForm::PortBox>, " Use the following TCP Port "},
    {"config box", Part<&TZelForm::ConfigBox>, " Configuration "},
    {"IP address label", Part<&TZelForm::IPAddressLabel>, "IP Address :"},
    {"subnet mask label", Part<&TZelForm::submaskLabel>, "Subnet Mask :"},
    {"gateway label", Part<&TZelForm::gatewayLabel>, "Gateway :"},
    {"port label", Part<&TZelForm::PortLabel>, "Port Number :"},
    {"velkaro label", Part<&TZelForm::velkaroLabel>, "Velkaro authorized :"},
    {"http label", Part<&TZelForm::httpLabel>, "HTTP authorized :"},
    {"options button", Part<&TZelForm::AvanceButton>, "Options -->>"},
    {"OK button", Part<&TZelForm::OKBtn>, "OK"},
    {"cancel button", Part<&TZelForm::CancelBtn>, "Cancel"},
};

// Group boxes show a title, labels and buttons a text.
QString Caption(const QWidget* w) {
  if (auto* box = qobject_cast<const QGroupBox*>(w)) return box->title();
  if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
  return QStringLiteral("<no caption>");
}

const velkaro::test::TWidgetRow<TZelForm, int> kTags[] = {
    {"IP address", Part<&TZelForm::ipaddress>, 2},
    {"subnet mask", Part<&TZelForm::submask>, 1},
    {"gateway", Part<&TZelForm::gateway>, 3},
    {"port", Part<&TZelForm::Port>, 4},
    {"velkaro authorized", Part<&TZelForm::velkaro_authorized>, 6},
    {"http authorized", Part<&TZelForm::http_authorized>, 4102},
    {"IP address label", Part<&TZelForm::IPAddressLabel>, 0},
};

}  // namespace

class ZelFormTest : public QObject {
  Q_OBJECT

  velkaro::test::TUiRecorder ui_;
  TSession session;  // each test\'s own, made afresh in init()
  std::unique_ptr<sim::TSimulator> sim_;

 private slots:
  void initTestCase() { ui_.Install(); }
  void init() {
    ui_.Clear();
    session = {};
    session.settings.busy = ui::BusyCursorHook();
  }
  void cleanup() {
    sim_.reset();
    QVERIFY(velkaro::test::NoTopLevelWindowLeft());
  }
  void cleanupTestCase() { ui::ResetUiHooks(); }

  void constructionGivesGeneralPage() {
    TZelForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Properties"));
    QCOMPARE(form.PageControl->count(), 1);
    QCOMPARE(form.PageControl->currentWidget(), form.General);
    QCOMPARE(form.PageControl->tabText(0), QStringLiteral("General"));
    QVERIFY(form.OKBtn->isDefault());
    QCOMPARE(form.Port->minimum(), 1);
    QCOMPARE(form.Port->maximum(), 65535);
    QCOMPARE(form.Port->value(), 1);
    // Form-description components in declaration order.
    const std::vector<QWidget*> expected{
        form.PageControl,    form.General,         form.IPBox,
        form.IPAddressLabel, form.ipaddress,       form.submaskLabel,
        form.submask,        form.gatewayLabel,    form.gateway,
        form.PortBox,        form.PortLabel,       form.Port,
        form.ConfigBox,      form.velkaroLabel,    form.velkaro_authorized,
        form.httpLabel,      form.http_authorized, form.AvanceButton,
        form.OKBtn,          form.CancelBtn};
    QVERIFY(form.Components() == expected);
  }

  void generalPageCaptions_data() { velkaro::test::AddRows(kCaptions); }
  void generalPageCaptions() {
    TZelForm form;
    const auto& row = velkaro::test::FetchRow(kCaptions);
    QCOMPARE(Caption(row.widget(form)), QString::fromLatin1(row.expected));
  }

  void generalPageTags_data() { velkaro::test::AddRows(kTags); }
  void generalPageTags() {
    TZelForm form;
    const auto& row = velkaro::test::FetchRow(kTags);
    QCOMPARE(TagOf(row.widget(form)), row.expected);
  }

  // The classic frame, widened by the side tabs; the buttons are 75 wide unless their captions
  // need more.
  void frameArrangement() {
    TZelForm form;
    const int tabs = SideTabsWidth(form.PageControl);
    QVERIFY(tabs > 0);
    QCOMPARE(form.PageControl->tabPosition(), QTabWidget::West);
    QCOMPARE(form.size(), QSize(345 + tabs, 373));
    QCOMPARE(form.PageControl->geometry(), QRect(8, 8, 330 + tabs, 329));
    form.ArrangeFrame(447, 411, 430, 368, 384);
    QCOMPARE(form.size(), QSize(447 + tabs, 411));
    QCOMPARE(form.minimumSize(), form.maximumSize());  // not resizable
    QCOMPARE(form.PageControl->geometry(), QRect(8, 8, 430 + tabs, 368));
    const int w = form.AvanceButton->width();
    QVERIFY(w >= 75);
    QCOMPARE(form.AvanceButton->geometry(), QRect(8, 384, w, 25));
    QCOMPARE(form.CancelBtn->geometry(), QRect(447 + tabs - 8 - w, 384, w, 25));
    QCOMPARE(form.OKBtn->geometry(), QRect(447 + tabs - 8 - w - 5 - w, 384, w, 25));
  }

  void discoveryValuesShownAndCancelWritesNothing() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1, [](sim::TSimulator& s) {
      s.SetValue(0, 6, std::uint32_t{0xFD});  // bit 0 set, bit 1 clear, upper bits set
    });
    const TZEL device = sim_->Snapshot(0);
    const TZEL before = session.DeviceList[0];
    TPagedForm form;
    form.SetDevice(session, 0);
    QString ip, mask, gw, caption;
    int port = 0;
    bool velkaro = false, http = true, labelsTab = true;
    const int r = ExecuteWith(form, [&](TZelForm&) {
      ip = form.ipaddress->Text();
      mask = form.submask->Text();
      gw = form.gateway->Text();
      port = form.Port->value();
      velkaro = form.velkaro_authorized->isChecked();
      http = form.http_authorized->isChecked();
      labelsTab = form.PageControl->isTabVisible(1);
      caption = form.AvanceButton->text();
      form.gateway->SetText(QStringLiteral("10.0.0.99"));  // edited, then cancelled
      form.CancelBtn->click();
    });
    QCOMPARE(r, 2);
    QCOMPARE(ip, IpText(device.values.AsUInt(2)));
    QCOMPARE(mask, IpText(device.values.AsUInt(1)));
    QCOMPARE(gw, IpText(device.values.AsUInt(3)));
    QCOMPARE(port, static_cast<int>(device.values.AsUInt(4)));
    QVERIFY(velkaro);
    QVERIFY(!http);
    QVERIFY(!labelsTab);  // only General is reachable
    QCOMPARE(caption, QStringLiteral("Options -->>"));
    QCOMPARE(form.DeviceIndex(), 0);
    QVERIFY(!form.OptionsLoaded());
    // The device's own name (tag 7, from the discovery) reached the hidden page too.
    QCOMPARE(form.DeviceName->text(), QString::fromStdString(device.values.AsText(7)));
    QCOMPARE(sim_->RequestCount(), std::size_t{0});
    QVERIFY(session.DeviceList[0] == before);
    QVERIFY(sim_->Snapshot(0) == device);
    QVERIFY(ui_.messages.isEmpty());
  }

  void absentPortShowsItsDefault() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    session.DeviceList[0].values.Clear(4);  // a discovery reply without the port
    TZelForm form;
    form.SetDevice(session, 0);
    int port = 0;
    QString ip;
    ExecuteWith(form, [&](TZelForm& f) {
      port = f.Port->value();
      ip = f.ipaddress->Text();
      f.CancelBtn->click();
    });
    QCOMPARE(port, 1);
    QCOMPARE(ip, IpText(session.DeviceList[0].values.AsUInt(2)));
  }

  void okWithoutOptionsWritesGeneralOnly() {
    sim_ = velkaro::test::StartDevice(
        session, kModelZel1, [](sim::TSimulator& s) { s.SetValue(0, 6, std::uint32_t{0xFD}); });
    const TZEL device = sim_->Snapshot(0);
    TZelForm form;
    form.SetDevice(session, 0);
    ui_.questionAnswer = true;  // the new gateway is confirmed
    const int r = ExecuteWith(form, [](TZelForm& f) {
      f.gateway->SetText(QStringLiteral("10.1.2.254"));
      f.Port->setValue(8080);
      f.http_authorized->setChecked(true);
      f.OKBtn->click();
    });
    QCOMPARE(r, 1);
    QCOMPARE(ui_.questions.size(), 1);
    const auto writes = WriteRequests(*sim_);
    QCOMPARE(writes.size(), std::size_t{1});
    QVERIFY((Keys(writes[0]) == std::set<int>{1, 2, 3, 4, 6}));
    QVERIFY(writes[0].at(6) == TBytes{0x03});  // bits 2-7 cleared
    QVERIFY(writes[0].at(3) == IpBytes(TextToIp("10.1.2.254")));
    QVERIFY(writes[0].at(2) == IpBytes(device.values.AsUInt(2)));
    QVERIFY((writes[0].at(4) == TBytes{0x1F, 0x90}));
    const TZEL after = sim_->Snapshot(0);
    QCOMPARE(after.values.AsUInt(3), TextToIp("10.1.2.254"));
    QCOMPARE(after.values.AsUInt(6), 3u);
    QCOMPARE(after.values.AsText(7), device.values.AsText(7));
    // The edited copy went back into the list before the write.
    QCOMPARE(session.DeviceList[0].values.AsUInt(3), TextToIp("10.1.2.254"));
    QCOMPARE(session.DeviceList[0].values.AsUInt(4), 8080u);
    QVERIFY(form.WriteAnswered());
    QVERIFY(ui_.messages.isEmpty());
  }

  void optionsAfterEditsReloadsDeviceValues() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    const TZEL device = sim_->Snapshot(0);
    QVERIFY(!session.DeviceList[0].values.Has(40));  // not carried by the discovery
    TPagedForm form;
    form.SetDevice(session, 0);
    QString ip, name, caption;
    bool loaded = false, tab = false, read = false;
    const int r = ExecuteWith(form, [&](TZelForm&) {
      form.ipaddress->SetText(QStringLiteral("10.9.8.7"));
      form.DeviceName->setText(QStringLiteral("edited"));
      form.AvanceButton->click();
      ip = form.ipaddress->Text();
      name = form.DeviceName->text();
      caption = form.AvanceButton->text();
      loaded = form.OptionsLoaded();
      read = form.ReadAnswered();
      tab = form.PageControl->isTabVisible(1);
      form.CancelBtn->click();
    });
    QCOMPARE(r, 2);
    QCOMPARE(ip, IpText(device.values.AsUInt(2)));
    QCOMPARE(name, QString::fromStdString(device.values.AsText(7)));
    QCOMPARE(caption, QStringLiteral("<<-- Options"));
    QVERIFY(loaded);
    QVERIFY(read);
    QVERIFY(tab);
    QVERIFY(WriteRequests(*sim_).empty());
    // Cancel keeps what the read merged into the list.
    QCOMPARE(session.DeviceList[0].values.AsText(40), device.values.AsText(40));
    QVERIFY(ui_.messages.isEmpty());
  }

  void optionsBackThenOkWritesGeneralOnly() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    const TZEL device = sim_->Snapshot(0);
    TPagedForm form;
    form.SetDevice(session, 0);
    QString caption;
    bool loaded = true, tab = true, full = false;
    int current = -1;
    const int r = ExecuteWith(form, [&](TZelForm&) {
      form.AvanceButton->click();
      form.PageControl->setCurrentIndex(1);
      form.AvanceButton->click();
      caption = form.AvanceButton->text();
      loaded = form.OptionsLoaded();
      tab = form.PageControl->isTabVisible(1);
      current = form.PageControl->currentIndex();
      full = form.local_zel().values.Has(40);
      form.DeviceName->setText(QStringLiteral("not sent"));
      form.OKBtn->click();
    });
    QCOMPARE(r, 1);
    QCOMPARE(caption, QStringLiteral("Options -->>"));
    QVERIFY(!loaded);
    QVERIFY(!tab);
    QCOMPARE(current, 0);
    QVERIFY(full);  // the values read stay in the working copy
    const auto writes = WriteRequests(*sim_);
    QCOMPARE(writes.size(), std::size_t{1});
    QVERIFY((Keys(writes[0]) == std::set<int>{1, 2, 3, 4, 6}));
    QCOMPARE(sim_->Snapshot(0).values.AsText(7), device.values.AsText(7));
  }

  void optionsThenOkWritesEveryWritableParameter() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    TPagedForm form;
    form.SetDevice(session, 0);
    const int r = ExecuteWith(form, [&](TZelForm&) {
      form.AvanceButton->click();
      form.DeviceName->setText(QStringLiteral("Rack room"));
      form.OKBtn->click();
    });
    QCOMPARE(r, 1);
    std::set<int> sent;
    for (const auto& w : WriteRequests(*sim_))
      for (const auto& [tag, value] : w) sent.insert(tag);
    std::set<int> writable;
    for (TDescriptor d : Zel1Descriptors()) {
      const int type = DescriptorType(d) & 0x7F;
      if (DescriptorFlags(d) != 0 && type >= 1 && type <= 5) writable.insert(DescriptorTag(d));
    }
    QVERIFY(sent == writable);
    QCOMPARE(sim_->Snapshot(0).values.AsText(7), std::string("Rack room"));
    QCOMPARE(session.DeviceList[0].values.AsText(7), std::string("Rack room"));
    QVERIFY(ui_.messages.isEmpty());
  }

  void silentDeviceOnReadSaysNotResponding() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    sim_->SetSilent(true);
    TPagedForm form;
    form.SetDevice(session, 0);
    QStringList seen;
    bool loaded = true, tab = true;
    QString caption;
    const TZEL local = session.DeviceList[0];
    bool unchanged = false;
    const int r = ExecuteWith(form, [&](TZelForm&) {
      form.AvanceButton->click();
      seen = ui_.messages;
      loaded = form.OptionsLoaded();
      tab = form.PageControl->isTabVisible(1);
      caption = form.AvanceButton->text();
      unchanged = form.local_zel() == local;
      form.CancelBtn->click();
    });
    QCOMPARE(r, 2);
    QCOMPARE(seen, QStringList{kNotResponding});
    QVERIFY(!loaded);
    QVERIFY(!tab);
    QVERIFY(unchanged);
    QCOMPARE(caption, QStringLiteral("Options -->>"));
    QVERIFY(!form.ReadAnswered());
  }

  void silentDeviceOnWriteSaysNotRespondingAfterClosing() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    sim_->SetSilent(true);
    TZelForm form;
    form.SetDevice(session, 0);
    bool visibleAtMessage = true;
    ui_.onMessage = [&](const QString&) { visibleAtMessage = form.isVisible(); };
    ui_.questionAnswer = true;
    const int r = ExecuteWith(form, [](TZelForm& f) {
      f.gateway->SetText(QStringLiteral("10.0.0.42"));
      f.OKBtn->click();
    });
    ui_.onMessage = {};
    QCOMPARE(r, 1);
    QCOMPARE(ui_.messages, QStringList{kNotResponding});
    QVERIFY(!visibleAtMessage);
    QVERIFY(!form.WriteAnswered());
    // Sent again twice after silent periods, then given up.
    QCOMPARE(WriteRequests(*sim_).size(), std::size_t{1 + kWriteResends});
    QCOMPARE(session.DeviceList[0].values.AsUInt(3), TextToIp("10.0.0.42"));
  }

  void escapeAndCloseBoxCancel() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    {
      TZelForm form;
      form.SetDevice(session, 0);
      QCOMPARE(ExecuteWith(form, [](TZelForm& f) { QTest::keyClick(&f, Qt::Key_Escape); }), 2);
    }
    {
      TZelForm form;
      form.SetDevice(session, 0);
      QCOMPARE(ExecuteWith(form, [](TZelForm& f) { f.close(); }), 2);
    }
    QVERIFY(WriteRequests(*sim_).empty());
  }

  void emptyAddressKeepsDialogOpen() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    TZelForm form;
    form.SetDevice(session, 0);
    bool stillOpen = false;
    QStringList seen;
    ui_.questionAnswer = true;
    const int r = ExecuteWith(form, [&](TZelForm& f) {
      f.submask->SetText(QString());
      f.OKBtn->click();
      stillOpen = f.isVisible();
      seen = ui_.messages;
      f.submask->SetText(QStringLiteral("255.255.0.0"));
      f.OKBtn->click();
    });
    QVERIFY(stillOpen);
    QCOMPARE(seen, QStringList{QStringLiteral("Please enter a valid Subnet Mask.")});
    QCOMPARE(r, 1);
    const auto writes = WriteRequests(*sim_);
    QCOMPARE(writes.size(), std::size_t{1});
    QVERIFY(writes[0].at(1) == IpBytes(TextToIp("255.255.0.0")));
  }

  void indexOutsideTheListShowsNothing() {
    sim_ = velkaro::test::StartDevice(session, kModelZel1);
    TZelForm form;
    form.SetDevice(session, 3);
    {
      const velkaro::test::TModalDriver<TZelForm> driver([](TZelForm& f) { f.OKBtn->click(); },
                                                         {.only = &form, .mustAppear = false});
      QCOMPARE(form.Execute(), 2);
    }
    QCOMPARE(sim_->RequestCount(), std::size_t{0});
  }
};

QTEST_MAIN(ZelFormTest)
#include "ZelFormTest.moc"
