#include "protocol/DeviceList.h"

#include <algorithm>
#include <stdexcept>

#include "protocol/ModelRegistry.h"

namespace velkaro {

namespace {

// Stores one reply item in the record when its length fits the tag's type.
void StoreItem(TZEL& record, const TReplyItem& item) {
  const std::uint8_t type = TypeOfTag(item.tag, record.ModelCode());
  TValue value = DecodeItemValue(type, item);
  if (std::holds_alternative<std::monostate>(value)) return;
  // A text cut short by the datagram's end is kept for display but is no reported value.
  if (item.truncated)
    record.values.SetPartial(item.tag, std::move(value));
  else
    record.values.Set(item.tag, std::move(value));
}

}  // namespace

const TZEL& TDeviceList::At(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= records_.size())
    throw std::out_of_range("device index " + std::to_string(index) +
                            " is not in the device list (" + std::to_string(records_.size()) +
                            " devices)");
  return records_[static_cast<std::size_t>(index)];
}

int TDeviceList::Find(const TDeviceAddress& address) const {
  auto it = index_.find(AddressToNumber(address));
  return it == index_.end() ? -1 : static_cast<int>(it->second);
}

int TDeviceList::Append(const TDeviceAddress& address) {
  if (records_.size() >= kMaxRecords) {
    capReached_ = true;
    return -1;
  }
  records_.push_back(TZEL{});
  records_.back().address = address;
  linkRound_.push_back(round_);
  presence_.emplace_back();
  index_.try_emplace(AddressToNumber(address), records_.size() - 1);
  return static_cast<int>(records_.size() - 1);
}

void TDeviceList::Replace(std::size_t index, const TZEL& record) {
  if (index >= records_.size()) return;
  const bool moved = records_[index].address != record.address;
  records_[index] = record;
  if (moved) Reindex();
}

void TDeviceList::Clear() {
  records_.clear();
  index_.clear();
  linkRound_.clear();
  presence_.clear();
  capReached_ = false;
}

void TDeviceList::RemoveIf(const std::function<bool(std::size_t index)>& drop) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (drop(i)) continue;
    if (kept != i) {
      records_[kept] = std::move(records_[i]);
      linkRound_[kept] = linkRound_[i];
      presence_[kept] = presence_[i];
    }
    ++kept;
  }
  if (kept == records_.size()) return;
  records_.resize(kept);
  linkRound_.resize(kept);
  presence_.resize(kept);
  Reindex();
}

const TPresence& TDeviceList::PresenceOf(std::size_t index) const {
  if (index >= presence_.size())
    throw std::out_of_range("device index " + std::to_string(index) +
                            " is not in the device list (" + std::to_string(records_.size()) +
                            " devices)");
  return presence_[index].presence;
}

void TDeviceList::NoteHeard(std::size_t index, TWallTime when) {
  if (index >= presence_.size()) return;
  THeard& h = presence_[index];
  if (!h.heard) h.presence.firstHeard = when;
  h.heard = true;
  h.presence.lastHeard = when;
  h.presence.missing = false;
}

void TDeviceList::SetMissing(std::size_t index, TWallTime since) {
  if (index >= presence_.size()) return;
  presence_[index].presence.missing = true;
  presence_[index].presence.missingSince = since;
}

void TDeviceList::NoteLink(std::size_t index, const TNetLink& via) {
  if (index >= records_.size() || via.Empty()) return;
  TNetLink& own = records_[index].link;
  if (own.Empty() || own == via || linkRound_[index] < round_ - 1) {
    own = via;
    linkRound_[index] = round_;
  }
}

void TDeviceList::Reindex() {
  index_.clear();
  for (std::size_t i = 0; i < records_.size(); ++i)
    index_.try_emplace(AddressToNumber(records_[i].address), i);
}

TValue DecodeItemValue(std::uint8_t type, const TReplyItem& item) {
  type &= 0x7F;
  if (item.truncated && type != vtString) return {};
  const auto& v = item.value;
  switch (type) {
    case vtIPv4:
    case vtDWord:
      if (v.size() == 4) return static_cast<std::uint32_t>(ReadBigEndian(v));
      break;
    case vtWord:
      if (v.size() == 2) return static_cast<std::uint32_t>(ReadBigEndian(v));
      break;
    case vtByte:
      if (v.size() == 1) return std::uint32_t{v[0]};
      break;
    case vtString:
      return std::string(v.begin(), v.end());
    case vtMac:
      if (v.size() == 6) return static_cast<std::int64_t>(ReadBigEndian(v));
      break;
    default:
      break;
  }
  return {};
}

int MergeReplyInto(TDeviceList& list, std::span<const std::uint8_t> datagram, const TNetLink& via) {
  if (datagram.size() < kMinReplySize) return -1;  // too short to carry a source address
  TDeviceAddress source;
  std::copy_n(datagram.begin() + kSourceOffset, source.size(), source.begin());
  if (std::all_of(source.begin() + 2, source.end(), [](std::uint8_t b) { return b == 0xFF; }))
    return -1;
  int index = list.Find(source);
  if (index < 0) index = list.Append(source);
  if (index < 0) return -1;
  TZEL& record = list[static_cast<std::size_t>(index)];
  record.address = source;
  if (((source[0] << 8) | source[1]) == 1)
    record.MAC = ReadBigEndian(std::span<const std::uint8_t>(source).subspan(2));
  WalkReplyItems(datagram, [&record](const TReplyItem& item) { StoreItem(record, item); });
  list.NoteLink(static_cast<std::size_t>(index), via);
  return index;
}

}  // namespace velkaro
