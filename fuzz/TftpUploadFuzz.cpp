// The TFTP upload client against a scripted server. Input: two bytes choosing the image size and
// the block size asked for, then datagrams led by a 16-bit length, whose first byte says who sends
// them (the server's transfer port, another port, another host) or asks for a correct ACK of the
// last packet sent. Invariant: the upload succeeds only when every byte was sent and the last
// packet received is the ACK of the final block.
#include <sstream>

#include "FuzzTarget.h"
#include "tftp/IdException.h"
#include "tftp/IdTrivialFTP.h"
#include "tftp/TftpPacket.h"

using namespace velkaro;

namespace {

constexpr std::uint32_t kHost = 0x7F000001;
constexpr std::uint16_t kServerPort = 40000;

class TScriptedServer : public TDatagramTransport {
 public:
  explicit TScriptedServer(std::vector<std::vector<std::uint8_t>> script)
      : script_(std::move(script)) {}

  void Send(std::uint32_t address, std::uint16_t port,
            std::span<const std::uint8_t> data) override {
    FUZZ_CHECK(data.size() >= 2);
    const int opcode = (data[0] << 8) | data[1];
    if (address != kHost) return;  // answers to strangers do not count
    if (opcode == tftp::opWriteRequest) {
      FUZZ_CHECK(port == TIdTrivialFTP::kDefaultPort);
      FUZZ_CHECK(lastSent_ == 0 && (requests_++ == 0 || silent_));  // resent only after silence
      return;
    }
    if (opcode != tftp::opData) return;
    FUZZ_CHECK(data.size() >= 4);
    // Every block goes to the one transfer port the server answered from first.
    if (lastSent_ == 0) dataPort_ = port;
    FUZZ_CHECK(port == dataPort_);
    const auto block = static_cast<std::uint16_t>((data[2] << 8) | data[3]);
    // No block skipped; one resent only after the server fell silent.
    if (block == lastSent_ && lastSent_ != 0) {
      FUZZ_CHECK(silent_);
      return;
    }
    FUZZ_CHECK(block == static_cast<std::uint16_t>(lastSent_ + 1));
    lastSent_ = block;
    lastPayload_ = data.size() - 4;
    payloadBytes_ += lastPayload_;
  }

  std::optional<TDatagramInfo> Receive(std::span<std::uint8_t> buffer,
                                       std::chrono::milliseconds) override {
    silent_ = next_ >= script_.size();
    if (silent_) return std::nullopt;  // the server falls silent
    std::vector<std::uint8_t> datagram = script_[next_++];
    TDatagramInfo info{0, 0, kHost, kServerPort};
    const std::uint8_t who = datagram.empty() ? 0 : datagram[0] % 4;
    if (!datagram.empty()) datagram.erase(datagram.begin());
    if (who == 1) info.port = kServerPort + 1;
    if (who == 2) info.address = kHost + 1;
    if (who == 3) {
      datagram = {0, tftp::opAck, static_cast<std::uint8_t>(lastSent_ >> 8),
                  static_cast<std::uint8_t>(lastSent_)};
    }
    info.size = datagram.size();
    info.copied = std::min(datagram.size(), buffer.size());
    std::copy_n(datagram.begin(), info.copied, buffer.begin());
    lastReceived_ = datagram;
    lastSender_ = {info.address, info.port};
    return info;
  }

  std::uint16_t lastSent_ = 0;
  std::size_t lastPayload_ = 0;
  std::size_t payloadBytes_ = 0;
  std::uint16_t dataPort_ = 0;
  std::vector<std::uint8_t> lastReceived_;
  std::pair<std::uint32_t, std::uint16_t> lastSender_{};

 private:
  std::vector<std::vector<std::uint8_t>> script_;
  std::size_t next_ = 0;
  bool silent_ = false;  // the last receive timed out
  int requests_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t imageSize = std::size_t{data[0]} * 37;  // up to 9,435 bytes
  const int blockSize = data[1] < 8 ? TIdTrivialFTP::kDefaultRequestedBlockSize : data[1] * 4;
  std::string image(imageSize, '\0');
  for (std::size_t i = 0; i < imageSize; ++i) image[i] = static_cast<char>(i * 7 + 3);

  TScriptedServer server(fuzz::LengthPrefixedParts({data + 2, size - 2}));
  TIdTrivialFTP client;
  client.SetTransport(&server);
  client.SetHost("127.0.0.1");
  client.SetRequestedBlockSize(blockSize);
  std::istringstream stream(image);
  bool succeeded = false;
  try {
    client.UploadStream(stream, "image.bin");
    succeeded = true;
  } catch (const EIdException&) {
  }
  if (!succeeded) return 0;

  FUZZ_CHECK(server.payloadBytes_ == imageSize);
  FUZZ_CHECK(server.lastPayload_ < static_cast<std::size_t>(client.BufferSize() - 4));
  // The client returns on the final ACK, so nothing arrives after it.
  FUZZ_CHECK(server.lastSender_ == std::make_pair(kHost, server.dataPort_));
  const auto& ack = server.lastReceived_;
  FUZZ_CHECK(ack.size() >= 4 && ack[0] == 0 && ack[1] == tftp::opAck);
  FUZZ_CHECK(((ack[2] << 8) | ack[3]) == server.lastSent_);
  FUZZ_CHECK(server.lastSent_ != 0);
  return 0;
}
