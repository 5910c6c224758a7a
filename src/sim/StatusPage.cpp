#include "sim/StatusPage.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "protocol/DeviceText.h"
#include "protocol/Frame.h"
#include "sim/DeviceProfile.h"
#include "sim/Simulator.h"

namespace velkaro::sim {

namespace {

using std::chrono::milliseconds;

constexpr std::size_t kMaxRequest = 8192;
constexpr milliseconds kRequestTime{2000};  // a peer that says nothing is let go after this
constexpr milliseconds kAcceptPeriod{20};
constexpr std::size_t kMaxConnections = 64;  // served at once; Stop waits at most kRequestTime

std::string Html(const std::string& deviceText) {
  std::string out;
  for (const char c : DeviceTextToUtf8(deviceText)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Row(const std::string& caption, const std::string& value) {
  return "<tr><th>" + caption + "</th><td>" + value + "</td></tr>\n";
}

std::string Reply(const std::string& status, const std::string& body, bool withBody) {
  return "HTTP/1.0 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + (withBody ? body : "");
}

bool IsLoopback(std::uint32_t address) {
  return (address >> 24) == 127;
}

}  // namespace

std::string StatusPageHtml(const TZEL& device) {
  const std::string name = Html(device.values.AsText(7));
  const std::uint32_t options = device.values.AsUInt(6);
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + name +
                     "</title></head>\n<body>\n<h1>" + name + "</h1>\n<table>\n";
  page += Row("Model", Html(ModelName(device.ModelCode())));
  page += Row("Type", Html(device.values.AsText(5)));
  page += Row("IP Address", IpToText(device.values.AsUInt(2)));
  page += Row("Subnet Mask", IpToText(device.values.AsUInt(1)));
  page += Row("Gateway", IpToText(device.values.AsUInt(3)));
  page += Row("Port Number", std::to_string(device.values.AsUInt(4)));
  page += Row("Velkaro authorized", (options & 1) ? "yes" : "no");
  page += Row("HTTP authorized", (options & 2) ? "yes" : "no");
  page += "</table>\n</body></html>\n";
  return page;
}

std::string HttpReply(const std::string& request, const TZEL& device) {
  const std::size_t lineEnd = request.find("\r\n");
  const std::string line = request.substr(0, lineEnd);
  const std::size_t space1 = line.find(' ');
  const std::size_t space2 = space1 == std::string::npos ? space1 : line.find(' ', space1 + 1);
  if (lineEnd == std::string::npos || space2 == std::string::npos)
    return Reply("400 Bad Request", "<h1>Bad request</h1>\n", true);
  const std::string method = line.substr(0, space1);
  const std::string path = line.substr(space1 + 1, space2 - space1 - 1);
  if (method != "GET" && method != "HEAD")
    return Reply("405 Method Not Allowed", "<h1>Method not allowed</h1>\n", true);
  const bool withBody = method == "GET";
  if (path != "/" && path.rfind("/?", 0) != 0)
    return Reply("404 Not Found", "<h1>Not found</h1>\n", withBody);
  return Reply("200 OK", StatusPageHtml(device), withBody);
}

struct TStatusPages::TState {
  TSimulator& simulator;
  std::vector<std::unique_ptr<TTcpListener>> listeners;
  std::atomic<bool> running{false};
  std::thread thread;

  // Each connection is served on a thread of its own, so a slow or idle client delays nobody
  // else; beyond kMaxConnections at once, new ones are closed unanswered. Serving thread only.
  struct TConnection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<TConnection> connections;

  explicit TState(TSimulator& s) : simulator(s) {}

  void Serve() {
    while (running) {
      for (std::size_t i = 0; i < listeners.size() && running; ++i) {
        ReapFinished();
        try {
          std::optional<TTcpStream> peer = listeners[i]->Accept(kAcceptPeriod);
          if (!peer || connections.size() >= kMaxConnections) continue;
          auto done = std::make_shared<std::atomic<bool>>(false);
          connections.push_back({std::thread([this, stream = std::move(*peer), i, done]() mutable {
                                   try {
                                     Answer(stream, i);
                                   } catch (const std::exception&) {
                                     // One broken connection must not end the pages of every
                                     // device.
                                   }
                                   *done = true;
                                 }),
                                 done});
        } catch (const std::exception&) {
        }
      }
    }
    for (TConnection& c : connections) c.thread.join();
    connections.clear();
  }

  void ReapFinished() {
    for (auto it = connections.begin(); it != connections.end();) {
      if (*it->done) {
        it->thread.join();
        it = connections.erase(it);
      } else {
        ++it;
      }
    }
  }

  void Answer(TTcpStream& peer, std::size_t device) {
    std::string request;
    const auto deadline = std::chrono::steady_clock::now() + kRequestTime;
    while (running && request.find("\r\n\r\n") == std::string::npos &&
           request.size() < kMaxRequest) {
      const auto left =
          std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      const std::string part = peer.Receive(kMaxRequest - request.size(), left);
      if (part.empty()) break;
      request += part;
    }
    if (running) peer.SendAll(HttpReply(request, simulator.Snapshot(device)));
  }
};

TStatusPages::TStatusPages(TSimulator& simulator) : state_(std::make_unique<TState>(simulator)) {}

TStatusPages::~TStatusPages() {
  Stop();
}

void TStatusPages::Start() {
  if (state_->running) return;
  const std::size_t n = state_->simulator.DeviceCount();
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t address = state_->simulator.Snapshot(i).values.AsUInt(2);
    if (!IsLoopback(address))
      throw std::invalid_argument("status page of device " + std::to_string(i) +
                                  " would listen on " + IpToText(address) +
                                  ", outside 127.0.0.0/8");
  }
  std::vector<std::unique_ptr<TTcpListener>> listeners;
  for (std::size_t i = 0; i < n; ++i) {
    listeners.push_back(
        std::make_unique<TTcpListener>(state_->simulator.Snapshot(i).values.AsUInt(2), 0));
    state_->simulator.SetValue(i, 4, TValue{std::uint32_t{listeners.back()->LocalPort()}});
  }
  state_->listeners = std::move(listeners);
  state_->running = true;
  state_->thread = std::thread([this] { state_->Serve(); });
}

void TStatusPages::Stop() {
  if (!state_->running) return;
  state_->running = false;
  state_->thread.join();
  state_->listeners.clear();
}

std::uint16_t TStatusPages::Port(std::size_t device) const {
  return device < state_->listeners.size() ? state_->listeners[device]->LocalPort() : 0;
}

}  // namespace velkaro::sim
