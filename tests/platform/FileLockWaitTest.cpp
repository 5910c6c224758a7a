// The wait of a file lock, with scripted steps instead of a file system: how often each step
// runs and which error ends it.
#include "platform/FileLockWait.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace velkaro {
namespace {

struct TScript {
  int opensRefused = 0;  // the first N opens find the file coming or going
  int lockRefusals = 0;  // the first N lock attempts find it held (-1: always)
  int renames = 0;       // the first N checks find the name on another file (-1: always)
  int timeoutMs = 1000;
};

struct TCount {
  int opens = 0;
  int locks = 0;
  int checks = 0;
};

// Runs the wait; the error code it ended with, 0 when it got the lock.
int Wait(const TScript& script, TCount& count, std::string* message = nullptr) {
  TFileLockSteps steps;
  steps.open = [&] { return ++count.opens > script.opensRefused; };
  steps.tryLock = [&] {
    ++count.locks;
    return script.lockRefusals >= 0 && count.locks > script.lockRefusals;
  };
  steps.stillNamed = [&] {
    ++count.checks;
    return script.renames >= 0 && count.checks > script.renames;
  };
  try {
    WaitForFileLock("rack.cfg", script.timeoutMs, steps);
    return 0;
  } catch (const std::system_error& e) {
    if (message) *message = e.what();
    return e.code().value();
  }
}

TEST(FileLockWait, EachStepRunsAsOftenAsTheFileNeeds) {
  struct TCase {
    const char* name;
    TScript script;
    TCount expected;
  };
  const TCase cases[] = {
      {"free at once", {}, {1, 1, 1}},
      {"came and went twice before the open", {.opensRefused = 2}, {3, 1, 1}},
      {"held for three attempts", {.lockRefusals = 3}, {1, 4, 1}},
      {"replaced twice while waiting", {.renames = 2}, {3, 3, 3}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TCount count;
    EXPECT_EQ(Wait(c.script, count), 0);
    EXPECT_EQ(count.opens, c.expected.opens);
    EXPECT_EQ(count.locks, c.expected.locks);
    EXPECT_EQ(count.checks, c.expected.checks);
  }
}

TEST(FileLockWait, AHolderThatStaysOrANameThatKeepsChangingEndsTheWait) {
  TCount held;
  std::string message;
  EXPECT_EQ(Wait({.lockRefusals = -1, .timeoutMs = 30}, held, &message), EWOULDBLOCK);
  EXPECT_NE(message.find("rack.cfg stays locked by another save"), std::string::npos) << message;
  EXPECT_EQ(held.opens, 1);
  EXPECT_GT(held.locks, 1);  // tried again until the time ran out

  TCount changing;
  EXPECT_EQ(Wait({.renames = -1, .timeoutMs = 0}, changing, &message), EAGAIN);
  EXPECT_NE(message.find("rack.cfg keeps changing"), std::string::npos) << message;
  EXPECT_EQ(changing.checks, 1);  // out of time after the first check

  TCount vanishing;  // a file that is never there to open: bounded by the count alone
  EXPECT_EQ(Wait({.opensRefused = 1 << 30}, vanishing), EAGAIN);
  EXPECT_EQ(vanishing.opens, 1000);
  EXPECT_EQ(vanishing.locks, 0);
}

}  // namespace
}  // namespace velkaro
