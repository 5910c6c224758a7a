// The parts of protocol/Socket.h that are the same on every system: ownership and closing.
#include <utility>

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

}  // namespace velkaro
