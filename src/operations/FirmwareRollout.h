// Firmware for many devices: each one is triggered, gets one upload and must answer a discovery
// again afterwards. A bounded number run at once; the window and the command-line tool share it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/DeviceRecord.h"
#include "protocol/Exchange.h"

namespace velkaro::ops {

enum class TRolloutResult { Ok, TransferFailed, NoAnswerToTrigger, NoReturn, NotStarted };
// "ok", "transfer failed", "no answer to trigger", "no return", "not started".
const char* RolloutResultWord(TRolloutResult result);

enum class TRolloutState { Queued, Triggering, Uploading, Returning, Finished };
// "queued", "triggering", "uploading", "waiting for return", "finished".
const char* RolloutStateWord(TRolloutState state);

inline constexpr int kDefaultRolloutParallel = 4;
inline constexpr std::chrono::seconds kDefaultReturnTimeout{90};

struct TRolloutSettings {
  std::string file;
  std::uint16_t tftpPort = 69;
  int parallel = kDefaultRolloutParallel;  // devices in flight at once (trigger to return)
  // After its upload a device must answer a discovery within this time; 0 skips the wait.
  std::chrono::milliseconds returnTimeout = kDefaultReturnTimeout;
  bool canary = false;  // the first device alone; the others only when it came back
  int stopAfter = 0;    // no new device starts once this many did not end ok; 0 = never
  bool force = false;   // images over kMaxImageBytes are sent too
  // When set, every image goes to this address instead of the device's own (the demo's devices
  // carry made-up addresses and take their images on the loopback).
  std::string uploadHost;
  TExchangeSettings exchange;  // a copy: the rollout's threads read it while the caller goes on
};

struct TRolloutDevice {
  TZEL device;  // the record of the discovery
  TRolloutResult result = TRolloutResult::NotStarted;
  double seconds = 0;  // from the trigger to the end of the return wait
  std::string error;   // empty when ok
};

// Reported for a device at every change of state and of whole percent. Calls never overlap,
// but they come from the rollout's worker threads.
using TRolloutProgress = std::function<void(std::size_t index, TRolloutState state, int percent)>;

// Runs the rollout to its end and returns one entry per device, in the order given. Uses its own
// settings and no device list, so it may run off the UI thread.
std::vector<TRolloutDevice> RunRollout(const std::vector<TZEL>& devices,
                                       const TRolloutSettings& settings,
                                       const TRolloutProgress& progress = {});

// Runs discovery exchanges until `device` answers one or `timeout` passes; true when it did.
bool AwaitReturn(const TExchangeSettings& settings, const TZEL& device,
                 std::chrono::milliseconds timeout);

}  // namespace velkaro::ops
