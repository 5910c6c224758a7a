#include <langinfo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <string>

#include "cli/SystemAccess.h"

namespace velkaro::cli {

void PrepareConsole() {}

TTextEncoding SystemTextEncoding() {
  // Asked of the environment without leaving the process's own locale changed.
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = current ? current : "C";
  std::string codeset;
  if (std::setlocale(LC_CTYPE, "")) {
    if (const char* name = nl_langinfo(CODESET)) codeset = name;
  }
  std::setlocale(LC_CTYPE, saved.c_str());
  std::string upper;
  for (const char c : codeset)
    if (c != '-' && c != '_')
      upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper == "ISO88591" || upper == "LATIN1" ? TTextEncoding::Latin1 : TTextEncoding::Utf8;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool StderrIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

std::FILE* OpenCommandPipe(const std::string& command, int seconds) {
  // coreutils' timeout ends it with SIGTERM, and with SIGKILL one second later if need be.
  return ::popen(("timeout -k 1 " + std::to_string(seconds) + " " + command + " 2>/dev/null").c_str(),
                 "r");
}

int CloseCommandPipe(std::FILE* pipe) {
  const int status = ::pclose(pipe);
  if (status == -1 || !WIFEXITED(status)) return -1;
  const int code = WEXITSTATUS(status);
  return code == 137 ? kCommandStopped : code;  // 128 + SIGKILL: killed after the grace second
}

}  // namespace velkaro::cli
