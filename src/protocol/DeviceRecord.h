// Device record: address, MAC value and the sparse value slots indexed by parameter tag.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "protocol/Frame.h"
#include "protocol/NetInterfaces.h"

namespace velkaro {

// Empty, unsigned integer, text or 64-bit integer.
using TValue = std::variant<std::monostate, std::uint32_t, std::string, std::int64_t>;

// Slots 1-999, stored sparsely in ascending tag order: a record that only answered a discovery
// holds a dozen slots, not 999.
class TValueSlots {
 public:
  static constexpr int kFirstTag = 1;
  static constexpr int kLastTag = 999;

  const TValue& Get(int tag) const;
  bool Has(int tag) const;
  // The slot holds a complete value: false for an empty slot and for one filled by SetPartial.
  bool Reported(int tag) const;
  // Out-of-range tags are ignored; storing an empty value clears the slot. The value counts as
  // reported.
  void Set(int tag, TValue value);
  // Stores a value received only in part (a text cut short by the datagram's end): it may be
  // shown, but is not reported until a later Set.
  void SetPartial(int tag, TValue value);
  void Clear(int tag);

  // Reading an empty slot gives 0 or the empty text; a text read as a number is parsed as a
  // decimal (0 when it is none) and a number read as text is written in decimal.
  std::uint32_t AsUInt(int tag) const;
  std::int64_t AsInt64(int tag) const;
  std::string AsText(int tag) const;

  std::size_t Count() const { return slots_.size(); }
  // Bytes this object holds on the heap and inline.
  std::size_t MemoryBytes() const;

  auto begin() const { return slots_.begin(); }
  auto end() const { return slots_.end(); }
  bool operator==(const TValueSlots&) const = default;

 private:
  void ForgetPartial(int tag);

  std::vector<std::pair<std::uint16_t, TValue>> slots_;
  std::vector<std::uint16_t> partial_;  // ascending tags of slots filled by SetPartial
};

struct TZEL {
  TDeviceAddress address{};
  std::uint64_t MAC = 0;  // low 48 bits; set only for address kind 1
  TValueSlots values;
  // The interface its answers come through; every request for it goes out there alone. Empty
  // when requests went to an explicit target.
  TNetLink link;

  std::uint32_t ModelCode() const { return values.AsUInt(13); }
  bool operator==(const TZEL&) const = default;
};

// Value of a slot converted for the tag's wire type: the integer for types 1 and 3-5, the text
// for type 2. Used by request builders and the configuration writer alike.
std::uint32_t SlotNumber(const TZEL& record, int tag);
std::string SlotText(const TZEL& record, int tag);

}  // namespace velkaro
