// Sets one environment variable for a scope and puts back what was there, for child processes
// started meanwhile.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace velkaro::testing {

class TScopedEnv {
 public:
  TScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    Set(value);
  }
  ~TScopedEnv() {
    if (saved_)
      Set(*saved_);
    else
      Unset();
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  void Set(const std::string& value) {
#ifdef _WIN32
    ::_putenv_s(name_.c_str(), value.c_str());
#else
    ::setenv(name_.c_str(), value.c_str(), 1);
#endif
  }
  void Unset() {
#ifdef _WIN32
    ::_putenv_s(name_.c_str(), "");
#else
    ::unsetenv(name_.c_str());
#endif
  }

  std::string name_;
  std::optional<std::string> saved_;
};

}  // namespace velkaro::testing
