#include "protocol/IPAddrUtils.h"

#include <algorithm>

namespace velkaro {

std::string ExtractField(const std::string& s, int n, char sep) {
  std::string rest = s;
  std::string field;
  for (int i = 0; i < n; ++i) {
    if (rest.empty()) return {};
    const auto at = rest.find(sep);
    if (at == std::string::npos) {
      field = rest;
      rest.clear();
    } else {
      field = rest.substr(0, at);
      rest.erase(0, at + 1);
    }
  }
  return field;
}

int CountChar(const std::string& s, char c) {
  return static_cast<int>(std::count(s.begin(), s.end(), c));
}

bool AllDigits(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

std::string ExpandIPString(const std::string& s) {
  if (s.size() > 15)
    throw TAssertionFailure("Illegal length for IPString![" + s + "(" + std::to_string(s.size()) +
                            ")]");
  if (CountChar(s, '.') != 3) throw TAssertionFailure("Must include exactly 3 dots! [" + s + "]");
  std::string expanded;
  for (int n = 1; n <= 4; ++n) {
    const std::string field = ExtractField(s, n, '.');
    if (field.empty() || field.size() > 3)
      throw TIPAddressError("IPAddress must include 4 pieces of length 1..3. IPAddressString[" + s +
                            "]");
    if (field.size() > 1 && field[0] == '0')
      throw TIPAddressError("Leading zero not allowed. IPAddressString[" + s + "]");
    expanded += std::string(3 - field.size(), '0') + field;
  }
  return expanded;
}

void CheckExpandedIP(const std::string& expanded, const std::string& s) {
  if (expanded.size() != 12)
    throw TAssertionFailure("Illegal length for IPString![" + s +
                            " (Length:" + std::to_string(expanded.size()) + ") ]");
  for (std::size_t at = 0; at < 12; at += 3) {
    const std::string triplet = expanded.substr(at, 3);
    if (!AllDigits(triplet))
      throw TIPAddressError("IP Address contains illegal symbols. IPAddressString[" + s + "]");
    if (std::stoi(triplet) > 255)
      throw TIPAddressError("Triplets must be of range 0..255  IPAddressString[" + s + "]");
  }
}

void CheckIPString(const std::string& s) {
  CheckExpandedIP(ExpandIPString(s), s);
}

int IPOctet(const std::string& s, int n) {
  const std::string expanded = ExpandIPString(s);
  CheckExpandedIP(expanded, s);
  if (n < 1 || n > 4) return 0;
  return std::stoi(expanded.substr(static_cast<std::size_t>(n - 1) * 3, 3));
}

}  // namespace velkaro
