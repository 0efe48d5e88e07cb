#pragma once

// Shared by the prime tests: plain references, nothing clever, so nothing
// shared with the code under test; and a poll that aborts.

#include <cstdint>
#include <vector>

#include "base/Poll.h"

namespace karvo::test {

// Primality of every n below limit, by the textbook sieve of Eratosthenes.
inline std::vector<bool> ReferenceSieve(uint32_t limit) {
  std::vector<bool> prime(limit, true);
  for (uint32_t n : {0u, 1u}) {
    if (n < limit) {
      prime[n] = false;
    }
  }
  for (uint64_t n = 2; n * n < limit; ++n) {
    if (prime[n]) {
      for (uint64_t m = n * n; m < limit; m += n) {
        prime[m] = false;
      }
    }
  }
  return prime;
}

// Exhaustive ranges of the prime tests, in bits: the generator's (0.3 s, 4 s
// under the sanitizers) and WordIsPrime's, at some 60 ns a number (1 s, 2 s).
inline constexpr int ExhaustiveBits = 26;
inline constexpr int WordIsPrimeExhaustiveBits = 24;

// While alive, the next CheckPoll raises EKVAbort; afterwards the poll state
// is as before: no handler, no flags.
class AbortAtNextPoll {
 public:
  AbortAtNextPoll() {
    SetPollHandler([] { RequestAbort(); });
    PollFlag = 1;
  }
  ~AbortAtNextPoll() {
    ClearPollHandler();
    AbortRequested = 0;
  }
  AbortAtNextPoll(const AbortAtNextPoll&) = delete;
  AbortAtNextPoll& operator=(const AbortAtNextPoll&) = delete;
};

}  // namespace karvo::test
