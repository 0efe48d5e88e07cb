#include "checks/EcCurves.h"

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"

namespace karvo {

namespace {

constexpr int kUnit = 1003;

// z := x·y mod N.
void MulMod(BigInt& z, const BigInt& x, const BigInt& y, const BigInt& N) {
  BigMulTo(z, x, y);
  BigMod(z, N);
}

void SqrMod(BigInt& z, const BigInt& x, const BigInt& N) {
  BigSqrTo(z, x);
  BigMod(z, N);
}

// t := 4A^3 + 27B^2 mod N.
void Discriminant(BigInt& t, const BigInt& A, const BigInt& B, const BigInt& N) {
  BigTemps temps(1);
  BigInt& u = temps[0];
  BigAssign(t, A);
  BigShiftLeft1(t);
  SqrMod(t, t, N);
  MulMod(t, t, A, N);
  BigSqrTo(u, B);
  BigMulWord(u, 27);
  BigAdd(t, u);
  BigMod(t, N);
}

// v := v - N when |v| > floor(N/2); v is in 0..N-1 on entry.
void Centre(BigInt& v, const BigInt& N, const BigInt& half) {
  if (BigCompare(v, half) > 0) {
    BigSub(v, N);
  }
}

// Both affine routines end the same way: x3 = λ^2 - x1 - x2 and
// y3 = λ(x1 - x3) - y1, reduced into 0..N-1.
void AffineFinish(BigInt& x1, BigInt& y1, const BigInt& x2, const BigInt& lambda,
                  const BigInt& N) {
  BigTemps temps(1);
  BigInt& x3 = temps[0];
  BigSqrTo(x3, lambda);
  BigSub(x3, x1);
  BigSub(x3, x2);
  BigMod(x3, N);
  BigSub(x1, x3);
  BigMul(x1, lambda);
  BigSub(x1, y1);
  BigMod(x1, N);
  BigSwap(y1, x1);
  BigSwap(x1, x3);
}

}  // namespace

void EcSetIdentity(TEcPoint& P) {
  BigSetOne(P.X);
  BigSetOne(P.Y);
  BigSetZero(P.Z);
  BigSetZero(P.T);
}

void EcCheckCurve(const BigInt& A, const BigInt& B, const BigInt& N) {
  BigTemps temps(1);
  Discriminant(temps[0], A, B, N);
  if (BigIsZero(temps[0])) {
    InternalError(kUnit, 1, 1);
  }
}

bool EcCurveCoprimeDiscriminant(const BigInt& A, const BigInt& B, const BigInt& N) {
  BigTemps temps(1);
  Discriminant(temps[0], A, B, N);
  return BigCoprime(temps[0], N);
}

void EcClassOneCurve(BigInt& A, BigInt& B, int32_t d) {
  struct TRow {
    int32_t D;
    int64_t A, B;
  };
  static constexpr TRow kRows[] = {
      {1, 1, 0},          {2, -30, 56},         {3, 0, 1},
      {7, -35, 98},       {11, -264, 1694},     {19, -152, 722},
      {43, -3440, 77658}, {67, -29480, 1948226}, {163, -8697680, 9873093538LL},
  };
  for (const TRow& row : kRows) {
    if (row.D == d) {
      BigSetInt64(A, row.A);
      BigSetInt64(B, row.B);
      return;
    }
  }
  InternalError(kUnit, 10, 1);
}

void EcCurveFromJ(BigInt& A, BigInt& B, BigInt& J, const BigInt& N) {
  BigTemps temps(2);
  BigInt& c = temps[0];
  BigInt& half = temps[1];
  BigMod(J, N);
  BigSetWord(c, 1728);
  BigSub(c, J);
  MulMod(A, J, c, N);
  BigAddTo(B, A, A);
  BigAdd(A, B);
  BigMul(B, c);
  BigMod(A, N);
  BigMod(B, N);
  BigAssign(half, N);
  BigShiftRight1(half);
  Centre(A, N, half);
  Centre(B, N, half);
  Centre(J, N, half);
}

void EcDouble(TEcPoint& P, int32_t count, const BigInt& N) {
  if (count < 1 || BigIsZero(P.Z)) {
    return;
  }
  BigTemps temps(4);
  BigInt& M = temps[0];
  BigInt& Y2 = temps[1];
  BigInt& S = temps[2];
  BigInt& U = temps[3];
  for (int32_t i = 0; i < count; ++i) {
    if (BigIsZero(P.Z)) {
      return;
    }
    if (BigIsZero(P.Y)) {
      EcSetIdentity(P);
      return;
    }
    SqrMod(M, P.X, N);
    BigMulWord(M, 3);
    BigAdd(M, P.T);
    BigMod(M, N);
    BigMul(P.Z, P.Y);
    BigShiftLeft1(P.Z);
    BigMod(P.Z, N);
    SqrMod(Y2, P.Y, N);
    MulMod(S, P.X, Y2, N);
    BigShiftLeft(S, 2);
    BigMod(S, N);
    BigSqrTo(P.X, M);
    BigSub(P.X, S);
    BigSub(P.X, S);
    BigMod(P.X, N);
    BigSqrTo(U, Y2);
    BigShiftLeft(U, 3);
    // A curve with A = 0 keeps T = 0 and needs no update.
    if (!BigIsZero(P.T)) {
      BigMod(U, N);
      BigMul(P.T, U);
      BigShiftLeft1(P.T);
      BigMod(P.T, N);
    }
    BigSubTo(P.Y, S, P.X);
    BigMul(P.Y, M);
    BigSub(P.Y, U);
    BigMod(P.Y, N);
  }
}

void EcAddMixed(TEcPoint& P, const BigInt& x2, const BigInt& y2, const BigInt& A,
                const BigInt& N) {
  if (BigIsZero(P.Z)) {
    BigAssign(P.X, x2);
    BigMod(P.X, N);
    BigAssign(P.Y, y2);
    BigMod(P.Y, N);
    BigSetOne(P.Z);
    BigAssign(P.T, A);
    BigMod(P.T, N);
    return;
  }
  BigTemps temps(5);
  BigInt& W = temps[0];
  BigInt& R = temps[1];
  BigInt& t = temps[2];
  BigInt& W2 = temps[3];
  BigInt& W3 = temps[4];
  if (BigIsOne(P.Z)) {
    BigSubTo(W, P.X, x2);
    BigSubTo(R, P.Y, y2);
  } else {
    SqrMod(t, P.Z, N);
    MulMod(W, x2, t, N);  // U2
    MulMod(t, t, P.Z, N);
    MulMod(R, y2, t, N);  // S2
    BigSubFrom(W, P.X);
    BigSubFrom(R, P.Y);
  }
  BigMod(W, N);
  BigMod(R, N);
  if (BigIsZero(W)) {
    if (BigIsZero(R)) {
      EcSetIdentity(P);
      EcAddMixed(P, x2, y2, A, N);
      EcDouble(P, 1, N);
    } else {
      EcSetIdentity(P);
    }
    return;
  }
  // Tsum = 2X1 - W, kept in P.X; Msum = 2Y1 - R, kept in P.Y.
  BigShiftLeft1(P.X);
  BigSub(P.X, W);
  BigShiftLeft1(P.Y);
  BigSub(P.Y, R);
  MulMod(P.Z, P.Z, W, N);
  SqrMod(W2, W, N);
  MulMod(W3, W, W2, N);
  MulMod(t, W2, P.X, N);  // V0
  SqrMod(P.X, R, N);
  BigSub(P.X, t);
  BigMod(P.X, N);  // X3
  BigSub(t, P.X);
  BigSub(t, P.X);  // V
  BigMul(t, R);
  BigMul(P.Y, W3);
  BigSubFrom(P.Y, t);
  BigMod(P.Y, N);
  // Halving modulo the odd N replaces a multiplication by 2^-1.
  if (BigIsOdd(P.Y)) {
    BigAdd(P.Y, N);
  }
  BigShiftRight1(P.Y);
  if (BigIsZero(A)) {
    BigSetZero(P.T);
  } else {
    SqrMod(t, P.Z, N);
    SqrMod(t, t, N);
    MulMod(P.T, t, A, N);
  }
}

bool EcDoubleAffine(BigInt& x, BigInt& y, bool finite, const BigInt& A, const BigInt& N) {
  if (!finite) {
    return false;
  }
  BigTemps temps(2);
  BigInt& t = temps[0];
  BigInt& lambda = temps[1];
  BigAssign(t, y);
  BigShiftLeft1(t);
  BigMod(t, N);
  if (BigIsZero(t)) {
    BigSetOne(x);
    BigSetOne(y);
    return false;
  }
  if (!BigInvMod(t, N)) {
    InternalError(kUnit, 3, 3);
  }
  BigSqrTo(lambda, x);
  BigMulWord(lambda, 3);
  BigAdd(lambda, A);
  BigMod(lambda, N);
  MulMod(lambda, lambda, t, N);
  BigAssign(t, x);
  AffineFinish(x, y, t, lambda, N);
  return true;
}

bool EcAddAffine(BigInt& x1, BigInt& y1, bool finite1, const BigInt& x2, const BigInt& y2,
                 const BigInt& A, const BigInt& N) {
  if (!finite1) {
    BigAssign(x1, x2);
    BigAssign(y1, y2);
    return true;
  }
  BigTemps temps(2);
  BigInt& d = temps[0];
  BigInt& lambda = temps[1];
  // Compared modulo N, so that a centred and a reduced coordinate match.
  BigSubTo(d, x1, x2);
  BigMod(d, N);
  if (BigIsZero(d)) {
    BigSubTo(lambda, y1, y2);
    BigMod(lambda, N);
    BigAssign(d, y1);
    BigMod(d, N);
    if (!BigIsZero(d) && BigIsZero(lambda)) {
      return EcDoubleAffine(x1, y1, true, A, N);
    }
    BigSetOne(x1);
    BigSetOne(y1);
    return false;
  }
  if (!BigInvMod(d, N)) {
    InternalError(kUnit, 3, 4);
  }
  BigSubTo(lambda, y1, y2);
  MulMod(lambda, lambda, d, N);
  AffineFinish(x1, y1, x2, lambda, N);
  return true;
}

bool EcToAffine(BigInt& X, BigInt& Y, BigInt& Z, const BigInt& N) {
  BigTemps temps(2);
  BigInt& zi = temps[0];
  BigInt& zi2 = temps[1];
  BigAssign(zi, Z);
  BigMod(zi, N);
  if (BigIsZero(zi) || !BigInvMod(zi, N)) {
    return false;
  }
  SqrMod(zi2, zi, N);
  MulMod(X, X, zi2, N);
  MulMod(zi2, zi2, zi, N);
  MulMod(Y, Y, zi2, N);
  BigSetOne(Z);
  return true;
}

bool EcIsNegativeOf(const BigInt& X, const BigInt& Y, const BigInt& Z, const BigInt& x,
                    const BigInt& y, const BigInt& N) {
  BigTemps temps(3);
  BigInt& z2 = temps[0];
  BigInt& v = temps[1];
  BigInt& w = temps[2];
  SqrMod(z2, Z, N);
  MulMod(v, x, z2, N);
  BigSubTo(w, X, v);
  BigMod(w, N);
  if (!BigIsZero(w)) {
    return false;
  }
  MulMod(z2, z2, Z, N);
  MulMod(v, y, z2, N);
  BigAddTo(w, Y, v);
  BigMod(w, N);
  return BigIsZero(w);
}

}  // namespace karvo
