// The demo devices' status pages: what one HTTP request gets, and the refusal of any address
// outside the loopback network.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "sim/DeviceProfile.h"
#include "sim/Simulator.h"
#include "sim/StatusPage.h"

using namespace velkaro;
using namespace velkaro::sim;

namespace {

TZEL Device() {
  TZEL device = MakeDeviceRecord(kModelZel4, 0, 0x02005E000001ull);
  device.values.Set(7, std::string("Lab <A&B> \xE9t\xE9 \x80"));  // Windows-1252 "été €"
  device.values.Set(6, std::uint32_t{0x02});
  return device;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST(StatusPageTest, RepliesByMethodAndPath) {
  const TZEL device = Device();
  struct {
    const char* request;
    const char* statusLine;
    bool page;
  } const cases[] = {
      {"GET / HTTP/1.1\r\nHost: 127.0.0.2\r\n\r\n", "HTTP/1.0 200 OK\r\n", true},
      {"GET /?refresh=1 HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK\r\n", true},
      {"HEAD / HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK\r\n", false},
      {"GET /admin HTTP/1.0\r\n\r\n", "HTTP/1.0 404 Not Found\r\n", false},
      {"POST / HTTP/1.0\r\n\r\n", "HTTP/1.0 405 Method Not Allowed\r\n", false},
      {"", "HTTP/1.0 400 Bad Request\r\n", false},
      {"GET\r\n\r\n", "HTTP/1.0 400 Bad Request\r\n", false},
  };
  for (const auto& c : cases) {
    const std::string reply = HttpReply(c.request, device);
    EXPECT_EQ(reply.rfind(c.statusLine, 0), 0u) << c.request;
    EXPECT_EQ(Has(reply, "<table>"), c.page) << c.request;
  }
}

TEST(StatusPageTest, PageShowsNameModelAndGeneralValuesEscaped) {
  const std::string page = StatusPageHtml(Device());
  EXPECT_TRUE(Has(page, "<h1>Lab &lt;A&amp;B&gt; \xC3\xA9t\xC3\xA9 \xE2\x82\xAC</h1>"));
  EXPECT_TRUE(Has(page, "<tr><th>Model</th><td>ZEL4</td></tr>"));
  EXPECT_TRUE(Has(page, "<tr><th>Subnet Mask</th><td>255.255.255.0</td></tr>"));
  EXPECT_TRUE(Has(page, "<tr><th>Port Number</th><td>80</td></tr>"));
  EXPECT_TRUE(Has(page, "<tr><th>Velkaro authorized</th><td>no</td></tr>"));
  EXPECT_TRUE(Has(page, "<tr><th>HTTP authorized</th><td>yes</td></tr>"));
}

TEST(StatusPageTest, RefusesAddressesOutsideLoopback) {
  TSimOptions options;
  options.port = 0;
  options.models = {kModelZel1};
  TSimulator simulator(options);  // 10.0.0.2, as on a LAN
  TStatusPages pages(simulator);
  EXPECT_THROW(pages.Start(), std::invalid_argument);
  EXPECT_EQ(pages.Port(0), 0);
}

// Idle clients (connected, never sending a request) delay no other page: each connection is
// served on its own.
TEST(StatusPageTest, IdleConnectionsDelayNoOtherPage) {
  TSimOptions options;
  options.port = 0;
  options.bindAddress = "127.0.0.1";
  options.loopbackIps = true;
  options.models = {kModelZel1, kModelZel4};
  TSimulator simulator(options);
  TStatusPages pages(simulator);
  pages.Start();
  std::vector<TTcpStream> idle;
  for (int i = 0; i < 10; ++i)
    idle.push_back(TTcpStream::Connect(simulator.Snapshot(0).values.AsUInt(2), pages.Port(0)));
  // Let the server take them all before the real request comes.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (std::size_t device : {std::size_t{1}, std::size_t{0}}) {
    SCOPED_TRACE(device);
    const auto start = std::chrono::steady_clock::now();
    TTcpStream client =
        TTcpStream::Connect(simulator.Snapshot(device).values.AsUInt(2), pages.Port(device));
    client.SendAll("GET / HTTP/1.0\r\n\r\n");
    std::string reply;
    for (std::string part; !(part = client.Receive(65536, std::chrono::seconds(5))).empty();)
      reply += part;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(reply.rfind("HTTP/1.0 200 OK", 0), 0u) << reply.substr(0, 80);
    // One idle client used to hold every page for 2 s; ten for 18 s.
    EXPECT_LT(took, std::chrono::milliseconds(1500));
  }
  pages.Stop();
}
