#pragma once

// Trial division by the small primes and the exact primality of one word.

#include "arith/BigInt.h"
#include "arith/Words.h"

namespace karvo {

// The smallest prime below 2^16 dividing |N|: 2 when N is even, else the
// smallest odd prime up to 65521 dividing it; 1 when N is 0 or ±1 or has no
// such factor. Polls on entry.
Word BigSmallestFactor(const BigInt& N);

// Exact primality of n: strong probable-prime tests to the bases 2 and 3
// below 1373653, to the bases 2, 7 and 61 above, which have no common
// pseudoprime below 2^32.
bool WordIsPrime(Word n);

}  // namespace karvo
