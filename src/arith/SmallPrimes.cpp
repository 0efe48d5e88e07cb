#include "arith/SmallPrimes.h"

namespace karvo {

namespace {

// Sieve of Eratosthenes below 2^16, run by the compiler: the table is
// constant data in the program and cannot drift from its definition.
constexpr std::array<Word, SmallPrimeCount + 1> SieveSmallPrimes() {
  constexpr Word limit = 65536;
  std::array<bool, limit> composite{};
  std::array<Word, SmallPrimeCount + 1> primes{};
  int32_t count = 0;
  for (Word n = 2; n < limit; ++n) {
    if (composite[n]) {
      continue;
    }
    primes[++count] = n;
    for (Word m = n * n; m < limit; m += n) {
      composite[m] = true;
    }
  }
  // Fewer or more primes than the table holds is a compile-time error.
  if (count != SmallPrimeCount) {
    throw "wrong number of small primes";
  }
  return primes;
}

}  // namespace

constexpr std::array<Word, SmallPrimeCount + 1> SmallPrimes = SieveSmallPrimes();

static_assert(SmallPrimes[0] == 0 && SmallPrimes[1] == 2 && SmallPrimes[2] == 3);
static_assert(SmallPrimes[SmallPrimeCount] == LargestSmallPrime);

}  // namespace karvo
