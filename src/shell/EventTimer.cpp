#include "shell/EventTimer.h"

#include <utility>

namespace karvo {

TEventTimer::TEventTimer(int32_t intervalMs, std::function<void()> onTimer)
    : intervalMs_(intervalMs), onTimer_(std::move(onTimer)) {}

void TEventTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (enabled) {
    due_ = TClock::now() + std::chrono::milliseconds(intervalMs_);
  }
  if (OnSetEnabled) {
    OnSetEnabled(enabled);
  }
}

void TEventTimer::FireIfDue(TClock::time_point now) {
  if (!enabled_ || now < due_) {
    return;
  }
  due_ = now + std::chrono::milliseconds(intervalMs_);
  onTimer_();
}

void TEventTimer::Fire() { FireIfDue(due_); }

}  // namespace karvo
