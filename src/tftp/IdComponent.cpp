#include "tftp/IdComponent.h"

namespace velkaro {

void TIdComponent::BeginWork(TWorkMode workMode, std::int64_t workCountMax) {
  TWorkState& s = Slot(workMode);
  ++s.level;
  if (s.level == 1) {
    s.countMax = workCountMax;
    s.count = 0;
    if (OnWorkBegin) {
      try {
        OnWorkBegin(*this, workMode, workCountMax);
      } catch (...) {
        --s.level;  // the work never began; the next begin must raise the event again
        throw;
      }
    }
  }
}

void TIdComponent::DoWork(TWorkMode workMode, std::int64_t count) {
  TWorkState& s = Slot(workMode);
  if (s.level < 1) return;
  s.count += count;
  if (OnWork) OnWork(*this, workMode, s.count);
}

void TIdComponent::EndWork(TWorkMode workMode) {
  TWorkState& s = Slot(workMode);
  // An unbalanced end must not drive the level below zero and swallow the next begin.
  if (s.level < 1) return;
  if (s.level == 1 && OnWorkEnd) {
    // Lower the level first so that a throwing handler cannot leave the mode stuck open.
    --s.level;
    OnWorkEnd(*this, workMode);
    return;
  }
  --s.level;
}

}  // namespace velkaro
