// The Baillie–PSW pre-tests of a candidate and the probable-prime test of
// the cofactors: trial division, the strong test to base 2 and the strong
// Lucas test with Selfridge's choice of D.

#include "certifs/PreTests.h"

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "arith/ProbablePrime.h"
#include "arith/SmallFactors.h"

namespace karvo {

namespace {

// From this length on the last doublings of the Lucas test reduce by
// Barrett; below it the plain division of BigMod is as fast.
constexpr int32_t BarrettWords = 168;

// Reduction into 0..N-1 for the doubling loop of the Lucas test, by Barrett
// with a reciprocal of its own for long N so that whatever modulus the caller
// registered stays untouched.
class TLucasReducer {
 public:
  TLucasReducer(const BigInt& N, BigInt& reciprocal)
      : N_(N), mu_(reciprocal), barrett_(N.Length >= BarrettWords) {
    if (barrett_) {
      BigReciprocal(mu_, N);
    }
  }

  void Reduce(BigInt& x) const {
    if (barrett_) {
      BigBarrettReduce(x, N_, mu_);
    } else {
      BigMod(x, N_);
    }
  }

 private:
  const BigInt& N_;
  BigInt& mu_;
  bool barrett_;
};

// x := x/2 mod the odd N for a residue x.
void HalveMod(BigInt& x, const BigInt& N) {
  if (BigIsOdd(x)) {
    BigAdd(x, N);
  }
  BigShiftRight1(x);
}

// The strong base-2 test of a long odd N against the registered modulus.
// Multiplying by the base is a doubling, so 2^d costs squarings only and the
// window table of the general powering is not needed.
bool StrongBase2Registered(const BigInt& N) {
  const BigModulusScope scope(N);
  BigTemps temps(3);
  BigInt& minusOne = temps[0];
  BigInt& d = temps[1];
  BigInt& x = temps[2];
  const int32_t s = BigSplitMinusOne(N, minusOne, d);
  BigSetWord(x, 2);
  for (int32_t bit = BigBitSize(d) - 2; bit >= 0; --bit) {
    BigSqr(x);
    BigMod(x, N);
    if (BigTestBit(d, bit)) {
      BigShiftLeft1(x);
      if (BigCompare(x, N) >= 0) {
        BigSub(x, N);
      }
    }
  }
  return BigFinishStrongTest(x, N, minusOne, s);
}

}  // namespace

bool IsStrongProbablePrimeBase2(const BigInt& N) {
  // Below the length where powering switches to Barrett, the Montgomery
  // powering is faster than squarings against the registered modulus.
  if (N.Sign == 0 && BigIsOdd(N) && PowModMethodFor(N) == PowModBarrett) {
    return StrongBase2Registered(N);
  }
  return BigIsStrongProbablePrime(N, 2);
}

int32_t LucasParameterD(const BigInt& N) {
  if (N.Sign != 0 || !BigIsOdd(N) || BigCompareWord(N, 3) < 0) {
    return 0;
  }
  for (int32_t magnitude = 5; magnitude <= MaxLucasD; magnitude += 2) {
    const int32_t D = (magnitude & 3) == 1 ? magnitude : -magnitude;
    const int32_t symbol = BigJacobiInt(D, N);
    if (symbol == -1) {
      return D;
    }
    if (symbol == 0) {
      // N shares a factor with D and, being above |D| wherever this is
      // called, is composite: rejected like a square.
      return 0;
    }
  }
  // No non-residue among so many D: for a non-square N this practically
  // never happens.
  return 0;
}

bool IsStrongLucasProbablePrime(const BigInt& N, int32_t D) {
  if (N.Sign != 0 || !BigIsOdd(N) || BigCompareWord(N, 3) < 0) {
    return false;
  }
  BigTemps temps(6);
  BigInt& d = temps[0];
  BigInt& U = temps[1];
  BigInt& V = temps[2];
  BigInt& qk = temps[3];  // Q^(d·2^r)
  BigInt& spare = temps[4];
  BigAssign(d, N);
  BigIncrement(d);
  const int32_t s = BigRemoveTrailingZeros(d);
  BigLucasUV(U, V, d, D, N);
  if (BigIsZero(U) || BigIsZero(V)) {
    return true;
  }
  if (s < 2) {
    return false;
  }
  const TLucasReducer reducer(N, temps[5]);
  // D·U_k^2 = V_k^2 - 4Q^k gives Q^d without a power of its own.
  BigSqrTo(qk, V);
  reducer.Reduce(qk);
  BigSqrTo(spare, U);
  reducer.Reduce(spare);
  BigMulInt(spare, D);
  BigSub(qk, spare);
  reducer.Reduce(qk);
  HalveMod(qk, N);
  HalveMod(qk, N);
  for (int32_t r = 1; r < s; ++r) {
    BigSqr(V);
    BigSub(V, qk);
    BigSub(V, qk);
    reducer.Reduce(V);
    if (BigIsZero(V)) {
      return true;
    }
    if (r + 1 < s) {
      BigSqr(qk);
      reducer.Reduce(qk);
    }
  }
  return false;
}

std::string CandidatePreTests(const BigInt& N) {
  const Word factor = BigSmallestFactor(N);
  if (factor != 1) {
    return "Candidate divisible by " + std::to_string(factor);
  }
  if (!IsStrongProbablePrimeBase2(N)) {
    return "Candidate not strong pseudoprime to the base 2";
  }
  const int32_t D = LucasParameterD(N);
  if (D == 0) {
    return "Candidate is presumably a square";
  }
  if (!IsStrongLucasProbablePrime(N, D)) {
    // D ≡ 1 (mod 4), so the quotient is exact.
    return "Candidate not Lucas strong pseudoprime for (P=1,Q=" + std::to_string((1 - D) / 4) + ")";
  }
  return "";
}

bool IsCofactorProbablePrime(const BigInt& q) {
  if (q.Sign != 0 || !BigIsOdd(q) || BigCompareWord(q, 3) < 0) {
    return false;
  }
  if (q.Length == 1) {
    // Exact, and the Lucas parameter search would stumble over a q that
    // divides some small D.
    return WordIsPrime(q.Words[0]);
  }
  if (!IsStrongProbablePrimeBase2(q)) {
    return false;
  }
  const int32_t D = LucasParameterD(q);
  return D != 0 && IsStrongLucasProbablePrime(q, D);
}

}  // namespace karvo
