#include "base/Poll.h"

#include "base/Constants.h"
#include "base/Errors.h"
#include "base/TimerThread.h"

namespace karvo {

std::atomic<int32_t> PollFlag{0};
std::atomic<int32_t> PollEnabled{0};
std::atomic<int32_t> AbortRequested{0};
std::atomic<int32_t> InPoll{0};

namespace {
TPollHandler pollHandler;
constexpr auto relaxed = std::memory_order_relaxed;
}  // namespace

void SetPollHandler(TPollHandler handler) {
  if (!handler) {
    ClearPollHandler();
    return;
  }
  pollHandler = std::move(handler);
  PollEnabled.store(1, relaxed);
  if (TTimerThread* timer = TTimerThread::Instance()) {
    timer->Resume();
  }
  InPoll.store(0, relaxed);
}

void ClearPollHandler() {
  PollEnabled.store(0, relaxed);
  pollHandler = nullptr;
  // Suspending first waits out a timer tick in progress, so the flag cannot
  // be raised again behind our back once it is lowered.
  if (TTimerThread* timer = TTimerThread::Instance()) {
    timer->Suspend();
  }
  PollFlag.store(0, relaxed);
}

void Poll() {
  if (InPoll.load(relaxed) != 0) {
    return;
  }
  InPoll.store(1, relaxed);
  PollFlag.store(0, relaxed);
  if (pollHandler) {
    pollHandler();
  }
  if (AbortRequested.load(relaxed) != 0) {
    AbortRequested.store(0, relaxed);
    // InPoll stays set: no further poll runs until the next SetPollHandler.
    throw EKVAbort(TextOperationAborted);
  }
  InPoll.store(0, relaxed);
}

void RequestAbort() {
  if (PollEnabled.load(relaxed) != 0) {
    AbortRequested.store(1, relaxed);
  }
}

}  // namespace karvo
