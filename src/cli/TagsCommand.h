// velkaro-cli tags MODEL: the tags of a model with their names, types and access. Asks no device.
#pragma once

#include <cstdint>
#include <ostream>

#include "cli/CliContext.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"

namespace velkaro::cli {

// {"model": "zel4", "code": "0x04010100", "tags": [{"tag", "name", "type", "access"}, ...]}, tags
// ascending; std::invalid_argument for a model this program does not know.
TJson TagsJson(std::uint32_t modelCode);
// The same as a table: Tag, Name, Type, Access columns under a header line.
void PrintTagsTable(std::uint32_t modelCode, std::ostream& out);

// Returns the exit code or throws TCliFailure (exit 2 for an unknown model).
int RunTags(const TCliOptions& o, TCliContext& ctx);

}  // namespace velkaro::cli
