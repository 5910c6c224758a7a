#include "protocol/ConfigFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <map>
#include <set>

#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"
#include "support/TempDir.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

const std::string kCrLf = "\r\n";

// Keys and value types of the one-outlet model, in ascending order; tag 10 (MAC) has no entry.
const std::vector<std::pair<int, char>> kZel1Keys = {
    {1, 'i'},  {2, 'i'},  {3, 'i'},  {4, 'n'},  {5, 's'},  {6, 'n'},  {7, 's'},
    {8, 's'},  {9, 's'},  {11, 's'}, {12, 's'}, {13, 'n'}, {20, 'i'}, {21, 'n'},
    {22, 'n'}, {23, 'n'}, {24, 'n'}, {25, 'n'}, {26, 'n'}, {30, 'i'}, {31, 'n'},
    {32, 'i'}, {33, 'n'}, {34, 'i'}, {35, 'n'}, {36, 'i'}, {37, 'n'}, {40, 's'},
    {41, 's'}, {42, 's'}, {50, 'n'}, {70, 'n'}, {71, 'n'}, {72, 'n'}};

// Entry lines of a one-outlet device with these values; every other key gets its empty value.
std::string Zel1Entries(const std::map<int, std::string>& values, const std::set<int>& skip = {}) {
  std::string out;
  for (const auto& [tag, type] : kZel1Keys) {
    if (skip.count(tag)) continue;
    std::string value = type == 'i' ? "0.0.0.0" : type == 'n' ? "0" : "";
    if (auto it = values.find(tag); it != values.end()) value = it->second;
    out += std::to_string(tag) + "=" + value + kCrLf;
  }
  return out;
}

TZEL Zel1(const std::string& type, const std::string& tag12, const std::string& name) {
  TZEL r;
  r.address = {0x00, 0x01, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  r.MAC = 0x001A2B3C4D5E;
  r.values.Set(13, std::uint32_t{kModelZel1});
  r.values.Set(5, type);
  r.values.Set(12, tag12);
  r.values.Set(7, name);
  r.values.Set(1, std::uint32_t{0xFFFFFF00});
  r.values.Set(3, std::uint32_t{0xC0A80001});
  r.values.Set(4, std::uint32_t{80});
  r.values.Set(6, std::uint32_t{3});
  r.values.Set(10, std::int64_t{0x001A2B3C4D5E});
  r.values.Set(71, std::uint32_t{3000000000u});  // above the signed 32-bit range
  return r;
}

// The values Zel1() puts into the file, tag 2 never received.
std::map<int, std::string> Zel1Values(const std::string& type, const std::string& tag12,
                                      const std::string& name) {
  return {
      {1, "255.255.255.0"}, {3, "192.168.0.1"}, {4, "80"},         {5, type}, {6, "3"}, {7, name},
      {12, tag12},          {13, "16843008"},   {71, "3000000000"}};
}

class ConfigFileTest : public ::testing::Test {
 protected:
  static std::string Read(const std::string& name) {
    const auto bytes = ReadBytes(name);
    return {bytes.begin(), bytes.end()};
  }
  static void Write(const std::string& name, const std::string& text) {
    WriteBytes(name, {text.begin(), text.end()});
  }
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      names.insert(entry.path().filename().string());
    return names;
  }
  // A failing save: the exact error text with its cause, the original bytes and no stray file.
  void ExpectRefused(const std::string& target, const TZEL& record, const std::string& cause) {
    const auto before = Listing();
    try {
      SaveConfig(target, record);
      ADD_FAILURE() << "saving to " << target << " did not fail";
    } catch (const TIniWriteError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Impossible d'\xC3\xA9"
                "crire dans " +
                    target + ": " + cause);
      EXPECT_EQ(e.FileName(), target);
      EXPECT_FALSE(e.Reason().empty());
    }
    EXPECT_EQ(Listing(), before);
  }

  TTempDir dir;
  std::string file = dir.File("devices.cfg");
  const std::string name = "Salle \xE9t\xE9 caf\xC3\xA9 \xFF";  // bytes beyond 7-bit text
  TZEL device = Zel1("A", "B", name);
  std::string section = "[A  B]" + kCrLf + Zel1Entries(Zel1Values("A", "B", name));
};

