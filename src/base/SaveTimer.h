#pragma once

namespace karvo {

// The front end's periodic save request: while enabled it sets SaveRequested
// now and then (every 360 s in the programs); the engine and the verifier
// switch it on for long computations and read the flag between steps.
class TSaveTimer {
 public:
  virtual ~TSaveTimer() = default;
  virtual void SetEnabled(bool enabled) = 0;
};

// Numbers above this many words take long enough to be saved periodically.
inline constexpr int PeriodicSaveWords = 64;

// Switches timer (which may be null) when enabled differs from on, the
// caller's record of the timer's state.
inline void SwitchSaveTimer(TSaveTimer* timer, bool& on, bool enabled) {
  if (enabled != on && timer != nullptr) {
    timer->SetEnabled(enabled);
  }
  on = enabled;
}

}  // namespace karvo
