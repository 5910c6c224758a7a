#include "protocol/DeviceRecord.h"

#include <algorithm>
#include <charconv>

namespace velkaro {

namespace {

const TValue kEmpty{};

bool InRange(int tag) {
  return tag >= TValueSlots::kFirstTag && tag <= TValueSlots::kLastTag;
}

}  // namespace

const TValue& TValueSlots::Get(int tag) const {
  auto it = std::lower_bound(slots_.begin(), slots_.end(), tag,
                             [](const auto& slot, int t) { return slot.first < t; });
  return it != slots_.end() && it->first == tag ? it->second : kEmpty;
}

bool TValueSlots::Has(int tag) const {
  return !std::holds_alternative<std::monostate>(Get(tag));
}

bool TValueSlots::Reported(int tag) const {
  return Has(tag) && !std::binary_search(partial_.begin(), partial_.end(), tag);
}

void TValueSlots::SetPartial(int tag, TValue value) {
  if (!InRange(tag) || std::holds_alternative<std::monostate>(value)) return;
  Set(tag, std::move(value));
  partial_.insert(std::lower_bound(partial_.begin(), partial_.end(), tag),
                  static_cast<std::uint16_t>(tag));
}

void TValueSlots::Set(int tag, TValue value) {
  if (!InRange(tag)) return;
  // A complete value ends a partial state; SetPartial marks it again after this.
  ForgetPartial(tag);
  if (std::holds_alternative<std::monostate>(value)) {
    Clear(tag);
    return;
  }
  auto it = std::lower_bound(slots_.begin(), slots_.end(), tag,
                             [](const auto& slot, int t) { return slot.first < t; });
  if (it != slots_.end() && it->first == tag)
    it->second = std::move(value);
  else
    slots_.insert(it, {static_cast<std::uint16_t>(tag), std::move(value)});
}

void TValueSlots::ForgetPartial(int tag) {
  if (auto p = std::lower_bound(partial_.begin(), partial_.end(), tag);
      p != partial_.end() && *p == tag)
    partial_.erase(p);
}

void TValueSlots::Clear(int tag) {
  ForgetPartial(tag);
  auto it = std::lower_bound(slots_.begin(), slots_.end(), tag,
                             [](const auto& slot, int t) { return slot.first < t; });
  if (it != slots_.end() && it->first == tag) slots_.erase(it);
}

std::int64_t TValueSlots::AsInt64(int tag) const {
  const TValue& v = Get(tag);
  if (auto* u = std::get_if<std::uint32_t>(&v)) return *u;
  if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
  if (auto* s = std::get_if<std::string>(&v)) {
    std::int64_t out = 0;
    auto [p, ec] = std::from_chars(s->data(), s->data() + s->size(), out);
    return ec == std::errc{} && p == s->data() + s->size() ? out : 0;
  }
  return 0;
}

std::uint32_t TValueSlots::AsUInt(int tag) const {
  return static_cast<std::uint32_t>(AsInt64(tag));
}

std::string TValueSlots::AsText(int tag) const {
  const TValue& v = Get(tag);
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* u = std::get_if<std::uint32_t>(&v)) return std::to_string(*u);
  if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  return {};
}

std::size_t TValueSlots::MemoryBytes() const {
  std::size_t bytes = sizeof(*this) + slots_.capacity() * sizeof(slots_[0]) +
                      partial_.capacity() * sizeof(partial_[0]);
  for (const auto& [tag, value] : slots_)
    if (auto* s = std::get_if<std::string>(&value))
      if (s->capacity() > std::string().capacity()) bytes += s->capacity() + 1;
  return bytes;
}

std::uint32_t SlotNumber(const TZEL& record, int tag) {
  return record.values.AsUInt(tag);
}

std::string SlotText(const TZEL& record, int tag) {
  return record.values.AsText(tag);
}

}  // namespace velkaro
