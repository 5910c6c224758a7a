#include <gtest/gtest.h>

#include "cli/ValueAssignment.h"
#include "protocol/ModelRegistry.h"

namespace velkaro::cli {
namespace {

class ValueAssignmentTest : public ::testing::Test {
 protected:
  static bool Check(int tag, const std::string& value, std::uint32_t model, TValue& out,
                    std::string& error) {
    return CheckAssignment({tag, value}, model, out, error);
  }
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ParseAssignment, SplitsAtTheFirstEqualsSign) {
  TAssignment a;
  std::string error;
  ASSERT_TRUE(ParseAssignment("7=Rack 3", a, error));
  EXPECT_EQ(a.tag, 7);
  EXPECT_EQ(a.value, "Rack 3");
  ASSERT_TRUE(ParseAssignment("9=a=b=", a, error));
  EXPECT_EQ(a.tag, 9);
  EXPECT_EQ(a.value, "a=b=");
  ASSERT_TRUE(ParseAssignment("999=", a, error));
  EXPECT_EQ(a.tag, 999);
  EXPECT_EQ(a.value, "");
}

TEST(ParseAssignment, RejectsBadTags) {
  for (const char* bad : {"7", "", "=5", "0=5", "1000=5", "-1=5", "+7=5", " 7=5", "7 =5", "X=5",
                          "0x7=5", "99999999999999999999999=1", "Name=a", "_name=a", "1name=a",
                          "ip-address=1", "ip address=1", "name =a", "n\xc3\xa4me=a"}) {
    TAssignment a;
    std::string error;
    EXPECT_FALSE(ParseAssignment(bad, a, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  std::vector<TAssignment> all;
  std::string error;
  EXPECT_FALSE(ParseAssignments({"7=a", "oops", "8=b"}, all, error));
  EXPECT_TRUE(Contains(error, "'oops'")) << error;
  EXPECT_TRUE(Contains(error, "TAG=VALUE")) << error;
}

TEST(ParseAssignment, NamesAreKeptForTheModel) {
  TAssignment a;
  std::string error;
  ASSERT_TRUE(ParseAssignment("name=Rack 3 = left", a, error)) << error;
  EXPECT_EQ(a.tag, 0);
  EXPECT_EQ(a.name, "name");
  EXPECT_EQ(a.value, "Rack 3 = left");
  ASSERT_TRUE(ParseAssignment("device2_socket5_name=", a, error)) << error;
  EXPECT_EQ(a.name, "device2_socket5_name");
  EXPECT_EQ(a.value, "");
  ASSERT_TRUE(ParseAssignment("7=x", a, error));
  EXPECT_EQ(a.name, "");  // a number stays a number
}

TEST(ParseTypedValue, NumbersWithinTheirType) {
  struct TCase {
    std::uint8_t type;
    const char* text;
    bool ok;
    std::uint32_t value;
  };
  const TCase cases[] = {
      {vtByte, "0", true, 0},
      {vtByte, "255", true, 255},
      {vtByte, "256", false, 0},
      {vtByte, "-1", false, 0},
      {vtByte, "+1", false, 0},
      {vtByte, " 1", false, 0},
      {vtByte, "1 ", false, 0},
      {vtByte, "1.0", false, 0},
      {vtByte, "0x10", false, 0},
      {vtByte, "", false, 0},
      {vtByte, "007", true, 7},
      {vtWord, "65535", true, 65535},
      {vtWord, "65536", false, 0},
      {vtDWord, "4294967295", true, 4294967295u},
      {vtDWord, "4294967296", false, 0},
      {vtDWord, "18446744073709551616", false, 0},
      {vtDWord, "99999999999999999999999", false, 0},
      {vtIPv4, "10.1.2.3", true, 0x0A010203},
      {vtIPv4, "10.1.2", false, 0},
      {vtIPv4, "10.1.2.300", false, 0},
      {vtIPv4, "4294967295", false, 0},
  };
  for (const TCase& c : cases) {
    TValue v;
    std::string expected;
    EXPECT_EQ(ParseTypedValue(c.type, c.text, v, expected), c.ok)
        << int(c.type) << " '" << c.text << "'";
    if (c.ok) {
      ASSERT_TRUE(std::holds_alternative<std::uint32_t>(v));
      EXPECT_EQ(std::get<std::uint32_t>(v), c.value);
    } else {
      EXPECT_FALSE(expected.empty());
    }
  }
}

TEST(ParseTypedValue, TextUpTo255Bytes) {
  TValue v;
  std::string expected;
  ASSERT_TRUE(ParseTypedValue(vtString, std::string(255, 'x'), v, expected));
  EXPECT_EQ(std::get<std::string>(v), std::string(255, 'x'));
  ASSERT_TRUE(ParseTypedValue(vtString, "", v, expected));
  EXPECT_EQ(std::get<std::string>(v), "");
  // Bytes, not characters: 128 two-byte characters are 256 bytes.
  std::string accented;
  for (int i = 0; i < 128; ++i) accented += "\xC3\xA9";
  EXPECT_FALSE(ParseTypedValue(vtString, accented, v, expected));
  EXPECT_TRUE(Contains(expected, "255 bytes")) << expected;
  EXPECT_FALSE(ParseTypedValue(vtString, std::string(256, 'x'), v, expected));
  EXPECT_FALSE(ParseTypedValue(vtString, "two\nlines", v, expected));
  EXPECT_FALSE(ParseTypedValue(vtString, "cr\r", v, expected));
  EXPECT_FALSE(ParseTypedValue(vtMac, "00.00.00.00.00.01", v, expected));
}

TEST_F(ValueAssignmentTest, ValuesGetTheTagsType) {
  TValue v;
  std::string error;
  ASSERT_TRUE(Check(4, "8080", kModelZel1, v, error)) << error;
  EXPECT_EQ(std::get<std::uint32_t>(v), 8080u);
  ASSERT_TRUE(Check(2, "192.168.1.10", kModelZel1, v, error)) << error;
  EXPECT_EQ(std::get<std::uint32_t>(v), 0xC0A8010Au);
  ASSERT_TRUE(Check(7, "12345", kModelZel1, v, error)) << error;
  EXPECT_EQ(std::get<std::string>(v), "12345");
  ASSERT_TRUE(Check(50, "30", kModelZel1, v, error)) << error;
  EXPECT_EQ(std::get<std::uint32_t>(v), 30u);
  ASSERT_TRUE(Check(139, "Second unit", kModelZel8, v, error)) << error;
  EXPECT_EQ(std::get<std::string>(v), "Second unit");
}

TEST_F(ValueAssignmentTest, RejectionNamesTagValueAndExpectation) {
  TValue v;
  std::string error;
  EXPECT_FALSE(Check(4, "70000", kModelZel1, v, error));
  EXPECT_TRUE(Contains(error, "tag 4")) << error;
  EXPECT_TRUE(Contains(error, "'70000'")) << error;
  EXPECT_TRUE(Contains(error, "0 to 65535")) << error;

  EXPECT_FALSE(Check(2, "192.168.1", kModelZel1, v, error));
  EXPECT_TRUE(Contains(error, "tag 2")) << error;
  EXPECT_TRUE(Contains(error, "'192.168.1'")) << error;
  EXPECT_TRUE(Contains(error, "IPv4")) << error;

  EXPECT_FALSE(Check(6, "256", kModelZel4, v, error));
  EXPECT_TRUE(Contains(error, "0 to 255")) << error;
}

TEST_F(ValueAssignmentTest, ReadOnlyAndUnknownTags) {
  TValue v;
  std::string error;
  for (int tag : {5, 10, 11, 12, 13, 71, 72}) {
    EXPECT_FALSE(Check(tag, "1", kModelZel1, v, error)) << tag;
    EXPECT_TRUE(Contains(error, "read-only")) << error;
    EXPECT_TRUE(Contains(error, "Tag " + std::to_string(tag))) << error;
  }
  EXPECT_FALSE(Check(38, "x", kModelZel8, v, error));
  EXPECT_TRUE(Contains(error, "Unknown tag 38")) << error;
  EXPECT_FALSE(Check(139, "x", kModelZel1, v, error));
  EXPECT_TRUE(Contains(error, "Unknown tag 139")) << error;
  // An unregistered model has no parameters at all.
  EXPECT_FALSE(Check(7, "x", 0x12345678, v, error));
  EXPECT_TRUE(Contains(error, "Unknown tag 7")) << error;
}

TEST_F(ValueAssignmentTest, AllAssignmentsOrNone) {
  std::vector<TCheckedValue> out;
  std::string error;
  ASSERT_TRUE(CheckAssignments({{7, "A"}, {4, "81"}}, kModelZel1, out, error)) << error;
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].tag, 7);
  EXPECT_EQ(out[1].tag, 4);
  EXPECT_EQ(std::get<std::uint32_t>(out[1].value), 81u);

  out.clear();
  EXPECT_FALSE(CheckAssignments({{7, "A"}, {4, "x"}}, kModelZel1, out, error));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(CheckAssignments({{7, "A"}, {7, "B"}}, kModelZel1, out, error));
  EXPECT_TRUE(Contains(error, "Tag 7 is given more than once")) << error;
}

TEST_F(ValueAssignmentTest, CheckBeforeTheModelIsKnown) {
  std::string error;
  // Writable in some model with a value that fits there.
  EXPECT_TRUE(CheckAssignmentsForAnyModel({{7, "A"}, {139, "B"}, {75, "60"}}, error)) << error;
  // Tag 85 is a read-only counter wherever it exists.
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{85, "1"}}, error));
  EXPECT_TRUE(Contains(error, "read-only")) << error;
  // No model has tag 76 or 500.
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{76, "1"}}, error));
  EXPECT_TRUE(Contains(error, "Unknown tag 76")) << error;
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{500, "1"}}, error));
  EXPECT_TRUE(Contains(error, "Unknown tag 500")) << error;
  // Tag 4 is a word in every model.
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{4, "65536"}}, error));
  EXPECT_TRUE(Contains(error, "'65536'")) << error;
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{4, "1"}, {4, "2"}}, error));
  EXPECT_TRUE(Contains(error, "more than once")) << error;
}

