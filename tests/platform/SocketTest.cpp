// The socket layer on the loopback interface.
#include "platform/Socket.h"
#include "support/Loopback.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <winsock2.h>

#include "platform/WindowsText.h"
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

using namespace velkaro;
using std::chrono::milliseconds;

namespace {

using velkaro::testing::kLoopback;

TEST(Socket, SendsAndReceivesWithTheSenderAddress) {
  TUdpSocket receiver, sender;
  receiver.Bind(kLoopback, 0);
  sender.Bind(kLoopback, 0);
  ASSERT_NE(receiver.LocalPort(), 0);
  const std::vector<std::uint8_t> data{1, 2, 3, 4, 5};
  sender.SendTo(data, kLoopback, receiver.LocalPort());
  ASSERT_TRUE(receiver.WaitReadable(milliseconds(1000)));
  std::vector<std::uint8_t> buffer(64);
  const TDatagramInfo info = receiver.ReceiveFrom(buffer);
  EXPECT_EQ(info.size, 5u);
  EXPECT_EQ(info.copied, 5u);
  EXPECT_FALSE(info.Truncated());
  EXPECT_EQ(info.address, kLoopback);
  EXPECT_EQ(info.port, sender.LocalPort());
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 5), data);
}

TEST(Socket, TellsTheRealLengthOfADatagramThatDidNotFit) {
  TUdpSocket receiver, sender;
  receiver.Bind(kLoopback, 0);
  sender.SendTo(std::vector<std::uint8_t>(100, 7), kLoopback, receiver.LocalPort());
  sender.SendTo(std::vector<std::uint8_t>{}, kLoopback, receiver.LocalPort());
  std::vector<std::uint8_t> buffer(10);
  ASSERT_TRUE(receiver.WaitReadable(milliseconds(1000)));
  const TDatagramInfo big = receiver.ReceiveFrom(buffer);
  EXPECT_TRUE(big.Truncated());
  EXPECT_EQ(big.copied, 10u);
  EXPECT_EQ(big.size, 100u);
  ASSERT_TRUE(receiver.WaitReadable(milliseconds(1000)));
  const TDatagramInfo empty = receiver.ReceiveFrom(buffer);
  EXPECT_EQ(empty.size, 0u);
  EXPECT_FALSE(empty.Truncated());
}

TEST(Socket, WaitReadableTimesOut) {
  TUdpSocket s;
  s.Bind(kLoopback, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(s.WaitReadable(milliseconds(50)));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(50));
  EXPECT_LT(took, milliseconds(150));
}

// The socket with a datagram waiting is found, searching from `first` on and wrapping around, so
// that a busy socket cannot starve the others; with none waiting the wait ends at its time.
TEST(Socket, WaitAnyReadableFindsTheWaitingSocketFromTheGivenStart) {
  TUdpSocket a, b, c, sender;
  for (TUdpSocket* s : {&a, &b, &c}) s->Bind(kLoopback, 0);
  TUdpSocket* const all[] = {&a, &b, &c};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(TUdpSocket::WaitAnyReadable(all, milliseconds(50)), -1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(50));

  sender.SendTo(std::vector<std::uint8_t>{1}, kLoopback, b.LocalPort());
  sender.SendTo(std::vector<std::uint8_t>{2}, kLoopback, c.LocalPort());
  ASSERT_TRUE(c.WaitReadable(milliseconds(1000)));
  ASSERT_TRUE(b.WaitReadable(milliseconds(1000)));
  const struct {
    std::size_t first;
    int found;
  } cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 1}};
  for (const auto& k : cases)
    EXPECT_EQ(TUdpSocket::WaitAnyReadable(all, milliseconds(1000), k.first % 3), k.found)
        << "from " << k.first;
  std::vector<std::uint8_t> buffer(8);
  EXPECT_EQ(b.ReceiveFrom(buffer).size, 1u);
  EXPECT_EQ(TUdpSocket::WaitAnyReadable(all, milliseconds(1000)), 2);
}

// A stream both ways, the end of it, and an accept that times out.
TEST(Socket, TcpStreamCarriesBytesBothWaysAndEnds) {
  TTcpListener listener(kLoopback, 0);
  ASSERT_NE(listener.LocalPort(), 0);
  const auto quiet = std::chrono::steady_clock::now();
  EXPECT_FALSE(listener.Accept(milliseconds(50)).has_value());
  EXPECT_GE(std::chrono::steady_clock::now() - quiet, milliseconds(50));

  TTcpStream client = TTcpStream::Connect(kLoopback, listener.LocalPort());
  std::optional<TTcpStream> server = listener.Accept(milliseconds(1000));
  ASSERT_TRUE(server.has_value());
  const std::string request(10000, 'r');
  client.SendAll(request);
  std::string got;
  for (int i = 0; i < 100 && got.size() < request.size(); ++i)
    got += server->Receive(4096, milliseconds(1000));
  EXPECT_EQ(got, request);
  server->SendAll("answer");
  EXPECT_EQ(client.Receive(64, milliseconds(1000)), "answer");
  EXPECT_EQ(client.Receive(64, milliseconds(50)), "");  // nothing more yet
  server.reset();                                       // closes the stream
  EXPECT_EQ(client.Receive(64, milliseconds(1000)), "");
}

TEST(Socket, ErrorsCarryTheSystemMessage) {
  TUdpSocket a, b;
  a.Bind(kLoopback, 0);
  try {
    b.Bind(kLoopback, a.LocalPort());
    FAIL() << "binding a used port succeeded";
  } catch (const TSocketError& e) {
#ifdef _WIN32
    EXPECT_EQ(e.SystemError(), WSAEADDRINUSE);
    EXPECT_NE(std::string(e.what()).find(WindowsErrorText(WSAEADDRINUSE)), std::string::npos)
        << e.what();
#else
    EXPECT_EQ(e.SystemError(), EADDRINUSE);
    EXPECT_NE(std::string(e.what()).find(std::strerror(EADDRINUSE)), std::string::npos) << e.what();
#endif
  }
  EXPECT_THROW(a.SendTo(std::vector<std::uint8_t>(70000), kLoopback, 9), TSocketError);
}

TEST(Socket, BroadcastAndReceiveBufferOptions) {
  TUdpSocket s;
  EXPECT_NO_THROW(s.EnableBroadcast());
  const std::size_t granted = s.SetReceiveBuffer(1u << 20);
  EXPECT_GT(granted, 0u);
  EXPECT_EQ(granted, s.ReceiveBufferSize());
#ifdef _WIN32
  EXPECT_GE(granted, 1u << 20);  // Windows grants what is asked
#else
  // A privileged process is not held back by the system's cap.
  if (geteuid() == 0) {
    EXPECT_GE(granted, 1u << 20);
  }
#endif
}

TEST(Socket, OwnershipMovesAndCloseIsFinal) {
  TUdpSocket a;
  a.Bind(kLoopback, 0);
  const std::uint16_t port = a.LocalPort();
  TUdpSocket b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  EXPECT_TRUE(b.IsOpen());
  EXPECT_EQ(b.LocalPort(), port);
  b.Close();
  b.Close();
  EXPECT_FALSE(b.IsOpen());
  TUdpSocket c;
  EXPECT_NO_THROW(c.Bind(kLoopback, port));  // the port was released
}

}  // namespace
