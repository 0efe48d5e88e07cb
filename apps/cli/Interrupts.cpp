#include "Interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace karvo::cli {

namespace {

// Touched by the signal handler, so they must be lock-free.
std::atomic<int32_t> pendingInterrupts{0};
std::atomic<bool> taskActive{false};
static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int) {
  if (!taskActive.load()) {
    // Only async-signal-safe calls here: no stdio, no exit handlers.
    _exit(ExitInterrupted);
  }
  pendingInterrupts.fetch_add(1);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Restarting keeps file writes and reads from failing with EINTR.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

void SetTaskActive(bool active) { taskActive.store(active); }

int32_t TakeInterrupts() { return pendingInterrupts.exchange(0); }

}  // namespace karvo::cli
