// The exchange itself: listening modes, time-outs, limits and error handling, on the loopback
// interface against the simulator or a scripted peer.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <atomic>
#include <thread>

#include "platform/Socket.h"
#include "support/LoopbackFixture.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

TBytes DiscoverRequest() {
  TSendBuf buf;
  BuildHeader(kAllDevices, TCommand::Discover, buf);
  return buf;
}

// Answers the first request it gets with the given datagrams, in order.
class TScriptedPeer {
 public:
  explicit TScriptedPeer(std::vector<TBytes> answers) : answers_(std::move(answers)) {
    socket_.Bind(kLoopback, 0);
    port_ = socket_.LocalPort();
    thread_ = std::thread([this] { Run(); });
  }
  ~TScriptedPeer() { thread_.join(); }
  std::uint16_t Port() const { return port_; }

 private:
  void Run() {
    TBytes buffer(65536);
    if (!socket_.WaitReadable(milliseconds(3000))) return;
    const TDatagramInfo from = socket_.ReceiveFrom(buffer);
    for (const TBytes& a : answers_) socket_.SendTo(a, from.address, from.port);
  }

  TUdpSocket socket_;
  std::uint16_t port_ = 0;
  std::vector<TBytes> answers_;
  std::thread thread_;
};

TBytes FrameOfSize(std::size_t size, std::uint8_t fill) {
  TBytes d(size, fill);
  for (std::size_t i = 0; i < 25 && i < size; ++i) d[i] = 0;
  return d;
}

using ExchangeTest = LoopbackTest;

// Retry count 0: every datagram is delivered, in arrival order, each with the caller's flag.
TEST_F(ExchangeTest, RetryZeroDeliversEveryDatagramInArrivalOrder) {
  sim::TSimOptions o;
  o.models = {kModelZel1, kModelZel4, kModelZel8};
  o.replySpacingMs = 30;
  o.duplicates = 1;
  o.duplicateGapMs = 5;
  StartSimulator(o);
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), false));
  ASSERT_EQ(delivered.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(delivered[i].Source(), simulator->Snapshot(i / 2).address) << i;
    EXPECT_FALSE(delivered[i].last);
    EXPECT_EQ(delivered[i].ip, "127.0.0.1");
    EXPECT_EQ(delivered[i].port, simulator->Port());
  }
  EXPECT_TRUE(errors.empty());
}

// The session's OEM code goes out on every request, whatever the request was built with; two
// sessions of one process send each their own.
TEST_F(ExchangeTest, EveryRequestCarriesItsSessionsOemCode) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  StartSimulator(o);
  TSession other;
  simulator->Aim(other);
  other.settings.oemCode = 5157;  // wire bytes 25 14
  Note(Discover(other.settings, Recorder()));
  Note(Discover(session.settings, Recorder()));
  const auto requests = simulator->Requests();
  ASSERT_EQ(requests.size(), 2u);
  const auto oemBytes = [](const TBytes& d) { return std::make_pair(int{d[18]}, int{d[19]}); };
  EXPECT_EQ(oemBytes(requests[0].data), std::make_pair(0x25, 0x14));
  EXPECT_EQ(oemBytes(requests[1].data), std::make_pair(0x25, 0x13));
  ASSERT_FALSE(delivered.empty());
  EXPECT_EQ(oemBytes(delivered[0].data), std::make_pair(0x25, 0x14));  // the device's echo
  EXPECT_TRUE(errors.empty());
}

// Retry count 0 ends at the first quiet period: at least 100 ms, and 100 ms after the last reply.
TEST_F(ExchangeTest, RetryZeroEndsOneQuietPeriodAfterTheLastReply) {
  sim::TSimOptions o;
  o.silent = true;
  StartSimulator(o);
  auto start = Clock::now();
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  const auto quiet = MsSince(start);
  EXPECT_GE(quiet, 100);
  EXPECT_LT(quiet, 190);
  EXPECT_TRUE(delivered.empty());
  EXPECT_TRUE(simulator->WaitForRequests(1, milliseconds(1000)));

  simulator->SetSilent(false);
  simulator->SetReplyDelay(60);
  start = Clock::now();
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  const auto ended = Clock::now();
  ASSERT_EQ(delivered.size(), 3u);
  const auto afterLast =
      std::chrono::duration_cast<milliseconds>(ended - delivered.back().at).count();
  EXPECT_GE(afterLast, 100);
  EXPECT_LT(afterLast, 190);
  EXPECT_TRUE(errors.empty());
}

