// Reads a firewall listing for what would keep the devices' replies or a TFTP upload away: rules
// that drop or reject UDP to or from port 52389 or 69 (or all UDP), and chains whose policy drops.
#pragma once

#include <string>
#include <vector>

namespace velkaro::cli {

struct TFirewallFinding {
  std::string where;    // "table inet filter, chain input" or "chain INPUT"
  std::string rule;     // the rule as listed
  bool policy = false;  // a chain's default verdict, not a rule of its own
};

// Output of `nft list ruleset`.
std::vector<TFirewallFinding> BlockingNftRules(const std::string& ruleset);
// Output of `iptables -S`.
std::vector<TFirewallFinding> BlockingIptablesRules(const std::string& rules);

}  // namespace velkaro::cli
