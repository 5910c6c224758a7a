// The program's command line: where requests go, or the built-in demo devices.
#pragma once

#include <string>
#include <vector>

#include "protocol/Exchange.h"

namespace velkaro {

struct TStartOptions {
  bool demo = false;         // --demo: simulated devices on 127.0.0.1
  bool targetGiven = false;  // --target ADDR[:PORT]
  TTarget target;
  std::string logFile;  // --log FILE: the session's packet log, written when the window closes
  std::vector<std::string> interfaces;  // --interface NAME, repeatable; empty: every usable one
  bool watch = false;                   // --watch: View > Watch devices from the start
  bool help = false;
};

inline constexpr const char* kStartUsage =
    "Usage: velkaro [--target ADDR[:PORT]] [--interface NAME]... [--demo] [--log FILE] [--watch]\n"
    "  --target ADDR[:PORT]  send requests to this address (a subnet broadcast or one device);\n"
    "                        default 255.255.255.255:52389 on every interface\n"
    "  --interface NAME      scan on this network interface only; repeat for several (default:\n"
    "                        every interface that is up, has a broadcast address and is not\n"
    "                        loopback; File > Interfaces changes it)\n"
    "  --demo                start built-in simulated devices on 127.0.0.1 and use them\n"
    "  --log FILE            write every datagram of the session to FILE (pcapng) at the end\n"
    "  --watch               watch the devices from the start (View > Watch devices)\n";

// Parses the arguments after the program name (Qt's own options already removed). Returns false
// with a message for an unknown option, a missing or bad value, or conflicting options.
bool ParseStartOptions(const std::vector<std::string>& args, TStartOptions& options,
                       std::string& error);

}  // namespace velkaro
