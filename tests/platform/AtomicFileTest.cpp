// Whole-file replacement through names in any script, on every system: on Windows the UTF-8 name
// must reach the wide file API unchanged, so the file is looked for by its UTF-16 name.
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "support/TempDir.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

// "Gerät ß 日本 é.cfg" spelled in UTF-8 bytes.
const std::string kName = "Ger\xC3\xA4t \xC3\x9F \xE6\x97\xA5\xE6\x9C\xAC \xC3\xA9.cfg";

std::filesystem::path Native(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::size_t Entries(const TTempDir& dir) {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

}  // namespace

TEST(AtomicFile, NonAsciiNameIsCreatedReplacedAndReadBack) {
  const TTempDir dir;
  const std::string file = dir.File(kName);
  ReplaceFileContent(file, "first\r\n");
  ReplaceFileContent(file, "second\r\n");
  // Found under its real Unicode name, alone in the folder: no temporary file is left.
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.Path() / Native(kName)));
  EXPECT_EQ(Entries(dir), 1u);
  bool exists = false;
  EXPECT_EQ(ReadWholeFile(file, 1024, exists), "second\r\n");
  EXPECT_TRUE(exists);
  {
    TFileLock lock(file);
    EXPECT_EQ(lock.Read(1024), "second\r\n");
    lock.Replace("third\r\n");
  }
  EXPECT_EQ(ReadWholeFile(file, 1024, exists), "third\r\n");
  EXPECT_EQ(Entries(dir), 1u);
}

TEST(AtomicFile, ReadOnlyFileIsRefusedAndKept) {
  const TTempDir dir;
  const std::string file = dir.File(kName);
  ReplaceFileContent(file, "kept\r\n");
  namespace fs = std::filesystem;
  // The read-only attribute on Windows, no write bit on POSIX.
  fs::permissions(Native(file),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  try {
    ReplaceFileContent(file, "lost\r\n");
    ADD_FAILURE() << "a read-only file was replaced";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code(), std::errc::permission_denied) << e.what();
  }
  bool exists = false;
  EXPECT_EQ(ReadWholeFile(file, 1024, exists), "kept\r\n");
  EXPECT_EQ(Entries(dir), 1u);
  fs::permissions(Native(file), fs::perms::owner_write, fs::perm_options::add);
}

TEST(AtomicFile, MissingFileReadsAsAbsentAndAFolderIsRefused) {
  const TTempDir dir;
  bool exists = true;
  EXPECT_EQ(ReadWholeFile(dir.File(kName), 1024, exists), "");
  EXPECT_FALSE(exists);
  std::filesystem::create_directory(dir.Path() / Native(kName));
  try {
    ReplaceFileContent(dir.File(kName), "x");
    ADD_FAILURE() << "a folder was replaced";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code(), std::errc::is_a_directory) << e.what();
  }
}
