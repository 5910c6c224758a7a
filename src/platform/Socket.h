// The one place that talks to the operating system's socket API: SocketPosix.cpp or, on Windows,
// SocketWin.cpp (Winsock) implement this header. IPv4 only; addresses are host-order numbers with
// the first octet in the most significant byte, as TextToIp gives them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velkaro {

// A failed socket call. what() is the caller's context followed by the system's own message.
class TSocketError : public std::runtime_error {
 public:
  TSocketError(const std::string& context, int systemError);
  int SystemError() const { return systemError_; }

 private:
  int systemError_;
};

// What ReceiveFrom got. `size` is the datagram's real length, which exceeds the bytes copied
// when the buffer was too small.
struct TDatagramInfo {
  std::size_t size = 0;
  std::size_t copied = 0;
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  bool Truncated() const { return size > copied; }
};

#ifdef _WIN32
// A SOCKET, held signed so that -1 (INVALID_SOCKET) marks a closed socket as on POSIX.
using TSocketHandle = std::intptr_t;
#else
using TSocketHandle = int;
#endif

// Closes an open handle; the one call that differs between the systems' ways of closing.
void CloseSocket(TSocketHandle handle);

// One call of the system's poll over `handles` for reading, for at most `timeout`: the number of
// ready handles, with ready[i] set for each; 0 when the time ran out; -1 when a signal cut the
// wait short. Any other failure throws. The part of waiting on several sockets that differs.
int PollReadable(std::span<const TSocketHandle> handles, std::chrono::milliseconds timeout,
                 std::vector<bool>& ready);

// An IPv4 UDP socket, closed by its destructor.
class TUdpSocket {
 public:
  TUdpSocket();  // throws TSocketError
  ~TUdpSocket();
  TUdpSocket(TUdpSocket&& other) noexcept;
  TUdpSocket& operator=(TUdpSocket&& other) noexcept;
  TUdpSocket(const TUdpSocket&) = delete;
  TUdpSocket& operator=(const TUdpSocket&) = delete;

  void EnableBroadcast();
  // Lets the port be bound again right after a socket on it closed.
  void SetReuseAddress();
  // Asks for a receive buffer of `bytes`; where the system caps ordinary requests, a privileged
  // process may go beyond the cap. Returns what the system granted (never throws).
  std::size_t SetReceiveBuffer(std::size_t bytes);
  std::size_t ReceiveBufferSize() const;
  // Port 0 lets the system pick; LocalPort() tells which.
  void Bind(std::uint32_t address, std::uint16_t port);
  std::uint16_t LocalPort() const;
  // The address it is bound to; 0 when bound to every address (or not bound).
  std::uint32_t LocalAddress() const;

  // Sends one datagram; a short send is an error.
  void SendTo(std::span<const std::uint8_t> data, std::uint32_t address, std::uint16_t port);
  // True when a datagram (or an error) is waiting; false when the time ran out.
  bool WaitReadable(std::chrono::milliseconds timeout);
  // Index of a socket of `sockets` with a datagram (or an error) waiting, searched from `first`
  // on so that a busy socket does not starve the others; -1 when the time ran out.
  static int WaitAnyReadable(std::span<TUdpSocket* const> sockets,
                             std::chrono::milliseconds timeout, std::size_t first = 0);
  // Receives one datagram into `buffer` with its sender. Call after WaitReadable said true, or
  // it blocks.
  TDatagramInfo ReceiveFrom(std::span<std::uint8_t> buffer);

  void Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  TSocketHandle fd_ = -1;
};

// A connected TCP stream, closed by its destructor (the demo devices' status pages).
class TTcpStream {
 public:
  explicit TTcpStream(TSocketHandle fd) : fd_(fd) {}
  ~TTcpStream();
  TTcpStream(TTcpStream&& other) noexcept;
  TTcpStream& operator=(TTcpStream&& other) noexcept;
  TTcpStream(const TTcpStream&) = delete;
  TTcpStream& operator=(const TTcpStream&) = delete;

  // Connects to `address`:`port`; throws TSocketError.
  static TTcpStream Connect(std::uint32_t address, std::uint16_t port);
  // At most `max` bytes that arrived within `timeout`; empty when the peer closed the stream or
  // the time ran out.
  std::string Receive(std::size_t max, std::chrono::milliseconds timeout);
  // Sends every byte; throws TSocketError.
  void SendAll(std::string_view data);

 private:
  TSocketHandle fd_ = -1;
};

// A listening TCP socket, closed by its destructor.
class TTcpListener {
 public:
  // Binds and listens; port 0 lets the system pick (LocalPort tells). Throws TSocketError.
  TTcpListener(std::uint32_t address, std::uint16_t port);
  ~TTcpListener();
  TTcpListener(const TTcpListener&) = delete;
  TTcpListener& operator=(const TTcpListener&) = delete;

  std::uint16_t LocalPort() const;
  // The next connection, or nothing when none came within `timeout`.
  std::optional<TTcpStream> Accept(std::chrono::milliseconds timeout);

 private:
  TSocketHandle fd_ = -1;
};

}  // namespace velkaro
