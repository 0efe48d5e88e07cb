// The N-1 and N+1 steps: the split of the order by the prime table, and the
// witnesses B and Q that the checks of the certificate replay.

#include "certifs/NSplit.h"

#include <algorithm>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "arith/PrimeTable.h"
#include "arith/SmallPrimes.h"
#include "base/Poll.h"
#include "certifs/PreTests.h"

namespace karvo {

namespace {

// Table entries between two polls of the split; one comparison each.
constexpr int32_t SplitPollInterval = 4096;

// 2 and the next 199 primes are tried as the base of an N-1 test.
constexpr int32_t NMinus1Bases = 200;

// Rounds of the Q search of an N+1 test.
constexpr int32_t MaxQRounds = 9999;
// Consecutive Q with (Q/N) ≠ -1 after which the search gives up. For a prime
// N a run this long never occurs (it would need every prime below it to be a
// residue); for a square N, which has no non-residue at all, it ends the
// search.
constexpr int32_t MaxResidueRun = 4096;

// Whether gcd(b^S - 1, N) = 1 and (b^S)^R ≡ 1 (mod N).
bool IsNMinus1Base(const BigInt& N, const BigInt& S, const BigInt& R, Word b, BigInt& x) {
  BigSetWord(x, b);
  BigPowMod(x, S, N);
  BigDecrement(x);
  // x = -1 (b^S ≡ 0) is coprime to N; the power below then rejects b.
  const bool coprime = BigCoprime(x, N);
  BigIncrement(x);
  if (!coprime) {
    return false;
  }
  BigPowMod(x, R, N);
  return BigIsOne(x);
}

}  // namespace

bool SplitOrder(BigInt& k, BigInt& q, const BigInt& m, Word residue, const BigInt& bound,
                int32_t nBits, int32_t primeBound) {
  // q first: k may be the record of m.
  BigAssign(q, m);
  BigSetOne(k);
  if (q.Sign != 0 || q.Length == 0) {
    return false;
  }
  BigShiftLeft(k, BigRemoveTrailingZeros(q));
  if (BigCompare(q, bound) <= 0) {
    return false;
  }
  const int32_t count = std::min(primeBound, PrimeTableCount);
  for (int32_t i = 1; i < count; ++i) {
    if (i % SplitPollInterval == 0) {
      CheckPoll();
    }
    const TPrimeEntry& entry = PrimeTable[i];
    if (entry.Residue != residue) {
      continue;
    }
    // The slot says p divides m. The exact remainder still guards each
    // division, so slots filled for another number cannot corrupt k·q = m.
    while (WordsModExactOddInv(q.Words, q.Length, 0, entry.Prime, entry.Inverse) == 0) {
      WordsDivExactOdd(q.Words, q.Length, entry.Inverse, entry.Prime);
      BigNormalize(q);
      BigMulWord(k, entry.Prime);
      if (BigCompare(q, bound) <= 0) {
        return false;
      }
    }
  }
  return nBits - BigBitSize(q) >= 1 && BigCompare(q, bound) > 0 && BigIsOdd(q) &&
         IsCofactorProbablePrime(q);
}

Word FindNMinus1Base(const BigInt& N, const BigInt& S, const BigInt& R) {
  if (N.Sign != 0 || !BigIsOdd(N) || BigCompareWord(N, 3) < 0) {
    return 0;
  }
  BigTemps temps(1);
  // SmallPrimes holds the same first primes as the table and does not
  // depend on its size.
  for (int32_t i = 1; i <= NMinus1Bases; ++i) {
    if (IsNMinus1Base(N, S, R, SmallPrimes[i], temps[0])) {
      return SmallPrimes[i];
    }
  }
  return 0;
}

Word FindNPlus1Q(const BigInt& N, const BigInt& S, const BigInt& /*R*/) {
  // R is not needed: the check reads (N + 1)/2 from N itself.
  if (N.Sign != 0 || !BigIsOdd(N) || BigCompareWord(N, 3) < 0) {
    return 0;
  }
  BigTemps temps(5);
  BigInt& P = temps[0];
  BigInt& Qbig = temps[1];
  BigInt& index = temps[2];
  BigInt& v = temps[3];
  BigInt& halfS = temps[4];
  BigAssign(halfS, S);
  BigShiftRight1(halfS);
  int32_t Q = 1;
  bool found = false;
  for (int32_t round = 0; round < MaxQRounds && !found; ++round) {
    int32_t run = 0;
    do {
      ++Q;
      if (++run > MaxResidueRun) {
        return 0;
      }
    } while (BigJacobiInt(Q, N) != -1);
    const bool odd = (Q & 1) != 0;
    const int32_t D = odd ? 4 - 4 * Q : 1 - 4 * Q;
    if (BigJacobiInt(D, N) != -1) {
      continue;
    }
    BigSetInt(P, odd ? 2 : 1);
    BigSetInt(Qbig, Q);
    BigLucasV(v, halfS, P, N, Qbig);
    found = !BigIsZero(v);
  }
  if (!found) {
    return 0;
  }
  BigAssign(index, N);
  BigIncrement(index);
  BigShiftRight1(index);
  BigLucasV(v, index, P, N, Qbig);
  return BigIsZero(v) ? static_cast<Word>(Q) : 0;
}

}  // namespace karvo
