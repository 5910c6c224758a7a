#include "version/ElfSection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velkaro {

namespace {

constexpr std::uint32_t kShtNobits = 8;
constexpr std::uint16_t kShnXindex = 0xFFFF;
// Limits for what a well-formed program file needs; anything larger is treated as corrupt.
constexpr std::uint64_t kMaxHeaderTableBytes = 8u << 20;
constexpr std::uint64_t kMaxNameTableBytes = 1u << 20;

class TFile {
 public:
  explicit TFile(const std::string& name) {
    // Non-blocking so that a FIFO given by mistake cannot hang the open.
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st {};
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0)
      size_ = static_cast<std::uint64_t>(st.st_size);
    else
      Close();
  }
  ~TFile() { Close(); }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  // Reads exactly `count` bytes at `offset`; false when they are not all inside the file.
  bool ReadAt(std::uint64_t offset, std::uint64_t count, std::uint8_t* out) const {
    if (offset > size_ || count > size_ - offset) return false;
    std::uint64_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd_, out + done, static_cast<std::size_t>(count - done),
                                static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::uint64_t>(n);
    }
    return true;
  }

  std::optional<std::vector<std::uint8_t>> ReadBlock(std::uint64_t offset,
                                                     std::uint64_t count) const {
    if (offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    if (!ReadAt(offset, count, bytes.data())) return std::nullopt;
    return bytes;
  }

 private:
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Fixed-width fields in the file's own byte order, read from a buffer already checked for size.
class TDecoder {
 public:
  explicit TDecoder(bool bigEndian) : bigEndian_(bigEndian) {}

  std::uint64_t Get(const std::uint8_t* p, int width) const {
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i) {
      const int shift = bigEndian_ ? (width - 1 - i) * 8 : i * 8;
      v |= static_cast<std::uint64_t>(p[i]) << shift;
    }
    return v;
  }

 private:
  bool bigEndian_;
};

struct TSectionHeader {
  std::uint32_t name = 0;
  std::uint32_t type = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t link = 0;
};

// Field positions of the two ELF classes.
struct TLayout {
  std::size_t fileHeaderSize;
  std::size_t shoffAt, shentsizeAt, shnumAt, shstrndxAt;
  int addressWidth;
  std::size_t minSectionHeaderSize;
  std::size_t shTypeAt, shOffsetAt, shSizeAt, shLinkAt;
};

constexpr TLayout kElf32{52, 32, 46, 48, 50, 4, 40, 4, 16, 20, 24};
constexpr TLayout kElf64{64, 40, 58, 60, 62, 8, 64, 4, 24, 32, 40};

TSectionHeader DecodeSection(const std::uint8_t* p, const TLayout& l, const TDecoder& d) {
  TSectionHeader h;
  h.name = static_cast<std::uint32_t>(d.Get(p, 4));
  h.type = static_cast<std::uint32_t>(d.Get(p + l.shTypeAt, 4));
  h.offset = d.Get(p + l.shOffsetAt, l.addressWidth);
  h.size = d.Get(p + l.shSizeAt, l.addressWidth);
  h.link = static_cast<std::uint32_t>(d.Get(p + l.shLinkAt, 4));
  return h;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& fileName,
                                                        std::string_view sectionName,
                                                        std::size_t maxSize) {
  TFile file(fileName);
  if (!file.IsOpen()) return std::nullopt;

  std::uint8_t header[64] = {};
  if (!file.ReadAt(0, 16, header)) return std::nullopt;
  if (std::memcmp(header,
                  "\x7F"
                  "ELF",
                  4) != 0)
    return std::nullopt;
  if (header[4] != 1 && header[4] != 2) return std::nullopt;  // class
  if (header[5] != 1 && header[5] != 2) return std::nullopt;  // byte order
  const TLayout& layout = header[4] == 1 ? kElf32 : kElf64;
  const TDecoder decode(header[5] == 2);
  if (!file.ReadAt(0, layout.fileHeaderSize, header)) return std::nullopt;

  const std::uint64_t shoff = decode.Get(header + layout.shoffAt, layout.addressWidth);
  const std::uint64_t entrySize = decode.Get(header + layout.shentsizeAt, 2);
  std::uint64_t count = decode.Get(header + layout.shnumAt, 2);
  std::uint64_t nameIndex = decode.Get(header + layout.shstrndxAt, 2);
  if (shoff == 0 || entrySize < layout.minSectionHeaderSize) return std::nullopt;

  // Files with many sections keep the real count and name-table index in section 0.
  if (count == 0 || nameIndex == kShnXindex) {
    auto first = file.ReadBlock(shoff, entrySize);
    if (!first) return std::nullopt;
    const TSectionHeader zero = DecodeSection(first->data(), layout, decode);
    if (count == 0) count = zero.size;
    if (nameIndex == kShnXindex) nameIndex = zero.link;
  }
  if (count == 0 || nameIndex >= count || count > kMaxHeaderTableBytes / entrySize)
    return std::nullopt;

  const auto table = file.ReadBlock(shoff, count * entrySize);
  if (!table) return std::nullopt;
  auto section = [&](std::uint64_t i) {
    return DecodeSection(table->data() + i * entrySize, layout, decode);
  };

  const TSectionHeader nameSection = section(nameIndex);
  if (nameSection.type == kShtNobits || nameSection.size > kMaxNameTableBytes) return std::nullopt;
  const auto names = file.ReadBlock(nameSection.offset, nameSection.size);
  if (!names) return std::nullopt;

  auto hasName = [&](std::uint32_t at) {
    if (at >= names->size() || names->size() - at < sectionName.size() + 1) return false;
    const char* p = reinterpret_cast<const char*>(names->data() + at);
    return std::string_view(p, sectionName.size()) == sectionName && p[sectionName.size()] == '\0';
  };

  for (std::uint64_t i = 1; i < count; ++i) {
    const TSectionHeader h = section(i);
    if (!hasName(h.name)) continue;
    if (h.type == kShtNobits || h.size > maxSize) return std::nullopt;
    return file.ReadBlock(h.offset, h.size);
  }
  return std::nullopt;
}

}  // namespace velkaro
