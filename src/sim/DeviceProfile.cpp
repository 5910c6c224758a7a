#include "sim/DeviceProfile.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace velkaro::sim {

namespace {

// Per model: descriptor by tag (0 = absent), built once.
struct TModelTable {
  TConfigFile list;
  std::array<TDescriptor, 1000> byTag{};
};

TModelTable MakeTable(const TConfigFile& list) {
  TModelTable t;
  t.list = list;
  for (TDescriptor d : list) {
    const auto tag = DescriptorTag(d);
    if (tag < t.byTag.size() && t.byTag[tag] == 0) t.byTag[tag] = d;
  }
  return t;
}

const TModelTable& TableFor(std::uint32_t modelCode) {
  static const TModelTable zel1 = MakeTable(Zel1Descriptors());
  static const TModelTable zel4 = MakeTable(Zel4Descriptors());
  static const TModelTable zel8 = MakeTable(Zel8Descriptors());
  // The common tags are the first 13 entries of every list.
  static const TModelTable common =
      MakeTable(TConfigFile(Zel1Descriptors().begin(), Zel1Descriptors().begin() + 13));
  switch (modelCode) {
    case kModelZel1:
      return zel1;
    case kModelZel4:
      return zel4;
    case kModelZel8:
      return zel8;
    default:
      return common;
  }
}

std::string Number(std::size_t n, int width = 3) {
  std::string s = std::to_string(n);
  return s.size() < static_cast<std::size_t>(width)
             ? std::string(static_cast<std::size_t>(width) - s.size(), '0') + s
             : s;
}

std::string Hex(std::uint64_t v, int digits) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string s(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = kDigits[v & 0xF];
  return s;
}

constexpr std::uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
  return (a << 24) | (b << 16) | (c << 8) | d;
}

// 10.0.k.2 ... 10.0.k.251 for consecutive devices; data only, never contacted.
std::uint32_t DeviceIp(std::size_t index) {
  return Ip(10, 0, 0, 0) + static_cast<std::uint32_t>((index / 250) << 8) +
         static_cast<std::uint32_t>(index % 250 + 2);
}

class TFiller {
 public:
  explicit TFiller(TZEL& r) : r_(r) {}
  void Num(int tag, std::uint32_t v) { r_.values.Set(tag, v); }
  void Text(int tag, std::string v) { r_.values.Set(tag, std::move(v)); }

  // Supervision block: watched address, ping on, port, interval, failures, delays.
  void Supervision(int base, std::uint32_t watched) {
    Num(base, watched);
    Num(base + 1, 1);
    Num(base + 2, 80);
    Num(base + 3, 10);
    Num(base + 4, 3);
    Num(base + 5, 60);
    Num(base + 6, 5);
  }
  // Security masks: the first permits the device's own network, the second denies a guest net.
  void Security(int base, int pairs, std::uint32_t ownNet) {
    for (int p = 0; p < pairs; ++p) {
      const std::uint32_t mask = p == 0 ? ownNet : p == 1 ? Ip(192, 168, 77, 0) : 0;
      Num(base + 2 * p, mask);
      Num(base + 2 * p + 1, p == 0 ? 0x03 : p == 1 ? 0x01 : 0x00);
    }
  }

 private:
  TZEL& r_;
};

void FillCommon(TFiller& f, std::uint32_t model, std::size_t index, std::uint64_t mac) {
  const std::uint32_t ip = DeviceIp(index);
  f.Num(1, Ip(255, 255, 255, 0));
  f.Num(2, ip);
  f.Num(3, (ip & 0xFFFFFF00u) | 1);
  f.Num(4, 80);
  f.Text(5, ModelName(model));
  f.Num(6, 0x03);
  f.Text(7, (model == kModelZel8 ? "Rack " : "Switch ") + Number(index + 1));
  f.Text(8, "admin");
  f.Text(9, "admin" + Number(index + 1, 4));
  f.Text(11, "HW 2.1");
  f.Text(12, "SN" + Hex(mac & 0xFFFFFFFFu, 8));
  f.Num(13, model);
}

void FillZel1(TFiller& f, std::size_t index, std::uint32_t gateway) {
  f.Supervision(20, gateway);
  f.Security(30, 4, Ip(10, 0, 0, 0));
  f.Text(40, "Outlet 1");
  f.Text(41, "user1");
  f.Text(42, "pass1");
  f.Num(50, 10);
  f.Num(70, 1);
  f.Num(71, static_cast<std::uint32_t>(12 + index % 40));
  f.Num(72, static_cast<std::uint32_t>(140 + 7 * index));
}

