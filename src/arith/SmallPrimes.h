#pragma once

// The primes below 2^16, the sieving primes of TPrimeGenerator and the
// divisors of trial division.

#include <array>
#include <cstdint>

#include "arith/Words.h"

namespace karvo {

// Entry 0 is 0 so that entry i is the i-th prime: 2, 3, 5, ..., 65521.
inline constexpr int32_t SmallPrimeCount = 6542;
// The odd ones are entries 2..SmallPrimeCount.
inline constexpr int32_t OddSmallPrimeCount = SmallPrimeCount - 1;
inline constexpr Word LargestSmallPrime = 65521;

extern const std::array<Word, SmallPrimeCount + 1> SmallPrimes;

}  // namespace karvo
