// The demo devices' own web pages: a small status page per simulated device (its name, model and
// the values of the General page), served over HTTP on the device's loopback address only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/DeviceRecord.h"

namespace velkaro::sim {

class TSimulator;

// The page of `device` as HTML; the device's Windows-1252 texts are escaped and turned into UTF-8.
std::string StatusPageHtml(const TZEL& device);
// The whole reply to one HTTP request: 200 with the page for GET or HEAD of "/", 404 for another
// path, 405 for another method, 400 for anything that is no request line.
std::string HttpReply(const std::string& request, const TZEL& device);

class TStatusPages {
 public:
  explicit TStatusPages(TSimulator& simulator);
  ~TStatusPages();  // stops
  TStatusPages(const TStatusPages&) = delete;
  TStatusPages& operator=(const TStatusPages&) = delete;

  // Listens on each device's own address (tag 2) on a port the system picks and makes the
  // device report that port as its web port (tag 4). Every address must lie in 127.0.0.0/8:
  // anything else throws std::invalid_argument before a socket is opened. Socket failures throw
  // TSocketError.
  void Start();
  void Stop();
  std::uint16_t Port(std::size_t device) const;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace velkaro::sim