// Retry count N > 0: the first datagram is delivered and ends the exchange at once.
TEST_F(ExchangeTest, RetryCountStopsAtTheFirstDatagram) {
  sim::TSimOptions o;
  o.models = {kModelZel1, kModelZel4};
  o.replySpacingMs = 400;  // the second answer comes long after the first
  StartSimulator(o);
  Note(Exchange(session.settings, DiscoverRequest(), 10, Recorder(), true));
  // Over before the second device even answered (the simulator counts a reply once it is out),
  // and that answer is not read.
  EXPECT_LT(simulator->RepliesSent(), 2u);
  EXPECT_TRUE(WaitUntil([&] { return simulator->RepliesSent() == 2; }));
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].Source(), simulator->Snapshot(0).address);
  EXPECT_TRUE(delivered[0].last);
}

// Retry count N > 0 without any datagram: N empty waits of 100 ms.
TEST_F(ExchangeTest, RetryCountWithoutReplyEndsAfterThatManyWaits) {
  sim::TSimOptions o;
  o.silent = true;
  StartSimulator(o);
  auto start = Clock::now();
  Note(Exchange(session.settings, DiscoverRequest(), 3, Recorder(), true));
  auto took = MsSince(start);
  EXPECT_GE(took, 300);
  EXPECT_LT(took, 420);
  start = Clock::now();
  Note(Exchange(session.settings, DiscoverRequest(), 1, Recorder(), true));
  took = MsSince(start);
  EXPECT_GE(took, 100);
  EXPECT_LT(took, 190);
  EXPECT_TRUE(delivered.empty());
  EXPECT_TRUE(errors.empty());
}

// A flag set before the start sends nothing; the flag belongs to the thread that set up the scope.
TEST_F(ExchangeTest, CancelledBeforeTheStartSendsNothing) {
  sim::TSimOptions o;
  StartSimulator(o);
  std::atomic<bool> stop{true};
  const TCancelScope scope(stop);
  EXPECT_TRUE(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true).cancelled);
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(simulator->RequestCount(), 0u);
  bool otherThreadCancelled = true;
  std::thread([&] { otherThreadCancelled = ExchangeCancelled(); }).join();
  EXPECT_FALSE(otherThreadCancelled);
}

TEST_F(ExchangeTest, SendsTheRequestOnceUnchanged) {
  sim::TSimOptions o;
  o.silent = true;
  StartSimulator(o);
  TSendBuf request;
  BuildHeader(simulator->Snapshot(0).address, TCommand::Read, request);
  AddReadItem(request, 1);
  AddReadItem(request, 2);
  request.resize(request.size() - 2);  // a non-final batch: no list end
  Note(Exchange(session.settings, request, 2, Recorder(), false));
  ASSERT_TRUE(simulator->WaitForRequests(1, milliseconds(1000)));
  std::this_thread::sleep_for(milliseconds(50));
  const auto got = simulator->Requests();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].data, request);
  EXPECT_EQ(got[0].senderIp, kLoopback);
}

TEST_F(ExchangeTest, NoCallbackIsFine) {
  StartSimulator({});
  Note(Exchange(session.settings, DiscoverRequest(), 0, nullptr, true));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(simulator->RequestCount(), 1u);
}

TEST_F(ExchangeTest, ZeroByteDatagramIsAReceiveError) {
  sim::TSimOptions o;
  o.malformed = true;
  o.malformKind = sim::TMalformKind::Empty;
  StartSimulator(o);
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  EXPECT_TRUE(delivered.empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Connection Error:  Erreur de réception UDP = 0.");
}

TEST_F(ExchangeTest, DatagramOverTheLimitIsAReceiveError) {
  sim::TSimOptions o;
  o.malformed = true;
  o.malformKind = sim::TMalformKind::Oversize;
  StartSimulator(o);
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  EXPECT_TRUE(delivered.empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].starts_with("Connection Error:  Erreur de réception UDP")) << errors[0];
  EXPECT_NE(errors[0].find("8192"), std::string::npos) << errors[0];
}

