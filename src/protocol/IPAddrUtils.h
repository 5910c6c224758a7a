// Checks of dotted IPv4 address strings, used before an address is written into a TIPEdit.
// Qt-free so that non-GUI code and plain unit tests can use them.
#pragma once

#include <stdexcept>
#include <string>

namespace velkaro {

// Raised where the input breaks an internal precondition (wrong length, wrong number of dots).
class TAssertionFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Raised for a malformed or out-of-range field of an otherwise well-shaped address.
class TIPAddressError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The n-th field (from 1) of `s` split at `sep`; empty when `s` has fewer fields or n < 1.
std::string ExtractField(const std::string& s, int n, char sep);
int CountChar(const std::string& s, char c);
// True when every character is 0-9 (also for an empty text).
bool AllDigits(const std::string& s);
// "192.168.1.1" -> "192168001001". Throws TAssertionFailure or TIPAddressError.
std::string ExpandIPString(const std::string& s);
// Checks the 12-digit form `expanded` that was made from `s` (only used in the messages).
void CheckExpandedIP(const std::string& expanded, const std::string& s);
void CheckIPString(const std::string& s);
// Value of octet n (1-4) of a valid address; 0 for any other n. Throws as CheckIPString.
int IPOctet(const std::string& s, int n);

}  // namespace velkaro
