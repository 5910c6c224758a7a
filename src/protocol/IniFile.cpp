#include "protocol/IniFile.h"

#include <cerrno>
#include <optional>
#include <system_error>

#include "platform/AtomicFile.h"

namespace velkaro {

namespace {

constexpr std::string_view kBlanks = " \t\v\f\r";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

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

TIniWriteError::TIniWriteError(const std::string& fileName, const std::string& cause,
                               std::string reason)
    : std::runtime_error(
          "Impossible d'\xC3\xA9"
          "crire dans " +
          fileName + (cause.empty() ? "" : ": " + cause)),
      fileName_(fileName),
      reason_(std::move(reason)) {}

TIniWriteError::TIniWriteError(const std::string& fileName, const std::system_error& error)
    : TIniWriteError(fileName, WriteFailureCause(error.code()), error.what()) {}

std::string WriteFailureCause(std::error_code code) {
  if (code.category() != std::generic_category() && code.category() != std::system_category())
    return code.message();
  switch (code.value()) {
    case ENOSPC:
#ifdef EDQUOT  // not on Windows
    case EDQUOT:
#endif
      return "disk full";
    case EFBIG:
      return "file too large";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EROFS:
      return "read-only file system";
    case ENOENT:
    case ENOTDIR:
      return "no such file or folder";
    case EISDIR:
      return "is a folder";
    case EINVAL:
      return "not a regular file";
    case EWOULDBLOCK:
      return "locked by another save";
    default:
      return code.message();
  }
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

TIniFile::~TIniFile() = default;

void TIniFile::Load() {
  if (loaded_) return;
  std::string content;
  try {
    lock_ = std::make_unique<TFileLock>(fileName_);
    content = lock_->Read(kMaxFileSize);
  } catch (const std::system_error& e) {
    lock_.reset();
    throw TIniWriteError(fileName_, e);
  }
  lines_.clear();
  byteOrderMark_.clear();
  if (content.starts_with(kUtf8ByteOrderMark)) {
    byteOrderMark_ = kUtf8ByteOrderMark;
    content.erase(0, kUtf8ByteOrderMark.size());
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
    throw TIniWriteError(fileName_, "line break in a text",
                         "line break in section, key or value of key " + std::string(Trim(key)));
  // A key read back as a comment or a section header would be added again on every save.
  if (Trim(key).empty() || key.find('=') != std::string_view::npos ||
      std::string_view(";#[").find(Trim(key).front()) != std::string_view::npos)
    throw TIniWriteError(fileName_, "invalid key", "invalid key '" + std::string(key) + "'");
  Load();
  modified_ = true;
  // Keys are written without surrounding blanks, as a key found in the file is rewritten, so
  // that writing the same entry again changes nothing.
  const std::string entry = std::string(Trim(key)) + "=" + std::string(value);

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
  std::string out = byteOrderMark_;
  for (const TLine& line : lines_) out += line.text + line.end;
  return out;
}

void TIniFile::UpdateFile() {
  if (!modified_) return;
  try {
    if (!lock_) lock_ = std::make_unique<TFileLock>(fileName_);
    lock_->Replace(Content());
  } catch (const std::system_error& e) {
    throw TIniWriteError(fileName_, e);
  }
  // The next edit reads the file afresh under a new lock: another save may follow ours.
  lock_.reset();
  loaded_ = false;
  modified_ = false;
}

}  // namespace velkaro
