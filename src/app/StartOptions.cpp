#include "app/StartOptions.h"

namespace velkaro {

bool ParseStartOptions(const std::vector<std::string>& args, TStartOptions& options,
                       std::string& error) {
  TStartOptions parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    bool isTarget = false;
    if (arg == "--target") {
      if (i + 1 >= args.size()) {
        error = "--target needs a value: ADDR[:PORT]";
        return false;
      }
      value = args[++i];
      isTarget = true;
    } else if (arg.rfind("--target=", 0) == 0) {
      value = arg.substr(9);
      isTarget = true;
    } else if (arg == "--demo") {
      parsed.demo = true;
    } else if (arg == "--help" || arg == "-h") {
      parsed.help = true;
    } else {
      error = "unknown argument '" + arg + "'";
      return false;
    }
    if (isTarget) {
      if (parsed.targetGiven) {
        error = "--target given more than once";
        return false;
      }
      if (!ParseTarget(value, parsed.target, error)) return false;
      parsed.targetGiven = true;
    }
  }
  if (parsed.demo && parsed.targetGiven) {
    error = "--demo and --target cannot be combined: the demo devices have their own address";
    return false;
  }
  options = parsed;
  return true;
}

}  // namespace velkaro
