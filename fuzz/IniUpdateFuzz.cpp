// The INI update on arbitrary existing content: lines other than the keys written stay in their
// order, and writing the same entries again changes nothing. Input: the existing content, then
// section, key and value texts, all separated by NUL bytes.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FuzzTarget.h"
#include "protocol/IniFile.h"

using namespace velkaro;

namespace {

struct TEntry {
  std::string section, key, value;
};

// A folder on tmpfs where one exists: every save syncs its file.
const std::string& WorkFile() {
  static const std::string file = [] {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/velkaro-ini-fuzz-XXXXXX";
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    return pattern + "/file.cfg";
  }();
  return file;
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& name, const std::string& content) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << content;
  FUZZ_CHECK(out.good());
}

// Writes every entry; false when the editor refused one (invalid key or line break).
bool Apply(const std::string& file, const std::vector<TEntry>& entries) {
  TIniFile ini(file);
  try {
    for (const TEntry& e : entries) ini.WriteString(e.section, e.key, e.value);
    ini.UpdateFile();
  } catch (const TIniWriteError&) {
    return false;
  }
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\v\f\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\v\f\r") - first + 1);
}

// Lines without their ends "\r\n" or "\n" (and without a leading byte-order mark).
std::vector<std::string> Lines(std::string content) {
  if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    const bool ended = end != std::string::npos;
    if (!ended) end = content.size();
    std::string line = content.substr(pos, end - pos);
    // As the editor reads it: a CR belongs to the line end only before a LF.
    if (ended && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    pos = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = fuzz::SplitInput({data, size}, '\0');
  std::vector<TEntry> entries;
  for (std::size_t i = 1; i + 2 < parts.size() && entries.size() < 16; i += 3)
    entries.push_back({parts[i], parts[i + 1], parts[i + 2]});

  const std::string& file = WorkFile();
  const std::string& original = parts[0];
  WriteFile(file, original);
  if (!Apply(file, entries)) {
    FUZZ_CHECK(ReadFile(file) == original);  // a refused edit leaves the file alone
    return 0;
  }
  const std::string once = ReadFile(file);
  FUZZ_CHECK(once.starts_with("\xEF\xBB\xBF") == original.starts_with("\xEF\xBB\xBF"));

  // Every original line that is not an entry of a written key is still there, in its order.
  std::vector<std::string> keys;
  for (const TEntry& e : entries) keys.push_back(Lower(Trimmed(e.key)));
  const auto after = Lines(once);
  auto next = after.begin();
  for (const std::string& line : Lines(original)) {
    const std::string key = Lower(Trimmed(line.substr(0, line.find('='))));
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    next = std::find(next, after.end(), line);
    FUZZ_CHECK(next != after.end());
    ++next;
  }

  // The same entries again: not a byte changes.
  FUZZ_CHECK(Apply(file, entries));
  FUZZ_CHECK(ReadFile(file) == once);
  return 0;
}
