// The point operations against the affine GMP reference: the mixed addition
// in its doubling and negation cases, the doubling, the affine routines and
// their internal errors, and the carried value T = A Z^4.

#include <gtest/gtest.h>

#include "EcTestSupport.h"
#include "arith/BigMod.h"

namespace karvo {
namespace {

using test::BigFromMpz;
using test::EcRandom;
using test::MpzValue;
using test::RefPoint;

struct TCurve {
  MpzValue n, a, b;
  RefPoint g;
  BigInt N, A;

  TCurve(EcRandom& random, unsigned bits) {
    random.Prime(n, bits);
    random.Curve(a, b, g, n);
    BigFromMpz(N, n);
    BigFromMpz(A, a);
  }

  // [k]g as a Jacobian point with Z generally not 1.
  void Jacobian(TEcPoint& P, long k) {
    BigFromMpz(P.X, g.X);
    BigFromMpz(P.Y, g.Y);
    BigSetOne(P.Z);
    BigInt K;
    BigSetInt(K, static_cast<int32_t>(k));
    EcMultiply(P.X, P.Y, P.Z, K, A, N);
    SetT(P);
  }
  void SetT(TEcPoint& P) {
    BigSqrTo(P.T, P.Z);
    BigSqr(P.T);
    BigMul(P.T, A);
    BigMod(P.T, N);
  }
  RefPoint Ref(long k) {
    MpzValue K(k);
    return test::RefMultiply(g, K, a, n);
  }
  RefPoint Of(const TEcPoint& P) { return test::RefFromJacobian(P.X, P.Y, P.Z, n); }
  // T still equals A Z^4 mod N.
  void ExpectT(const TEcPoint& P) {
    TEcPoint Q;
    BigAssign(Q.Z, P.Z);
    SetT(Q);
    EXPECT_TRUE(BigEqual(Q.T, P.T));
  }
};

TEST(EcPointTest, MixedAdditionMatchesTheReference) {
  EcRandom random(11);
  for (unsigned bits : {64u, 192u, 1024u}) {
    TCurve c(random, bits);
    for (long k = 2; k < 12; ++k) {
      TEcPoint P;
      c.Jacobian(P, k);
      const RefPoint g3 = c.Ref(3);
      BigInt x3, y3;
      BigFromMpz(x3, g3.X);
      BigFromMpz(y3, g3.Y);
      EcAddMixed(P, x3, y3, c.A, c.N);
      EXPECT_TRUE(test::RefEqual(c.Of(P), c.Ref(k + 3))) << k;
      c.ExpectT(P);
    }
  }
}

TEST(EcPointTest, MixedAdditionOfAPointWithItselfDoubles) {
  EcRandom random(12);
  TCurve c(random, 160);
  BigInt x, y;
  BigFromMpz(x, c.g.X);
  BigFromMpz(y, c.g.Y);
  // Z = 1, and a Jacobian form of [5]g with Z ≠ 1.
  TEcPoint P, D;
  EcSetIdentity(P);
  EcAddMixed(P, x, y, c.A, c.N);
  EXPECT_TRUE(BigEqual(P.T, c.A));
  EcAddMixed(P, x, y, c.A, c.N);
  EcSetIdentity(D);
  EcAddMixed(D, x, y, c.A, c.N);
  EcDouble(D, 1, c.N);
  EXPECT_TRUE(test::RefEqual(c.Of(P), c.Ref(2)));
  EXPECT_TRUE(test::RefEqual(c.Of(D), c.Ref(2)));
  c.ExpectT(P);

  c.Jacobian(P, 5);
  ASSERT_FALSE(BigIsOne(P.Z));
  const RefPoint g5 = c.Ref(5);
  BigFromMpz(x, g5.X);
  BigFromMpz(y, g5.Y);
  EcAddMixed(P, x, y, c.A, c.N);
  EXPECT_TRUE(test::RefEqual(c.Of(P), c.Ref(10)));
  c.Jacobian(D, 5);
  EcDouble(D, 1, c.N);
  EXPECT_TRUE(test::RefEqual(c.Of(D), c.Ref(10)));
  c.ExpectT(D);
  c.Jacobian(D, 5);
  EcDouble(D, 3, c.N);
  EXPECT_TRUE(test::RefEqual(c.Of(D), c.Ref(40)));
  c.ExpectT(D);
}

TEST(EcPointTest, MixedAdditionOfAPointWithItsNegativeIsTheIdentity) {
  EcRandom random(13);
  TCurve c(random, 160);
  for (long k : {1L, 7L}) {
    TEcPoint P;
    c.Jacobian(P, k);
    const RefPoint gk = c.Ref(k);
    BigInt x, y;
    BigFromMpz(x, gk.X);
    MpzValue negY;
    mpz_sub(negY, c.n, gk.Y);
    BigFromMpz(y, negY);
    EcAddMixed(P, x, y, c.A, c.N);
    EXPECT_TRUE(EcIsIdentity(P)) << k;
    EXPECT_TRUE(BigIsZero(P.T));
    // The identity plus a point is that point.
    EcAddMixed(P, x, y, c.A, c.N);
    EXPECT_TRUE(BigIsOne(P.Z));
    EXPECT_TRUE(BigEqual(P.X, x));
    EXPECT_TRUE(BigEqual(P.Y, y));
  }
}

TEST(EcPointTest, DoublingDegenerateCases) {
  BigInt N;
  BigSetInt(N, 101);
  TEcPoint P;
  BigSetInt(P.X, 4);
  BigSetInt(P.Y, 9);
  BigSetInt(P.Z, 3);
  BigSetInt(P.T, 5);
  EcDouble(P, 0, N);
  EcDouble(P, -2, N);
  EXPECT_TRUE(BigEqualsWord(P.X, 4) && BigEqualsWord(P.Y, 9) && BigEqualsWord(P.Z, 3));
  BigSetZero(P.Y);
  EcDouble(P, 1, N);
  EXPECT_TRUE(EcIsIdentity(P));
  EXPECT_TRUE(BigIsOne(P.X) && BigIsOne(P.Y) && BigIsZero(P.T));
  EcDouble(P, 5, N);
  EXPECT_TRUE(EcIsIdentity(P));
}

TEST(EcPointTest, AffineRoutinesMatchTheReference) {
  EcRandom random(14);
  TCurve c(random, 128);
  BigInt x, y;
  BigFromMpz(x, c.g.X);
  BigFromMpz(y, c.g.Y);
  BigInt sx, sy;
  BigAssign(sx, x);
  BigAssign(sy, y);
  bool finite = EcDoubleAffine(sx, sy, true, c.A, c.N);
  for (long k = 3; k < 20; ++k) {
    finite = EcAddAffine(sx, sy, finite, x, y, c.A, c.N);
    ASSERT_TRUE(finite);
    const RefPoint r = c.Ref(k);
    BigInt rx, ry;
    BigFromMpz(rx, r.X);
    BigFromMpz(ry, r.Y);
    EXPECT_TRUE(BigEqual(sx, rx) && BigEqual(sy, ry)) << k;
  }
  // Equal points double; the identity plus a point is the point.
  BigAssign(sx, x);
  BigAssign(sy, y);
  EXPECT_TRUE(EcAddAffine(sx, sy, true, x, y, c.A, c.N));
  const RefPoint r2 = c.Ref(2);
  BigInt rx;
  BigFromMpz(rx, r2.X);
  EXPECT_TRUE(BigEqual(sx, rx));
  EXPECT_TRUE(EcAddAffine(sx, sy, false, x, y, c.A, c.N));
  EXPECT_TRUE(BigEqual(sx, x) && BigEqual(sy, y));
  // A point plus its negative, and doubling the identity.
  BigInt negY;
  BigSubTo(negY, c.N, y);
  EXPECT_FALSE(EcAddAffine(sx, sy, true, x, negY, c.A, c.N));
  EXPECT_TRUE(BigIsOne(sx) && BigIsOne(sy));
  EXPECT_FALSE(EcDoubleAffine(sx, sy, false, c.A, c.N));
  // A point of order two doubles to the identity.
  BigSetZero(sy);
  EXPECT_FALSE(EcDoubleAffine(sx, sy, true, c.A, c.N));
  EXPECT_TRUE(BigIsOne(sx) && BigIsOne(sy));
}

TEST(EcPointTest, AffineInternalErrors) {
  BigInt N, A, x, y, x2, y2;
  BigSetInt(N, 15);
  BigSetInt(A, 1);
  BigSetInt(x, 2);
  BigSetInt(y, 5);  // 2y = 10 shares 5 with N
  test::ExpectInternalError([&] { EcDoubleAffine(x, y, true, A, N); }, "1003.3.3");
  BigSetInt(x, 5);
  BigSetInt(y, 1);
  BigSetInt(x2, 2);  // x1 - x2 = 3 shares 3 with N
  BigSetInt(y2, 4);
  test::ExpectInternalError([&] { EcAddAffine(x, y, true, x2, y2, A, N); }, "1003.3.4");
}

TEST(EcPointTest, ConversionAndNegativeTest) {
  BigInt N, X, Y, Z, x, y;
  BigSetInt(N, 35);
  BigSetInt(X, 3);
  BigSetInt(Y, 4);
  BigSetInt(Z, 7);  // not invertible modulo 35
  EXPECT_FALSE(EcToAffine(X, Y, Z, N));
  EXPECT_TRUE(BigEqualsWord(X, 3) && BigEqualsWord(Z, 7));
  BigSetZero(Z);
  EXPECT_FALSE(EcToAffine(X, Y, Z, N));
  // (x, y) = (3, 4) as (x Z^2, -y Z^3) with Z = 2: (12, -32 ≡ 3).
  BigSetInt(x, 3);
  BigSetInt(y, 4);
  BigSetInt(X, 12);
  BigSetInt(Y, 3);
  BigSetInt(Z, 2);
  EXPECT_TRUE(EcIsNegativeOf(X, Y, Z, x, y, N));
  BigSetInt(Y, 32);
  EXPECT_FALSE(EcIsNegativeOf(X, Y, Z, x, y, N));
  EXPECT_TRUE(EcToAffine(X, Y, Z, N));
  EXPECT_TRUE(BigEqualsWord(X, 3) && BigEqualsWord(Y, 4) && BigIsOne(Z));
}

}  // namespace
}  // namespace karvo
