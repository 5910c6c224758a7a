// The one way tests start a program: a child process with its output on pipes, read with time
// limits, and always ended (killed when the object goes away).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace velkaro::testing {

struct TChildOptions {
  // Where the child's stderr goes; stdin is always /dev/null.
  enum class Stderr {
    Merged,    // onto the stdout pipe: Output() holds both, in the order written
    Separate,  // a pipe of its own: ErrorOutput()
    Terminal,  // a pseudo-terminal (isatty(2) holds; line ends come back as "\r\n")
    Discard,   // stdout and stderr both to /dev/null (a server nobody reads)
  };
  Stderr stderrTo = Stderr::Merged;
  // A process group of its own, signalled as a whole, so that children the program forks end
  // with it; the child also dies with the test process, however that ends.
  bool ownGroup = false;
};

class TChildProcess {
 public:
  // Starts `args[0]` (searched in PATH unless it holds a '/'). Started() tells whether it ran.
  explicit TChildProcess(const std::vector<std::string>& args, TChildOptions options = {});
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // Why it did not start: the system's error number (errno, or GetLastError on Windows).
  int StartError() const { return startError_; }
  pid_t Pid() const { return pid_; }
  const std::string& Output() const { return output_; }
  const std::string& ErrorOutput() const { return errors_; }

  // Reads until `text` arrived on Output(); false on time-out or end of output.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  // True while the child has not ended (never blocks).
  bool Running();
  // Sends `signal` (when given) and waits for the end, reading what is left; SIGKILL after the
  // time-out. Returns the exit code, 128 + signal number when killed by one, or -1 when it had
  // to be killed or never started.
  int Finish(std::chrono::milliseconds timeout, int signal = 0);
  // After Finish: whether the child ended by exit() rather than by a signal.
  bool ExitedNormally() const { return exitedNormally_; }
  // Reads until the child closed its output ends; false on time-out.
  bool ReadUntilClosed(std::chrono::milliseconds timeout);

 private:
  bool ReadSome(int timeoutMs);
  void Signal(int signal);
  void Reap(int status);
  // The end of Finish on either system: Reap, a killed child marked as such, the pipes drained.
  int Concluded(int status, bool killed);

  pid_t pid_ = -1;
  int startError_ = 0;
  bool exited_ = false;
  bool exitedNormally_ = false;
  bool ownGroup_ = false;
  int exitCode_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string output_;
  std::string errors_;
};

// What one run of a program to its end gave.
struct TProgramRun {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
  bool timedOut = false;
  std::chrono::milliseconds duration{0};
};

// Runs `args` to the end with stdout and stderr apart (stderr on a pseudo-terminal when
// `stderrOnTerminal`). A run that outlasts `timeout` is killed. Throws when it cannot start.
TProgramRun RunProgram(const std::vector<std::string>& args,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30),
                       bool stderrOnTerminal = false);

}  // namespace velkaro::testing
