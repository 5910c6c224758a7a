// Base of the network components: progress events with one nesting level per work mode, so
// that nested operations report one begin/end pair to the user.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace velkaro {

enum TWorkMode { wmRead = 0, wmWrite = 1 };

class TIdComponent;

using TWorkBeginEvent =
    std::function<void(TIdComponent& sender, TWorkMode workMode, std::int64_t workCountMax)>;
using TWorkEvent =
    std::function<void(TIdComponent& sender, TWorkMode workMode, std::int64_t workCount)>;
using TWorkEndEvent = std::function<void(TIdComponent& sender, TWorkMode workMode)>;

class TIdComponent {
 public:
  TIdComponent() = default;
  virtual ~TIdComponent() = default;
  TIdComponent(const TIdComponent&) = delete;
  TIdComponent& operator=(const TIdComponent&) = delete;

  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

  // Only the outermost begin/end of a mode reach the events.
  void BeginWork(TWorkMode workMode, std::int64_t workCountMax = 0);
  void DoWork(TWorkMode workMode, std::int64_t count);
  void EndWork(TWorkMode workMode);

  int WorkLevel(TWorkMode workMode) const { return Slot(workMode).level; }
  std::int64_t WorkCount(TWorkMode workMode) const { return Slot(workMode).count; }
  std::int64_t WorkCountMax(TWorkMode workMode) const { return Slot(workMode).countMax; }

 private:
  struct TWorkState {
    int level = 0;
    std::int64_t count = 0;
    std::int64_t countMax = 0;
  };
  TWorkState& Slot(TWorkMode workMode) { return work_[workMode == wmWrite ? 1 : 0]; }
  const TWorkState& Slot(TWorkMode workMode) const { return work_[workMode == wmWrite ? 1 : 0]; }

  std::array<TWorkState, 2> work_{};
};

}  // namespace velkaro
