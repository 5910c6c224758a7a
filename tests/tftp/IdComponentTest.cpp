// Work events and their nesting levels.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/TftpTestSupport.h"
#include "tftp/IdComponent.h"

namespace velkaro::testing {
namespace {

TEST(IdComponent, OnlyTheOutermostBeginAndEndReachTheEvents) {
  TIdComponent c;
  TWorkLog log;
  log.Attach(c);
  c.BeginWork(wmWrite, 100);
  c.BeginWork(wmWrite, 999);  // nested: no event, maximum kept
  EXPECT_EQ(c.WorkLevel(wmWrite), 2);
  c.DoWork(wmWrite, 10);
  c.EndWork(wmWrite);
  c.DoWork(wmWrite, 5);
  c.EndWork(wmWrite);
  EXPECT_EQ(log.begins, (std::vector<std::int64_t>{100}));
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{10, 15}));
  EXPECT_EQ(log.ends, 1);
  EXPECT_EQ(c.WorkCountMax(wmWrite), 100);
  EXPECT_EQ(c.WorkLevel(wmWrite), 0);
}

TEST(IdComponent, WorkOutsideABeginIsIgnored) {
  TIdComponent c;
  TWorkLog log;
  log.Attach(c);
  c.DoWork(wmWrite, 10);
  c.EndWork(wmWrite);  // unbalanced: neither an event nor a negative level
  EXPECT_TRUE(log.works.empty());
  EXPECT_EQ(log.ends, 0);
  c.BeginWork(wmWrite, 3);
  c.DoWork(wmWrite, 3);
  c.EndWork(wmWrite);
  EXPECT_EQ(log.begins.size(), 1u);
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{3}));
}

TEST(IdComponent, ModesKeepTheirOwnLevelsAndTotals) {
  TIdComponent c;
  TWorkLog log;
  log.Attach(c);
  c.BeginWork(wmRead, 50);
  c.BeginWork(wmWrite, 70);
  c.DoWork(wmRead, 5);
  c.DoWork(wmWrite, 7);
  c.EndWork(wmRead);
  c.DoWork(wmWrite, 1);
  c.EndWork(wmWrite);
  EXPECT_EQ(log.begins, (std::vector<std::int64_t>{50, 70}));
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{5, 7, 8}));
  EXPECT_EQ(log.ends, 2);
  EXPECT_EQ(log.modes,
            (std::vector<TWorkMode>{wmRead, wmWrite, wmRead, wmWrite, wmRead, wmWrite, wmWrite}));
}

TEST(IdComponent, NewBeginRestartsTheTotal) {
  TIdComponent c;
  TWorkLog log;
  log.Attach(c);
  c.BeginWork(wmWrite, 10);
  c.DoWork(wmWrite, 10);
  c.EndWork(wmWrite);
  c.BeginWork(wmWrite, 4);
  c.DoWork(wmWrite, 4);
  c.EndWork(wmWrite);
  EXPECT_EQ(log.works, (std::vector<std::int64_t>{10, 4}));
}

TEST(IdComponent, ThrowingEndHandlerDoesNotLeaveTheModeOpen) {
  TIdComponent c;
  int begins = 0;
  c.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int64_t) { ++begins; };
  c.OnWorkEnd = [](TIdComponent&, TWorkMode) { throw std::runtime_error("handler"); };
  c.BeginWork(wmWrite, 1);
  EXPECT_THROW(c.EndWork(wmWrite), std::runtime_error);
  EXPECT_EQ(c.WorkLevel(wmWrite), 0);
  c.BeginWork(wmWrite, 1);
  EXPECT_EQ(begins, 2);
}

TEST(IdComponent, ThrowingBeginHandlerLeavesNoWorkOpen) {
  TIdComponent c;
  int begins = 0;
  c.OnWorkBegin = [&](TIdComponent&, TWorkMode, std::int64_t) {
    if (++begins == 1) throw std::runtime_error("handler");
  };
  EXPECT_THROW(c.BeginWork(wmWrite, 1), std::runtime_error);
  EXPECT_EQ(c.WorkLevel(wmWrite), 0);
  c.BeginWork(wmWrite, 1);
  EXPECT_EQ(begins, 2);
}

}  // namespace
}  // namespace velkaro::testing
