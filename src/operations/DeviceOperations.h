// Device actions as the window and the command-line tool both run them: discovery, a complete
// read, a write and a save. Each returns what happened; telling the user is the caller's part.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "protocol/DeviceRecord.h"
#include "protocol/Exchange.h"
#include "protocol/Session.h"

namespace velkaro::ops {

// Said when a scan on the interfaces could not start: none is usable.
inline constexpr const char* kNoInterfaceText =
    "No usable network interface: none is up with an IPv4 broadcast address (loopback does not "
    "count)";
// Said when a whole scan on the interfaces got no reply: which were tried, and what a firewall
// must let in. Empty with an explicit target, where nothing is to be said beyond the silence.
std::string NoAnswerText(const TExchangeSettings& settings);

// Start-to-start spacing of the discovery exchanges of a scan.
inline constexpr std::chrono::milliseconds kScanInterval{250};

// How long a scan keeps its last round's sockets open for answers that come late.
inline constexpr std::chrono::milliseconds kLateReplyLinger{250};

// One discovery exchange merged into the session's DeviceList; with `late`, its sockets stay
// open there for answers after the listening.
TExchangeResult DiscoverRound(TSession& session, TLateReplies* late = nullptr);

// Empties the session's DeviceList, then runs up to `rounds` discovery exchanges kScanInterval
// apart, merging every reply. `done`, when given, is asked after each exchange and ends the cycle
// early by returning true. `rounds` in the result counts the exchanges run. Answers that come
// after a round's listening, until the next round starts (and for `linger` after the last round
// of a cycle that ran all its rounds), are counted in `late` and never merged.
struct TDiscovery {
  TExchangeResult exchange;
  int rounds = 0;
  int late = 0;
};
TDiscovery DiscoverDevices(TSession& session, int rounds, const std::function<bool()>& done = {},
                           std::chrono::milliseconds linger = {});

// Said once per scan whose exchanges got `count` (> 0) answers after their listening period.
std::string LateRepliesText(int count);

// Tags a full read asks for and a .cfg section holds that `record` has no value for.
std::vector<int> UnreportedTags(const TZEL& record);
// "1, 2, 3 and 4 more": the first ten tags of a list, for messages.
std::string TagListText(const std::vector<int>& tags);

// A read request whose answer is lost is sent this many times more before the read fails.
inline constexpr int kReadRepeats = 2;

struct TReadOutcome {
  TExchangeResult exchange;
  // The device itself answered every read request (a lost answer is asked again): a reply from
  // another sender proves nothing about this device.
  bool answered = false;
  // Tags the device did not report although it answered every request; only meaningful when
  // answered. Firmware may simply lack them: they are never written back.
  std::vector<int> unreported;
};
// Reads `record` completely, one request per range of 100 tags up to its model's largest,
// merging only its own replies into it. Touches nothing but the record, so devices may be read
// from several threads at once.
TReadOutcome ReadAll(const TExchangeSettings& settings, TZEL& record);
// ReadAll of a listed device (std::out_of_range for an index outside the list): the record in
// the session's DeviceList is updated, its row shown, and the busy cursor on meanwhile.
TReadOutcome ReadDevice(TSession& session, int index);
// The second half of ReadDevice, for a read run elsewhere on a copy of the record: puts `record`
// back into the DeviceList and shows its row when the device answered.
void StoreReadRecord(TSession& session, int index, const TZEL& record, const TReadOutcome& outcome);

struct TWriteOutcome {
  TExchangeResult exchange;
  int requests = 0;      // requests sent
  int acknowledged = 0;  // answers received
  bool finalAcknowledged = false;
  bool Confirmed() const { return finalAcknowledged && acknowledged >= requests; }
};
// WriteAll sends the record's writable settings, WriteGeneral those of the General page only
// (tags 1-4 and 6, in one request). Only tags the record holds a value for are written. A lost
// acknowledgement sends the request again. Safe from several threads for different records.
TWriteOutcome WriteAll(const TExchangeSettings& settings, const TZEL& record);
TWriteOutcome WriteGeneral(const TExchangeSettings& settings, const TZEL& record);
// One of the two for a listed device (std::out_of_range for an index outside the list), with the
// busy cursor on.
enum class TWriteScope { General, All };
TWriteOutcome WriteDevice(TSession& session, int index, TWriteScope scope);
// Writes only `tags` (with the record's values), in the batches of WriteAll; a range of 100 tags
// with none of them sends no request.
TWriteOutcome WriteTags(const TExchangeSettings& settings, const TZEL& record,
                        const std::vector<int>& tags);

struct TSaveOutcome {
  TReadOutcome read;
  bool saved = false;
  std::string error;  // why nothing was saved, when not saved and the read was complete
};
// Reads the device completely and stores its section in `fileName`. Nothing is saved when the
// device did not answer every request; a value it does not report is saved as 0, 0.0.0.0 or an
// empty text (TReadOutcome::unreported names them).
TSaveOutcome SaveDevice(TSession& session, int index, const std::string& fileName);
// The second half of SaveDevice, once `read` (of the listed device `index`) is stored.
TSaveOutcome SaveReadDevice(const TSession& session, int index, const std::string& fileName,
                            TReadOutcome read);

}  // namespace velkaro::ops
