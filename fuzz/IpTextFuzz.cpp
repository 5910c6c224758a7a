// TextToIp and the dotted-address checks on arbitrary text: only their own exceptions may leave
// them, and an address they accept means the same number to both.
#include "FuzzTarget.h"
#include "protocol/Frame.h"
#include "protocol/IPAddrUtils.h"

using namespace velkaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::uint32_t ip = TextToIp(text);
  // Whatever it accepted is written back as text that reads as the same number.
  FUZZ_CHECK(TextToIp(IpToText(ip)) == ip);

  bool valid = false;
  try {
    CheckIPString(text);
    valid = true;
  } catch (const TAssertionFailure&) {
  } catch (const TIPAddressError&) {
  }
  if (!valid) return 0;
  std::uint32_t fromOctets = 0;
  for (int n = 1; n <= 4; ++n) {
    const int octet = IPOctet(text, n);
    FUZZ_CHECK(octet >= 0 && octet <= 255);
    fromOctets = (fromOctets << 8) | static_cast<std::uint32_t>(octet);
  }
  FUZZ_CHECK(IPOctet(text, 0) == 0 && IPOctet(text, 5) == 0);
  FUZZ_CHECK(TextToIp(text) == fromOctets);
  FUZZ_CHECK(IpToText(fromOctets) == text);
  FUZZ_CHECK(ExpandIPString(text).size() == 12);
  return 0;
}
