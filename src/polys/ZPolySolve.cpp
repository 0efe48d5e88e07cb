// Closed forms for degrees 2, 3 and 4. Each result is checked on the
// polynomial before it is returned, so a case the formulas do not cover
// (a non-residue, a non-cube, N mod 9 in {1, 8}) falls back to splitting.

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "polys/PolysInternal.h"
#include "polys/ZPolyRoots.h"

namespace karvo {

namespace {

// x := x/2 mod N for a residue x and an odd N.
void Halve(BigInt& x, const BigInt& N) {
  if (BigIsOdd(x)) {
    BigAdd(x, N);
  }
  BigShiftRight1(x);
}

// x := x/y mod N; false when y has no inverse.
bool DivMod(BigInt& x, const BigInt& y, const BigInt& N) {
  BigTemps t(1);
  BigAssign(t[0], y);
  if (!BigInvMod(t[0], N)) {
    return false;
  }
  MulMod(x, t[0], N);
  return true;
}

// f := x - root, after checking that root is one.
bool SetRoot(ZPoly& f, const BigInt& root, const BigInt& N) {
  BigTemps t(1);
  ZPolyEval(t[0], root, N, f);
  if (!BigIsZero(t[0])) {
    return false;
  }
  ZPolySetMonomial(f, 1);
  BigAssign(f.Coeffs[0], root);
  BigNegate(f.Coeffs[0]);
  BigMod(f.Coeffs[0], N);
  return true;
}

// k with 3k ≡ 1 modulo M, or modulo M/3 when 3 divides M once (then x^k is
// a cube root of any cube x of order dividing M); false when 9 divides M.
bool CubeRootExponent(BigInt& k, const BigInt& M) {
  BigAssign(k, M);
  if (BigMod3(k) == 0) {
    BigDivExactByWord(k, 3);
    if (BigMod3(k) == 0) {
      return false;
    }
  }
  const Word rest = BigMod3(k);
  if (rest == 1) {
    BigShiftLeft1(k);
  }
  BigIncrement(k);
  BigDivExactByWord(k, 3);
  return true;
}

// Coefficients of f(x + s) in place (Taylor shift by repeated synthetic division).
void ShiftArgument(ZPoly& f, const BigInt& s, const BigInt& N) {
  BigTemps t(1);
  for (int32_t i = 0; i < f.Degree; ++i) {
    for (int32_t j = f.Degree - 1; j >= i; --j) {
      BigMulTo(t[0], s, f.Coeffs[j + 1]);
      BigAdd(f.Coeffs[j], t[0]);
      BigMod(f.Coeffs[j], N);
    }
  }
}

bool SqrtIfSquare(BigInt& x, const BigInt& N, const BigInt& c) {
  if (BigJacobi(x, N) < 0) {
    return false;
  }
  if (!BigIsZero(x)) {
    BigSqrtMod(x, N, c);
  }
  return true;
}

bool NinthResidueRules(const BigInt& N) {
  const Word r = BigModWord(N, 9);
  return BigCompareWord(N, 5) >= 0 && r % 3 != 0 && r != 1 && r != 8;
}

}  // namespace

void LucasLadderV(BigInt& v, BigInt& w, const BigInt& P, const BigInt& N, const BigInt& k) {
  if (BigIsZero(k)) {
    BigSetWord(v, 2);
    BigAssign(w, P);
    return;
  }
  BigAssign(v, P);
  BigAssign(w, P);
  BigSqr(w);
  BigSubWord(w, 2);
  BigMod(w, N);
  for (int32_t i = BigBitSize(k) - 2; i >= 0; --i) {
    BigInt& product = BigTestBit(k, i) ? v : w;
    BigInt& square = BigTestBit(k, i) ? w : v;
    BigMul(product, &product == &v ? w : v);
    BigSub(product, P);
    BigMod(product, N);
    BigSqr(square);
    BigSubWord(square, 2);
    BigMod(square, N);
  }
}

bool ZPolySolveQuadratic(ZPoly& f, const BigInt& N, const BigInt& c) {
  BigTemps t(2);
  BigInt& s = t[0];
  BigInt& r = t[1];
  BigAssign(s, f.Coeffs[1]);
  BigSqr(s);
  BigAssign(r, f.Coeffs[0]);
  BigShiftLeft(r, 2);
  BigSub(s, r);
  BigMod(s, N);
  if (!SqrtIfSquare(s, N, c)) {
    return false;
  }
  BigAddTo(r, f.Coeffs[1], s);
  BigMod(r, N);
  Halve(r, N);
  BigNegate(r);
  BigMod(r, N);
  return SetRoot(f, r, N);
}

// Cardano on the depressed t^3 + p·t + q (x = t - a2/3) with s = -p/3: the
// cube root comes from the Lucas sequence of beta = w^2/s^3, w a root of
// w^2 + q·w + s^3, whose order divides N - (Delta | N); then
// t = -q/(s·(V_k - 1)), since t^2 = s·(V_k + 2).
bool ZPolySolveCubic(ZPoly& f, const BigInt& N) {
  if (!NinthResidueRules(N)) {
    return false;
  }
  BigTemps t(10);
  BigInt& shift = t[0];
  BigInt& p = t[1];
  BigInt& q = t[2];
  BigInt& s = t[3];
  BigInt& x = t[4];
  BigInt& k = t[5];
  BigInt& v = t[6];
  BigInt& w = t[7];
  BigInt& three = t[8];
  BigInt& root = t[9];
  BigSetWord(three, 3);
  BigAssign(shift, f.Coeffs[2]);
  DivMod(shift, three, N);
  BigNegate(shift);
  BigMod(shift, N);
  ZPolyTemps g(1);
  ZPolyAssign(g[0], f);
  ShiftArgument(g[0], shift, N);
  BigAssign(p, g[0].Coeffs[1]);
  BigAssign(q, g[0].Coeffs[0]);
  BigAssign(s, p);
  BigNegate(s);
  BigMod(s, N);
  DivMod(s, three, N);
  if (BigIsZero(q)) {
    BigSetZero(root);
  } else if (BigIsZero(p)) {
    BigSubTo(k, N, q);
    BigAssign(x, N);
    BigDecrement(x);
    if (!CubeRootExponent(v, x)) {
      return false;
    }
    BigPowMod(k, v, N);
    BigAssign(root, k);
  } else {
    BigAssign(w, s);  // w := s^3
    BigSqr(w);
    MulMod(w, s, N);
    BigAssign(x, q);  // x := Delta = q^2/4 - s^3
    BigSqr(x);
    BigMod(x, N);
    Halve(x, N);
    Halve(x, N);
    BigSub(x, w);
    BigMod(x, N);
    if (BigIsZero(x)) {
      BigAssign(root, q);  // double root -3q/(2p), simple root 3q/p
      BigMulWord(root, 3);
      DivMod(root, p, N);
    } else {
      BigAssign(k, N);
      if (BigJacobi(x, N) > 0) {
        BigDecrement(k);
      } else {
        BigIncrement(k);
      }
      if (!CubeRootExponent(k, k)) {
        return false;
      }
      BigAssign(x, q);  // P := (q^2 - 2s^3)/s^3
      BigSqr(x);
      BigSub(x, w);
      BigSub(x, w);
      BigMod(x, N);
      if (!DivMod(x, w, N)) {
        return false;
      }
      LucasLadderV(v, w, x, N, k);
      BigDecrement(v);
      MulMod(v, s, N);
      BigAssign(root, q);
      BigNegate(root);
      BigMod(root, N);
      if (!DivMod(root, v, N)) {
        return false;
      }
    }
  }
  BigAdd(root, shift);
  BigMod(root, N);
  return SetRoot(f, root, N);
}

// Euler: with the depressed y^4 + p·y^2 + q·y + r (x = y - b/4) and the
// roots z1, z2, z3 of z^3 + 2p·z^2 + (p^2 - 4r)·z - q^2, a root is
// (√z1 + √z2 + √z3)/2 with √z1·√z2·√z3 = -q.
bool ZPolySolveQuartic(ZPoly& f, const BigInt& N, const BigInt& c) {
  if (!NinthResidueRules(N)) {
    return false;
  }
  BigTemps t(5);
  BigInt& shift = t[0];
  BigInt& z1 = t[1];
  BigInt& z2 = t[2];
  BigInt& z3 = t[3];
  BigInt& x = t[4];
  BigAssign(shift, f.Coeffs[3]);
  BigNegate(shift);
  BigMod(shift, N);
  Halve(shift, N);
  Halve(shift, N);
  ZPolyTemps polys(3);
  ZPoly& g = polys[0];
  ZPoly& resolvent = polys[1];
  ZPoly& factor = polys[2];
  ZPolyAssign(g, f);
  ShiftArgument(g, shift, N);
  const BigInt& p = g.Coeffs[2];
  const BigInt& q = g.Coeffs[1];
  ZPolySetMonomial(resolvent, 3);
  BigAssign(resolvent.Coeffs[2], p);
  BigShiftLeft1(resolvent.Coeffs[2]);
  BigAssign(x, p);
  BigSqr(x);
  BigAssign(resolvent.Coeffs[1], g.Coeffs[0]);
  BigShiftLeft(resolvent.Coeffs[1], 2);
  BigSubFrom(resolvent.Coeffs[1], x);
  BigAssign(resolvent.Coeffs[0], q);
  BigSqr(resolvent.Coeffs[0]);
  BigNegate(resolvent.Coeffs[0]);
  ZPolyReduce(resolvent, N);
  ZPolyAssign(factor, resolvent);
  if (!ZPolySolveCubic(factor, N)) {
    return false;
  }
  ZPolyQuotient(resolvent, factor, N);
  BigSubTo(z1, N, factor.Coeffs[0]);
  BigMod(z1, N);
  if (!ZPolySolveQuadratic(resolvent, N, c)) {
    return false;
  }
  BigSubTo(z2, N, resolvent.Coeffs[0]);
  BigMod(z2, N);
  BigAssign(z3, p);  // z1 + z2 + z3 = -2p
  BigShiftLeft1(z3);
  BigAdd(z3, z1);
  BigAdd(z3, z2);
  BigNegate(z3);
  BigMod(z3, N);
  for (BigInt* z : {&z1, &z2, &z3}) {
    if (!SqrtIfSquare(*z, N, c)) {
      return false;
    }
  }
  BigAssign(x, z1);
  MulMod(x, z2, N);
  MulMod(x, z3, N);
  BigAdd(x, q);
  BigMod(x, N);
  if (!BigIsZero(x)) {
    BigNegate(z3);
  }
  BigAssign(x, z1);
  BigAdd(x, z2);
  BigAdd(x, z3);
  BigMod(x, N);
  Halve(x, N);
  BigAdd(x, shift);
  BigMod(x, N);
  return SetRoot(f, x, N);
}

}  // namespace karvo