TEST_F(ConfigFileTest, NewFileGetsTheSectionAndEveryEntryInTagOrder) {
  SaveConfig(file, device);
  EXPECT_EQ(Read(file), section);
  const std::string content = Read(file);
  EXPECT_NE(content.find("\r\n2=0.0.0.0\r\n"), std::string::npos);  // never received
  EXPECT_NE(content.find("\r\n13=16843008\r\n"), std::string::npos);
  EXPECT_EQ(content.find("\r\n10="), std::string::npos);  // MAC address left out
  EXPECT_EQ(Listing(), (std::set<std::string>{"devices.cfg"}));
}

TEST_F(ConfigFileTest, SavingTheSameDeviceTwiceLeavesOneSectionWithTheSecondValues) {
  SaveConfig(file, device);
  device.values.Set(7, std::string("Second"));
  device.values.Set(2, std::uint32_t{0x0A000005});
  SaveConfig(file, device);
  auto values = Zel1Values("A", "B", "Second");
  values[2] = "10.0.0.5";
  EXPECT_EQ(Read(file), "[A  B]" + kCrLf + Zel1Entries(values));
}

TEST_F(ConfigFileTest, DevicesShareASectionOnlyWhenTypeAndTag12Match) {
  SaveConfig(file, device);
  SaveConfig(file, Zel1("A", "C", "Other"));
  const std::string second = "[A  C]" + kCrLf + Zel1Entries(Zel1Values("A", "C", "Other"));
  EXPECT_EQ(Read(file), section + second);

  SaveConfig(file, Zel1("A", "B", "Replaced"));
  EXPECT_EQ(Read(file), "[A  B]" + kCrLf + Zel1Entries(Zel1Values("A", "B", "Replaced")) + second);
}

TEST_F(ConfigFileTest, LargerModelsWriteEveryTypedTagAscending) {
  for (const auto& [model, entries] : {std::pair{kModelZel4, 74u}, std::pair{kModelZel8, 245u}}) {
    SCOPED_TRACE(model);
    TZEL r;
    r.values.Set(13, std::uint32_t{model});
    r.values.Set(5, std::string("T"));
    const std::string out = dir.File("model" + std::to_string(model) + ".cfg");
    SaveConfig(out, r);
    const std::string content = Read(out);
    ASSERT_EQ(content.rfind("[T  ]\r\n", 0), 0u);
    std::vector<int> keys;
    for (std::size_t pos = content.find(kCrLf) + 2; pos < content.size();) {
      const std::size_t end = content.find(kCrLf, pos);
      ASSERT_NE(end, std::string::npos);
      keys.push_back(std::stoi(content.substr(pos, content.find('=', pos) - pos)));
      pos = end + 2;
    }
    EXPECT_EQ(keys.size(), entries);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(std::count(keys.begin(), keys.end(), 10), 0);
    EXPECT_EQ(keys.back(), MaxTag(model));
    if (model == kModelZel8) {
      EXPECT_EQ(std::count(keys.begin(), keys.end(), 38), 0);
    }
  }
}

TEST_F(ConfigFileTest, ExistingFileKeepsCommentsBlankLinesAndOtherSections) {
  const std::string head =
      "; Saved configurations \xB0\xFF\r\n"
      "\r\n"
      "[Other  X]\r\n"
      "1=9.9.9.9\r\n"
      "7=keep me\r\n"
      "\r\n";
  const std::string tail =
      "\r\n"
      "[Last]\r\n"
      "z=1\r\n";
  Write(file, head +
                  "[a  b]\r\n"  // the same section in another letter case
                  "; the device's own comment\r\n"
                  "2=1.1.1.1\r\n"
                  "7=old name\r\n"
                  "custom=kept\r\n" +
                  tail);
  SaveConfig(file, device);
  const auto values = Zel1Values("A", "B", name);
  EXPECT_EQ(Read(file), head +
                            "[a  b]\r\n"
                            "; the device's own comment\r\n"
                            "2=0.0.0.0\r\n"
                            "7=" +
                            name +
                            "\r\n"
                            "custom=kept\r\n" +
                            Zel1Entries(values, {2, 7}) + tail);
}

TEST_F(ConfigFileTest, LinesEndingInLineFeedOnlyKeepTheirEnds) {
  Write(file, "[Other]\nx=1\n[A  B]\n4=1\n\n");
  SaveConfig(file, device);
  EXPECT_EQ(Read(file),
            "[Other]\nx=1\n[A  B]\n4=80\r\n" + Zel1Entries(Zel1Values("A", "B", name), {4}) + "\n");
}

