// What the command-line tool asks of the operating system beyond sockets and files: the console,
// its arguments and listing commands. SystemAccessPosix.cpp or SystemAccessWin.cpp implements it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOutput.h"

namespace velkaro::cli {

// Sets the standard streams up before any output: on Windows binary (no "\r" before each line
// feed, the same bytes as on Linux) and a console that shows UTF-8 until the program ends.
void PrepareConsole();

// The encoding the reader of the text output expects.
TTextEncoding SystemTextEncoding();

// The program's arguments in UTF-8. Windows hands argv over in the ANSI code page, which loses
// characters of file names, so they are read again from the wide command line there.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

bool StderrIsTerminal();

// Starts a read-only listing command through the shell, its stderr dropped, stopped after
// `seconds` (on Windows, where none is run, without a limit); its output is read from the stream
// returned (null when it could not start).
std::FILE* OpenCommandPipe(const std::string& command, int seconds);
// Status of a command that was stopped for its time limit.
inline constexpr int kCommandStopped = 124;
// Closes the stream of OpenCommandPipe: the command's exit status, kCommandStopped when it ran
// out of time, -1 when it ended otherwise.
int CloseCommandPipe(std::FILE* pipe);

}  // namespace velkaro::cli
