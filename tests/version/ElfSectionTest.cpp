#include "version/ElfSection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <random>

#include "support/TempDir.h"
#include "version/VersionBlock.h"
#include "version/VersionBlockFormat.h"

using namespace velkaro;
using namespace velkaro::testing;

namespace {

using TBytesV = std::vector<std::uint8_t>;

constexpr std::size_t kMax = TVersionBlock::kMaxSize;
constexpr std::uint32_t kProgbits = 1;
constexpr std::uint32_t kNobits = 8;

struct TSection {
  std::string name;
  std::uint32_t type = kProgbits;
  TBytesV data;
};

// A minimal ELF file: header, section data, name table, then the section header table.
// Section 0 is the null section and the name table comes last.
struct TSynthElf {
  bool is64;
  bool bigEndian;
  TBytesV bytes;
  std::size_t tableOffset = 0;
  std::size_t entrySize = 0;
  std::size_t count = 0;
  std::size_t namesOffset = 0;
  std::size_t namesSize = 0;

  void Put(std::size_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
      const int shift = bigEndian ? (width - 1 - i) * 8 : i * 8;
      bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> shift);
    }
  }
  int AddressWidth() const { return is64 ? 8 : 4; }
  // Header fields.
  void SetShoff(std::uint64_t v) { Put(is64 ? 40 : 32, v, AddressWidth()); }
  void SetShentsize(std::uint64_t v) { Put(is64 ? 58 : 46, v, 2); }
  void SetShnum(std::uint64_t v) { Put(is64 ? 60 : 48, v, 2); }
  void SetShstrndx(std::uint64_t v) { Put(is64 ? 62 : 50, v, 2); }
  // Fields of section header i.
  std::size_t Entry(std::size_t i) const { return tableOffset + i * entrySize; }
  void SetName(std::size_t i, std::uint64_t v) { Put(Entry(i), v, 4); }
  void SetType(std::size_t i, std::uint64_t v) { Put(Entry(i) + 4, v, 4); }
  void SetOffset(std::size_t i, std::uint64_t v) {
    Put(Entry(i) + (is64 ? 24 : 16), v, AddressWidth());
  }
  void SetSize(std::size_t i, std::uint64_t v) {
    Put(Entry(i) + (is64 ? 32 : 20), v, AddressWidth());
  }
  void SetLink(std::size_t i, std::uint64_t v) { Put(Entry(i) + (is64 ? 40 : 24), v, 4); }
};

TSynthElf BuildElf(bool is64, bool bigEndian, const std::vector<TSection>& sections,
                   const std::string& nameTableTail = {}) {
  TSynthElf e{is64, bigEndian, {}, 0, 0, 0, 0, 0};
  const std::size_t headerSize = is64 ? 64 : 52;
  e.entrySize = is64 ? 64 : 40;
  e.bytes.assign(headerSize, 0);
  const std::uint8_t ident[] = {0x7F,
                                'E',
                                'L',
                                'F',
                                static_cast<std::uint8_t>(is64 ? 2 : 1),
                                static_cast<std::uint8_t>(bigEndian ? 2 : 1),
                                1};
  std::copy(std::begin(ident), std::end(ident), e.bytes.begin());
  e.Put(16, 2, 2);  // executable
  e.Put(20, 1, 4);

  std::string names(1, '\0');
  std::vector<std::size_t> nameAt, dataAt;
  for (const TSection& s : sections) {
    nameAt.push_back(names.size());
    names += s.name + '\0';
    dataAt.push_back(e.bytes.size());
    if (s.type != kNobits) e.bytes.insert(e.bytes.end(), s.data.begin(), s.data.end());
  }
  const std::size_t namesName = names.size();
  names += std::string(".shstrtab") + '\0' + nameTableTail;
  const std::size_t namesAt = e.bytes.size();
  e.bytes.insert(e.bytes.end(), names.begin(), names.end());
  e.namesOffset = namesAt;
  e.namesSize = names.size();
  // The table is followed by at least one zero byte before the section headers.
  do e.bytes.push_back(0);
  while (e.bytes.size() % 8);

  e.count = sections.size() + 2;
  e.tableOffset = e.bytes.size();
  e.bytes.resize(e.tableOffset + e.count * e.entrySize, 0);
  e.SetShoff(e.tableOffset);
  e.Put(is64 ? 52 : 40, headerSize, 2);
  e.SetShentsize(e.entrySize);
  e.SetShnum(e.count);
  e.SetShstrndx(e.count - 1);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    e.SetName(i + 1, nameAt[i]);
    e.SetType(i + 1, sections[i].type);
    e.SetOffset(i + 1, dataAt[i]);
    e.SetSize(i + 1, sections[i].data.size());
  }
  e.SetName(e.count - 1, namesName);
  e.SetType(e.count - 1, 3);  // string table
  e.SetOffset(e.count - 1, namesAt);
  e.SetSize(e.count - 1, names.size());
  return e;
}

