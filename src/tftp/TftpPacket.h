// TFTP packet layouts (write request, DATA, ACK, ERROR, option acknowledgement) shared by the
// upload client and the simulator's receiving side. All numbers big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "protocol/Frame.h"

namespace velkaro::tftp {

enum TOpcode : std::uint16_t {
  opReadRequest = 1,
  opWriteRequest = 2,
  opData = 3,
  opAck = 4,
  opError = 5,
  opOptionAck = 6,
};

enum TErrorCode : std::uint16_t {
  errNotDefined = 0,
  errFileNotFound = 1,
  errAccessViolation = 2,
  errAllocationExceeded = 3,
  errIllegalOperation = 4,
  errUnknownTransferId = 5,
  errFileAlreadyExists = 6,
  errNoSuchUser = 7,
  errOptionNegotiation = 8,
};

inline constexpr int kDataHeaderSize = 4;
inline constexpr int kDefaultBlockSize = 512;
// Range of the "blksize" option.
inline constexpr int kMinBlockSize = 8;
inline constexpr int kMaxBlockSize = 65464;
inline constexpr const char* kBlockSizeOption = "blksize";

using TOptions = std::vector<std::pair<std::string, std::string>>;

TBytes MakeRequest(TOpcode opcode, const std::string& fileName, const std::string& mode,
                   const TOptions& options);
TBytes MakeAck(std::uint16_t block);
TBytes MakeError(std::uint16_t code, const std::string& message);
TBytes MakeOptionAck(const TOptions& options);
// Header of a DATA packet; the data follow from byte 4.
void PutDataHeader(std::uint8_t* packet, std::uint16_t block);

// 16-bit number at `offset`; 0 where the packet is too short.
std::uint16_t Word(std::span<const std::uint8_t> packet, std::size_t offset);
// Text from `offset` up to its zero byte (or the packet's end); `next` is the offset after the
// zero byte.
std::string Text(std::span<const std::uint8_t> packet, std::size_t offset,
                 std::size_t* next = nullptr);
// Name/value pairs from `offset` to the end of the packet; a trailing name without its value is
// dropped.
TOptions ParseOptions(std::span<const std::uint8_t> packet, std::size_t offset);

struct TRequest {
  TOpcode opcode = opWriteRequest;
  std::string fileName;
  std::string mode;
  TOptions options;
};
// A read or write request with its zero-terminated name and mode; false when malformed.
bool ParseRequest(std::span<const std::uint8_t> packet, TRequest& out);

// Case-insensitive ASCII comparison, as option names and modes are compared.
bool SameText(const std::string& a, const std::string& b);
// A "blksize" value: decimal digits only; false for anything else or a number beyond 9 digits.
bool ParseDecimal(const std::string& text, long& value);

}  // namespace velkaro::tftp
