#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace karvo {

// Shared with the timer thread: single words, relaxed loads and stores. A late
// or lost store only delays a poll by one timer period.
extern std::atomic<int32_t> PollFlag;
extern std::atomic<int32_t> PollEnabled;
extern std::atomic<int32_t> AbortRequested;
extern std::atomic<int32_t> InPoll;

using TPollHandler = std::function<void()>;

// Installs the handler called on each poll and wakes the timer thread; an
// empty handler clears it instead.
void SetPollHandler(TPollHandler handler);
void ClearPollHandler();

// Runs the handler unless a poll is already under way; raises EKVAbort when
// the user has confirmed an abort.
void Poll();

// Called by every long loop; costs one relaxed load when nothing is pending.
inline void CheckPoll() {
  if (PollFlag.load(std::memory_order_relaxed) != 0) {
    Poll();
  }
}

// Ignored while no handler is installed, so an abort between two files does
// not hit the next one.
void RequestAbort();

}  // namespace karvo
