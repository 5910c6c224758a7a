// Exceptions of the UDP and TFTP layers. Their texts are shown to the user as they are, after
// "Transfert Error:  ".
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velkaro {

class EIdException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failed socket call: "Erreur de socket # <code>\r\n<system text>".
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int code, const std::string& systemText);
  explicit EIdSocketError(int code);  // text from the system's error table
  int LastError() const { return code_; }

 private:
  int code_;
};

// A datagram of zero bytes where an answer was expected.
class EIdUDPReceiveErrorZeroBytes : public EIdException {
 public:
  EIdUDPReceiveErrorZeroBytes();
};

class EIdTFTPException : public EIdException {
 public:
  using EIdException::EIdException;
};

// One class per TFTP error code 1-8; codes 0 and above 8 raise EIdTFTPException itself.
class EIdTFTPFileNotFound : public EIdTFTPException {
  using EIdTFTPException::EIdTFTPException;
};
class EIdTFTPAccessViolation : public EIdTFTPException {
  using EIdTFTPException::EIdTFTPException;
};
class EIdTFTPAllocationExceeded : public EIdTFTPException {
  using EIdTFTPException::EIdTFTPException;
};
class EIdTFTPIllegalOperation : public EIdTFTPException {
  using EIdTFTPException::EIdTFTPException;
};
class EIdTFTPUnknownTransferID : public EIdTFTPException {
  using EIdTFTPException::EIdTFTPException;
};
class EIdTFTPFileAlreadyExists : public EIdTFTPException {
  using EIdTFTPException::EIdTFTPException;
};
class EIdTFTPNoSuchUser : public EIdTFTPException {
  using EIdTFTPException::EIdTFTPException;
};
class EIdTFTPOptionNegotiationFailed : public EIdTFTPException {
  using EIdTFTPException::EIdTFTPException;
};

// The upload was stopped through its cancel flag.
class EIdTFTPCancelled : public EIdTFTPException {
 public:
  using EIdTFTPException::EIdTFTPException;
};

// A local file that cannot be opened for reading; raised before any packet is sent.
class EFOpenError : public std::runtime_error {
 public:
  EFOpenError(const std::string& fileName, int systemError);
};

// Raises the exception class that belongs to a TFTP error code, with the server's message.
[[noreturn]] void ThrowTftpError(std::uint16_t code, const std::string& message);

inline constexpr const char* kTimeoutText = "Délai d'inactivité";
inline constexpr const char* kCancelledText = "Transfert annulé";

}  // namespace velkaro
