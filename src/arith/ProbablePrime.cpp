#include "arith/ProbablePrime.h"

#include <algorithm>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "arith/SmallFactors.h"
#include "arith/SmallPrimes.h"
#include "base/Poll.h"

namespace karvo {

bool BigIsStrongProbablePrime(const BigInt& N, Word b) {
  if (N.Sign != 0 || BigCompareWord(N, 3) < 0 || !BigIsOdd(N)) {
    return BigEqualsWord(N, 2);
  }
  BigTemps temps(3);
  BigInt& minusOne = temps[0];
  BigInt& d = temps[1];
  BigInt& x = temps[2];
  const int32_t s = BigSplitMinusOne(N, minusOne, d);
  BigSetWord(x, b);
  BigPowMod(x, d, N);
  return BigFinishStrongTest(x, N, minusOne, s);
}

int32_t BigSplitMinusOne(const BigInt& N, BigInt& minusOne, BigInt& d) {
  BigAssign(minusOne, N);
  BigDecrement(minusOne);
  BigAssign(d, minusOne);
  return BigRemoveTrailingZeros(d);
}

bool BigFinishStrongTest(BigInt& x, const BigInt& N, const BigInt& minusOne, int32_t s) {
  if (BigIsOne(x) || BigEqual(x, minusOne)) {
    return true;
  }
  for (int32_t r = 1; r < s; ++r) {
    BigSqr(x);
    BigMod(x, N);
    if (BigEqual(x, minusOne)) {
      return true;
    }
    if (BigIsOne(x)) {
      // 1 stays 1: -1 can no longer come.
      return false;
    }
  }
  return false;
}

bool BigIsProbablePrime(const BigInt& N, int32_t rounds) {
  CheckPoll();
  if (N.Sign != 0 || BigCompareWord(N, 2) < 0) {
    return false;
  }
  if (!BigIsOdd(N)) {
    return BigEqualsWord(N, 2);
  }
  if (N.Length == 1) {
    return WordIsPrime(N.Words[0]);
  }
  if (BigSmallestFactor(N) != 1) {
    return false;
  }
  const int32_t bases = std::clamp(rounds, 1, SmallPrimeCount);
  for (int32_t i = 1; i <= bases; ++i) {
    if (!BigIsStrongProbablePrime(N, SmallPrimes[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace karvo
