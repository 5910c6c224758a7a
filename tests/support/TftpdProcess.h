// Debian's tftpd-hpa run in the foreground on 127.0.0.1 and a free high port, with a temporary
// root that accepts new files. Used by the interoperability tests and the upload benchmark; the
// server (and every transfer process it forked) is killed when the object goes away.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace velkaro::testing {

class TTftpdProcess {
 public:
  struct TOptions {
    bool refuseBlockSize = false;  // the server ignores "blksize" and answers with ACK 0
  };

  // Throws std::runtime_error when the server is missing or does not come up.
  explicit TTftpdProcess(TOptions options);
  TTftpdProcess() : TTftpdProcess(TOptions{}) {}
  ~TTftpdProcess();
  TTftpdProcess(const TTftpdProcess&) = delete;
  TTftpdProcess& operator=(const TTftpdProcess&) = delete;

  std::uint16_t Port() const { return port_; }
  std::string Root() const { return root_.Path().string(); }
  // Stops the server and every process of its group; idempotent.
  void Stop();

  // Path of in.tftpd, or empty when it is not installed.
  static std::string ServerPath();

 private:
  bool Launch(const TOptions& options, const std::string& server);

  TTempDir root_;
  std::unique_ptr<TChildProcess> server_;
  std::uint16_t port_ = 0;
};

}  // namespace velkaro::testing
