#include "protocol/IniFile.h"

#include <optional>
#include <system_error>

#include "protocol/AtomicFile.h"

namespace velkaro {

namespace {

constexpr std::string_view kBlanks = " \t\v\f\r";
constexpr std::string_view kLineEnd = "\r\n";

std::string_view Trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// Section name of a header line "[name]" (last "]" closes it), or nothing.
std::optional<std::string_view> HeaderName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.rfind(']');
  if (close == 0 || close == std::string_view::npos) return std::nullopt;
  return line.substr(1, close - 1);
}

// Key of an entry line: the text before "=", or the whole line when it has none. Nothing for
// blank and comment lines.
std::optional<std::string_view> KeyName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';' || line.front() == '#') return std::nullopt;
  return Trim(line.substr(0, line.find('=')));
}

bool IsBlank(std::string_view line) {
  return Trim(line).empty();
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

TIniWriteError::TIniWriteError(const std::string& fileName, std::string reason)
    : std::runtime_error(
          "Impossible d'\xC3\xA9"
          "crire dans " +
          fileName),
      fileName_(fileName),
      reason_(std::move(reason)) {}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

void TIniFile::Load() {
  if (loaded_) return;
  std::string content;
  try {
    bool exists = false;
    content = ReadWholeFile(ResolveFileName(fileName_), kMaxFileSize, exists);
  } catch (const std::system_error& e) {
    throw TIniWriteError(fileName_, e.what());
  }
  std::size_t pos = 0;
  while (pos < content.size()) {
    const std::size_t newline = content.find('\n', pos);
    TLine line;
    if (newline == std::string::npos) {
      line.text = content.substr(pos);
      pos = content.size();
    } else {
      const bool crlf = newline > pos && content[newline - 1] == '\r';
      line.text = content.substr(pos, newline - pos - (crlf ? 1 : 0));
      line.end = crlf ? "\r\n" : "\n";
      pos = newline + 1;
    }
    lines_.push_back(std::move(line));
  }
  loaded_ = true;
}

std::size_t TIniFile::FindSectionEnd(std::size_t header) const {
  std::size_t end = header + 1;
  while (end < lines_.size() && !HeaderName(lines_[end].text)) ++end;
  return end;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
    throw TIniWriteError(fileName_,
                         "line break in section, key or value of key " + std::string(Trim(key)));
  if (Trim(key).empty() || key.find('=') != std::string_view::npos)
    throw TIniWriteError(fileName_, "invalid key '" + std::string(key) + "'");
  Load();
  modified_ = true;
  const std::string entry = std::string(key) + "=" + std::string(value);

  for (std::size_t header = 0; header < lines_.size(); ++header) {
    const auto name = HeaderName(lines_[header].text);
    if (!name || !SameName(*name, section)) continue;

    const std::size_t end = FindSectionEnd(header);
    std::size_t lastFilled = header;
    for (std::size_t i = header + 1; i < end; ++i) {
      const auto existing = KeyName(lines_[i].text);
      if (existing && SameName(*existing, key)) {
        // The file's own spelling of the key stays.
        lines_[i] = {std::string(*existing) + "=" + std::string(value), std::string(kLineEnd)};
        return;
      }
      if (!IsBlank(lines_[i].text)) lastFilled = i;
    }
    if (lines_[lastFilled].end.empty()) lines_[lastFilled].end = kLineEnd;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastFilled) + 1,
                  TLine{entry, std::string(kLineEnd)});
    return;
  }

  if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = kLineEnd;
  lines_.push_back({"[" + std::string(section) + "]", std::string(kLineEnd)});
  lines_.push_back({entry, std::string(kLineEnd)});
}

std::string TIniFile::Content() const {
  std::string out;
  for (const TLine& line : lines_) out += line.text + line.end;
  return out;
}

void TIniFile::UpdateFile() {
  if (!modified_) return;
  try {
    ReplaceFileContent(fileName_, Content());
  } catch (const std::system_error& e) {
    throw TIniWriteError(fileName_, e.what());
  }
  modified_ = false;
}

}  // namespace velkaro
