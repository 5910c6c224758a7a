// Winsock implementation of protocol/Socket.h.
// winsock2.h must come before windows.h and mswsock.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Socket.h"
#include "platform/WindowsText.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace velkaro {

namespace {

SOCKET Native(std::intptr_t handle) {
  return static_cast<SOCKET>(handle);
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

INT MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
          .count();
  return left > 0 ? static_cast<INT>(std::min<long long>(left, 0x7FFFFFFF)) : 0;
}

// Waits for `events` on `handle`; false when the time ran out. WSAPoll takes milliseconds.
bool WaitFor(std::intptr_t handle, SHORT events, std::chrono::milliseconds timeout,
             const char* context) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    WSAPOLLFD p{Native(handle), events, 0};
    const INT n = ::WSAPoll(&p, 1, MillisecondsLeft(deadline));
    if (n > 0) return true;
    if (n == 0) return false;
    const int error = ::WSAGetLastError();
    if (error != WSAEINTR) throw TSocketError(context, error);
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
}

std::uint16_t BoundPort(std::intptr_t handle) {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (::getsockname(Native(handle), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

std::string Describe(const std::string& context, int systemError) {
  return context + " (" + std::to_string(systemError) +
         ") : " + WindowsErrorText(static_cast<unsigned long>(systemError));
}

}  // namespace

void StartWinsock() {
  // Started on the first socket and cleaned up when the program ends.
  class TWinsock {
   public:
    TWinsock() { error_ = ::WSAStartup(MAKEWORD(2, 2), &data_); }
    ~TWinsock() {
      if (error_ == 0) ::WSACleanup();
    }
    TWinsock(const TWinsock&) = delete;
    TWinsock& operator=(const TWinsock&) = delete;
    int Error() const { return error_; }

   private:
    WSADATA data_{};
    int error_ = 0;
  };
  static const TWinsock winsock;
  if (winsock.Error() != 0)
    throw TSocketError("Erreur d'initialisation de Winsock", winsock.Error());
}

void CloseSocket(TSocketHandle handle) {
  ::closesocket(Native(handle));
}

TSocketError::TSocketError(const std::string& context, int systemError)
    : std::runtime_error(Describe(context, systemError)), systemError_(systemError) {}

TUdpSocket::TUdpSocket() {
  StartWinsock();
  const SOCKET s =
      ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET)
    throw TSocketError("Erreur de création du socket UDP", ::WSAGetLastError());
  fd_ = static_cast<TSocketHandle>(s);
  // An ICMP port-unreachable for an earlier datagram would otherwise fail the next receive
  // with WSAECONNRESET; a silent address is no error here, the time-out reports it.
  BOOL report = FALSE;
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
}

void TUdpSocket::EnableBroadcast() {
  const BOOL on = TRUE;
  if (::setsockopt(Native(fd_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                   sizeof on) != 0)
    throw TSocketError("Erreur d'activation du broadcast UDP", ::WSAGetLastError());
}

void TUdpSocket::SetReuseAddress() {
  // Windows rebinds a UDP port just closed without asking, and its SO_REUSEADDR would do more:
  // let this socket share a port with another bound socket, which then may get its datagrams.
}

std::size_t TUdpSocket::SetReceiveBuffer(std::size_t bytes) {
  // Windows grants what is asked and reports it as it is; there is no privileged override.
  const int wanted = bytes > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(bytes);
  ::setsockopt(Native(fd_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&wanted),
               sizeof wanted);
  return ReceiveBufferSize();
}

std::size_t TUdpSocket::ReceiveBufferSize() const {
  int size = 0;
  int len = sizeof size;
  if (::getsockopt(Native(fd_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &len) != 0 ||
      size < 0)
    return 0;
  return static_cast<std::size_t>(size);
}

void TUdpSocket::Bind(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  if (::bind(Native(fd_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
    throw TSocketError("Erreur d'attachement du socket UDP au port " + std::to_string(port),
                       ::WSAGetLastError());
}

std::uint16_t TUdpSocket::LocalPort() const {
  return BoundPort(fd_);
}

std::uint32_t TUdpSocket::LocalAddress() const {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (::getsockname(Native(fd_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohl(sa.sin_addr.s_addr);
}

void TUdpSocket::SendTo(std::span<const std::uint8_t> data, std::uint32_t address,
                        std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  if (data.size() > 0x7FFFFFFF) throw TSocketError("Erreur d'émission UDP", WSAEMSGSIZE);
  const int sent =
      ::sendto(Native(fd_), reinterpret_cast<const char*>(data.data()),
               static_cast<int>(data.size()), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  if (sent == SOCKET_ERROR) throw TSocketError("Erreur d'émission UDP", ::WSAGetLastError());
  if (static_cast<std::size_t>(sent) != data.size())
    throw TSocketError("Erreur d'émission UDP, datagramme incomplet", WSAEMSGSIZE);
}

bool TUdpSocket::WaitReadable(std::chrono::milliseconds timeout) {
  return WaitFor(fd_, POLLRDNORM, timeout, "Erreur d'attente de réception UDP");
}

int PollReadable(std::span<const TSocketHandle> handles, std::chrono::milliseconds timeout,
                 std::vector<bool>& ready) {
  std::vector<WSAPOLLFD> polled;
  polled.reserve(handles.size());
  for (const TSocketHandle h : handles) polled.push_back({Native(h), POLLRDNORM, 0});
  const INT n = ::WSAPoll(polled.data(), static_cast<ULONG>(polled.size()),
                          static_cast<INT>(timeout.count()));
  if (n < 0) {
    const int error = ::WSAGetLastError();
    if (error == WSAEINTR) return -1;
    throw TSocketError("Erreur d'attente de réception UDP", error);
  }
  ready.assign(polled.size(), false);
  for (std::size_t i = 0; i < polled.size(); ++i) ready[i] = polled[i].revents != 0;
  return n;
}

TDatagramInfo TUdpSocket::ReceiveFrom(std::span<std::uint8_t> buffer) {
  // Winsock does not tell the length of a datagram that did not fit, so every datagram lands
  // in a buffer of the largest UDP size first and its real length is known, as on Linux. Taken
  // per call (not thread_local: MinGW may crash running a thread-local destructor at thread exit).
  constexpr std::size_t kLargest = 65536;
  std::unique_ptr<std::uint8_t[]> spill;
  std::span<std::uint8_t> whole = buffer;
  if (buffer.size() < kLargest) {
    spill.reset(new std::uint8_t[kLargest]);
    whole = {spill.get(), kLargest};
  }
  sockaddr_in sa{};
  TDatagramInfo info;
  for (int attempt = 0;; ++attempt) {
    int len = sizeof sa;
    const int got =
        ::recvfrom(Native(fd_), reinterpret_cast<char*>(whole.data()),
                   static_cast<int>(whole.size()), 0, reinterpret_cast<sockaddr*>(&sa), &len);
    if (got != SOCKET_ERROR) {
      info.size = static_cast<std::size_t>(got);
      break;
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEMSGSIZE) {
      // Longer than any UDP datagram can be: all that is known is that it did not fit.
      info.size = whole.size() + 1;
      break;
    }
    // A port-unreachable report left over from a send (where SIO_UDP_CONNRESET is not honoured)
    // is skipped; the next datagram, if one is waiting, is the answer.
    if (error == WSAECONNRESET && attempt < 16 && WaitReadable(std::chrono::milliseconds(0)))
      continue;
    if (error == WSAECONNRESET) return {};
    throw TSocketError("Erreur de réception UDP", error);
  }
  info.copied = std::min({info.size, buffer.size(), whole.size()});
  if (spill) std::copy_n(whole.begin(), info.copied, buffer.begin());
  info.address = ntohl(sa.sin_addr.s_addr);
  info.port = ntohs(sa.sin_port);
  return info;
}

TTcpStream TTcpStream::Connect(std::uint32_t address, std::uint16_t port) {
  StartWinsock();
  TTcpStream stream(static_cast<TSocketHandle>(
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT)));
  if (stream.fd_ < 0) throw TSocketError("Erreur de création du socket TCP", ::WSAGetLastError());
  const sockaddr_in sa = MakeAddress(address, port);
  if (::connect(Native(stream.fd_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
    throw TSocketError("Erreur de connexion TCP", ::WSAGetLastError());
  return stream;
}

std::string TTcpStream::Receive(std::size_t max, std::chrono::milliseconds timeout) {
  if (!WaitFor(fd_, POLLRDNORM, timeout, "Erreur d'attente de réception TCP")) return {};
  std::string data(std::min<std::size_t>(max, 0x7FFFFFFF), '\0');
  const int got = ::recv(Native(fd_), data.data(), static_cast<int>(data.size()), 0);
  if (got == SOCKET_ERROR) {
    const int error = ::WSAGetLastError();
    // The peer's reset ends the stream as a close does.
    if (error == WSAECONNRESET) return {};
    throw TSocketError("Erreur de réception TCP", error);
  }
  data.resize(static_cast<std::size_t>(got));
  return data;
}

void TTcpStream::SendAll(std::string_view data) {
  while (!data.empty()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 0x7FFFFFFF));
    const int sent = ::send(Native(fd_), data.data(), chunk, 0);
    if (sent == SOCKET_ERROR) throw TSocketError("Erreur d'émission TCP", ::WSAGetLastError());
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
}

TTcpListener::TTcpListener(std::uint32_t address, std::uint16_t port) {
  StartWinsock();
  const SOCKET s =
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET)
    throw TSocketError("Erreur de création du socket TCP", ::WSAGetLastError());
  fd_ = static_cast<TSocketHandle>(s);
  // Windows lets SO_REUSEADDR steal a port another program listens on; exclusive use instead.
  const BOOL on = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  const sockaddr_in sa = MakeAddress(address, port);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, 8) != 0) {
    const int error = ::WSAGetLastError();
    ::closesocket(s);
    throw TSocketError("Erreur d'écoute TCP sur le port " + std::to_string(port), error);
  }
}

std::uint16_t TTcpListener::LocalPort() const {
  return BoundPort(fd_);
}

std::optional<TTcpStream> TTcpListener::Accept(std::chrono::milliseconds timeout) {
  if (!WaitFor(fd_, POLLRDNORM, timeout, "Erreur d'attente de connexion TCP")) return std::nullopt;
  const SOCKET s = ::accept(Native(fd_), nullptr, nullptr);
  if (s == INVALID_SOCKET) return std::nullopt;  // the peer gave up meanwhile
  return TTcpStream(static_cast<TSocketHandle>(s));
}

}  // namespace velkaro
