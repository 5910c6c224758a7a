// velkaro-cli tags MODEL end to end: the listing of every model as text and JSON, checked
// against the registry, and the errors for models the program does not know.
#include <sstream>

#include "CliSimFixture.h"
#include "protocol/Frame.h"
#include "protocol/TagNames.h"

namespace velkaro::cli::testing {
namespace {

using nlohmann::json;

class CliTagsTest : public CliSimTest {};

struct TModelCase {
  const char* argument;
  std::uint32_t code;
  const char* shortName;
  const char* codeText;
};
const TModelCase kModels[] = {{"zel1", kModelZel1, "zel1", "0x01010100"},
                              {"zel4", kModelZel4, "zel4", "0x04010100"},
                              {"zel8", kModelZel8, "zel8", "0x08000100"},
                              {"0x04010100", kModelZel4, "zel4", "0x04010100"},
                              {"134217984", kModelZel8, "zel8", "0x08000100"}};

const TDescriptor* Descriptor(std::uint32_t model, int tag) {
  const auto& list = ModelRegistry().Models()[static_cast<std::size_t>(FindModel(model))];
  for (const TDescriptor& d : list.descriptors)
    if (DescriptorTag(d) == tag) return &d;
  return nullptr;
}

TEST_F(CliTagsTest, JsonListsEveryTagOfTheModelAscending) {
  for (const TModelCase& m : kModels) {
    SCOPED_TRACE(m.argument);
    const TCliRun run = CliNoTarget({"--json", "tags", m.argument});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const json doc = json::parse(run.out);
    ASSERT_EQ(doc.size(), 3u);
    EXPECT_EQ(doc.at("model"), m.shortName);
    EXPECT_EQ(doc.at("code"), m.codeText);
    const json& tags = doc.at("tags");
    const auto& descriptors =
        ModelRegistry().Models()[static_cast<std::size_t>(FindModel(m.code))].descriptors;
    ASSERT_EQ(tags.size(), descriptors.size());
    int previous = 0;
    for (const json& t : tags) {
      ASSERT_EQ(t.size(), 4u) << t;
      const int tag = t.at("tag").get<int>();
      EXPECT_GT(tag, previous);
      previous = tag;
      const TDescriptor* d = Descriptor(m.code, tag);
      ASSERT_NE(d, nullptr) << tag;
      EXPECT_EQ(t.at("name"), TagName(m.code, tag));
      EXPECT_EQ(t.at("type"), TypeWord(DescriptorType(*d)));
      EXPECT_EQ(t.at("access"), DescriptorFlags(*d) == kFlagReadOnly ? "read-only" : "read-write");
    }
  }
}

// A few rows read as the listing's users see them.
TEST_F(CliTagsTest, JsonRowsOfTheAgreedForm) {
  const json zel4 = json::parse(CliNoTarget({"--json", "tags", "zel4"}).out);
  const json& tags = zel4.at("tags");
  const auto row = [&tags](int tag) {
    for (const json& t : tags)
      if (t.at("tag") == tag) return t;
    return json();
  };
  EXPECT_EQ(row(7),
            json::parse(R"({"tag":7,"name":"name","type":"string","access":"read-write"})"));
  EXPECT_EQ(row(10),
            json::parse(R"({"tag":10,"name":"mac_address","type":"mac","access":"read-only"})"));
  EXPECT_EQ(row(85), json::parse(R"({"tag":85,"name":"socket4_switchings","type":"dword",
                                     "access":"read-only"})"));
  EXPECT_EQ(row(1),
            json::parse(R"({"tag":1,"name":"subnet_mask","type":"ipv4","access":"read-write"})"));
}

TEST_F(CliTagsTest, TextTableOneRowPerTag) {
  const TCliRun run = CliNoTarget({"tags", "zel8"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  std::istringstream header(line);
  std::string a, b, c, d;
  header >> a >> b >> c >> d;
  EXPECT_EQ(a + b + c + d, "TagNameTypeAccess");
  const std::size_t nameColumn = line.find("Name");
  std::size_t rows = 0;
  int previous = 0;
  while (std::getline(lines, line)) {
    std::istringstream cells(line);
    int tag = 0;
    std::string name, type, access, extra;
    cells >> tag >> name >> type >> access;
    EXPECT_FALSE(cells >> extra) << line;
    EXPECT_GT(tag, previous) << line;
    previous = tag;
    EXPECT_EQ(line.find(name), nameColumn) << line;  // aligned
    EXPECT_EQ(name, TagName(kModelZel8, tag));
    const TDescriptor* desc = Descriptor(kModelZel8, tag);
    ASSERT_NE(desc, nullptr) << line;
    EXPECT_EQ(type, TypeWord(DescriptorType(*desc)));
    EXPECT_EQ(access, DescriptorFlags(*desc) == kFlagReadOnly ? "read-only" : "read-write");
    ++rows;
  }
  EXPECT_EQ(rows, 246u);
}

// The listing needs no network: an interface that does not exist is not even looked at.
TEST_F(CliTagsTest, AsksNoDevice) {
  StartSim();
  const TCliRun run = Cli({"--interface", "no-such-interface", "tags", "zel1"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("socket1_switchings"), std::string::npos);
  EXPECT_EQ(sim->RequestCount(), 0u);
}

TEST_F(CliTagsTest, UnknownModelsAreUsageErrors) {
  ExpectUsageError(CliNoTarget({"tags", "zel2"}), "unknown model 'zel2'");
  ExpectUsageError(CliNoTarget({"--json", "tags", "0x12345678"}), "Unknown model 0x12345678");
  ExpectUsageError(CliNoTarget({"tags", "99999999999"}), "unknown model");
  ExpectUsageError(CliNoTarget({"tags"}), "MODEL");
  ExpectUsageError(CliNoTarget({"tags", "zel1", "zel4"}), "zel4");
}

}  // namespace
}  // namespace velkaro::cli::testing