void FillZel4(TFiller& f, std::size_t index, std::uint32_t gateway) {
  f.Security(20, 4, Ip(10, 0, 0, 0));
  for (int s = 0; s < 4; ++s) f.Supervision(28 + 7 * s, gateway + static_cast<std::uint32_t>(s));
  for (int k = 0; k < 4; ++k) {
    const std::string n = std::to_string(k + 1);
    f.Text(56 + 4 * k, "Outlet " + n);
    f.Text(57 + 4 * k, "user" + n);
    f.Text(58 + 4 * k, "pass" + n);
    f.Num(59 + 4 * k, 1u << k);
  }
  const std::uint32_t delays[] = {5, 10, 15, 30};
  for (int k = 0; k < 4; ++k) f.Num(72 + k, delays[k]);
  f.Num(80, 0x15);  // sockets 1-3 on, socket 4 last status
  f.Num(81, static_cast<std::uint32_t>(20 + index % 40));
  for (int k = 0; k < 4; ++k) f.Num(82 + k, static_cast<std::uint32_t>(100 * (k + 1) + index));
}

void FillZel8(TFiller& f, std::size_t index) {
  f.Security(20, 8, Ip(10, 0, 0, 0));
  f.Num(36, 15);
  f.Text(37, "alerts@example.net");
  for (int d = 0; d < 5; ++d) {
    const int b = 100 * d;
    const std::string unit = "Unit " + std::to_string(d + 1);
    f.Text(b + 39, unit);
    f.Num(b + 40, d < 2 ? 0x01 : 0x00);  // the first two units are chained in
    for (int k = 0; k < 8; ++k) {
      const std::string n = std::to_string(k + 1);
      f.Text(b + 41 + 4 * k, unit + " Outlet " + n);
      f.Text(b + 42 + 4 * k, "u" + std::to_string(d + 1) + n);
      f.Text(b + 43 + 4 * k, "p" + std::to_string(d + 1) + n);
      f.Num(b + 44 + 4 * k, 1u << k);
    }
    f.Num(b + 81, static_cast<std::uint32_t>(d < 2 ? 30 + index % 40 : 0));
    for (int k = 0; k < 8; ++k)
      f.Num(b + 82 + k, static_cast<std::uint32_t>(d < 2 ? 50 * (k + 1) + index : 0));
  }
}

}  // namespace

const TConfigFile& SimDescriptors(std::uint32_t modelCode) {
  return TableFor(modelCode).list;
}

TDescriptor SimDescriptor(std::uint32_t modelCode, int tag) {
  if (tag < 0 || tag >= 1000) return 0;
  return TableFor(modelCode).byTag[static_cast<std::size_t>(tag)];
}

TZEL MakeDeviceRecord(std::uint32_t modelCode, std::size_t index, std::uint64_t mac) {
  mac &= 0xFFFFFFFFFFFFull;
  TZEL r;
  r.address = NumberToAddress((std::uint64_t{1} << 48) | mac);
  r.MAC = mac;
  r.values.Set(10, static_cast<std::int64_t>(mac));
  TFiller f(r);
  FillCommon(f, modelCode, index, mac);
  const std::uint32_t gateway = r.values.AsUInt(3);
  if (modelCode == kModelZel1) FillZel1(f, index, gateway);
  if (modelCode == kModelZel4) FillZel4(f, index, gateway);
  if (modelCode == kModelZel8) FillZel8(f, index);
  // Whatever a table holds beyond the above still gets a value of its type.
  for (TDescriptor d : SimDescriptors(modelCode)) {
    const int tag = DescriptorTag(d);
    if (r.values.Has(tag)) continue;
    if ((DescriptorType(d) & 0x7F) == vtString)
      r.values.Set(tag, std::string("-"));
    else
      r.values.Set(tag, std::uint32_t{0});
  }
  return r;
}

bool ParseModelName(const std::string& text, std::uint32_t& modelCode) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "zel1") return modelCode = kModelZel1, true;
  if (lower == "zel4") return modelCode = kModelZel4, true;
  if (lower == "zel8") return modelCode = kModelZel8, true;
  const bool hex = lower.starts_with("0x");
  const char* first = lower.data() + (hex ? 2 : 0);
  const char* last = lower.data() + lower.size();
  std::uint32_t value = 0;
  auto [p, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
  if (first == last || ec != std::errc{} || p != last) return false;
  modelCode = value;
  return true;
}

std::string ModelName(std::uint32_t modelCode) {
  switch (modelCode) {
    case kModelZel1:
      return "ZEL1";
    case kModelZel4:
      return "ZEL4";
    case kModelZel8:
      return "ZEL8";
    default:
      return "ZEL-" + Hex(modelCode, 8);
  }
}

}  // namespace velkaro::sim
