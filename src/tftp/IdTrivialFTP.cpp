#include "tftp/IdTrivialFTP.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/Utf8Path.h"
#include "tftp/IdException.h"
#include "tftp/TftpPacket.h"

namespace velkaro {

namespace {

using Clock = std::chrono::steady_clock;
using namespace tftp;

constexpr std::size_t kLargestDatagram = 65536;
constexpr const char* kUnknownTransferText = "Unknown transfer ID";

// Fills the data part of DATA packets from the stream. Netascii sends every LF as CR LF and a
// bare CR as CR NUL, so that a receiving server restores the bytes exactly.
class TBlockReader {
 public:
  TBlockReader(std::istream& in, bool netAscii) : in_(in), netAscii_(netAscii) {
    if (netAscii_) source_.resize(64 * 1024);
  }

  // Writes up to `size` bytes to `out` and returns how many; `consumed` gets the stream bytes
  // that went into them.
  std::size_t Fill(std::uint8_t* out, std::size_t size, std::int64_t& consumed) {
    consumed = 0;
    if (!netAscii_) {
      const std::size_t n = Read(reinterpret_cast<char*>(out), size);
      consumed = static_cast<std::int64_t>(n);
      return n;
    }
    std::size_t n = 0;
    if (pending_ >= 0 && n < size) {
      out[n++] = static_cast<std::uint8_t>(pending_);
      pending_ = -1;
    }
    while (n < size) {
      if (pos_ == len_) {
        len_ = Read(source_.data(), source_.size());
        pos_ = 0;
        if (len_ == 0) break;
      }
      const char c = source_[pos_++];
      ++consumed;
      if (c == '\n' || c == '\r') {
        out[n++] = '\r';
        const std::uint8_t second = c == '\n' ? '\n' : '\0';
        if (n < size)
          out[n++] = second;
        else
          pending_ = second;
      } else {
        out[n++] = static_cast<std::uint8_t>(c);
      }
    }
    return n;
  }

 private:
  std::size_t Read(char* out, std::size_t size) {
    if (in_.eof()) return 0;
    in_.read(out, static_cast<std::streamsize>(size));
    if (in_.bad()) throw EIdException("Erreur de lecture du fichier à transférer");
    return static_cast<std::size_t>(in_.gcount());
  }

