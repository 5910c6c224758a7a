// The process runner sees how a program ended: an ordinary exit with its code, a crash as a
// crash (never as exit 0), on Linux and under Wine alike.
#include <gtest/gtest.h>

#include "support/ChildProcess.h"

using namespace velkaro::testing;

TEST(ChildProcess, CrashIsReportedAsCrash) {
  const TProgramRun run = RunProgram({VELKARO_CRASHING_CHILD}, std::chrono::seconds(60));
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, -1) << "a crashed child was taken for an ordinary exit";
  // What it printed before it crashed (Wine's debugger may add its report after that).
  EXPECT_EQ(run.out.rfind("about to crash", 0), 0u) << run.out;

  TChildProcess child({VELKARO_CRASHING_CHILD});
  ASSERT_TRUE(child.Started());
  const int status = child.Finish(std::chrono::seconds(60));
  EXPECT_FALSE(child.ExitedNormally()) << "status " << status;
  EXPECT_NE(status, 0);
}

TEST(ChildProcess, OrdinaryExitKeepsItsCode) {
  for (const char* code : {"0", "1", "2", "77"}) {
    const TProgramRun run = RunProgram({VELKARO_CRASHING_CHILD, "exit", code});
    EXPECT_EQ(run.exitCode, std::atoi(code)) << code;
  }
}
