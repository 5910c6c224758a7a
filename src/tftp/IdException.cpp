#include "tftp/IdException.h"

#include <cstring>

namespace velkaro {

namespace {

std::string SocketErrorText(int code, const std::string& systemText) {
  return "Erreur de socket # " + std::to_string(code) + "\r\n" + systemText;
}

}  // namespace

EIdSocketError::EIdSocketError(int code, const std::string& systemText)
    : EIdException(SocketErrorText(code, systemText)), code_(code) {}

EIdSocketError::EIdSocketError(int code) : EIdSocketError(code, std::strerror(code)) {}

EIdUDPReceiveErrorZeroBytes::EIdUDPReceiveErrorZeroBytes()
    : EIdException("Erreur de réception UDP = 0.") {}

EFOpenError::EFOpenError(const std::string& fileName, int systemError)
    : std::runtime_error("Cannot open file \"" + fileName + "\". " + std::strerror(systemError)) {}

void ThrowTftpError(std::uint16_t code, const std::string& message) {
  switch (code) {
    case 1:
      throw EIdTFTPFileNotFound(message);
    case 2:
      throw EIdTFTPAccessViolation(message);
    case 3:
      throw EIdTFTPAllocationExceeded(message);
    case 4:
      throw EIdTFTPIllegalOperation(message);
    case 5:
      throw EIdTFTPUnknownTransferID(message);
    case 6:
      throw EIdTFTPFileAlreadyExists(message);
    case 7:
      throw EIdTFTPNoSuchUser(message);
    case 8:
      throw EIdTFTPOptionNegotiationFailed(message);
    default:
      throw EIdTFTPException(message);
  }
}

}  // namespace velkaro
