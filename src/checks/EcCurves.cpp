#include "checks/EcCurves.h"

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "checks/EcField.h"

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
  BigTemps temps(1);
  BigInt& c = temps[0];
  BigMod(J, N);
  BigSetWord(c, 1728);
  BigSub(c, J);
  MulMod(A, J, c, N);
  BigAddTo(B, A, A);
  BigAdd(A, B);
  BigMul(B, c);
  BigMod(A, N);
  BigMod(B, N);
  EcCentre(A, N);
  EcCentre(B, N);
  EcCentre(J, N);
}

void EcCentre(BigInt& x, const BigInt& N) {
  BigMod(x, N);
  BigTemps temps(1);
  BigInt& half = temps[0];
  BigAssign(half, N);
  BigShiftRight1(half);
  if (BigCompare(x, half) > 0) {
    BigSub(x, N);
  }
}

TEcField::TEcField(const BigInt& N)
    : temps_(RecordCount), field_(N, temps_[Product], temps_[RSquared]) {
  field_.One(temps_[OneRecord]);
  for (int32_t i = 0; i < ScratchCount; ++i) {
    BigGrow(temps_[Base + i], field_.Words());
  }
}

void TEcField::Enter(TEcPoint& P) const {
  for (BigInt* c : {&P.X, &P.Y, &P.Z, &P.T}) {
    field_.Enter(*c, *c);
  }
}

void TEcField::Leave(TEcPoint& P) const {
  for (BigInt* c : {&P.X, &P.Y, &P.Z, &P.T}) {
    field_.Leave(*c);
  }
}

void TEcField::SetIdentity(TEcPoint& P) {
  const int32_t k = field_.Words();
  for (BigInt* c : {&P.X, &P.Y, &P.Z, &P.T}) {
    BigGrow(*c, k);
    c->Length = k;
    c->Sign = 0;
  }
  WordsCopy(One(), P.X.Words, k);
  WordsCopy(One(), P.Y.Words, k);
  WordsFill(0, P.Z.Words, k);
  WordsFill(0, P.T.Words, k);
}

namespace {

// r := 2ab as (a + b)^2 - a^2 - b^2 from the squares a2 and b2, where a
// square costs less than a product; r may be a.
void TwiceProduct(const TMontgomery& F, Word* r, const Word* a, const Word* b, const Word* a2,
                  const Word* b2) {
  F.Add(r, a, b);
  F.Sqr(r, r);
  F.Sub(r, r, a2);
  F.Sub(r, r, b2);
}

// x := a^2 - 2b, the first coordinate of both formulas.
void SquareLessTwice(const TMontgomery& F, Word* x, const Word* a, const Word* b) {
  F.Sqr(x, a);
  F.Sub(x, x, b);
  F.Sub(x, x, b);
}

}  // namespace

void EcDoubleResidues(TEcPoint& P, int32_t count, TEcField& f) {
  const TMontgomery& F = f.Field();
  Word* M = f.Scratch(0);
  Word* Y2 = f.Scratch(1);
  Word* S = f.Scratch(2);
  Word* U = f.Scratch(3);
  Word* X = P.X.Words;
  Word* Y = P.Y.Words;
  Word* Z = P.Z.Words;
  Word* T = P.T.Words;
  for (int32_t i = 0; i < count; ++i) {
    if (F.IsZero(Z)) {
      return;
    }
    if (F.IsZero(Y)) {
      f.SetIdentity(P);
      return;
    }
    // M = 3X^2 + T, Z' = 2YZ, S = 4XY^2, X' = M^2 - 2S, U = 8Y^4,
    // T' = 2TU, Y' = M(S - X') - U, with 2XY^2 from squares.
    F.Sqr(M, X);
    F.Sqr(Y2, Y);
    F.Mul(Z, Z, Y);
    F.Add(Z, Z, Z);
    F.Sqr(U, Y2);
    TwiceProduct(F, S, X, Y2, M, U);
    F.Add(S, S, S);
    F.Add(Y2, M, M);
    F.Add(M, M, Y2);
    F.Add(M, M, T);
    SquareLessTwice(F, X, M, S);
    F.Add(U, U, U);
    F.Add(U, U, U);
    F.Add(U, U, U);
    // A curve with A = 0 keeps T = 0 and needs no update.
    if (!F.IsZero(T)) {
      F.Mul(T, T, U);
      F.Add(T, T, T);
    }
    F.Sub(Y, S, X);
    F.Mul(Y, Y, M);
    F.Sub(Y, Y, U);
  }
}

