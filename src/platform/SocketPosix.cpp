#include "platform/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace velkaro {

namespace {

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

std::string Describe(const std::string& context, int systemError) {
  return context + " (" + std::to_string(systemError) + ") : " + std::strerror(systemError);
}

// Waits for `events` on `fd`; false when the time ran out.
bool WaitFor(int fd, short events, std::chrono::milliseconds timeout, const char* context) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) throw TSocketError(context, errno);
    if (Clock::now() >= deadline) return false;
  }
}

std::uint16_t BoundPort(int fd) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

}  // namespace

void CloseSocket(TSocketHandle handle) {
  ::close(handle);
}

TSocketError::TSocketError(const std::string& context, int systemError)
    : std::runtime_error(Describe(context, systemError)), systemError_(systemError) {}

TUdpSocket::TUdpSocket() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd_ < 0) throw TSocketError("Erreur de création du socket UDP", errno);
}

void TUdpSocket::EnableBroadcast() {
  const int on = 1;
  if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
    throw TSocketError("Erreur d'activation du broadcast UDP", errno);
}

void TUdpSocket::SetReuseAddress() {
  const int on = 1;
  if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
    throw TSocketError("Erreur de configuration du socket UDP", errno);
}

std::size_t TUdpSocket::SetReceiveBuffer(std::size_t bytes) {
  const int wanted = bytes > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(bytes);
  // Linux reports (and accounts) twice the requested size, so compare against half of it.
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
#ifdef SO_RCVBUFFORCE
  if (ReceiveBufferSize() / 2 < bytes)
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted);
#endif
  return ReceiveBufferSize();
}

std::size_t TUdpSocket::ReceiveBufferSize() const {
  int size = 0;
  socklen_t len = sizeof size;
  if (::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, &len) != 0 || size < 0) return 0;
  return static_cast<std::size_t>(size);
}

void TUdpSocket::Bind(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
    throw TSocketError("Erreur d'attachement du socket UDP au port " + std::to_string(port), errno);
}

std::uint16_t TUdpSocket::LocalPort() const {
  return BoundPort(fd_);
}

std::uint32_t TUdpSocket::LocalAddress() const {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohl(sa.sin_addr.s_addr);
}

void TUdpSocket::SendTo(std::span<const std::uint8_t> data, std::uint32_t address,
                        std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(address, port);
  ssize_t sent;
  do {
    sent = ::sendto(fd_, data.data(), data.size(), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) throw TSocketError("Erreur d'émission UDP", errno);
  if (static_cast<std::size_t>(sent) != data.size())
    throw TSocketError("Erreur d'émission UDP, datagramme incomplet", EMSGSIZE);
}

bool TUdpSocket::WaitReadable(std::chrono::milliseconds timeout) {
  return WaitFor(fd_, POLLIN, timeout, "Erreur d'attente de réception UDP");
}

int PollReadable(std::span<const TSocketHandle> handles, std::chrono::milliseconds timeout,
                 std::vector<bool>& ready) {
  std::vector<pollfd> polled;
  polled.reserve(handles.size());
  for (const TSocketHandle h : handles) polled.push_back({h, POLLIN, 0});
  const int n = ::poll(polled.data(), polled.size(), static_cast<int>(timeout.count()));
  if (n < 0) {
    if (errno == EINTR) return -1;
    throw TSocketError("Erreur d'attente de réception UDP", errno);
  }
  ready.assign(polled.size(), false);
  for (std::size_t i = 0; i < polled.size(); ++i) ready[i] = polled[i].revents != 0;
  return n;
}

TDatagramInfo TUdpSocket::ReceiveFrom(std::span<std::uint8_t> buffer) {
  sockaddr_in sa{};
  iovec part{buffer.data(), buffer.size()};
  msghdr msg{};
  ssize_t got;
#ifdef __linux__
  // Linux then returns the datagram's real length even when it did not fit.
  const int flags = MSG_TRUNC;
#else
  const int flags = 0;
#endif
  do {
    msg = {};
    msg.msg_name = &sa;
    msg.msg_namelen = sizeof sa;
    msg.msg_iov = &part;
    msg.msg_iovlen = 1;
    got = ::recvmsg(fd_, &msg, flags);
  } while (got < 0 && errno == EINTR);
  if (got < 0) throw TSocketError("Erreur de réception UDP", errno);
  TDatagramInfo info;
  info.size = static_cast<std::size_t>(got);
  info.copied = info.size < buffer.size() ? info.size : buffer.size();
  // Where the real length is not told, "longer than the buffer" is all that is known.
  if ((msg.msg_flags & MSG_TRUNC) && info.size <= info.copied) info.size = info.copied + 1;
  info.address = ntohl(sa.sin_addr.s_addr);
  info.port = ntohs(sa.sin_port);
  return info;
}

TTcpStream TTcpStream::Connect(std::uint32_t address, std::uint16_t port) {
  TTcpStream stream(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (stream.fd_ < 0) throw TSocketError("Erreur de création du socket TCP", errno);
  const sockaddr_in sa = MakeAddress(address, port);
  int done;
  do {
    done = ::connect(stream.fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  } while (done != 0 && errno == EINTR);
  if (done != 0) throw TSocketError("Erreur de connexion TCP", errno);
  return stream;
}

std::string TTcpStream::Receive(std::size_t max, std::chrono::milliseconds timeout) {
  if (!WaitFor(fd_, POLLIN, timeout, "Erreur d'attente de réception TCP")) return {};
  std::string data(max, '\0');
  ssize_t got;
  do {
    got = ::recv(fd_, data.data(), data.size(), 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) throw TSocketError("Erreur de réception TCP", errno);
  data.resize(static_cast<std::size_t>(got));
  return data;
}

void TTcpStream::SendAll(std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) throw TSocketError("Erreur d'émission TCP", errno);
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
}

TTcpListener::TTcpListener(std::uint32_t address, std::uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd_ < 0) throw TSocketError("Erreur de création du socket TCP", errno);
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in sa = MakeAddress(address, port);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(fd_, 8) != 0) {
    const int error = errno;
    ::close(fd_);
    throw TSocketError("Erreur d'écoute TCP sur le port " + std::to_string(port), error);
  }
}

std::uint16_t TTcpListener::LocalPort() const {
  return BoundPort(fd_);
}

std::optional<TTcpStream> TTcpListener::Accept(std::chrono::milliseconds timeout) {
  if (!WaitFor(fd_, POLLIN, timeout, "Erreur d'attente de connexion TCP")) return std::nullopt;
  const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return std::nullopt;  // the peer gave up meanwhile
  return TTcpStream(fd);
}

}  // namespace velkaro
