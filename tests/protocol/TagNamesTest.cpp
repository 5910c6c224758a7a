#include "protocol/TagNames.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "protocol/Frame.h"
#include "protocol/ModelRegistry.h"

using namespace velkaro;

namespace {

TEST(TagNames, EveryRegisteredTagHasOneUniqueNameAndBack) {
  const std::regex snake("[a-z][a-z0-9]*(_[a-z0-9]+)*");
  for (const TConfigDevice& model : ModelRegistry().Models()) {
    SCOPED_TRACE(ModelShortName(model.modelCode));
    std::set<std::string> seen;
    for (TDescriptor d : model.descriptors) {
      const int tag = DescriptorTag(d);
      const std::string name = TagName(model.modelCode, tag);
      ASSERT_FALSE(name.empty()) << "tag " << tag;
      EXPECT_TRUE(std::regex_match(name, snake)) << name;
      EXPECT_TRUE(seen.insert(name).second) << "name " << name << " twice";
      EXPECT_EQ(TagOfName(model.modelCode, name), tag) << name;
    }
    // Nothing is named that the model does not have, and the listing is ascending.
    const std::vector<TTagName>& all = TagNames(model.modelCode);
    EXPECT_EQ(all.size(), model.descriptors.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
      EXPECT_TRUE(HasTag(static_cast<std::uint16_t>(all[i].tag), model.modelCode)) << all[i].tag;
      if (i > 0) {
        EXPECT_LT(all[i - 1].tag, all[i].tag);
      }
    }
  }
}

// The names other tools were promised; a rename breaks their playbooks and dashboards.
TEST(TagNames, AgreedNames) {
  struct TRow {
    std::uint32_t model;
    int tag;
    const char* name;
  };
  const TRow rows[] = {
      {kModelZel1, 1, "subnet_mask"},
      {kModelZel4, 2, "ip_address"},
      {kModelZel8, 3, "gateway"},
      {kModelZel1, 4, "web_port"},
      {kModelZel8, 5, "device_type"},
      {kModelZel4, 6, "options"},
      {kModelZel8, 7, "name"},
      {kModelZel1, 8, "admin_login"},
      {kModelZel4, 9, "admin_password"},
      {kModelZel8, 10, "mac_address"},
      {kModelZel1, 13, "model_code"},
      {kModelZel1, 40, "socket1_name"},
      {kModelZel1, 41, "user1_login"},
      {kModelZel1, 42, "user1_password"},
      {kModelZel1, 71, "power_ups"},
      {kModelZel1, 72, "socket1_switchings"},
      {kModelZel4, 56, "socket1_name"},
      {kModelZel4, 68, "socket4_name"},
      {kModelZel4, 69, "user4_login"},
      {kModelZel4, 62, "user2_password"},
      {kModelZel4, 81, "power_ups"},
      {kModelZel4, 82, "socket1_switchings"},
      {kModelZel4, 85, "socket4_switchings"},
      {kModelZel8, 41, "device1_socket1_name"},
      {kModelZel8, 157, "device2_socket5_name"},
      {kModelZel8, 81, "device1_power_ups"},
      {kModelZel8, 481, "device5_power_ups"},
      {kModelZel8, 182, "device2_socket1_switchings"},
      {kModelZel8, 489, "device5_socket8_switchings"},
      {kModelZel8, 471, "device5_user8_password"},
      {kModelZel8, 439, "device5_name"},
  };
  for (const TRow& r : rows) {
    EXPECT_EQ(TagName(r.model, r.tag), r.name) << ModelShortName(r.model) << " tag " << r.tag;
    EXPECT_EQ(TagOfName(r.model, r.name), r.tag) << r.name;
  }
}

// The Supervision page binds offset 5 to the first request's delay and 6 to the reboot's.
TEST(TagNames, SupervisionDelaysFollowTheBinding) {
  EXPECT_EQ(TagOfName(kModelZel4, "supervision3_reboot_delay"), 48);
  EXPECT_EQ(TagOfName(kModelZel4, "supervision3_first_request_delay"), 47);
  EXPECT_EQ(TagOfName(kModelZel1, "supervision1_reboot_delay"), 26);
}

// Secrets are told by their name alone: every password tag of the accounts pages, and nothing
// that is no string.
TEST(TagNames, SecretsAreThePasswordsAndOnlyThey) {
  std::set<std::pair<std::uint32_t, int>> passwords{
      {kModelZel1, 9}, {kModelZel1, 42}, {kModelZel4, 9}, {kModelZel8, 9}};
  for (int k = 0; k < 4; ++k) passwords.insert({kModelZel4, 58 + 4 * k});
  for (int d = 0; d < 5; ++d)
    for (int i = 0; i < 8; ++i) passwords.insert({kModelZel8, 100 * d + 43 + 4 * i});
  for (const TConfigDevice& model : ModelRegistry().Models()) {
    for (const TTagName& n : TagNames(model.modelCode)) {
      const bool expected = passwords.count({model.modelCode, n.tag}) > 0;
      EXPECT_EQ(IsSecretTagName(n.name), expected) << n.name;
      if (expected) {
        EXPECT_EQ(TypeOfTag(static_cast<std::uint16_t>(n.tag), model.modelCode) & 0x7F, vtString);
      }
    }
  }
}

TEST(TagNames, UnknownModelOrNameOrTag) {
  EXPECT_TRUE(TagNames(0x12345678).empty());
  EXPECT_EQ(TagName(0x12345678, 7), "");
  EXPECT_EQ(TagOfName(0x12345678, "name"), 0);
  EXPECT_EQ(TagName(kModelZel1, 38), "");
  EXPECT_EQ(TagName(kModelZel8, 38), "");
  EXPECT_EQ(TagOfName(kModelZel1, "socket2_name"), 0);  // one outlet only
  EXPECT_EQ(TagOfName(kModelZel4, "Name"), 0);          // exact match
  EXPECT_EQ(TagOfName(kModelZel4, "name "), 0);
  EXPECT_EQ(TagOfName(kModelZel4, ""), 0);
}

TEST(TagNames, TypeAndAccessWords) {
  const std::pair<std::uint8_t, const char*> types[] = {
      {vtIPv4, "ipv4"},      {vtString, "string"},   {vtByte, "byte"}, {vtWord, "word"},
      {vtDWord, "dword"},    {vtMac, "mac"},         {0, "unknown"},   {7, "unknown"},
      {0x80 | vtMac, "mac"}, {0x80 | vtIPv4, "ipv4"}};
  for (const auto& [type, word] : types) EXPECT_STREQ(TypeWord(type), word) << int{type};
  EXPECT_STREQ(AccessWord(kFlagReadOnly), "read-only");
  EXPECT_STREQ(AccessWord(kFlagReadWrite), "read-write");
}

}  // namespace
