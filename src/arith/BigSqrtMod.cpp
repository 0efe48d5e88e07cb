// Square roots modulo an odd prime and the quadratic non-residue they need.

#include "arith/BigMod.h"
#include "arith/BigModInternal.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// A prime has small non-residues, so a search that has run this far is
// checked once for a perfect-square modulus, which would make it endless.
constexpr Word SquareCheckAt = 1024;

bool IsPerfectSquare(const BigInt& p) {
  BigTemps temps(1);
  BigAssign(temps[0], p);
  return BigIsqrt(temps[0]);
}

// p ≡ 5 (mod 8), Atkin: with u = (2x)^((p-5)/8) and i = 2x·u^2 (a square
// root of -1), x·u·(i - 1) is a root.
void SqrtAtkin(BigInt& x, const BigInt& p, const TModReducer& reducer) {
  BigTemps temps(4);
  BigInt& twice = temps[0];
  BigInt& u = temps[1];
  BigInt& i = temps[2];
  BigInt& e = temps[3];
  BigAssign(twice, x);
  BigShiftLeft1(twice);
  reducer.Reduce(twice);
  BigAssign(e, p);
  BigShiftRight(e, 3);  // (p - 5)/8
  BigAssign(u, twice);
  BigPowMod(u, e, p);
  ModSqrTo(i, u, reducer);
  ModMulTo(i, i, twice, reducer);
  BigDecrement(i);
  ModMulTo(x, x, u, reducer);
  ModMulTo(x, x, i, reducer);
}

// p - 1 = 2^e·q: Tonelli–Shanks with c of order 2^e. The loop keeps
// R^2 = x·t, t of order 2^m' for some m' < m, and squares c down to the
// order it needs.
void SqrtTonelliShanks(BigInt& x, const BigInt& p, const BigInt& q, int32_t e, const BigInt& c,
                       const TModReducer& reducer) {
  BigTemps temps(5);
  BigInt& b = temps[0];
  BigInt& R = temps[1];
  BigInt& t = temps[2];
  BigInt& z = temps[3];  // the working copy of c
  BigInt& s = temps[4];
  BigAssign(b, x);
  BigAssign(s, q);
  BigShiftRight1(s);
  BigPowMod(b, s, p);          // x^((q-1)/2)
  ModMulTo(R, x, b, reducer);  // x^((q+1)/2)
  ModMulTo(t, b, R, reducer);  // x^q
  BigAssign(z, c);
  int32_t m = e;
  while (!BigIsOne(t)) {
    CheckPoll();
    int32_t i = 0;
    BigAssign(s, t);
    do {
      if (++i >= m) {
        InternalError(1000, 38, 4);
      }
      ModSqrTo(s, s, reducer);
    } while (!BigIsOne(s));
    for (int32_t j = m - i - 1; j > 0; --j) {
      ModSqrTo(z, z, reducer);
    }
    ModMulTo(R, R, z, reducer);
    ModSqrTo(z, z, reducer);
    ModMulTo(t, t, z, reducer);
    m = i;
  }
  BigSwap(x, R);
}

// The root is V_((p+1)/2)(a, x)·(p+1)/2 for the least a ≥ 2 with
// a^2 - 4x a non-residue: then V_((p+1)/2)^2 ≡ 4x.
void SqrtLucas(BigInt& x, const BigInt& p, const TModReducer& reducer) {
  BigTemps temps(4);
  BigInt& d = temps[0];
  BigInt& fourX = temps[1];
  BigInt& half = temps[2];
  BigInt& v = temps[3];
  BigAssign(fourX, x);
  BigShiftLeft(fourX, 2);
  Word a = 2;
  for (;;) {
    BigSetUInt64(d, uint64_t{a} * a);
    BigSub(d, fourX);
    if (BigJacobi(d, p) == -1) {
      break;
    }
    CheckPoll();
    if (++a == 0 || (a == SquareCheckAt && IsPerfectSquare(p))) {
      InternalError(1000, 38, 3);
    }
  }
  BigAssign(half, p);
  BigIncrement(half);
  BigShiftRight1(half);
  BigSetWord(d, a);
  BigLucasV(v, half, d, p, x);
  ModMulTo(x, v, half, reducer);
}

}  // namespace

void BigSqrtMod(BigInt& x, const BigInt& p, const BigInt& c) {
  if (p.Sign != 0 || !BigIsOdd(p) || BigCompareWord(p, 3) < 0) {
    InternalError(1000, 38, 1);
  }
  CheckPoll();
  BigMod(x, p);
  if (x.Length == 0) {
    return;
  }
  if (BigJacobi(x, p) != 1) {
    InternalError(1000, 38, 2);
  }
  BigTemps temps(2);
  BigInt& q = temps[0];
  const TModReducer reducer(p, temps[1]);
  const Word p8 = p.Words[0] & 7;
  if (p8 == 3 || p8 == 7) {
    BigAssign(q, p);
    BigIncrement(q);
    BigShiftRight(q, 2);
    BigPowMod(x, q, p);
  } else if (p8 == 5) {
    SqrtAtkin(x, p, reducer);
  } else {
    BigAssign(q, p);
    BigDecrement(q);
    const int32_t e = BigRemoveTrailingZeros(q);
    if (int64_t{e - 1} * e <= int64_t{11} * BigBitSize(p)) {
      SqrtTonelliShanks(x, p, q, e, c, reducer);
    } else {
      SqrtLucas(x, p, reducer);
    }
  }
}

void BigNonResidue(BigInt& c, const BigInt& p) {
  if (p.Sign != 0 || !BigIsOdd(p) || BigCompareWord(p, 3) < 0) {
    InternalError(1000, 1, 1);
  }
  CheckPoll();
  BigTemps temps(2);
  BigInt& q = temps[0];
  BigInt& g = temps[1];
  Word candidate = 2;
  while (BigJacobiInt(static_cast<int32_t>(candidate), p) != -1) {
    CheckPoll();
    if (++candidate == SquareCheckAt && IsPerfectSquare(p)) {
      InternalError(1000, 1, 1);
    }
  }
  BigAssign(q, p);
  BigDecrement(q);
  BigRemoveTrailingZeros(q);
  BigSetWord(g, candidate);
  BigPowMod(g, q, p);
  BigSwap(c, g);
}

}  // namespace karvo
