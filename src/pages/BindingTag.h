// Binding tags: the one integer that ties a dialog control to a device parameter, kept on the
// control as the Qt dynamic property "Tag".
//
//   bits 0-11  parameter tag (1-999)
//   bits 12-19 bit number (check boxes, unmasked radio buttons) or field value (masked radios)
//   bits 20-27 mask of a multi-bit field (masked radio buttons only), else 0
//
// A control without the property, or with Tag 0, is not bound.
#pragma once

#include <cstdint>

class QObject;

namespace velkaro {

inline constexpr char kTagProperty[] = "Tag";

struct TBinding {
  int parameter = 0;  // 0-4095; only 1-999 name a value slot
  int field = 0;      // bit number or field value, 0-255
  int mask = 0;       // 0-255
};

constexpr int BindingTag(int parameter, int field = 0, int mask = 0) {
  return (parameter & 0xFFF) | ((field & 0xFF) << 12) | ((mask & 0xFF) << 20);
}

constexpr TBinding DecodeBindingTag(int tag) {
  const auto bits = static_cast<std::uint32_t>(tag);
  return {static_cast<int>(bits & 0xFFF), static_cast<int>((bits >> 12) & 0xFF),
          static_cast<int>((bits >> 20) & 0xFF)};
}

// Sets / reads the "Tag" property; an object without it reads as 0.
void SetTag(QObject* object, int tag);
int TagOf(const QObject* object);

}  // namespace velkaro