void EcAddMixedResidues(TEcPoint& P, const Word* x2, const Word* y2, const Word* A,
                        TEcField& f) {
  const TMontgomery& F = f.Field();
  const int32_t k = F.Words();
  Word* X = P.X.Words;
  Word* Y = P.Y.Words;
  Word* Z = P.Z.Words;
  if (F.IsZero(Z)) {
    WordsCopy(x2, X, k);
    WordsCopy(y2, Y, k);
    WordsCopy(f.One(), Z, k);
    WordsCopy(A, P.T.Words, k);
    return;
  }
  Word* W = f.Scratch(0);
  Word* R = f.Scratch(1);
  Word* t = f.Scratch(2);
  Word* W2 = f.Scratch(3);
  Word* ZZ = f.Scratch(4);
  const bool unitZ = WordsCompare(Z, f.One(), k) == 0;
  if (unitZ) {
    F.Sub(W, X, x2);
    F.Sub(R, Y, y2);
  } else {
    F.Sqr(ZZ, Z);
    F.Mul(W, x2, ZZ);  // U2
    F.Mul(t, ZZ, Z);
    F.Mul(R, y2, t);  // S2
    F.Sub(W, X, W);
    F.Sub(R, Y, R);
  }
  if (F.IsZero(W)) {
    const bool same = F.IsZero(R);
    f.SetIdentity(P);
    if (same) {
      EcAddMixedResidues(P, x2, y2, A, f);
      EcDoubleResidues(P, 1, f);
    }
    return;
  }
  // W = X1 - U2, R = Y1 - S2: X3 = R^2 - 2 X1 W^2 + W^3,
  // Y3 = R (X1 W^2 - X3) - Y1 W^3, Z3 = Z1 W (from squares where Z1 ≠ 1).
  F.Sqr(W2, W);
  // T3 = A Z3^4 = T1 W^4; a curve with A = 0 keeps T = 0.
  const bool updateT = !F.IsZero(P.T.Words);
  if (updateT) {
    F.Sqr(t, W2);
  }
  if (unitZ) {
    WordsCopy(W, Z, k);
  } else {
    TwiceProduct(F, Z, Z, W, ZZ, W2);
    F.Half(Z, Z);
  }
  F.Mul(W, W, W2);   // W^3
  F.Mul(W2, X, W2);  // V = X1 W^2
  SquareLessTwice(F, X, R, W2);
  F.Add(X, X, W);
  F.Mul(Y, Y, W);
  F.Sub(W2, W2, X);
  F.Mul(W2, W2, R);
  F.Sub(Y, W2, Y);
  if (updateT) {
    F.Mul(P.T.Words, P.T.Words, t);
  }
}

void EcDouble(TEcPoint& P, int32_t count, const BigInt& N) {
  if (count < 1 || BigIsZero(P.Z)) {
    return;
  }
  TEcField f(N);
  f.Enter(P);
  EcDoubleResidues(P, count, f);
  f.Leave(P);
}

void EcAddMixed(TEcPoint& P, const BigInt& x2, const BigInt& y2, const BigInt& A,
                const BigInt& N) {
  TEcField f(N);
  BigTemps temps(3);
  f.Enter(temps[0], x2);
  f.Enter(temps[1], y2);
  f.Enter(temps[2], A);
  f.Enter(P);
  EcAddMixedResidues(P, temps[0].Words, temps[1].Words, temps[2].Words, f);
  f.Leave(P);
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
