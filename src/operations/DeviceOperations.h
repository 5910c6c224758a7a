// Device actions as the window and the command-line tool both run them: discovery, a complete
// read, a write and a save. Each returns what happened; telling the user is the caller's part.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "protocol/DeviceRecord.h"
#include "protocol/Exchange.h"

namespace velkaro::ops {

// Start-to-start spacing of the discovery exchanges of a scan.
inline constexpr std::chrono::milliseconds kScanInterval{250};

// One discovery exchange merged into DeviceList.
TExchangeResult DiscoverRound();

// Empties DeviceList, then runs up to `rounds` discovery exchanges kScanInterval apart, merging
// every reply. `done`, when given, is asked after each exchange and ends the cycle early by
// returning true. `rounds` in the result counts the exchanges run.
struct TDiscovery {
  TExchangeResult exchange;
  int rounds = 0;
};
TDiscovery DiscoverDevices(int rounds, const std::function<bool()>& done = {});

// Tags a full read asks for and a .cfg section holds that `record` has no value for.
std::vector<int> UnreportedTags(const TZEL& record);
// "1, 2, 3 and 4 more": the first ten tags of a list, for messages.
std::string TagListText(const std::vector<int>& tags);

struct TReadOutcome {
  TExchangeResult exchange;
  // The device itself answered the request that carries the last flag: a reply from another
  // sender proves nothing about this device.
  bool answered = false;
  std::vector<int> unreported;  // after the merge; only meaningful when answered
};
// ReadAll of a listed device, every reply merged into DeviceList.
TReadOutcome ReadDevice(int index);

struct TWriteOutcome {
  TExchangeResult exchange;
  int requests = 0;      // requests sent
  int acknowledged = 0;  // answers received
  bool finalAcknowledged = false;
  bool Confirmed() const { return finalAcknowledged && acknowledged >= requests; }
};
// WriteAll of the record's writable settings, or WriteGeneral of the General page only.
enum class TWriteScope { General, All };
TWriteOutcome WriteDevice(int index, TWriteScope scope);

struct TSaveOutcome {
  TReadOutcome read;
  bool saved = false;
  std::string error;  // why nothing was saved, when not saved and the read was complete
};
// Reads the device completely and stores its section in `fileName`. Nothing is saved when the
// device did not answer or left a value unreported.
TSaveOutcome SaveDevice(int index, const std::string& fileName);

}  // namespace velkaro::ops
