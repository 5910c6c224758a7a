// Editor of an INI text file: sets keys in sections the way profile files are updated, keeps
// every other line as it is, and writes the result back in one atomic replacement.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace velkaro {

class TFileLock;

// "Impossible d'écrire dans <file>: <cause>", the cause in a few words (disk full, file too
// large, permission denied, ...); Reason() gives the full detail, for logs.
class TIniWriteError : public std::runtime_error {
 public:
  TIniWriteError(const std::string& fileName, const std::string& cause, std::string reason);
  // Cause and detail of a failed system call.
  TIniWriteError(const std::string& fileName, const std::system_error& error);
  const std::string& FileName() const { return fileName_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string fileName_;
  std::string reason_;
};

// A few words on why a write failed: "disk full", "file too large", "permission denied", ...
std::string WriteFailureCause(std::error_code code);

class TIniFile {
 public:
  // Larger existing files are refused rather than read into memory.
  static constexpr std::size_t kMaxFileSize = 64u << 20;

  // Nothing is read or written yet: the file is loaded by the first WriteString, which also
  // takes an advisory lock on it that UpdateFile (or the end of the object) releases.
  explicit TIniFile(std::string fileName);
  ~TIniFile();
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const std::string& FileName() const { return fileName_; }

  // Sets `key` in `section`. Names match ignoring surrounding blanks and ASCII letter case. The
  // first key of that name in the first section of that name gets the value in place; a key the
  // section lacks goes after the section's last non-blank line; a missing section is added at the
  // end of the file. Lines written end in CR LF; all other lines keep their bytes and endings.
  // Keys are written without surrounding blanks. Throws TIniWriteError when the file cannot be
  // read, a text holds a line break (it would corrupt the file's structure), or the key is empty,
  // holds "=" or starts with ";", "#" or "[" (it would read back as a comment or a header).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // Writes the edited content back atomically: afterwards the file holds either its old bytes or
  // all of the new ones. Does nothing when nothing was written. Throws TIniWriteError.
  void UpdateFile();

  // The bytes UpdateFile would write.
  std::string Content() const;

 private:
  struct TLine {
    std::string text;  // without the line end
    std::string end;   // "\r\n", "\n" or "" for a last line without one
  };

  void Load();
  std::size_t FindSectionEnd(std::size_t header) const;

  std::string fileName_;
  std::unique_ptr<TFileLock> lock_;
  std::string byteOrderMark_;  // belongs to the file, not to its first line
  std::vector<TLine> lines_;
  bool loaded_ = false;
  bool modified_ = false;
};

}  // namespace velkaro
