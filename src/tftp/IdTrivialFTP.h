// TFTP upload client (write requests only) with the "blksize" option. Progress goes through the
// work events in mode wmWrite: begin with the byte count, one OnWork per new block with the
// running total, end on success and on failure.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <istream>
#include <span>
#include <string>

#include "tftp/IdUDPClient.h"

namespace velkaro {

enum TIdTFTPMode { tfNetAscii = 0, tfOctet = 1 };

class TIdTrivialFTP : public TIdUDPClient {
 public:
  static constexpr int kDefaultPort = 69;
  static constexpr int kDefaultRequestedBlockSize = 1500;
  // Times the last packet is sent again after a silent receive time-out before the upload fails.
  static constexpr int kMaxResends = 3;
  // Longest wait between two looks at the cancel flag.
  static constexpr std::chrono::milliseconds kCancelCheckPeriod{100};
  // What a cancelled upload tells the server in its ERROR packet (code 0).
  static constexpr const char* kCancelMessage = "Transfer cancelled by the user";

  TIdTrivialFTP();

  TIdTFTPMode TransferMode() const { return transferMode_; }
  void SetTransferMode(TIdTFTPMode mode) { transferMode_ = mode; }

  // Asked for with "blksize"; 8-65464 (throws std::invalid_argument otherwise).
  int RequestedBlockSize() const { return requestedBlockSize_; }
  void SetRequestedBlockSize(int bytes);

  std::string ModeText() const;

  // Once `flag` (not owned; nullptr: none) is set, an upload ends at its next look at it: a
  // server that has answered gets an ERROR packet, and EIdTFTPCancelled is raised.
  void SetCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }
  // Whether the last upload sent any DATA block.
  bool DataSent() const { return dataSent_; }

  // Sends the local file from its start. A file that cannot be opened raises EFOpenError before
  // any packet is sent.
  void UploadFile(const std::string& localFile, const std::string& remoteFile);
  // Sends the bytes from the stream's position to its end; returns once the server has
  // acknowledged the final block, raises EIdException (or a subclass) otherwise. The socket is
  // closed at the end either way.
  void UploadStream(std::istream& stream, const std::string& remoteFile);

 protected:
  // Takes the block size from an option acknowledgement; throws
  // EIdTFTPOptionNegotiationFailed for a value that is not a number or not 8..RequestedBlockSize.
  void ApplyOptionAck(std::span<const std::uint8_t> packet);
  [[noreturn]] void RaiseTftpError(std::span<const std::uint8_t> packet);

 private:
  void RunUpload(std::istream& stream, const std::string& remoteFile);
  bool CancelRequested() const { return cancel_ && cancel_->load(); }

  TIdTFTPMode transferMode_ = tfOctet;
  int requestedBlockSize_ = kDefaultRequestedBlockSize;
  const std::atomic<bool>* cancel_ = nullptr;
  bool dataSent_ = false;
};

}  // namespace velkaro