TBytesV Text(const std::string& s) {
  return TBytesV(s.begin(), s.end());
}

const TBytesV kPayload = Text(std::string("payload\0with\0zeros", 18));

std::vector<TSection> UsualSections() {
  return {{".text", kProgbits, Text("code")},
          {".velkaro_version_extra", kProgbits, Text("not this one")},
          {".velkaro_versio", kProgbits, Text("nor this one")},
          {".bss", kNobits, Text("12345678")},
          {VELKARO_VERSION_SECTION, kProgbits, kPayload},
          {VELKARO_VERSION_SECTION, kProgbits, Text("second of the same name")}};
}

class ElfSectionTest : public ::testing::Test {
 protected:
  std::optional<TBytesV> Read(const TBytesV& bytes, std::size_t max = kMax) {
    WriteBytes(file, bytes);
    return ReadElfSection(file, VELKARO_VERSION_SECTION, max);
  }
  TTempDir dir;
  std::string file = dir.File("elf");
};

TEST_F(ElfSectionTest, FindsTheFirstExactlyNamedSectionInEveryClassAndByteOrder) {
  for (bool is64 : {false, true})
    for (bool bigEndian : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "64-bit " << is64 << " big-endian " << bigEndian);
      const auto got = Read(BuildElf(is64, bigEndian, UsualSections()).bytes);
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(*got, kPayload);
    }
}

TEST_F(ElfSectionTest, MissingSectionGivesNothing) {
  auto sections = UsualSections();
  sections.resize(4);
  EXPECT_FALSE(Read(BuildElf(true, false, sections).bytes).has_value());
}

TEST_F(ElfSectionTest, SectionWithoutFileBytesGivesNothing) {
  EXPECT_FALSE(Read(BuildElf(true, false, {{VELKARO_VERSION_SECTION, kNobits, kPayload}}).bytes));
}

TEST_F(ElfSectionTest, SectionLargerThanTheLimitIsRefused) {
  const auto elf = BuildElf(false, false, UsualSections()).bytes;
  EXPECT_FALSE(Read(elf, kPayload.size() - 1).has_value());
  EXPECT_EQ(Read(elf, kPayload.size()), kPayload);
}

TEST_F(ElfSectionTest, CorruptHeaderFieldsNeverLeadOutsideTheFile) {
  const std::size_t target = 5;  // index of the first version section
  // Every case hides the section or breaks the file; none may fall back to a later section.
  struct TCase {
    const char* what;
    std::function<void(TSynthElf&)> corrupt;
  };
  const std::uint64_t huge = std::numeric_limits<std::uint64_t>::max();
  const std::vector<TCase> cases = {
      {"no section table", [](TSynthElf& e) { e.SetShoff(0); }},
      {"table at the end of the file", [](TSynthElf& e) { e.SetShoff(e.bytes.size()); }},
      {"table offset wraps", [&](TSynthElf& e) { e.SetShoff(huge - 10); }},
      {"entries too small", [](TSynthElf& e) { e.SetShentsize(e.is64 ? 63 : 39); }},
      {"entries too large for the file", [](TSynthElf& e) { e.SetShentsize(0xFFFF); }},
      {"count past the end", [](TSynthElf& e) { e.SetShnum(0xFF00); }},
      {"name table index out of range", [](TSynthElf& e) { e.SetShstrndx(e.count); }},
      {"name table past the end", [&](TSynthElf& e) { e.SetOffset(e.count - 1, e.bytes.size()); }},
      {"name table size wraps", [&](TSynthElf& e) { e.SetSize(e.count - 1, huge); }},
      {"name table without file bytes", [&](TSynthElf& e) { e.SetType(e.count - 1, kNobits); }},
      {"section past the end", [&](TSynthElf& e) { e.SetOffset(target, e.bytes.size() - 4); }},
      {"section offset wraps", [&](TSynthElf& e) { e.SetOffset(target, huge - 2); }},
      {"section size wraps", [&](TSynthElf& e) { e.SetSize(target, huge); }},
      {"extended count of zero", [](TSynthElf& e) { e.SetShnum(0); }},
      {"extended index without a link", [](TSynthElf& e) { e.SetShstrndx(0xFFFF); }},
      {"extended count past the end",
       [](TSynthElf& e) {
         e.SetShnum(0);
         e.SetSize(0, 0x7FFFFFFF);
       }},
  };
  for (bool is64 : {false, true})
    for (const TCase& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.what << ", 64-bit " << is64);
      TSynthElf elf = BuildElf(is64, is64, UsualSections());
      c.corrupt(elf);
      EXPECT_FALSE(Read(elf.bytes).has_value());
    }
}

TEST_F(ElfSectionTest, ExtendedSectionNumberingIsFollowed) {
  TSynthElf elf = BuildElf(true, false, UsualSections());
  elf.SetShnum(0);
  elf.SetSize(0, elf.count);
  elf.SetShstrndx(0xFFFF);
  elf.SetLink(0, elf.count - 1);
  EXPECT_EQ(Read(elf.bytes), kPayload);
}

