// Saves that race each other, links planted by other users, and files that start with a BOM.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <thread>

#include "platform/AtomicFile.h"
#include "protocol/ConfigFile.h"
#include "protocol/ModelRegistry.h"
#include "support/TempDir.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

TZEL Device(const std::string& type, const std::string& tag12) {
  TZEL r;
  r.values.Set(13, std::uint32_t{kModelZel1});
  r.values.Set(5, type);
  r.values.Set(12, tag12);
  r.values.Set(4, std::uint32_t{80});
  return r;
}

std::string Read(const std::string& name) {
  const auto bytes = ReadBytes(name);
  return {bytes.begin(), bytes.end()};
}

void Write(const std::string& name, const std::string& text) {
  WriteBytes(name, {text.begin(), text.end()});
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

class ConfigFileSafetyTest : public ::testing::Test {
 protected:
  // The save's error text, or "" when it succeeded.
  static std::string SaveError(const std::string& target, const TZEL& record) {
    try {
      SaveConfig(target, record);
      return "";
    } catch (const TIniWriteError& e) {
      return e.what();
    }
  }

  TTempDir dir;
  std::string file = dir.File("devices.cfg");
};

// Separate processes, as separate velkaro-cli runs would be; each save reads, edits and replaces.
TEST_F(ConfigFileSafetyTest, TwentyParallelSavesKeepEverySection) {
#ifdef _WIN32
  GTEST_SKIP() << "needs fork(), which Windows lacks";
#else
  constexpr int kSavers = 20;
  std::vector<pid_t> children;
  for (int i = 0; i < kSavers; ++i) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int rc = 0;
      try {
        SaveConfig(file, Device("T", "unit" + std::to_string(i)));
      } catch (...) {
        rc = 1;
      }
      ::_exit(rc);
    }
    children.push_back(pid);
  }
  int failed = 0;
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
  }
  EXPECT_EQ(failed, 0);
  const std::string content = Read(file);
  for (int i = 0; i < kSavers; ++i)
    EXPECT_EQ(Count(content, "[T  unit" + std::to_string(i) + "]\r\n"), 1u) << i;
  // No temporary or lock file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
#endif
}

TEST_F(ConfigFileSafetyTest, SaveWaitsForAHeldLockAndGivesUpWithACause) {
  Write(file, "[Other]\r\n");
  {
    const TFileLock held(file);
    EXPECT_THROW(TFileLock(file, 100), std::system_error);
  }
  // Released: the next save goes through and keeps what was there.
  EXPECT_EQ(SaveError(file, Device("A", "B")), "");
  EXPECT_EQ(Read(file).rfind("[Other]\r\n[A  B]\r\n", 0), 0u);
}

TEST_F(ConfigFileSafetyTest, ByteOrderMarkStaysAtTheStartAndTheSectionIsFound) {
  Write(file, "\xEF\xBB\xBF[A  B]\r\n4=1\r\n");
  SaveConfig(file, Device("A", "B"));
  SaveConfig(file, Device("A", "B"));
  const std::string content = Read(file);
  EXPECT_EQ(content.rfind("\xEF\xBB\xBF[A  B]\r\n4=80\r\n", 0), 0u);
  EXPECT_EQ(Count(content, "[A  B]"), 1u);
  EXPECT_EQ(Count(content, "\xEF\xBB\xBF"), 1u);
}

TEST_F(ConfigFileSafetyTest, FailedSaveRemovesTheFileItCreatedForTheLock) {
  TZEL broken = Device("A", "B");
  broken.values.Set(8, std::string("x\r\ny"));
  EXPECT_EQ(SaveError(file, broken),
            "Impossible d'\xC3\xA9"
            "crire dans " +
                file + ": line break in a text");
  EXPECT_FALSE(std::filesystem::exists(file));
}

// fs.protected_symlinks: in a sticky world-writable folder, a link owned by someone other than
// the follower and the folder's owner is not followed, even by root.
TEST_F(ConfigFileSafetyTest, PlantedLinkInAStickyFolderIsRefusedLikeTheKernelWould) {
#ifdef _WIN32
  GTEST_SKIP() << "sticky folders and link ownership are POSIX rules";
#else
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
  const std::string shared = dir.File("shared");
  ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  const std::string victim = dir.File("root-owned.conf");
  const std::string original = "secret=1\n";
  Write(victim, original);
  ASSERT_EQ(::chmod(victim.c_str(), 0644), 0);

  const std::string planted = shared + "/devices.cfg";
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::lchown(planted.c_str(), kNobody, kNobody), 0);
  EXPECT_EQ(SaveError(planted, Device("A", "B")),
            "Impossible d'\xC3\xA9"
            "crire dans " +
                planted + ": permission denied");
  EXPECT_EQ(Read(victim), original);
  EXPECT_TRUE(std::filesystem::is_symlink(planted));

  // The same link owned by the folder's owner is followed, as the kernel allows.
  ASSERT_EQ(::lchown(planted.c_str(), 0, 0), 0);
  EXPECT_EQ(SaveError(planted, Device("A", "B")), "");
  EXPECT_EQ(Read(victim).rfind(original + "[A  B]\r\n", 0), 0u);
#endif
}

}  // namespace
