#include "tftp/TftpPacket.h"

namespace velkaro::tftp {

namespace {

void PutWord(TBytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

void PutText(TBytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

TBytes MakeRequest(TOpcode opcode, const std::string& fileName, const std::string& mode,
                   const TOptions& options) {
  TBytes out;
  PutWord(out, opcode);
  PutText(out, fileName);
  PutText(out, mode);
  for (const auto& [name, value] : options) {
    PutText(out, name);
    PutText(out, value);
  }
  return out;
}

TBytes MakeAck(std::uint16_t block) {
  TBytes out;
  PutWord(out, opAck);
  PutWord(out, block);
  return out;
}

TBytes MakeError(std::uint16_t code, const std::string& message) {
  TBytes out;
  PutWord(out, opError);
  PutWord(out, code);
  PutText(out, message);
  return out;
}

TBytes MakeOptionAck(const TOptions& options) {
  TBytes out;
  PutWord(out, opOptionAck);
  for (const auto& [name, value] : options) {
    PutText(out, name);
    PutText(out, value);
  }
  return out;
}

void PutDataHeader(std::uint8_t* packet, std::uint16_t block) {
  packet[0] = 0;
  packet[1] = opData;
  packet[2] = static_cast<std::uint8_t>(block >> 8);
  packet[3] = static_cast<std::uint8_t>(block & 0xFF);
}

std::uint16_t Word(std::span<const std::uint8_t> packet, std::size_t offset) {
  if (packet.size() < offset + 2) return 0;
  return static_cast<std::uint16_t>((packet[offset] << 8) | packet[offset + 1]);
}

std::string Text(std::span<const std::uint8_t> packet, std::size_t offset, std::size_t* next) {
  std::string out;
  std::size_t i = offset;
  while (i < packet.size() && packet[i] != 0) out.push_back(static_cast<char>(packet[i++]));
  if (next) *next = i < packet.size() ? i + 1 : i;
  return out;
}

TOptions ParseOptions(std::span<const std::uint8_t> packet, std::size_t offset) {
  TOptions out;
  std::size_t i = offset;
  while (i < packet.size()) {
    std::size_t afterName = 0;
    std::string name = Text(packet, i, &afterName);
    if (afterName >= packet.size()) break;  // a name with no value after it
    std::size_t afterValue = 0;
    std::string value = Text(packet, afterName, &afterValue);
    out.emplace_back(std::move(name), std::move(value));
    i = afterValue;
  }
  return out;
}

bool ParseRequest(std::span<const std::uint8_t> packet, TRequest& out) {
  const std::uint16_t opcode = Word(packet, 0);
  if (opcode != opReadRequest && opcode != opWriteRequest) return false;
  std::size_t i = 2;
  std::size_t next = 0;
  std::string name = Text(packet, i, &next);
  if (next == i || packet[next - 1] != 0) return false;
  i = next;
  std::string mode = Text(packet, i, &next);
  if (next == i || packet[next - 1] != 0 || mode.empty()) return false;
  out.opcode = static_cast<TOpcode>(opcode);
  out.fileName = std::move(name);
  out.mode = std::move(mode);
  out.options = ParseOptions(packet, next);
  return true;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool ParseDecimal(const std::string& text, long& value) {
  if (text.empty() || text.size() > 9) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

}  // namespace velkaro::tftp
