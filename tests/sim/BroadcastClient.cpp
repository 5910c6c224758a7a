// Test client for the network-namespace test: discovers with the real limited broadcast (the
// default destination), reads every device, writes one General setting and discovers again,
// printing what it saw. Runs only inside the namespace named on its command line (created by the
// test with `ip netns add`), so the broadcast can never reach a real network.
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "protocol/Exchange.h"
#include "protocol/ModelRegistry.h"
#include "protocol/Session.h"

using namespace velkaro;

namespace {

bool InNamespace(const std::string& name) {
  struct stat self {
  }, named{}, init{};
  if (name.empty() || name.find('/') != std::string::npos) return false;
  if (stat("/proc/self/ns/net", &self) != 0 || stat(("/run/netns/" + name).c_str(), &named) != 0)
    return false;
  const bool isNamed = self.st_ino == named.st_ino && self.st_dev == named.st_dev;
  const bool isInit = stat("/proc/1/ns/net", &init) == 0 && self.st_ino == init.st_ino &&
                      self.st_dev == init.st_dev;
  return isNamed && !isInit;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--netns") {
    std::cerr << "usage: velkaro-broadcast-client --netns NAME\n";
    return 2;
  }
  if (!InNamespace(argv[2])) {
    std::cerr << "refusing to broadcast: not inside the network namespace '" << argv[2] << "'\n";
    return 3;
  }
  int errors = 0;
  const auto Note = [&errors](const TExchangeResult& result) {
    for (const TExchangeError& e : result.errors) {
      ++errors;
      std::cout << "error " << e.Message() << "\n";
    }
  };
  TSession session;  // the default target: the limited broadcast on every interface
  const TTarget target = session.settings.target;
  std::cout << "target " << IpToText(target.address) << ":" << target.port << "\n";

  Note(Discover(session.settings, [&session](const TReply& reply) {
    std::cout << "reply " << reply.senderIp << ":" << reply.senderPort << " last=" << reply.last
              << "\n";
    MergeReply(session, reply);
  }));
  for (const TZEL& d : session.DeviceList)
    std::cout << "device " << d.values.AsText(7) << "|" << d.values.AsText(5) << "|"
              << IpToText(d.values.AsUInt(2)) << "|" << MacToText(d.MAC) << "\n";

  for (std::size_t i = 0; i < session.DeviceList.size(); ++i) {
    std::string flags;
    const TZEL device = session.DeviceList[i];
    for (const TBatchRequest& request : ReadRequests(device)) {
      Note(Exchange(
          session.settings, request.data, 0,
          [&](const TReply& reply) {
            flags += reply.last ? 'T' : 'F';
            MergeReply(session, reply);
          },
          request.last, device.link));
    }
    std::cout << "read " << i << " " << flags << " slots=" << session.DeviceList[i].values.Count()
              << "\n";
  }

  if (!session.DeviceList.empty()) {
    TZEL edited = session.DeviceList[0];
    edited.values.Set(4, std::uint32_t{8080});
    session.DeviceList.Replace(0, edited);
    int acks = 0;
    const TBatchRequest write = GeneralWriteRequest(edited);
    Note(Exchange(
        session.settings, write.data, 10, [&](const TReply&) { ++acks; }, write.last, edited.link));
    std::cout << "write acks=" << acks << "\n";
    session.DeviceList.Clear();
    Note(Discover(session.settings, MergeInto(session)));
    if (!session.DeviceList.empty())
      std::cout << "port " << session.DeviceList[0].values.AsUInt(4) << "\n";
  }
  std::cout << "done errors=" << errors << std::endl;
  return errors == 0 ? 0 : 1;
}
