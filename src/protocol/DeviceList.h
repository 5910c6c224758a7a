// The device list: one record per answering device in first-answer order, and the merge of
// discovery and read replies into it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/DeviceRecord.h"

namespace velkaro {

using TWallTime = std::chrono::system_clock::time_point;

// When a listed device was heard, for a watch over many discovery rounds.
struct TPresence {
  TWallTime firstHeard{};    // first answer in this list
  TWallTime lastHeard{};     // latest answer
  bool missing = false;      // not heard for the watch's missing time
  TWallTime missingSince{};  // when it was marked missing (the moment the missing time ran out)
};

// Said once per scan, by the command line and the window alike, when CapReached.
inline constexpr const char* kDeviceCapText =
    "Too many devices answered: only the first 65536 are listed, the others were ignored";

class TDeviceList {
 public:
  // Records one scan may hold: a peer inventing new addresses must not exhaust memory.
  static constexpr std::size_t kMaxRecords = 65536;

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  TZEL& operator[](std::size_t i) { return records_[i]; }
  const TZEL& operator[](std::size_t i) const { return records_[i]; }
  auto begin() const { return records_.begin(); }
  auto end() const { return records_.end(); }

  // The record at `index`; throws std::out_of_range for an index outside the list.
  const TZEL& At(int index) const;
  // Index of the first record with this address, or -1. Constant expected time.
  int Find(const TDeviceAddress& address) const;
  // Appends an empty record with this address and returns its index; -1 once the list holds
  // kMaxRecords, which CapReached then reports.
  int Append(const TDeviceAddress& address);
  // Puts an edited copy back, keeping the address index in step.
  void Replace(std::size_t index, const TZEL& record);
  // Empties the list and forgets that the cap was reached.
  void Clear();
  // Removes the records `drop` accepts (asked once each, in list order), keeping the order of
  // the others with their interface rounds and presence. The cap stays reached if it was: a
  // device was turned away in this list all the same.
  void RemoveIf(const std::function<bool(std::size_t index)>& drop);

  // Presence of the record at `index` (std::out_of_range outside the list).
  const TPresence& PresenceOf(std::size_t index) const;
  // The record answered at `when`: sets firstHeard the first time, lastHeard always, and ends
  // its being missing. An index outside the list is ignored.
  void NoteHeard(std::size_t index, TWallTime when);
  // Marks the record missing since `since`; an index outside the list is ignored.
  void SetMissing(std::size_t index, TWallTime since);

  // A discovery round begins: the interface rule below counts in rounds.
  void StartRound() { ++round_; }
  // The record at `index` answered through `via`. A record keeps the first interface it was
  // heard on; it moves to another one only when its own gave no answer in the whole previous
  // round nor so far in this one. An empty `via` (explicit target) changes nothing.
  void NoteLink(std::size_t index, const TNetLink& via);
  // A device was turned away because the list was full.
  bool CapReached() const { return capReached_; }

 private:
  void Reindex();

  std::vector<TZEL> records_;
  std::unordered_map<std::uint64_t, std::size_t> index_;  // address → first record with it
  std::vector<long> linkRound_;  // per record: the last round its own interface answered in
  struct THeard {
    TPresence presence;
    bool heard = false;  // firstHeard is set (any time may be a clock's first)
  };
  std::vector<THeard> presence_;  // per record
  long round_ = 0;
  bool capReached_ = false;
};

// Value of one item decoded by the tag's type (top bit ignored); empty when the length does not
// fit the type or a numeric value was cut short.
TValue DecodeItemValue(std::uint8_t type, const TReplyItem& item);

// Merges one reply, come through `via`, into `list`; returns the record's index, or -1 when the
// datagram was ignored (no source address, the all-devices address, or a new device while the
// list is full).
int MergeReplyInto(TDeviceList& list, std::span<const std::uint8_t> datagram,
                   const TNetLink& via = {});

}  // namespace velkaro
