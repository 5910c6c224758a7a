// CSV as RFC 4180 writes it, for the device list's export by the command line and the window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkaro::ops {

// One field: quoted, with its quotes doubled, when it holds a comma, a quote, CR or LF; as it is
// otherwise. Bytes are kept: the caller picks the text's encoding.
std::string CsvField(std::string_view text);
// The fields joined by commas, ended by CR LF.
std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace velkaro::ops
