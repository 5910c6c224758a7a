// The reply walk and the merge into a device list, fed with arbitrary datagrams. Each datagram
// sits in a heap block of exactly its size, so AddressSanitizer sees any read past its end.
#include <memory>
#include <set>

#include "FuzzTarget.h"
#include "protocol/DeviceList.h"
#include "protocol/ModelRegistry.h"

using namespace velkaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TDeviceList list;
  for (const auto& part : fuzz::LengthPrefixedParts({data, size})) {
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[part.size()]);
    std::copy(part.begin(), part.end(), exact.get());
    const std::span<const std::uint8_t> datagram(exact.get(), part.size());

    std::size_t walked = kHeaderSize;
    WalkReplyItems(datagram, [&](const TReplyItem& item) {
      FUZZ_CHECK(item.value.data() >= datagram.data());
      FUZZ_CHECK(item.value.data() + item.value.size() <= datagram.data() + datagram.size());
      FUZZ_CHECK(item.value.size() <= item.declaredLength);
      FUZZ_CHECK(item.truncated == (item.value.size() < item.declaredLength));
      walked += 3 + item.value.size();
    });
    FUZZ_CHECK(datagram.size() < kHeaderSize || walked <= datagram.size());

    const std::size_t before = list.size();
    const int index = MergeReplyInto(list, datagram);
    FUZZ_CHECK(index >= -1 && index < static_cast<int>(list.size()));
    FUZZ_CHECK(list.size() <= before + 1);
    if (index >= 0) {
      FUZZ_CHECK(std::equal(list[static_cast<std::size_t>(index)].address.begin(),
                            list[static_cast<std::size_t>(index)].address.end(),
                            datagram.begin() + kSourceOffset));
    }
  }

  std::set<std::uint64_t> addresses;
  for (std::size_t i = 0; i < list.size(); ++i) {
    FUZZ_CHECK(addresses.insert(AddressToNumber(list[i].address)).second);
    FUZZ_CHECK(list.Find(list[i].address) == static_cast<int>(i));
    for (const auto& [tag, value] : list[i].values) {
      FUZZ_CHECK(tag >= TValueSlots::kFirstTag && tag <= TValueSlots::kLastTag);
      if (const auto* text = std::get_if<std::string>(&value)) FUZZ_CHECK(text->size() <= 255);
    }
  }
  return 0;
}