// Names resolve in the device's model; what goes wrong is told with the name as typed.
TEST_F(ValueAssignmentTest, NamesResolvePerModel) {
  struct TCase {
    std::uint32_t model;
    std::vector<TAssignment> given;
    std::vector<int> tags;  // empty: refused
    const char* error;
  };
  const TCase cases[] = {
      {kModelZel4, {{0, "A", "socket2_name"}, {0, "8080", "web_port"}}, {60, 4}, ""},
      {kModelZel8, {{0, "B", "device2_socket5_name"}, {0, "x", "name"}}, {157, 7}, ""},
      {kModelZel1, {{0, "A", "socket1_name"}, {0, "30", "socket1_restart_delay"}}, {40, 50}, ""},
      {kModelZel1, {{0, "A", "socket2_name"}}, {}, "Unknown tag name 'socket2_name'"},
      {kModelZel1, {{0, "A", "socket2_name"}}, {}, "0x01010100 (zel1)"},
      {kModelZel4, {{0, "A", "device2_socket5_name"}}, {}, "velkaro-cli tags zel4"},
      {kModelZel4,
       {{7, "A"}, {0, "B", "name"}},
       {},
       "Tag 7 is given more than once (as '7' and 'name')"},
      {kModelZel4, {{0, "A", "name"}, {0, "B", "name"}}, {}, "Tag 7 is given more than once"},
      {kModelZel4, {{0, "1", "power_ups"}}, {}, "Tag 81 (power_ups) is read-only"},
      {kModelZel4, {{0, "70000", "web_port"}}, {}, "Bad value '70000' for tag 4 (web_port)"},
      {kModelZel4, {{0, "10.0.0", "ip_address"}}, {}, "for tag 2 (ip_address): expected"},
  };
  for (const TCase& c : cases) {
    std::vector<TCheckedValue> out;
    std::string error;
    const bool ok = CheckAssignments(c.given, c.model, out, error);
    EXPECT_EQ(ok, !c.tags.empty()) << error;
    if (ok) {
      std::vector<int> tags;
      for (const TCheckedValue& v : out) tags.push_back(v.tag);
      EXPECT_EQ(tags, c.tags);
    } else {
      EXPECT_TRUE(Contains(error, c.error)) << error;
    }
  }
}

