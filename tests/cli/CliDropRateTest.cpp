// A lossy network: each request and each answer lost with probability 0.2. Discovery merges
// every round, so a device whose answer was lost is listed from a later round and nothing listed
// is removed by a lost one.
#include <set>

#include "CliSimFixture.h"

namespace velkaro::cli::testing {
namespace {

class CliDropRateTest : public CliSimTest {};

TEST_F(CliDropRateTest, TenRoundsListAllOfTwoHundredDevicesDespiteLosses) {
  constexpr int kDevices = 200;
  sim::TSimOptions options;
  options.count = kDevices;
  options.dropRate = 0.2;
  options.seed = 3;  // loses four of the ten requests, and a fifth of the answers
  StartSim(options);

  const TCliRun run = Cli({"--json", "scan"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::set<std::string> macs;
  for (const auto& device : nlohmann::json::parse(run.out)) {
    macs.insert(device.at("mac").get<std::string>());
    EXPECT_EQ(device.at("interface"), "");  // an explicit target chooses no interface
  }
  EXPECT_EQ(macs.size(), static_cast<std::size_t>(kDevices));
  // The losses really happened: requests and answers were dropped on the way.
  EXPECT_EQ(sim->RequestCount(), 10u);
  EXPECT_GT(sim->DroppedRequests(), 0u);
  EXPECT_GT(sim->DroppedReplies(), 100u);
}

}  // namespace
}  // namespace velkaro::cli::testing
