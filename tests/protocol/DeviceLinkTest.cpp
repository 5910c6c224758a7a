// Which interface a device record keeps when it is heard on several, round after round; and the
// choice of interfaces by name.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/SocketProbe.h"
#include "protocol/DeviceList.h"
#include "protocol/NetInterfaces.h"
#include "support/ReplyBuilder.h"

namespace {

using namespace velkaro;
using namespace velkaro::testing;

const TNetLink kL1{"l1", 0x0A610101};
const TNetLink kL2{"l2", 0x0A610201};
const TNetLink kTarget{};

struct THeard {
  std::uint64_t mac;
  TNetLink via;
};
using TRound = std::vector<THeard>;

struct TLinkCase {
  const char* what;
  std::vector<TRound> rounds;
  std::vector<std::string> links;  // per record, in first-answer order
};

TBytes Reply(std::uint64_t mac) {
  TBytes d = ReplyHeader(MacAddress(mac));
  Item(d, 2, U32(0x0A000002));  // every device here has the same IP address
  End(d);
  return d;
}

class DeviceLinkRule : public ::testing::TestWithParam<TLinkCase> {};

TEST_P(DeviceLinkRule, RecordsAndTheirInterfaces) {
  const TLinkCase& c = GetParam();
  TDeviceList list;
  for (const TRound& round : c.rounds) {
    list.StartRound();
    for (const THeard& h : round) ASSERT_GE(MergeReplyInto(list, Reply(h.mac), h.via), 0);
  }
  std::vector<std::string> links;
  for (const TZEL& r : list) links.push_back(r.link.name);
  EXPECT_EQ(links, c.links);
  for (const TZEL& r : list)
    EXPECT_EQ(r.link.localAddress, r.link.name == "l1"   ? kL1.localAddress
                                   : r.link.name == "l2" ? kL2.localAddress
                                                         : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Merge, DeviceLinkRule,
    ::testing::Values(
        TLinkCase{"one device on two interfaces in one round", {{{1, kL1}, {1, kL2}}}, {"l1"}},
        TLinkCase{"the first interface heard stays while it answers",
                  {{{1, kL2}, {1, kL1}}, {{1, kL1}, {1, kL2}}, {{1, kL1}, {1, kL2}}},
                  {"l2"}},
        TLinkCase{"one lost round moves nothing", {{{1, kL1}}, {{1, kL2}}}, {"l1"}},
        TLinkCase{"a whole silent round of its interface moves it",
                  {{{1, kL1}}, {{1, kL2}}, {{1, kL2}}},
                  {"l2"}},
        TLinkCase{
            "a round nobody answered counts as silence", {{{1, kL1}}, {}, {{1, kL2}}}, {"l2"}},
        TLinkCase{"the old interface coming back does not take it back",
                  {{{1, kL1}}, {}, {{1, kL2}}, {{1, kL1}, {1, kL2}}},
                  {"l2"}},
        TLinkCase{"two devices with one IP address on two interfaces",
                  {{{1, kL1}, {2, kL2}}, {{2, kL2}, {1, kL1}}},
                  {"l1", "l2"}},
        TLinkCase{"an explicit target gives no interface", {{{1, kTarget}}, {{1, kTarget}}}, {""}},
        TLinkCase{"a reply through an explicit target keeps the interface",
                  {{{1, kL1}}, {{1, kTarget}}, {{1, kTarget}}},
                  {"l1"}}),
    [](const ::testing::TestParamInfo<TLinkCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST(DeviceLinkRule, ClearForgetsTheRounds) {
  TDeviceList list;
  list.StartRound();
  MergeReplyInto(list, Reply(1), kL1);
  list.Clear();
  list.StartRound();
  MergeReplyInto(list, Reply(1), kL2);
  MergeReplyInto(list, Reply(1), kL1);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].link, kL2);
}

struct TChoiceCase {
  std::vector<std::string> names;
  std::vector<std::string> chosen;
  std::vector<std::string> unknown;
};

TEST(InterfaceChoice, ByName) {
  const std::vector<TNetInterface> all = {{{"eth0", 0xC0A80105}, 0xC0A801FF},
                                          {{"wlan0", 0x0A000007}, 0x0A0000FF}};
  const std::vector<TChoiceCase> cases = {
      {{}, {"eth0", "wlan0"}, {}},
      {{"wlan0"}, {"wlan0"}, {}},
      {{"wlan0", "eth0"}, {"eth0", "wlan0"}, {}},
      {{"eth0", "eth0"}, {"eth0"}, {}},
      {{"tun0", "eth0", "tun0", "ETH0"}, {"eth0"}, {"tun0", "ETH0"}},
  };
  for (const TChoiceCase& c : cases) {
    std::vector<std::string> chosen;
    for (const TNetInterface& i : ChooseInterfaces(all, c.names)) chosen.push_back(i.link.name);
    EXPECT_EQ(chosen, c.chosen) << ::testing::PrintToString(c.names);
    EXPECT_EQ(UnknownInterfaces(all, c.names), c.unknown) << ::testing::PrintToString(c.names);
  }
  EXPECT_EQ(InterfacesText(all), "eth0 (192.168.1.5), wlan0 (10.0.0.7)");
  EXPECT_EQ(InterfaceNamesText({}), "none");
}

// Whatever the machine has, what is listed is usable: named, addressed, not loopback.
// Each is listed once, and its broadcast address is its own subnet's.
TEST(InterfaceChoice, UsableInterfacesOfThisMachine) {
  std::vector<std::string> names;
  for (const TNetInterface& i : UsableInterfaces()) {
    EXPECT_FALSE(i.link.name.empty());
    EXPECT_NE(i.link.localAddress >> 24, 127u) << i.link.name;
    EXPECT_NE(i.link.localAddress, 0u) << i.link.name;
    EXPECT_EQ(std::count(names.begin(), names.end(), i.link.name), 0) << i.link.name;
    names.push_back(i.link.name);
  }
  for (const TProbedInterface& p : BroadcastInterfaces()) {
    EXPECT_EQ(p.broadcast & p.netmask, p.address & p.netmask) << p.name;
    EXPECT_EQ(p.broadcast | p.netmask, 0xFFFFFFFFu) << p.name;
    EXPECT_EQ(std::count(names.begin(), names.end(), p.name), 1) << p.name;
  }
}

}  // namespace