TEST_F(ValueAssignmentTest, NamesBeforeTheModelIsKnown) {
  std::string error;
  EXPECT_TRUE(CheckAssignmentsForAnyModel(
      {{0, "A", "device2_socket5_name"}, {0, "B", "socket4_name"}, {0, "x", "name"}}, error))
      << error;
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{0, "1", "no_such_setting"}}, error));
  EXPECT_TRUE(Contains(error, "Unknown tag name 'no_such_setting'")) << error;
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{0, "1", "power_ups"}}, error));
  EXPECT_TRUE(Contains(error, "read-only")) << error;
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{0, "a", "name"}, {0, "b", "name"}}, error));
  EXPECT_TRUE(Contains(error, "'name' is given more than once")) << error;
  // A name means nothing without a model that has it.
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{0, "A", "name"}}, error, TModelRegistry({})));
  EXPECT_TRUE(Contains(error, "Unknown tag name 'name'")) << error;
}

TEST_F(ValueAssignmentTest, WithoutRegisteredModelsEveryTagIsUnknown) {
  std::string error;
  EXPECT_FALSE(CheckAssignmentsForAnyModel({{7, "A"}}, error, TModelRegistry({})));
  EXPECT_TRUE(Contains(error, "Unknown tag 7")) << error;
}

}  // namespace
}  // namespace velkaro::cli
