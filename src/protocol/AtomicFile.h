// Whole-file replacement that never leaves a half-written file: the new bytes go to a temporary
// file in the same folder, which is then renamed over the original.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

namespace velkaro {

// The file a name stands for: a symbolic link is followed so that the link itself survives
// replacement; other names are returned unchanged. Throws std::system_error for a dangling link.
std::string ResolveFileName(const std::string& fileName);

// Whole content of an existing regular file; an empty text with exists = false when there is no
// such file (or its folder is missing). Throws std::system_error when the name is not a regular
// file, cannot be read or holds more than maxSize bytes.
std::string ReadWholeFile(const std::string& fileName, std::size_t maxSize, bool& exists);

// Makes `fileName` hold exactly `content`. Afterwards the file holds either all of its old bytes
// or all of the new ones, and no temporary file is left. An existing file keeps its permission
// bits (and, where allowed, its owner); a new one gets 0666 less the umask. A file without any
// write permission bit counts as read-only even for a privileged user. Throws std::system_error.
void ReplaceFileContent(const std::string& fileName, std::string_view content);

}  // namespace velkaro
