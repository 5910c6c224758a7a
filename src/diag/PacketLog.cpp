#include "diag/PacketLog.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>

#include "diag/Pcapng.h"
#include "platform/AtomicFile.h"
#include "platform/SocketProbe.h"
#include "platform/Utf8Path.h"

namespace velkaro::diag {

namespace {

// Peers whose local address is remembered; beyond that each lookup is made again.
constexpr std::size_t kMaxRememberedPeers = 1024;

// Whether this user may write the file, or create files in the folder.
bool MayWrite(const std::filesystem::path& path, bool folder) {
#ifdef _WIN32
  (void)folder;
  return ::_waccess(path.c_str(), 2) == 0;
#else
  return ::access(path.c_str(), folder ? W_OK | X_OK : W_OK) == 0;
#endif
}

std::uint64_t NowMicroseconds() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count());
}

std::string SizeText(std::size_t bytes) {
  if (bytes % (std::size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

TPacketLog::TPacketLog(std::string application, std::size_t limit) : limit_(limit) {
  AppendSectionHeader(bytes_, application);
}

std::uint32_t TPacketLog::InterfaceId(const std::string& name) {
  const auto found = interfaces_.find(name);
  if (found != interfaces_.end()) return found->second;
  const auto id = static_cast<std::uint32_t>(interfaces_.size());
  AppendInterface(bytes_, name);
  interfaces_.emplace(name, id);
  return id;
}

std::uint32_t TPacketLog::LocalAddressToward(std::uint32_t peer) {
  const auto found = localAddresses_.find(peer);
  if (found != localAddresses_.end()) return found->second;
  const std::uint32_t local = SourceAddressToward(peer).value_or(0);
  if (localAddresses_.size() >= kMaxRememberedPeers) localAddresses_.clear();
  localAddresses_.emplace(peer, local);
  return local;
}

void TPacketLog::Note(const TPacketNote& note) {
  const std::uint64_t now = NowMicroseconds();
  std::lock_guard lock(mutex_);
  if (full_) {
    ++dropped_;
    return;
  }
  TPacketRecord record;
  record.microseconds = now;
  record.outbound = note.direction == TPacketDirection::Sent;
  record.payload = note.data;
  record.payloadSize = note.size;
  record.comment = verdict_.Judge(note);
  const std::uint32_t local = LocalAddressToward(note.peerAddress);
  if (record.outbound)
    record.endpoints = {local, note.localPort, note.peerAddress, note.peerPort};
  else
    record.endpoints = {note.peerAddress, note.peerPort, local, note.localPort};
  // A new interface block counts against the limit as well; room for it is kept generously.
  const std::size_t needed = PacketBlockSize(record) + 32 + note.interfaceName.size();
  if (bytes_.size() + needed > limit_) {
    full_ = true;
    ++dropped_;
    return;
  }
  record.interfaceId = InterfaceId(note.interfaceName);
  AppendPacket(bytes_, record);
  ++packets_;
}

std::size_t TPacketLog::Packets() const {
  std::lock_guard lock(mutex_);
  return packets_;
}

bool TPacketLog::Full() const {
  std::lock_guard lock(mutex_);
  return full_;
}

std::string TPacketLog::Contents() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

void TPacketLog::WriteTo(const std::string& fileName) const {
  std::lock_guard lock(mutex_);
  ReplaceFileContent(fileName, bytes_);
}

std::string LogFileProblem(const std::string& fileName) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path = Utf8Path(fileName);
  if (fs::is_directory(path, ec)) return "is a folder";
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) return "its folder does not exist";
  if (fs::exists(path, ec) ? !MayWrite(path, false) : !MayWrite(folder, true))
    return "cannot be written";
  return {};
}

std::string TPacketLog::FullText() const {
  std::lock_guard lock(mutex_);
  if (!full_) return {};
  return "The packet log reached its limit of " + SizeText(limit_) + " after " +
         std::to_string(packets_) + " datagrams; the " + std::to_string(dropped_) +
         " after them are not in it";
}

}  // namespace velkaro::diag
