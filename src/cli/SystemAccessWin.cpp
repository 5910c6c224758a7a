// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "cli/SystemAccess.h"
#include "platform/WindowsText.h"

namespace velkaro::cli {

namespace {

UINT originalOutputPage = 0;

void RestoreOutputPage() {
  if (originalOutputPage != 0) ::SetConsoleOutputCP(originalOutputPage);
}

}  // namespace

void PrepareConsole() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // The console window outlives the program, so its code page is put back at the end.
  const UINT page = ::GetConsoleOutputCP();
  if (page != 0 && page != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
    originalOutputPage = page;
    std::atexit(RestoreOutputPage);
  }
}

TTextEncoding SystemTextEncoding() {
  // A console was switched to UTF-8 above; a pipe's reader gets UTF-8 as well, unless the
  // console was left on the Latin-1 page by the user's own choice.
  return ::GetConsoleOutputCP() == 28591 ? TTextEncoding::Latin1 : TTextEncoding::Utf8;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide || count != argc) {
    if (wide) ::LocalFree(wide);
    return std::vector<std::string>(argv, argv + argc);
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

std::FILE* OpenCommandPipe(const std::string& command, int /*seconds*/) {
  return ::_popen((command + " 2>NUL").c_str(), "rb");
}

int CloseCommandPipe(std::FILE* pipe) {
  return ::_pclose(pipe);
}

}  // namespace velkaro::cli
