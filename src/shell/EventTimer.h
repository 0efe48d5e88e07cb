#pragma once

// A periodic timer driven by the front end's event pass, as a window
// toolkit's timers are: it fires, at most once per pass, when its interval
// has passed since it was started or last fired. Front ends without timers
// of their own call FireIfDue from ProcessEvents; a window mirrors it with a
// toolkit timer through OnSetEnabled and calls Fire when that one runs out.

#include <chrono>
#include <cstdint>
#include <functional>

#include "base/SaveTimer.h"

namespace karvo {

class TEventTimer : public TSaveTimer {
 public:
  using TClock = std::chrono::steady_clock;

  TEventTimer(int32_t intervalMs, std::function<void()> onTimer);

  // Starting an enabled timer again restarts its interval.
  void SetEnabled(bool enabled) override;
  bool Enabled() const { return enabled_; }
  int32_t IntervalMs() const { return intervalMs_; }

  // Runs the handler when the timer is due at now.
  void FireIfDue(TClock::time_point now);
  // Runs the handler of an enabled timer at once.
  void Fire();

  // Told every change of state, so a toolkit timer can follow.
  std::function<void(bool)> OnSetEnabled;

 private:
  int32_t intervalMs_;
  std::function<void()> onTimer_;
  bool enabled_ = false;
  TClock::time_point due_{};
};

}  // namespace karvo