TEST_F(ConfigFileTest, SectionHeaderWithBlanksIsTheSameSection) {
  Write(file, "  [ A  B ]  \r\n 4 = 1\r\n");
  SaveConfig(file, device);
  EXPECT_EQ(Read(file), "  [ A  B ]  \r\n4=80\r\n" + Zel1Entries(Zel1Values("A", "B", name), {4}));
}

TEST_F(ConfigFileTest, OnlyTheFirstOfDuplicateKeysAndSectionsIsUpdated) {
  Write(file, "[A  B]\r\n4=1\r\n4=2\r\n[X]\r\n[A  B]\r\n4=3\r\n");
  SaveConfig(file, device);
  EXPECT_EQ(Read(file), "[A  B]\r\n4=80\r\n4=2\r\n" + Zel1Entries(Zel1Values("A", "B", name), {4}) +
                            "[X]\r\n[A  B]\r\n4=3\r\n");
}

TEST_F(ConfigFileTest, EmptyFileIsFilledLikeANewOneAndKeepsItsPermissions) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX permission bits and owners do not exist on Windows";
#else
  Write(file, "");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  SaveConfig(file, device);
  EXPECT_EQ(Read(file), section);
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640));
#endif
}

TEST_F(ConfigFileTest, FileWithoutFinalLineEndGetsOneBeforeNewLines) {
  Write(file, "[Other]\r\nx=1");
  SaveConfig(file, device);
  EXPECT_EQ(Read(file), "[Other]\r\nx=1\r\n" + section);

  Write(file, "[A  B]\r\n; note");
  SaveConfig(file, device);
  EXPECT_EQ(Read(file), "[A  B]\r\n; note\r\n" + Zel1Entries(Zel1Values("A", "B", name)));

  Write(file, "[A  B]\r\n4=1");
  SaveConfig(file, device);
  EXPECT_EQ(Read(file), "[A  B]\r\n4=80\r\n" + Zel1Entries(Zel1Values("A", "B", name), {4}));
}

TEST_F(ConfigFileTest, ExistingFileKeepsItsModeAndOwner) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX permission bits and owners do not exist on Windows";
#else
  Write(file, "[Other]\r\n");
  ASSERT_EQ(::chmod(file.c_str(), 0604), 0);
  // Only a privileged test run can hand the file to someone else first.
  const bool privileged = ::geteuid() == 0;
  if (privileged) {
    ASSERT_EQ(::chown(file.c_str(), 1234, 2345), 0);
  }
  SaveConfig(file, device);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  if (privileged) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 2345u);
  }
  EXPECT_EQ(Read(file), "[Other]\r\n" + section);
#endif
}

// A saved configuration holds the device's passwords: a new file is readable by its owner only,
// whatever the umask.
TEST_F(ConfigFileTest, NewFileIsTheOwnersAlone) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX permission bits and owners do not exist on Windows";
#else
  for (const mode_t mask : {0000, 0022, 0077}) {
    std::filesystem::remove(file);
    const mode_t old = ::umask(mask);
    SaveConfig(file, device);
    ::umask(old);
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0600)) << mask;
  }
#endif
}

TEST_F(ConfigFileTest, LinkedFileIsUpdatedAndTheLinkKept) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need privileges on Windows";
#else
  const std::string real = dir.File("real.cfg");
  Write(real, "[Other]\r\n");
  std::filesystem::create_symlink(real, file);
  SaveConfig(file, device);
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(Read(real), "[Other]\r\n" + section);
#endif
}

TEST_F(ConfigFileTest, UnknownModelWritesNothing) {
  TZEL unknown;
  unknown.values.Set(5, std::string("A"));
  unknown.values.Set(13, std::uint32_t{0x12345678});
  SaveConfig(file, unknown);
  EXPECT_FALSE(std::filesystem::exists(file));
}

// tests run as root, for whom chmod 0444 does not stop open(O_WRONLY) or rename; a file without
// any write permission bit is nevertheless refused explicitly, so this holds for every user.
TEST_F(ConfigFileTest, ReadOnlyFileIsRefusedAndKeptByteForByte) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX permission bits and owners do not exist on Windows; the read-only "
                  "attribute is tested with a non-ASCII name";
#else
  const std::string original = "[A  B]\r\n4=1\r\n; mine\r\n";
  Write(file, original);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  ExpectRefused(file, device, "permission denied");
  EXPECT_EQ(Read(file), original);
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0444));
#endif
}

