#include "cli/FirewallRules.h"

#include <gtest/gtest.h>

namespace velkaro::cli {
namespace {

struct TRuleCase {
  const char* rule;  // one nft rule in an input chain
  bool blocks;
};

// Each rule alone in a table: whether doctor names it.
const TRuleCase kNftRules[] = {
    {"udp sport 52389 drop", true},
    {"udp dport 69 reject", true},
    {"meta l4proto udp drop", true},
    {"udp sport { 53, 52389 } counter packets 3 bytes 120 drop", true},
    {"udp dport 60-70 drop", true},
    {"udp sport 53 drop", false},
    {"udp sport != 52389 drop", false},
    {"udp sport 52389 accept", false},
    {"tcp dport 69 drop", false},
    {"ip saddr 10.0.0.9 drop", false},
};

TEST(FirewallRulesTest, NftRulesDroppingOurUdpAreNamedWithTheirChain) {
  for (const TRuleCase& c : kNftRules) {
    SCOPED_TRACE(c.rule);
    const std::string ruleset =
        "table inet filter {\n\tchain input {\n"
        "\t\ttype filter hook input priority filter; policy accept;\n\t\t" +
        std::string(c.rule) + "\n\t}\n}\n";
    const auto found = BlockingNftRules(ruleset);
    ASSERT_EQ(found.size(), c.blocks ? 1u : 0u);
    if (c.blocks) {
      EXPECT_EQ(found[0].where, "table inet filter, chain input");
      EXPECT_EQ(found[0].rule, c.rule);
      EXPECT_FALSE(found[0].policy);
    }
  }
}

TEST(FirewallRulesTest, ADropPolicyCountsOnlyForTrafficOfThisMachine) {
  const auto found = BlockingNftRules(
      "table ip t {\n chain in {\n  type filter hook input priority 0; policy drop;\n"
      "  ct state established accept\n }\n chain fw {\n"
      "  type filter hook forward priority 0; policy drop;\n }\n}\n");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].policy);
  EXPECT_EQ(found[0].where, "table ip t, chain in");
}

TEST(FirewallRulesTest, IptablesRulesAndPolicies) {
  const auto found = BlockingIptablesRules(
      "-P INPUT ACCEPT\n-P FORWARD DROP\n-P OUTPUT DROP\n"
      "-A INPUT -p udp -m udp --sport 52389 -j DROP\n"
      "-A INPUT -p udp -m multiport --dports 53,69 -j REJECT --reject-with icmp-port-unreachable\n"
      "-A INPUT -p udp -m udp --sport 53 -j DROP\n"
      "-A INPUT -p tcp -m tcp --dport 69 -j DROP\n"
      "-A INPUT -p udp -m udp --sport 52389 -j ACCEPT\n");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_TRUE(found[0].policy);
  EXPECT_EQ(found[0].where, "chain OUTPUT");
  EXPECT_EQ(found[1].rule, "-A INPUT -p udp -m udp --sport 52389 -j DROP");
  EXPECT_NE(found[2].rule.find("--dports 53,69"), std::string::npos);
}

}  // namespace
}  // namespace velkaro::cli