// 8192 bytes is the largest datagram taken; 8193 is an error and ends the exchange, so the
// datagram after it is not delivered.
TEST_F(ExchangeTest, LimitIsExactly8192Bytes) {
  {
    TScriptedPeer peer({FrameOfSize(8192, 0xAB)});
    session.settings.target = {kLoopback, peer.Port()};
    Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  }
  ASSERT_EQ(delivered.size(), 1u) << ::testing::PrintToString(errors);
  EXPECT_EQ(delivered[0].data, FrameOfSize(8192, 0xAB));
  EXPECT_TRUE(errors.empty());
  {
    TScriptedPeer peer({FrameOfSize(8193, 0xCD), FrameOfSize(100, 0x11)});
    session.settings.target = {kLoopback, peer.Port()};
    Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  }
  EXPECT_EQ(delivered.size(), 1u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("8193"), std::string::npos) << errors[0];
}

// Datagrams that are no proper frame are still delivered: judging them is the merge's job.
TEST_F(ExchangeTest, ShortAndBrokenFramesAreDelivered) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  o.malformed = true;
  o.malformKind = sim::TMalformKind::Short;
  StartSimulator(o);
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].data.size(), 10u);
  simulator->SetMalformed(true, sim::TMalformKind::BadItems);
  Note(Exchange(session.settings, DiscoverRequest(), 0, MergeInto(session), true));
  EXPECT_TRUE(errors.empty());
  ASSERT_EQ(session.DeviceList.size(), 1u);
  // Only what fits its type was stored: no IP, no port, no model code, no cut-off name.
  EXPECT_FALSE(session.DeviceList[0].values.Has(2));
  EXPECT_FALSE(session.DeviceList[0].values.Has(4));
  EXPECT_FALSE(session.DeviceList[0].values.Has(13));
  EXPECT_EQ(session.DeviceList[0].values.AsText(7), "broke");
}

// An error raised by the callback ends the exchange: later datagrams are not delivered.
TEST_F(ExchangeTest, CallbackErrorIsReportedAndEndsTheExchange) {
  sim::TSimOptions o;
  o.models = {kModelZel1, kModelZel4, kModelZel8};
  StartSimulator(o);
  int calls = 0;
  const auto start = Clock::now();
  Note(Exchange(
      session.settings, DiscoverRequest(), 0,
      [&](const TReply&) {
        if (++calls == 2) throw std::runtime_error("callback failed");
      },
      true));
  EXPECT_LT(MsSince(start), 90);  // no quiet period waited for
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Connection Error:  callback failed");
}

TEST_F(ExchangeTest, SendErrorIsReportedAndReturnsNormally) {
  sim::TSimOptions o;
  StartSimulator(o);
  TBytes huge = DiscoverRequest();
  huge.resize(70000, 0x20);  // beyond what one UDP datagram can carry
  Note(Exchange(session.settings, huge, 0, Recorder(), true));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].starts_with("Connection Error:  Erreur d'émission UDP")) << errors[0];
  EXPECT_TRUE(delivered.empty());
}

// Every path closes the socket: errors, replies, silence.
TEST_F(ExchangeTest, SocketIsClosedOnEveryPath) {
  sim::TSimOptions o;
  o.models = {kModelZel1};
  StartSimulator(o);
  const int before = OpenDescriptors();
  TBytes huge = DiscoverRequest();
  huge.resize(70000, 0x20);
  Note(Exchange(session.settings, huge, 0, Recorder(), true));
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  Note(Exchange(
      session.settings, DiscoverRequest(), 0, [](const TReply&) { throw std::runtime_error("x"); },
      true));
  simulator->SetMalformed(true, sim::TMalformKind::Empty);
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  simulator->SetMalformed(false);
  simulator->SetSilent(true);
  Note(Exchange(session.settings, DiscoverRequest(), 1, Recorder(), true));
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(errors.size(), 3u);
}

