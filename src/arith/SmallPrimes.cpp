#include "arith/SmallPrimes.h"

namespace karvo {

namespace {

// Sieve of Eratosthenes below 2^16, run by the compiler: the table is
// constant data in the program and cannot drift from its definition.
constexpr std::array<Word, SmallPrimeCount + 1> SieveSmallPrimes() {
  // Odd numbers only (entry i stands for 2i + 1), which also keeps the
  // compile-time work within what both g++ and clang allow by default.
  constexpr Word half = 65536 / 2;
  std::array<bool, half> composite{};
  std::array<Word, SmallPrimeCount + 1> primes{};
  int32_t count = 0;
  primes[++count] = 2;
  for (Word i = 1; i < half; ++i) {
    if (composite[i]) {
      continue;
    }
    const Word p = 2 * i + 1;
    primes[++count] = p;
    for (Word m = (p * p) / 2; p < 256 && m < half; m += p) {
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