TEST_F(ElfSectionTest, NameRunningIntoTheEndOfTheNameTableDoesNotMatch) {
  // The wanted name sits unterminated at the very end of the name table; the zero byte that
  // follows the table in the file must not count as its terminator.
  TSynthElf elf = BuildElf(true, false, {{"x", kProgbits, kPayload}}, VELKARO_VERSION_SECTION);
  ASSERT_LT(elf.namesOffset + elf.namesSize, elf.tableOffset);
  ASSERT_EQ(elf.bytes[elf.namesOffset + elf.namesSize], 0);
  elf.SetName(1, elf.namesSize - std::string(VELKARO_VERSION_SECTION).size());
  EXPECT_FALSE(Read(elf.bytes).has_value());
  // Control: with that zero byte inside the table the same name offset matches.
  elf.SetSize(elf.count - 1, elf.namesSize + 1);
  EXPECT_EQ(Read(elf.bytes), kPayload);
}

TEST_F(ElfSectionTest, EveryTruncationOfAFileIsHandled) {
  const TBytesV full = BuildElf(true, false, UsualSections()).bytes;
  // Every cut inside the headers and the last entries, every third one elsewhere.
  for (std::size_t n = 0; n < full.size(); n += (n < 80 || n + 80 > full.size()) ? 1 : 3) {
    SCOPED_TRACE(n);
    const auto got = Read(TBytesV(full.begin(), full.begin() + static_cast<long>(n)));
    // The section table sits at the end, so no shortened copy is still readable.
    EXPECT_FALSE(got.has_value());
  }
  EXPECT_EQ(Read(full), kPayload);
}

TEST_F(ElfSectionTest, FilesThatAreNoElfGiveNothing) {
  EXPECT_FALSE(ReadElfSection(dir.File("missing"), VELKARO_VERSION_SECTION, kMax));
  EXPECT_FALSE(ReadElfSection(dir.Path().string(), VELKARO_VERSION_SECTION, kMax));
  EXPECT_FALSE(Read({}));
  EXPECT_FALSE(Read({0x7F, 'E', 'L'}));
  TBytesV elf = BuildElf(true, false, UsualSections()).bytes;
  elf[4] = 3;  // unknown class
  EXPECT_FALSE(Read(elf));
  elf = BuildElf(true, false, UsualSections()).bytes;
  elf[5] = 0;  // unknown byte order
  EXPECT_FALSE(Read(elf));

  // A named pipe must neither block the reader nor count as a file.
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ReadElfSection(fifo, VELKARO_VERSION_SECTION, kMax));

  std::mt19937 random(12345);
  for (int i = 0; i < 20; ++i) {
    TBytesV noise(4096);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    EXPECT_FALSE(Read(noise));
  }
}

TEST_F(ElfSectionTest, ReadsTheBlockOfARealProgramAndNothingFromOneWithout) {
  const auto block = ReadElfSection(VELKARO_PROBE_BUILD1, VELKARO_VERSION_SECTION, kMax);
  ASSERT_TRUE(block.has_value());
  const std::string magic = VELKARO_VERSION_MAGIC;
  ASSERT_GT(block->size(), magic.size());
  EXPECT_EQ(std::string(block->begin(), block->begin() + static_cast<long>(magic.size())), magic);
  EXPECT_FALSE(ReadElfSection(VELKARO_PROBE_NOBLOCK, VELKARO_VERSION_SECTION, kMax));
  EXPECT_TRUE(ReadElfSection(VELKARO_PROBE_STRIPPED, VELKARO_VERSION_SECTION, kMax));
}

// Random damage to the headers of a real program: whatever comes back must be bytes of the file.
TEST_F(ElfSectionTest, DamagedRealProgramNeverYieldsBytesFromOutsideIt) {
  const TBytesV original = ReadBytes(VELKARO_PROBE_BUILD1);
  ASSERT_GT(original.size(), 64u);
  std::mt19937 random(2024);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int found = 0, iterations = 0;
  for (; iterations < 250 && std::chrono::steady_clock::now() < deadline; ++iterations) {
    TBytesV damaged = original;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < flips; ++f) {
      // Half the damage goes to the file header, half to the section table at the file's end.
      const std::size_t tail = std::min<std::size_t>(damaged.size(), 2048);
      const std::size_t at = random() % 2 ? random() % 64 : damaged.size() - tail + random() % tail;
      damaged[at] = static_cast<std::uint8_t>(random());
    }
    const auto got = Read(damaged);
    if (!got) continue;
    ++found;
    ASSERT_LE(got->size(), kMax);
    EXPECT_NE(std::search(damaged.begin(), damaged.end(), got->begin(), got->end()), damaged.end());
  }
  EXPECT_GT(iterations, 50);
  EXPECT_GT(found, 0);  // most single flips leave the block readable
}

}  // namespace
