// Modular inverses: single (word shortcuts, else the extended Euclidean
// algorithm with Lehmer steps), batched, and of words.

#include "arith/BigMod.h"
#include "arith/BigModInternal.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// x := x^-1 mod N for 0 < x < N, x of two words or more, by the extended
// Euclidean algorithm on (N, x) that tracks the cofactors of x only.
bool InvertByEuclid(BigInt& x, const BigInt& N) {
  BigTemps temps(6);
  BigInt& a = temps[0];
  BigInt& b = temps[1];
  BigInt& ua = temps[2];  // a ≡ ua·x (mod N); ua and ub have opposite signs
  BigInt& ub = temps[3];  // b ≡ ub·x (mod N)
  BigInt& r = temps[4];
  BigInt& q = temps[5];
  BigAssign(a, N);
  BigAssign(b, x);
  BigSetZero(ua);
  BigSetOne(ub);
  LehmerMatrix m;
  while (b.Length != 0) {
    CheckPoll();
    if (BigLehmerStep(a, b, m)) {
      LehmerApply(a, b, m);
      LehmerApplyToCofactors(ua, ub, m);
      continue;
    }
    BigDivMod(q, r, a, b);
    BigSwap(a, b);
    BigSwap(b, r);
    BigMul(q, ub);
    BigSub(ua, q);
    BigSwap(ua, ub);
  }
  if (!BigIsOne(a)) {
    return false;
  }
  if (ua.Sign != 0) {
    BigAdd(ua, N);
  }
  BigSwap(x, ua);
  return true;
}

}  // namespace

bool BigInvMod(BigInt& x, const BigInt& N) {
  if (BigCompareWord(N, 2) < 0) {
    InternalError(1000, 12, 1);
  }
  CheckPoll();
  BigMod(x, N);
  bool invertible = true;
  if (x.Length == 0) {
    invertible = false;
  } else if (BigIsOne(x)) {
    return true;
  } else if (x.Length >= 2) {
    invertible = InvertByEuclid(x, N);
  } else {
    // x·y ≡ 1 (mod N) with y = (N·u + 1)/x, where u ≡ -N^-1 (mod x); two and
    // three have their inverses in closed form.
    const Word w = x.Words[0];
    if (w == 2) {
      invertible = BigIsOdd(N);
      if (invertible) {
        BigAssign(x, N);
        BigIncrement(x);
        BigShiftRight1(x);
      }
    } else if (w == 3) {
      const Word r = BigMod3(N);
      invertible = r != 0;
      if (invertible) {
        BigAssign(x, N);
        if (r == 1) {
          BigShiftLeft1(x);
        }
        BigIncrement(x);
        BigDivExactByWord(x, 3);
      }
    } else {
      const Word u = WordInvMod(w - BigModWord(N, w), w);
      invertible = u != 0;
      if (invertible) {
        BigAssign(x, N);
        BigMulWord(x, u);
        BigIncrement(x);
        BigDivExactByWord(x, w);
      }
    }
  }
  if (!invertible) {
    BigSetZero(x);
  }
  return invertible;
}

bool BigInvModBatch(BigInt* values, int32_t count, const BigInt& N) {
  if (count > InvModBatchLimit) {
    InternalError(1000, 13, 1);
  }
  if (BigCompareWord(N, 2) < 0) {
    InternalError(1000, 13, 2);
  }
  if (count <= 0) {
    return true;
  }
  CheckPoll();
  // prefix[i] = values[0]·...·values[i] mod N; one inversion of the last,
  // then each inverse peels one factor off.
  BigTemps temps(count + 1);
  BigInt& inverse = temps[count];
  BigAssign(temps[0], values[0]);
  BigMod(temps[0], N);
  for (int32_t i = 1; i < count; ++i) {
    BigMulTo(temps[i], temps[i - 1], values[i]);
    BigMod(temps[i], N);
  }
  BigAssign(inverse, temps[count - 1]);
  if (!BigInvMod(inverse, N)) {
    return false;
  }
  for (int32_t i = count - 1; i >= 1; --i) {
    // temps[i] is no longer needed: it takes the inverse of values[i].
    BigMulTo(temps[i], inverse, temps[i - 1]);
    BigMod(temps[i], N);
    BigMul(inverse, values[i]);
    BigMod(inverse, N);
    BigSwap(values[i], temps[i]);
  }
  BigSwap(values[0], inverse);
  return true;
}

Word WordInvMod(Word a, Word m) {
  if (m == 0) {
    InternalError(1000, 40, 1);
  }
  a %= m;
  if (a == 0) {
    return 0;
  }
  // r_i ≡ ±u_i·a (mod m), the sign flipping at every step; the cofactors
  // stay below m, so they are kept as unsigned magnitudes.
  Word r0 = m;
  Word r1 = a;
  Word u0 = 0;
  Word u1 = 1;
  bool oddSteps = false;
  while (r1 > 1) {
    const Word q = r0 / r1;
    const Word r2 = r0 - q * r1;
    const Word u2 = u0 + q * u1;
    r0 = r1;
    r1 = r2;
    u0 = u1;
    u1 = u2;
    oddSteps = !oddSteps;
  }
  if (r1 == 0) {
    return 0;
  }
  return oddSteps ? m - u1 : u1;
}

}  // namespace karvo
