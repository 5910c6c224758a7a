// Tag names on the command line end to end against the simulator: set by name, names in the
// restore and apply plans.
#include <sstream>

#include "CliSimFixture.h"
#include "protocol/TagNames.h"
#include "support/TempDir.h"

namespace velkaro::cli::testing {
namespace {

using nlohmann::json;

class CliNamesTest : public CliSimTest {
 protected:
  sim::TSimulator& StartModel(std::uint32_t model) {
    sim::TSimOptions o;
    o.models = {model};
    return StartSim(o);
  }
  velkaro::testing::TTempDir dir;
};

// Every slot of the two records is equal except those of `changed`.
void ExpectOnlyChanged(const TZEL& before, const TZEL& after, const std::vector<int>& changed) {
  for (int tag = 1; tag <= 999; ++tag) {
    if (std::find(changed.begin(), changed.end(), tag) != changed.end()) continue;
    EXPECT_EQ(before.values.Get(tag), after.values.Get(tag)) << "tag " << tag;
  }
}

TEST_F(CliNamesTest, SetByNameWritesTheModelsTags) {
  struct TCase {
    std::uint32_t model;
    std::vector<std::string> assignments;
    std::vector<std::pair<int, std::string>> expected;  // tag, text (numbers in decimal)
  };
  const TCase cases[] = {
      {kModelZel4,
       {"name=Rack 3", "socket2_name=Fan = left", "web_port=8080", "user4_password=s3cret"},
       {{7, "Rack 3"}, {60, "Fan = left"}, {4, "8080"}, {70, "s3cret"}}},
      {kModelZel8,
       {"device2_socket5_name=Pump", "ip_address=10.0.0.77", "7=Group"},
       {{157, "Pump"}, {2, "10.0.0.77"}, {7, "Group"}}},
      {kModelZel1, {"socket1_restart_delay=30", "socket1_name=Lamp"}, {{50, "30"}, {40, "Lamp"}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.assignments.front());
    StartModel(c.model);
    const TZEL before = sim->Snapshot(0);
    std::vector<std::string> args{"--rounds", "2", "set", IpText(before)};
    args.insert(args.end(), c.assignments.begin(), c.assignments.end());
    const TCliRun run = Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const TZEL after = sim->Snapshot(0);
    std::vector<int> tags;
    for (const auto& [tag, text] : c.expected) {
      tags.push_back(tag);
      if (tag == 2)
        EXPECT_EQ(IpToText(after.values.AsUInt(2)), text);
      else if (std::holds_alternative<std::string>(after.values.Get(tag)))
        EXPECT_EQ(after.values.AsText(tag), text) << tag;
      else
        EXPECT_EQ(std::to_string(after.values.AsUInt(tag)), text) << tag;
    }
    ExpectOnlyChanged(before, after, tags);
    TearDown();
  }
}

// A name the device's model lacks is refused once the device is known, before any write.
TEST_F(CliNamesTest, NameOfAnotherModelWritesNothing) {
  StartModel(kModelZel1);
  const TZEL before = sim->Snapshot(0);
  const TCliRun run = Cli({"--rounds", "1", "set", IpText(before), "name=x", "socket3_name=y"});
  ExpectUsageError(run, "Unknown tag name 'socket3_name'");
  EXPECT_NE(run.err.find("zel1"), std::string::npos) << run.err;
  EXPECT_EQ(Count(TCommand::Write), 0u);
  ExpectOnlyChanged(before, sim->Snapshot(0), {});
}

// What no model has, or a tag given twice, is refused before anything is sent.
TEST_F(CliNamesTest, BadNamesSendNothing) {
  StartModel(kModelZel4);
  const std::string ip = IpText(sim->Snapshot(0));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"no_such_setting=1"}, "Unknown tag name 'no_such_setting'"},
      {{"power_ups=0"}, "read-only"},
      {{"web_port=65536"}, "tag 4 (web_port)"},
      {{"name=a", "name=b"}, "more than once"},
      {{"Name=a"}, "Invalid tag 'Name'"},
  };
  for (const auto& [assignments, mention] : cases) {
    std::vector<std::string> args{"set", ip};
    args.insert(args.end(), assignments.begin(), assignments.end());
    ExpectUsageError(Cli(args), mention);
  }
  EXPECT_EQ(sim->RequestCount(), 0u);
  // Caught once the model is known: the same tag by number and by name.
  ExpectUsageError(Cli({"--rounds", "1", "set", ip, "7=a", "name=b"}), "(as '7' and 'name')");
  EXPECT_EQ(Count(TCommand::Write), 0u);
}

