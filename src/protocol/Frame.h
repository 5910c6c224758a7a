// Packet frame of the device protocol: header, tagged items, value encodings and the
// address/text helpers used wherever addresses are shown or entered.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkaro {

using TBytes = std::vector<std::uint8_t>;

// One outgoing request while it is built; always ends with the list end FF FF.
using TSendBuf = TBytes;

// Kind (16-bit big-endian) followed by six address bytes, exactly as on the wire.
using TDeviceAddress = std::array<std::uint8_t, 8>;

inline constexpr std::uint16_t kDevicePort = 52389;
// Header layout: destination address, source address, OEM code, command.
inline constexpr std::size_t kDestinationOffset = 0;
inline constexpr std::size_t kSourceOffset = 8;
inline constexpr std::size_t kMinReplySize = 16;  // a reply shorter than this names no sender
inline constexpr std::size_t kOemOffset = 16;     // 00 01, then the OEM code low byte first
inline constexpr std::size_t kCommandOffset = 24;
inline constexpr std::size_t kHeaderSize = 25;        // bytes before the first item
inline constexpr std::size_t kEmptyRequestSize = 27;  // header plus the list end
inline constexpr std::uint16_t kListEnd = 0xFFFF;

enum class TCommand : std::uint8_t { Discover = 0, Read = 1, Write = 2, Upgrade = 3 };

enum TValueType : std::uint8_t {
  vtUnknown = 0,
  vtIPv4 = 1,
  vtString = 2,
  vtByte = 3,
  vtWord = 4,
  vtDWord = 5,
  vtMac = 6,
};

// Kind 1 with six FF bytes: every device answers.
inline constexpr TDeviceAddress kAllDevices{0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Carried in bytes 18-19 of every request, low byte first: the OEM variant the program runs as
// (TExchangeSettings::oemCode); this one unless its version block selects another.
inline constexpr std::uint16_t kDefaultOemCode = 4901;

std::uint16_t Swap16(std::uint16_t v);
std::uint32_t Swap32(std::uint32_t v);
std::uint64_t Swap64(std::uint64_t v);

// Address as one 64-bit big-endian number (kind in the top 16 bits) and back.
std::uint64_t AddressToNumber(const TDeviceAddress& a);
TDeviceAddress NumberToAddress(std::uint64_t v);
// Kind 2 address of the upgrade trigger: IPv4 address and UDP port.
TDeviceAddress IpPortAddress(std::uint32_t ip, std::uint16_t port = kDevicePort);

// Writes `oemCode` into a request's bytes 18-19, low byte first; a request too short to have a
// header is left as it is. The exchange stamps the sender's code on every request it sends.
void StampOemCode(TSendBuf& request, std::uint16_t oemCode);
void BuildHeader(const TDeviceAddress& destination, TCommand command, TSendBuf& buf);
void AddReadItem(TSendBuf& buf, std::uint16_t tag);
// Numeric types use `number`, strings use `text`; type codes outside 1-5 append nothing.
void AddWriteItem(TSendBuf& buf, std::uint16_t tag, std::uint8_t type, std::uint32_t number,
                  const std::string& text = {});

std::string IpToText(std::uint32_t ip);
// Lenient: reads what it can and gives 0 (or a partial value) for anything else.
std::uint32_t TextToIp(const std::string& text);
// Strict: exactly four decimal octets 0-255 separated by dots, nothing before, between or after
// (no signs, blanks or leading zeros). `out` is left alone when the text is refused.
bool ParseIpv4(std::string_view text, std::uint32_t& out);
std::string MacToText(std::uint64_t mac);

// One parameter item of a reply. `truncated` marks a value cut short by the datagram's end;
// the walk stops after such an item.
struct TReplyItem {
  std::uint16_t tag;
  std::uint8_t declaredLength;
  std::span<const std::uint8_t> value;
  bool truncated;
};

// Walks the items after the 25-byte header until fewer than 3 bytes remain. Never reads past
// the end of `datagram`.
void WalkReplyItems(std::span<const std::uint8_t> datagram,
                    const std::function<void(const TReplyItem&)>& visit);

// Big-endian number from up to eight bytes.
std::uint64_t ReadBigEndian(std::span<const std::uint8_t> bytes);

}  // namespace velkaro