// Failing to create the socket comes back as a socket error: nothing was sent.
TEST_F(ExchangeTest, SocketCreationErrorReachesTheCaller) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a descriptor limit (setrlimit), which Windows lacks";
#else
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  // UBSan checks a type's vptr through a pipe the first time it meets the type; with no
  // descriptor left it could not, so meet it once before the limit drops.
  {
    const TSocketError warmUp("warm-up", EINVAL);
    EXPECT_EQ(warmUp.SystemError(), EINVAL);
    // The exchange reads the text through the base class: meet that pairing too.
    const std::exception& asBase = warmUp;
    EXPECT_NE(std::string(asBase.what()).find("warm-up"), std::string::npos);
  }
  // The lowest free descriptor as the limit: the next socket() fails with EMFILE.
  const int lowestFree = dup(0);
  ASSERT_GE(lowestFree, 0);
  close(lowestFree);
  rlimit none = saved;
  none.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
  const TExchangeResult result = Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_TRUE(result.NoSocket());
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_NE(result.errors[0].text.find("socket"), std::string::npos) << result.errors[0].text;
  EXPECT_EQ(result.replies, 0);
#endif
}

// A peer that never stops answering cannot hold the exchange beyond its time limit.
TEST_F(ExchangeTest, SteadyStreamEndsAtTheTimeLimitWithAnError) {
  TUdpSocket peer;
  peer.Bind(kLoopback, 0);
  session.settings.target = {kLoopback, peer.LocalPort()};
  std::atomic<bool> stop{false};
  std::thread streamer([&] {
    TBytes buffer(65536);
    if (!peer.WaitReadable(milliseconds(3000))) return;
    const TDatagramInfo from = peer.ReceiveFrom(buffer);
    const TBytes frame = FrameOfSize(30, 0x11);
    for (int i = 0; i < 100 && !stop; ++i) {  // 3 s of datagrams, 30 ms apart
      peer.SendTo(frame, from.address, from.port);
      std::this_thread::sleep_for(milliseconds(30));
    }
  });
  session.settings.timeLimit = milliseconds(400);
  const auto start = Clock::now();
  Note(Exchange(session.settings, DiscoverRequest(), 0, Recorder(), true));
  const auto elapsed = MsSince(start);
  stop = true;
  streamer.join();
  EXPECT_GE(elapsed, 400);
  EXPECT_LT(elapsed, 900);
  EXPECT_GE(delivered.size(), 5u);
  EXPECT_LT(delivered.size(), 30u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Connection Error:  R\u00e9ception UDP interrompue", 0), 0u)
      << errors[0];
}

// A receive buffer big enough for a burst of thousands of small replies.
TEST_F(ExchangeTest, ManyRepliesInOneBurstAreAllDelivered) {
  sim::TSimOptions o;
  o.count = 2000;
  StartSimulator(o);
  Note(Discover(session.settings, MergeInto(session)));
  EXPECT_EQ(session.DeviceList.size(), 2000u);
  EXPECT_TRUE(errors.empty());
}

// Exchanges on many short-lived threads at once, as parallel commands run them: each thread
// gets every reply with the link it came through, and every thread ends cleanly. Thread-local
// state with a destructor once crashed the Windows build as such threads exited.
TEST_F(ExchangeTest, ShortLivedThreadsEachRunTheirOwnExchange) {
  sim::TSimOptions o;
  o.count = 3;
  StartSimulator(o);
  session.settings.busy = {};  // the recorder is for one thread
  constexpr int kRounds = 25;
  constexpr int kThreads = 8;
  for (int round = 0; round < kRounds; ++round) {
    std::atomic<int> replies{0};
    std::atomic<int> unlinked{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
      workers.emplace_back([&] {
        const TExchangeResult r = Exchange(
            session.settings, DiscoverRequest(), 0,
            [&](const TReply& reply) {
              ++replies;
              if (!reply.via.Empty()) ++unlinked;  // an explicit target has no interface
            },
            true);
        if (!r.errors.empty()) ++failed;
      });
    for (auto& w : workers) w.join();
    ASSERT_EQ(failed.load(), 0) << "round " << round;
    ASSERT_EQ(replies.load(), kThreads * 3) << "round " << round;
    EXPECT_EQ(unlinked.load(), 0);
  }
}

}  // namespace