// Plain lines stay TAG=VALUE for scripts; --names appends the name, --json gives "names" with the
// keys of "values".
TEST_F(CliNamesTest, ReadShowsNamesBesideTags) {
  StartModel(kModelZel8);
  const std::string ip = IpText(sim->Snapshot(0));
  const TCliRun plain = Cli({"--rounds", "1", "read", ip});
  const TCliRun named = Cli({"--rounds", "1", "read", "--names", ip});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  ASSERT_EQ(named.exitCode, 0) << named.err;
  std::istringstream plainLines(plain.out), namedLines(named.out);
  std::string p, n;
  std::size_t count = 0;
  while (std::getline(plainLines, p)) {
    ASSERT_TRUE(std::getline(namedLines, n));
    EXPECT_EQ(p.find("  # "), std::string::npos) << p;
    const int tag = std::stoi(p.substr(0, p.find('=')));
    EXPECT_EQ(n, p + "  # " + TagName(kModelZel8, tag));
    ++count;
  }
  EXPECT_FALSE(std::getline(namedLines, n)) << n;
  EXPECT_GT(count, 200u);
  EXPECT_NE(named.out.find("\n157=Unit 2 Outlet 5  # device2_socket5_name\n"), std::string::npos);

  const TCliRun run = Cli({"--json", "--rounds", "1", "read", ip});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const json doc = json::parse(run.out);
  const json& values = doc.at("values");
  const json& names = doc.at("names");
  ASSERT_EQ(names.size(), values.size());
  for (auto it = values.begin(); it != values.end(); ++it)
    EXPECT_EQ(names.at(it.key()), TagName(kModelZel8, std::stoi(it.key()))) << it.key();
  EXPECT_EQ(names.at("9"), "admin_password");

  const TCliRun set = Cli({"--json", "--rounds", "1", "set", ip, "device5_name=Last", "4=81"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  const json written = json::parse(set.out);
  EXPECT_EQ(written.at("values"), json::parse(R"({"439": "Last", "4": 81})"));
  EXPECT_EQ(written.at("names"), json::parse(R"({"439": "device5_name", "4": "web_port"})"));
}

// The plans say each tag's name beside its number, as text and as JSON.
TEST_F(CliNamesTest, PlansNameTheChangedTags) {
  StartModel(kModelZel8);
  const TZEL saved = sim->Snapshot(0);
  const std::string ip = IpText(saved);
  const std::string file = dir.File("rack.cfg");
  ASSERT_EQ(Cli({"--rounds", "1", "save", ip, file}).exitCode, 0);
  sim->SetValue(0, 157, std::string("Changed"));
  sim->SetValue(0, 4, std::uint32_t{8081});

  const TCliRun text = Cli({"--rounds", "1", "restore", ip, file, "--dry-run"});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(text.out, ip + " 4 web_port: 8081 -> " + std::to_string(saved.values.AsUInt(4)) + "\n" +
                          ip + " 157 device2_socket5_name: Changed -> " + saved.values.AsText(157) +
                          "\n");

  const TCliRun plan = Cli({"--json", "--rounds", "1", "restore", ip, file, "--dry-run"});
  ASSERT_EQ(plan.exitCode, 0) << plan.err;
  const json changes = json::parse(plan.out).at("devices").at(0).at("changes");
  EXPECT_EQ(changes,
            json::parse(R"({"4": {"from": 8081, "to": )" + std::to_string(saved.values.AsUInt(4)) +
                        R"(, "name": "web_port"}, "157": {"from": "Changed", "to": ")" +
                        saved.values.AsText(157) + R"(", "name": "device2_socket5_name"}})"));
  EXPECT_EQ(Count(TCommand::Write), 0u);
}

}  // namespace
}  // namespace velkaro::cli::testing
