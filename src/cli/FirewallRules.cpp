#include "cli/FirewallRules.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace velkaro::cli {

namespace {

constexpr int kDevicePortNumber = 52389;
constexpr int kTftpPortNumber = 69;

std::vector<std::string> Words(const std::string& line) {
  std::string spaced;
  for (const char c : line) spaced += (c == ',' || c == '{' || c == '}' || c == ';') ? ' ' : c;
  std::istringstream in(spaced);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string Trimmed(const std::string& line) {
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

bool Has(const std::vector<std::string>& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// "69", "60-70" or "52389:52400" covering one of the ports; nothing else counts.
bool CoversOurPort(const std::string& word) {
  const auto dash = word.find_first_of("-:");
  try {
    std::size_t used = 0;
    const long low = std::stol(word, &used);
    long high = low;
    if (dash != std::string::npos && used == dash)
      high = std::stol(word.substr(dash + 1));
    else if (used != word.size())
      return false;
    for (const long port : {kDevicePortNumber, kTftpPortNumber})
      if (port >= low && port <= high) return true;
  } catch (const std::exception&) {
  }
  return false;
}

// The UDP ports a rule names after `keywords`; a rule naming none concerns every port. A negated
// match ("!=") is left alone: it is not known to hit our ports.
bool HitsOurPorts(const std::vector<std::string>& words, const std::vector<std::string>& keywords) {
  bool namedPorts = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (std::find(keywords.begin(), keywords.end(), words[i]) == keywords.end()) continue;
    namedPorts = true;
    std::size_t j = i + 1;
    if (j < words.size() && (words[j] == "!=" || words[j] == "!")) return false;
    for (; j < words.size() && !words[j].empty() &&
           std::isdigit(static_cast<unsigned char>(words[j][0]));
         ++j)
      if (CoversOurPort(words[j])) return true;
  }
  return !namedPorts;
}

}  // namespace

std::vector<TFirewallFinding> BlockingNftRules(const std::string& ruleset) {
  std::vector<TFirewallFinding> found;
  std::istringstream in(ruleset);
  std::string table, chain;
  for (std::string raw; std::getline(in, raw);) {
    const std::string line = Trimmed(raw);
    const std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    if (words[0] == "table" && words.size() >= 3) {
      table = words[1] + " " + words[2];
      chain.clear();
      continue;
    }
    if (words[0] == "chain" && words.size() >= 2) {
      chain = words[1];
      continue;
    }
    if (chain.empty() || line == "}") continue;
    const std::string where = "table " + table + ", chain " + chain;
    if (words[0] == "type") {
      // Forwarded traffic never reaches this program.
      const bool local = Has(words, "input") || Has(words, "output");
      if (local && Has(words, "policy") && Has(words, "drop")) found.push_back({where, line, true});
      continue;
    }
    const bool blocks = Has(words, "drop") || Has(words, "reject");
    const bool udp = Has(words, "udp");  // "udp dport 69" and "meta l4proto udp" alike
    if (blocks && udp && HitsOurPorts(words, {"sport", "dport"})) found.push_back({where, line});
  }
  return found;
}

std::vector<TFirewallFinding> BlockingIptablesRules(const std::string& rules) {
  std::vector<TFirewallFinding> found;
  std::istringstream in(rules);
  for (std::string raw; std::getline(in, raw);) {
    const std::string line = Trimmed(raw);
    const std::vector<std::string> words = Words(line);
    if (words.size() < 3) continue;
    if (words[0] == "-P") {
      if ((words[1] == "INPUT" || words[1] == "OUTPUT") && words[2] == "DROP")
        found.push_back({"chain " + words[1], line, true});
      continue;
    }
    if (words[0] != "-A") continue;
    const auto jump = std::find(words.begin(), words.end(), "-j");
    const bool blocks = jump != words.end() && jump + 1 != words.end() &&
                        (jump[1] == "DROP" || jump[1] == "REJECT");
    const auto proto = std::find(words.begin(), words.end(), "-p");
    const bool udp = proto != words.end() && proto + 1 != words.end() && proto[1] == "udp";
    if (blocks && udp && HitsOurPorts(words, {"--sport", "--dport", "--sports", "--dports"}))
      found.push_back({"chain " + words[1], line});
  }
  return found;
}

}  // namespace velkaro::cli
