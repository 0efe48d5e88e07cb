#pragma once

// A periodic timer driven by the front end's event pass, as a window
// toolkit's timers are: it fires, at most once per pass, when its interval
// has passed since it was started or last fired. Front ends without timers
// of their own call Fire from ProcessEvents.

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

 private:
  int32_t intervalMs_;
  std::function<void()> onTimer_;
  bool enabled_ = false;
  TClock::time_point due_{};
};

}  // namespace karvo
