// Shared by every fuzz target: the libFuzzer entry point, the invariant check, and the split of
// one input into several parts.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// An invariant that does not hold is a finding: abort so that libFuzzer keeps the input and the
// replay test fails.
#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

namespace velkaro::fuzz {

// Parts of `input` separated by `separator` (the separator itself is not kept).
inline std::vector<std::string> SplitInput(std::span<const std::uint8_t> input, char separator) {
  std::vector<std::string> parts(1);
  for (const std::uint8_t byte : input) {
    if (static_cast<char>(byte) == separator)
      parts.emplace_back();
    else
      parts.back() += static_cast<char>(byte);
  }
  return parts;
}

// Parts of `input`, each led by a 16-bit big-endian length; a last part cut short keeps the bytes
// that are there.
inline std::vector<std::vector<std::uint8_t>> LengthPrefixedParts(
    std::span<const std::uint8_t> input) {
  std::vector<std::vector<std::uint8_t>> parts;
  std::size_t pos = 0;
  while (pos + 2 <= input.size()) {
    const std::size_t length = (std::size_t{input[pos]} << 8) | input[pos + 1];
    pos += 2;
    const std::size_t taken = std::min(length, input.size() - pos);
    parts.emplace_back(input.begin() + static_cast<std::ptrdiff_t>(pos),
                       input.begin() + static_cast<std::ptrdiff_t>(pos + taken));
    pos += taken;
  }
  return parts;
}

}  // namespace velkaro::fuzz
