// Shared by the dialog tests: a simulator on 127.0.0.1 that the program discovers into
// DeviceList, running a modal dialog with a scripted user, and decoding of the write requests the
// simulator received.
#pragma once

#include <QApplication>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "dialog/Zel1Form.h"
#include "dialog/Zel4Form.h"
#include "dialog/Zel8Form.h"
#include "dialog/ZelForm.h"
#include "protocol/Exchange.h"
#include "protocol/Session.h"
#include "sim/DeviceProfile.h"
#include "sim/Simulator.h"
#include "support/LoopbackSimulator.h"
#include "support/ModalDriver.h"

namespace velkaro::test {

// One simulated device of `model`, discovered into the session's DeviceList (index 0), with the
// session pointed at it.
inline std::unique_ptr<sim::TSimulator> StartDevice(
    TSession& session, std::uint32_t model,
    const std::function<void(sim::TSimulator&)>& prepare = {}) {
  sim::TSimOptions options;
  options.models = {model};
  auto simulator = testing::StartLoopbackSimulator(options, prepare);
  simulator->ListDevices(session);
  simulator->ClearRequests();
  return simulator;
}

// Runs form.Execute() while `user` acts on the dialog from inside its modal loop. The user must
// end the dialog; the test fails if it never shows or is still open after a few seconds.
inline int ExecuteWith(TZelForm& form, const std::function<void(TZelForm&)>& user,
                       std::source_location where = std::source_location::current()) {
  const TModalDriver<TZelForm> driver(user, {.only = &form}, where);
  return form.Execute();
}

inline constexpr std::uint8_t kWriteCommand = 2;

// Tag -> value bytes of one request.
using TItems = std::map<int, TBytes>;

// The items of every write request the simulator received, one map per request.
inline std::vector<TItems> WriteRequests(const sim::TSimulator& simulator) {
  std::vector<TItems> out;
  for (const auto& r : simulator.Requests()) {
    if (r.data.size() < kHeaderSize || r.data[kCommandOffset] != kWriteCommand) continue;
    TItems items;
    WalkReplyItems(r.data, [&](const TReplyItem& item) {
      if (item.tag != kListEnd) items[item.tag] = TBytes(item.value.begin(), item.value.end());
    });
    out.push_back(std::move(items));
  }
  return out;
}

// A model dialog showing a full record of `model` with every tab reachable, as after a completed
// read; `prepare` may change the record before it is loaded.
template <class TForm>
class TLoadedForm : public TForm {
 public:
  explicit TLoadedForm(std::uint32_t model, const std::function<void(TValueSlots&)>& prepare = {}) {
    this->local_zel_ = sim::MakeDeviceRecord(model, 0, 0x02005E000001ull);
    if (prepare) prepare(this->local_zel_.values);
    this->LoadControls();
    this->ShowOptionPages(true);
  }
};

// The loaded dialog of any of the three models.
inline std::unique_ptr<TZelForm> MakeLoadedForm(std::uint32_t model) {
  if (model == kModelZel1) return std::make_unique<TLoadedForm<Tzel1Form>>(model);
  if (model == kModelZel4) return std::make_unique<TLoadedForm<Tzel4Form>>(model);
  return std::make_unique<TLoadedForm<Tzel8Form>>(model);
}

// The offscreen platform is fixed at 96 dpi. VELKARO_TEST_FONT_DPI=120 makes the property
// dialogs draw their fonts as a 120-dpi desktop does; returns the resolution in effect.
inline int UseTestFontDpi() {
  const int dpi = qEnvironmentVariableIntValue("VELKARO_TEST_FONT_DPI");
  if (dpi <= 0) return QWidget().logicalDpiY();
  TZelForm::SetFontScale(dpi / static_cast<double>(QWidget().logicalDpiY()));
  return dpi;
}

// Every dialog a test made has been released, not merely hidden.
inline bool NoTopLevelWindowLeft() {
  return QApplication::topLevelWidgets().isEmpty();
}

}  // namespace velkaro::test
