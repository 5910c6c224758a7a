// A property dialog as the main window sees it, and the factories that make one per model.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QWidget;

namespace velkaro {

struct TSession;

class TPropertyDialog {
 public:
  virtual ~TPropertyDialog() = default;
  // The device the dialog edits: the record at `index` of the session's DeviceList. The session
  // must outlive the dialog.
  virtual void SetDevice(TSession& session, int index) = 0;
  // Runs the dialog modally; returns 1 when the device was written (OK), any other value when
  // the user cancelled.
  virtual int Execute() = 0;
  // After Execute returned 1: the device acknowledged the write.
  virtual bool WriteAnswered() const { return false; }
};

// Creates a new dialog whose parent is `owner` (may be null); the caller owns it.
using DialogFactory = std::function<std::unique_ptr<TPropertyDialog>(QWidget* owner)>;
// Model code (tag 13) to the factory of its dialog.
using TDialogFactories = std::map<std::uint32_t, DialogFactory>;

}  // namespace velkaro
