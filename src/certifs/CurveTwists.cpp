// Twist selection for the curves of class number one. The rules follow the
// residue symbols of the Gaussian and Eisenstein primes above N: the
// coefficient is fixed up to a quartic or sextic power class, and the power
// class is read off the primary representation of N.

#include "certifs/CurveTwists.h"

#include "arith/BigMod.h"
#include "base/Errors.h"
#include "checks/EcCurves.h"

namespace karvo {

namespace {

constexpr int32_t MaxTwistRounds = 10000;

// x := x^((N-1)/k) mod N.
void PowerClass(BigInt& x, const BigInt& N, Word k) {
  BigInt e;
  BigAssign(e, N);
  BigDecrement(e);
  BigDivWord(e, k);
  BigMod(x, N);
  BigPowMod(x, e, N);
}

// Whether f·x^((N-1)/4) ≡ g (mod N).
bool QuarticMatches(const BigInt& x, const BigInt& f, const BigInt& g, const BigInt& N) {
  BigInt y, h;
  BigAssign(y, x);
  PowerClass(y, N, 4);
  BigMul(y, f);
  BigMod(y, N);
  BigAssign(h, g);
  BigMod(h, N);
  return BigEqual(y, h);
}

void SqrtModN(BigInt& x, Word value, const BigInt& N) {
  BigInt c;
  if ((N.Words[0] & 7) == 1) {
    BigNonResidue(c, N);
  }
  BigSetWord(x, value);
  BigSqrtMod(x, N, c);
}

// d = 1, U the odd component up to sign: the A that is not 1.
void QuarticTwistOfOdd(BigInt& A, const BigInt& a, const BigInt& b, const BigInt& N) {
  if ((N.Words[0] & 7) == 5) {
    BigSetMinusOne(A);
    return;
  }
  const Word b4 = BigModWord(b, 4);
  if (b4 % 2 == 1 || b4 == 2) {
    BigSetWord(A, b4 == 2 ? 2 : 4);
    return;
  }
  const Word a3 = BigMod3(a), b3 = BigMod3(b);
  if (a3 == 0) {
    BigSetWord(A, 3);
  } else if ((a3 + 2 * b3) % 3 == 0 || (a3 + 4 * b3) % 3 == 0) {
    BigSetWord(A, 9);
  } else {
    BigInt one, minusOne;
    BigSetOne(one);
    BigSetMinusOne(minusOne);
    for (Word x = 5; x < 5 + MaxTwistRounds; ++x) {
      BigSetWord(A, x);
      if (QuarticMatches(A, one, minusOne, N)) {
        return;
      }
    }
    InternalError(2, 8, 1);
  }
}

// d = 1, U the even component up to sign.
void QuarticTwistOfEven(BigInt& A, const BigInt& a, BigInt& b, const BigInt& U,
                        const BigInt& N) {
  BigAbs(b);
  if (!BigIsNegative(U)) {
    BigNegate(b);
  }
  const Word b4 = BigModWord(b, 4);
  BigInt twoB;
  BigAssign(twoB, b);
  BigShiftLeft1(twoB);
  if (b4 % 2 == 1) {
    if (b4 == 1) {
      BigAssign(A, N);
      BigIncrement(A);
      BigShiftRight1(A);
    } else {
      BigSetWord(A, 2);
    }
    return;
  }
  Word root = 2;
  if (b4 == 0) {
    const Word r1 = BigMod3(a), r2 = BigMod3(twoB);
    if ((r1 + r2) % 3 == 0) {
      BigSetWord(A, 3);
      BigInvMod(A, N);
      return;
    }
    if (r1 == r2) {
      BigSetWord(A, 3);
      return;
    }
    if (r1 != 0) {
      for (Word x = 5; x < 5 + MaxTwistRounds; ++x) {
        BigSetWord(A, x);
        if (QuarticMatches(A, twoB, a, N)) {
          return;
        }
      }
      InternalError(2, 8, 2);
    }
    root = 3;
  }
  SqrtModN(A, root, N);
  if (!QuarticMatches(A, twoB, a, N)) {
    BigInvMod(A, N);
  }
}

}  // namespace

void TwistD1(BigInt& A, const BigInt& U, const BigInt& V, const BigInt& N) {
  BigInt u, a, b;
  BigAssign(u, U);
  BigShiftRight(u, 1);
  BigAssign(a, u);
  BigAssign(b, V);
  BigAbs(b);
  if (BigIsOdd(b)) {
    BigSwap(a, b);
  }
  if (BigModWord(a, 4) == 3) {
    BigNegate(a);
  }
  BigShiftRight(b, 1);
  if (BigEqual(a, u)) {
    BigSetOne(A);
  } else if (BigEqualAbs(a, u)) {
    QuarticTwistOfOdd(A, a, b, N);
  } else {
    QuarticTwistOfEven(A, a, b, u, N);
  }
  EcCentre(A, N);
}

void TwistD3(BigInt& B, const BigInt& U, const BigInt& V, const BigInt& N) {
  BigInt v, a, b, t;
  BigAssign(v, V);
  BigAbs(v);
  if (BigMod3(v) != 0) {
    BigAddTo(t, U, v);
    BigAssign(a, v);
    BigShiftLeft1(a);
    if (BigIsOdd(t) || BigMod3(t) != 0) {
      BigSubTo(t, U, v);
      BigNegate(a);
    }
    // a = t/2 ∓ 2V, b = t/6.
    BigAssign(b, t);
    BigShiftRight(b, 1);
    BigSubFrom(a, b);
    BigDivInt(b, 3);
  } else {
    BigAssign(a, U);
    BigAssign(b, v);
  }
  if (BigMod3(a) == 2) {
    BigNegate(a);
  }
  BigAbs(b);
  if (!BigEqualAbs(a, U)) {
    BigInt w, s, r;
    BigAssign(w, U);
    BigShiftLeft1(w);
    BigAssign(t, b);
    BigMulWord(t, 9);
    BigAddTo(s, a, t);
    BigSubTo(r, a, t);
    if (!BigEqualAbs(s, w)) {
      BigSwap(s, r);
    }
    const int32_t sigma = BigIsNegative(s) != BigIsNegative(w) ? -1 : 1;
    BigMod(s, N);
    BigMod(r, N);
    Word x = BigModWord(b, 6) == 0 ? 4 : 1;
    for (int32_t round = 0;; ++round, ++x) {
      if (round == MaxTwistRounds) {
        InternalError(2, 9, 1);
      }
      if (BigJacobiInt(static_cast<int32_t>(x), N) != sigma) {
        continue;
      }
      BigSetWord(t, 4 * x);
      PowerClass(t, N, 3);
      BigMul(t, r);
      BigMod(t, N);
      if (BigEqual(t, s)) {
        break;
      }
    }
    BigSetWord(B, x);
  } else if (!BigEqual(a, U)) {
    BigSetWord(B, 16);
  } else if ((N.Words[0] & 7) == 5) {
    BigSetWord(B, 2);
  } else {
    if ((N.Words[0] & 3) == 3) {
      BigAssign(B, N);
      BigDecrement(B);
    } else {
      int32_t c = 2;
      while (BigJacobiInt(c, N) != -1) {
        ++c;
      }
      BigSetInt(B, c);
      BigPowModWord(B, 3, N);
      if (BigIsOdd(B)) {
        BigAdd(B, N);
      }
    }
    // B/4 modulo N.
    BigShiftRight1(B);
    if (BigIsOdd(B)) {
      BigAdd(B, N);
    }
    BigShiftRight1(B);
  }
  EcCentre(B, N);
}

int32_t ClassOneSeedSign(int32_t d, const BigInt& t, const BigInt& N) {
  const Word n16 = N.Words[0] & 15;
  if (d == 2) {
    int32_t s = BigJacobiInt(-6, N);
    s = n16 < 8 ? -s : s;
    s = n16 % 4 == 3 ? -s : s;
    return BigModWord(t, 8) == 6 ? -s : s;
  }
  int32_t s = 0;
  if (d == 7) {
    s = BigJacobiInt(-7, N) * (n16 % 4 == 1 ? -1 : 1);
  } else {
    s = BigJacobiInt(d == 11 ? -66 : -2 * d, N);
  }
  return s * IntJacobi(static_cast<int32_t>(BigModWord(t, static_cast<Word>(d))), d);
}

}  // namespace karvo