TEST_F(ConfigFileTest, MissingFolderIsRefusedAndNothingCreated) {
  const std::string target = dir.File("missing") + "/devices.cfg";
  ExpectRefused(target, device, "no such file or folder");
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

// A path through a regular file fails with ENOTDIR for root too: the temporary file cannot be
// created there.
TEST_F(ConfigFileTest, FolderThatIsAFileIsRefusedAndTheFileKept) {
  const std::string plain = dir.File("plain.txt");
  Write(plain, "not a folder\r\n");
  ExpectRefused(plain + "/devices.cfg", device, "no such file or folder");
  EXPECT_EQ(Read(plain), "not a folder\r\n");
}

TEST_F(ConfigFileTest, FolderInPlaceOfTheFileIsRefused) {
  std::filesystem::create_directory(file);
  ExpectRefused(file, device, "is a folder");
  EXPECT_TRUE(std::filesystem::is_directory(file));
  EXPECT_TRUE(std::filesystem::is_empty(file));
}

TEST_F(ConfigFileTest, DanglingLinkIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need privileges on Windows";
#else
  std::filesystem::create_symlink(dir.File("nowhere.cfg"), file);
  ExpectRefused(file, device, "no such file or folder");
  EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere.cfg")));
#endif
}

// The file size limit stops writes for root as well: the temporary copy is cut off part-way,
// exactly the failure that must not reach the original.
TEST_F(ConfigFileTest, WriteFailingHalfWayLeavesTheOriginalUntouched) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a file size limit (setrlimit), which Windows lacks";
#else
  const std::string original = "[Other]\r\nx=1\r\n[A  B]\r\n4=1\r\n";
  Write(file, original);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 100;
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string failure;
  try {
    SaveConfig(file, device);
  } catch (const TIniWriteError& e) {
    failure = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(failure,
            "Impossible d'\xC3\xA9"
            "crire dans " +
                file + ": file too large");
  EXPECT_EQ(Read(file), original);
  EXPECT_EQ(Listing(), (std::set<std::string>{"devices.cfg"}));
#endif
}

// A line break in a device's text would split its line and forge entries or sections.
TEST_F(ConfigFileTest, LineBreakInADeviceTextIsRefusedBeforeAnythingIsWritten) {
  const std::string original = "[A  B]\r\n4=1\r\n";
  Write(file, original);
  device.values.Set(8, std::string("admin\r\n[Forged]\r\n1=1.2.3.4"));
  ExpectRefused(file, device, "line break in a text");
  EXPECT_EQ(Read(file), original);

  TZEL broken = Zel1("A\n", "B", "x");
  ExpectRefused(file, broken, "line break in a text");
  EXPECT_EQ(Read(file), original);
}

TEST_F(ConfigFileTest, OversizedExistingFileIsRefusedNotTruncated) {
  Write(file, "[Other]\r\n");
  std::filesystem::resize_file(file, TIniFile::kMaxFileSize + 1);  // sparse, fast
  ExpectRefused(file, device, "file too large");
  EXPECT_EQ(std::filesystem::file_size(file), TIniFile::kMaxFileSize + 1);
}

TEST_F(ConfigFileTest, EntryIsWrittenByTypeAndNotAtAllForMacOrUnknownTags) {
  TIniFile ini(file);
  WriteConfigEntry(ini, device, 10, kModelZel1);   // MAC
  WriteConfigEntry(ini, device, 38, kModelZel1);   // not in the model
  WriteConfigEntry(ini, device, 999, kModelZel1);  // not in the model
  EXPECT_EQ(ini.Content(), "");
  WriteConfigEntry(ini, device, 13, kModelZel1);
  WriteConfigEntry(ini, device, 3, kModelZel1);
  WriteConfigEntry(ini, device, 7, kModelZel1);
  WriteConfigEntry(ini, device, 71, kModelZel1);
  EXPECT_EQ(ini.Content(),
            "[A  B]\r\n13=16843008\r\n3=192.168.0.1\r\n7=" + name + "\r\n71=3000000000\r\n");
  // Before UpdateFile only the empty file that carries the lock is on disk.
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
  ini.UpdateFile();
  EXPECT_EQ(Read(file), ini.Content());
}

TEST_F(ConfigFileTest, SectionNameJoinsTypeAndTag12WithTwoBlanks) {
  EXPECT_EQ(ConfigSectionName(device), "A  B");
  EXPECT_EQ(ConfigSectionName(TZEL{}), "  ");
}

}  // namespace
