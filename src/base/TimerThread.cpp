#include "base/TimerThread.h"

#include <chrono>
#include <memory>

#include "base/Poll.h"

namespace karvo {

namespace {
std::unique_ptr<TTimerThread> timerThread;
}

TTimerThread::TTimerThread() : thread_([this] { Body(); }) {}

TTimerThread::~TTimerThread() {
  {
    std::lock_guard lock(mutex_);
    terminated_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TTimerThread::Resume() {
  {
    std::lock_guard lock(mutex_);
    suspended_ = false;
  }
  wake_.notify_all();
}

void TTimerThread::Suspend() {
  std::lock_guard lock(mutex_);
  suspended_ = true;
}

bool TTimerThread::Suspended() {
  std::lock_guard lock(mutex_);
  return suspended_;
}

TTimerThread* TTimerThread::Instance() { return timerThread.get(); }

void TTimerThread::Body() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return terminated_ || !suspended_; });
    if (terminated_) {
      break;
    }
    PollFlag.store(PollEnabled.load(std::memory_order_relaxed), std::memory_order_relaxed);
    // Sleeping on the condition variable lets termination cut the period short.
    wake_.wait_for(lock, std::chrono::milliseconds(PeriodMs), [this] { return terminated_; });
    if (terminated_) {
      break;
    }
  }
  PollFlag.store(0, std::memory_order_relaxed);
}

void CreateTimerThread() {
  if (!timerThread) {
    timerThread = std::make_unique<TTimerThread>();
  }
}

void FreeTimerThread() { timerThread.reset(); }

}  // namespace karvo
