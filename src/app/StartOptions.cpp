#include "app/StartOptions.h"

#include <CLI/CLI.hpp>

#include "diag/PacketLog.h"

namespace velkaro {

bool ParseStartOptions(const std::vector<std::string>& args, TStartOptions& options,
                       std::string& error) {
  TStartOptions parsed;
  std::vector<std::string> targets, logs;
  // The texts are in kStartUsage; CLI11 only splits the words.
  CLI::App app{"", "velkaro"};
  app.set_help_flag();
  app.allow_extras();
  app.add_flag("-h,--help", parsed.help);
  app.add_flag("--demo", parsed.demo);
  app.add_flag("--watch", parsed.watch);
  // Every occurrence is kept, so a second one can be named as such.
  app.add_option("--target", targets)
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--log", logs)->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--interface", parsed.interfaces)
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 pops from the back
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError&) {
    // Only an option left without its value fails here, and only the last word can be one.
    const std::string last = args.empty() ? std::string() : args.back();
    error = last == "--log"         ? "--log needs a value: FILE"
            : last == "--interface" ? "--interface needs a value: NAME"
                                    : "--target needs a value: ADDR[:PORT]";
    return false;
  }
  if (!app.remaining().empty()) {
    error = "unknown argument '" + app.remaining().front() + "'";
    return false;
  }
  if (targets.size() > 1) {
    error = "--target given more than once";
    return false;
  }
  if (logs.size() > 1) {
    error = "--log given more than once";
    return false;
  }
  if (!logs.empty()) {
    if (logs.front().empty()) {
      error = "--log needs a file name";
      return false;
    }
    if (const std::string problem = diag::LogFileProblem(logs.front()); !problem.empty()) {
      error = "--log " + logs.front() + ": " + problem;
      return false;
    }
    parsed.logFile = logs.front();
  }
  if (!targets.empty()) {
    if (!ParseTarget(targets.front(), parsed.target, error)) return false;
    parsed.targetGiven = true;
  }
  if (parsed.demo && parsed.targetGiven) {
    error = "--demo and --target cannot be combined: the demo devices have their own address";
    return false;
  }
  options = parsed;
  return true;
}

}  // namespace velkaro
