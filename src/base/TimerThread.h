#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace karvo {

// Copies PollEnabled into PollFlag every 150 ms while resumed, so that long
// computations on the main thread poll a few times a second. It allocates
// nothing and writes only PollFlag.
class TTimerThread {
 public:
  static constexpr int PeriodMs = 150;

  TTimerThread();  // created suspended
  ~TTimerThread();  // terminates and joins; PollFlag ends at 0
  TTimerThread(const TTimerThread&) = delete;
  TTimerThread& operator=(const TTimerThread&) = delete;

  void Resume();
  void Suspend();
  bool Suspended();

  // The process-wide thread made by CreateTimerThread, or null.
  static TTimerThread* Instance();

 private:
  void Body();

  std::mutex mutex_;
  std::condition_variable wake_;
  bool suspended_ = true;
  bool terminated_ = false;
  std::thread thread_;
};

void CreateTimerThread();
void FreeTimerThread();

}  // namespace karvo
