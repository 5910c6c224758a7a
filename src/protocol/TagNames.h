// Stable names of the tags of the known models (subnet_mask, socket1_name, ...), for the command
// line and the tools built on it. A name is lower_snake_case, unique within its model, and the
// same for the same setting of different models; every secret's name ends in "_password".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkaro {

struct TTagName {
  int tag = 0;
  std::string name;
};

// Every named tag of the model in ascending tag order; empty for a model this program does not
// know.
const std::vector<TTagName>& TagNames(std::uint32_t modelCode);
// The name of the model's tag; empty when the model or the tag is unknown.
std::string TagName(std::uint32_t modelCode, int tag);
// The model's tag of that name (names are matched exactly); 0 when there is none.
int TagOfName(std::uint32_t modelCode, std::string_view name);

// Whether the named setting is a secret (a password), to be kept out of logs and diffs.
bool IsSecretTagName(std::string_view name);

// The word for a wire type in listings: "ipv4", "string", "byte", "word", "dword" or "mac";
// "unknown" for any other code. The type's top bit is ignored as everywhere.
const char* TypeWord(std::uint8_t type);
// "read-write" or "read-only" for a descriptor's flags.
const char* AccessWord(std::uint8_t flags);

// The short name of a model: "zel1", "zel4", "zel8"; empty for any other code.
std::string ModelShortName(std::uint32_t modelCode);

}  // namespace velkaro