  std::istream& in_;
  bool netAscii_;
  std::vector<char> source_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  int pending_ = -1;
};

// Bytes from the current position to the end; 0 when the stream cannot tell (a pipe).
std::int64_t RemainingBytes(std::istream& in) {
  if (in.fail()) throw EIdException("Erreur de lecture du fichier à transférer");
  in.clear();  // a stream left at its end just has nothing more to send
  const std::istream::pos_type start = in.tellg();
  if (start == std::istream::pos_type(-1)) {
    in.clear();
    return 0;
  }
  in.seekg(0, std::ios::end);
  const std::istream::pos_type end = in.tellg();
  in.seekg(start);
  if (end == std::istream::pos_type(-1) || in.fail()) {
    in.clear();
    in.seekg(start);
    return 0;
  }
  return static_cast<std::int64_t>(end - start);
}

std::chrono::milliseconds TimeLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

}  // namespace

TIdTrivialFTP::TIdTrivialFTP() {
  SetPort(kDefaultPort);
  SetReceiveTimeout(kDefaultReceiveTimeout);
}

void TIdTrivialFTP::SetRequestedBlockSize(int bytes) {
  if (bytes < kMinBlockSize || bytes > kMaxBlockSize)
    throw std::invalid_argument("RequestedBlockSize must be 8-65464, got " + std::to_string(bytes));
  requestedBlockSize_ = bytes;
}

std::string TIdTrivialFTP::ModeText() const {
  return transferMode_ == tfNetAscii ? "netascii" : "octet";
}

void TIdTrivialFTP::UploadFile(const std::string& localFile, const std::string& remoteFile) {
  std::error_code ec;
  if (std::filesystem::is_directory(Utf8Path(localFile), ec)) throw EFOpenError(localFile, EISDIR);
  std::vector<char> buffer(256 * 1024);
  std::ifstream file;
  file.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  errno = 0;
  file.open(Utf8Path(localFile), std::ios::binary);
  if (!file.is_open()) throw EFOpenError(localFile, errno != 0 ? errno : ENOENT);
  UploadStream(file, remoteFile);
}

void TIdTrivialFTP::UploadStream(std::istream& stream, const std::string& remoteFile) {
  if (remoteFile.find('\0') != std::string::npos)
    throw std::invalid_argument("remote file name holds a zero byte");
  dataSent_ = false;
  BeginWork(wmWrite, RemainingBytes(stream));
  try {
    RunUpload(stream, remoteFile);
  } catch (...) {
    SetActive(false);
    try {
      EndWork(wmWrite);
    } catch (...) {
      // The transfer's own error is the one to report.
    }
    throw;
  }
  SetActive(false);
  EndWork(wmWrite);
}

void TIdTrivialFTP::RunUpload(std::istream& stream, const std::string& remoteFile) {
  const std::uint32_t host = HostAddress();
  const std::chrono::milliseconds timeout(ReceiveTimeout());
  SetBufferSize(kDefaultBlockSize + kDataHeaderSize);
  const auto request = MakeRequest(opWriteRequest, remoteFile, ModeText(),
                                   {{kBlockSizeOption, std::to_string(requestedBlockSize_)}});
  SendBuffer(host, static_cast<std::uint16_t>(Port()), request);
  Clock::time_point deadline = Clock::now() + timeout;
  // The packet sent last goes out again when the time-out passes in silence: one lost datagram
  // (ours or the answer) must not end the transfer.
  std::span<const std::uint8_t> lastSent(request.data(), request.size());
  std::uint16_t lastPort = static_cast<std::uint16_t>(Port());
  int resends = 0;

  // The server answers from a port of its own (its transfer ID); it is fixed by the first answer
  // and everything from elsewhere is turned away without disturbing the transfer.
  bool started = false;
  std::uint16_t serverPort = 0;
  std::uint16_t block = 0;  // whose ACK is awaited; 0 stands for the write request
  bool finalSent = false;
  std::vector<std::uint8_t> packet(kMaxBlockSize + kDataHeaderSize);
  std::vector<std::uint8_t> received(kLargestDatagram);
  TBlockReader reader(stream, transferMode_ == tfNetAscii);

  for (;;) {
    if (CancelRequested()) {
      // Only a server that has answered has a transfer to end.
      if (started) {
        try {
          SendBuffer(host, serverPort, MakeError(errNotDefined, kCancelMessage));
        } catch (const EIdSocketError&) {
          // The upload ends either way.
        }
      }
      throw EIdTFTPCancelled(kCancelledText);
    }
    // With a cancel flag the wait is cut into short looks; the deadlines stay the same.
    std::chrono::milliseconds wait = TimeLeft(deadline);
    const bool sliced = cancel_ && wait > kCancelCheckPeriod;
    if (sliced) wait = kCancelCheckPeriod;
    const auto got = TIdUDPBase::ReceiveBuffer(received, wait);
    if (!got && sliced) continue;
    if (!got) {
      // Also after the final block: only its ACK proves that the image arrived whole.
      if (resends == kMaxResends) throw EIdTFTPException(kTimeoutText);
      ++resends;
      SendBuffer(host, lastPort, lastSent);
      deadline = Clock::now() + timeout;
      continue;
    }
    const TDatagramInfo& info = *got;
    const std::span<const std::uint8_t> datagram(received.data(), info.copied);
    const std::uint16_t opcode = Word(datagram, 0);

    if (info.address != host || (started && info.port != serverPort)) {
      if (opcode != opError) {
        try {
          SendBuffer(info.address, info.port,
                     MakeError(errUnknownTransferId, kUnknownTransferText));
        } catch (const EIdSocketError&) {
          // A stranger that cannot be answered does not concern this transfer.
        }
      }
      continue;
    }
    if (info.size == 0) throw EIdUDPReceiveErrorZeroBytes();
    if (info.size > static_cast<std::size_t>(BufferSize())) throw EIdSocketError(EMSGSIZE);
    if (opcode == opError) RaiseTftpError(datagram);

    bool next = false;
    if (!started) {
      if (opcode == opOptionAck) {
        try {
          ApplyOptionAck(datagram);
        } catch (const EIdTFTPOptionNegotiationFailed& e) {
          try {
            SendBuffer(info.address, info.port, MakeError(errOptionNegotiation, e.what()));
          } catch (const EIdSocketError&) {
          }
          throw;
        }
        next = true;
      } else if (opcode == opAck && info.size >= 4 && Word(datagram, 2) == 0) {
        next = true;
      }
      if (next) {
        started = true;
        serverPort = info.port;
      }
    } else if (opcode == opAck && info.size >= 4 && Word(datagram, 2) == block) {
      if (finalSent) return;
      next = true;
    }
    // Anything else (a repeated ACK, a late option acknowledgement) is left unanswered: resending
    // on duplicates would double every later packet.
    if (!next) continue;

    block = static_cast<std::uint16_t>(block + 1);  // 65535 is followed by 0
    const std::size_t blockSize = static_cast<std::size_t>(BufferSize() - kDataHeaderSize);
    PutDataHeader(packet.data(), block);
    std::int64_t consumed = 0;
    const std::size_t count = reader.Fill(packet.data() + kDataHeaderSize, blockSize, consumed);
    DoWork(wmWrite, consumed);
    finalSent = count < blockSize;
    lastSent = std::span<const std::uint8_t>(packet.data(), count + kDataHeaderSize);
    lastPort = serverPort;
    resends = 0;
    SendBuffer(host, serverPort, lastSent);
    dataSent_ = true;
    deadline = Clock::now() + timeout;
  }
}

void TIdTrivialFTP::ApplyOptionAck(std::span<const std::uint8_t> packet) {
  for (const auto& [name, value] : ParseOptions(packet, 2)) {
    if (!SameText(name, kBlockSizeOption)) continue;
    long size = 0;
    if (!ParseDecimal(value, size))
      throw EIdTFTPOptionNegotiationFailed("'" + value + "' is not a valid integer value");
    // A server may lower the size asked for, never raise it; below 8 no data would move.
    if (size < kMinBlockSize || size > requestedBlockSize_)
      throw EIdTFTPOptionNegotiationFailed("Taille de bloc refusée : " + value);
    SetBufferSize(static_cast<int>(size) + kDataHeaderSize);
    return;
  }
}

void TIdTrivialFTP::RaiseTftpError(std::span<const std::uint8_t> packet) {
  ThrowTftpError(Word(packet, 2), Text(packet, 4));
}

}  // namespace velkaro
