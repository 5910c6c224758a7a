// The parts of platform/Socket.h that are the same on every system: ownership, closing and
// waiting on several sockets.
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/Socket.h"

namespace velkaro {

TUdpSocket::~TUdpSocket() {
  Close();
}

TUdpSocket::TUdpSocket(TUdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TUdpSocket& TUdpSocket::operator=(TUdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void TUdpSocket::Close() {
  if (fd_ >= 0) CloseSocket(std::exchange(fd_, -1));
}

TTcpStream::~TTcpStream() {
  if (fd_ >= 0) CloseSocket(fd_);
}

TTcpStream::TTcpStream(TTcpStream&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TTcpStream& TTcpStream::operator=(TTcpStream&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseSocket(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

TTcpListener::~TTcpListener() {
  if (fd_ >= 0) CloseSocket(fd_);
}

int TUdpSocket::WaitAnyReadable(std::span<TUdpSocket* const> sockets,
                                std::chrono::milliseconds timeout, std::size_t first) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  std::vector<TSocketHandle> handles;
  handles.reserve(sockets.size());
  for (const TUdpSocket* s : sockets) handles.push_back(s->fd_);
  std::vector<bool> ready;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const std::chrono::milliseconds wait{std::clamp<long long>(left, 0, 0x7FFFFFFF)};
    const int n = PollReadable(handles, wait, ready);
    if (n > 0) {
      for (std::size_t k = 0; k < handles.size(); ++k) {
        const std::size_t i = (first + k) % handles.size();
        if (ready[i]) return static_cast<int>(i);
      }
    }
    if (n == 0 || Clock::now() >= deadline) return -1;
  }
}

}  // namespace velkaro
