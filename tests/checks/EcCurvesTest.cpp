// Curve arithmetic against plain affine formulas over GMP on random curves
// modulo random primes: multiplication by both methods at every width,
// mixed addition with doubling and P + (-P), the affine routines, and the
// failures when N has a factor that makes an inverse impossible.

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "checks/EcCurves.h"
#include "support/MpzValue.h"
#include "support/TestEnv.h"

namespace karvo::test {
namespace {

using TRef = std::optional<std::pair<mpz_class, mpz_class>>;  // empty: the identity

mpz_class M(const BigInt& x) {
  mpz_class m;
  MpzFromBig(m.get_mpz_t(), x);
  return m;
}
void Set(BigInt& x, const mpz_class& m) { BigFromMpz(x, m.get_mpz_t()); }
mpz_class Mod(const mpz_class& x, const mpz_class& n) {
  mpz_class r;
  mpz_mod(r.get_mpz_t(), x.get_mpz_t(), n.get_mpz_t());
  return r;
}
mpz_class Inv(const mpz_class& x, const mpz_class& n) {
  mpz_class r;
  EXPECT_NE(mpz_invert(r.get_mpz_t(), Mod(x, n).get_mpz_t(), n.get_mpz_t()), 0);
  return r;
}

TRef Add(const TRef& p, const TRef& q, const mpz_class& a, const mpz_class& n) {
  if (!p || !q) {
    return p ? p : q;
  }
  const auto& [x1, y1] = *p;
  const auto& [x2, y2] = *q;
  mpz_class l;
  if (Mod(x1 - x2, n) != 0) {
    l = (y1 - y2) * Inv(x1 - x2, n);
  } else if (Mod(y1 + y2, n) == 0) {
    return std::nullopt;
  } else {
    l = (3 * x1 * x1 + a) * Inv(2 * y1, n);
  }
  const mpz_class x3 = Mod(l * l - x1 - x2, n);
  return std::pair{x3, Mod(l * (x1 - x3) - y1, n)};
}

TRef Mul(const TRef& p, const mpz_class& k, const mpz_class& a, const mpz_class& n) {
  TRef r;
  for (size_t i = mpz_sizeinbase(k.get_mpz_t(), 2); i-- > 0;) {
    r = Add(r, r, a, n);
    if (mpz_tstbit(k.get_mpz_t(), i) != 0) {
      r = Add(r, p, a, n);
    }
  }
  return r;
}

TRef FromJacobian(const TEcPoint& P, const mpz_class& n) {
  if (Mod(M(P.Z), n) == 0) {
    return std::nullopt;
  }
  const mpz_class zi = Inv(M(P.Z), n);
  return std::pair{Mod(M(P.X) * zi * zi, n), Mod(M(P.Y) * zi * zi * zi, n)};
}

// The Jacobian [k]p from EcMultiply with the given width.
TEcPoint Multiply(const TRef& p, const mpz_class& k, const mpz_class& a, const mpz_class& n,
                  int32_t width, bool centred) {
  TEcPoint P;
  BigInt K, A, N;
  Set(P.X, p->first - (centred ? n : mpz_class(0)));
  Set(P.Y, p->second);
  BigSetOne(P.Z);
  Set(K, k);
  Set(A, a - (centred ? n : mpz_class(0)));
  Set(N, n);
  EcMultiply(P.X, P.Y, P.Z, K, A, N, width);
  return P;
}

template <typename F>
void ExpectInternalError(F f, const std::string& code) {
  const int32_t mark = BigTempPool::Instance().Mark();
  try {
    f();
    ADD_FAILURE() << "no internal error, expected " << code;
  } catch (const EKV& e) {
    EXPECT_EQ(std::string(e.what()), "Internal error " + code);
  }
  EXPECT_EQ(BigTempPool::Instance().Mark(), mark) << code;
}

TEST(EcCurvesTest, RandomCurvesMatchTheAffineReference) {
  gmp_randclass random(gmp_randinit_mt);
  random.seed(TestSeed());
  const int rounds = 24 * TestMultiplier();
  for (int round = 0; round < rounds; ++round) {
    const unsigned bits = round % 4 == 0 ? 20 : 60 + 97 * static_cast<unsigned>(round % 5);
    mpz_class n = random.get_z_bits(bits);
    mpz_setbit(n.get_mpz_t(), bits - 1);
    mpz_nextprime(n.get_mpz_t(), n.get_mpz_t());
    const mpz_class a = random.get_z_range(n);
    const TRef p = std::pair{random.get_z_range(n), mpz_class(random.get_z_range(n - 1) + 1)};
    const mpz_class b = Mod(p->second * p->second - (p->first * p->first + a) * p->first, n);
    BigInt A, B, N, x, y;
    Set(A, a);
    Set(B, b);
    Set(N, n);
    SCOPED_TRACE("round " + std::to_string(round) + ", N = " + n.get_str(16));
    EXPECT_EQ(EcCurveCoprimeDiscriminant(A, B, N),
              Mod(4 * a * a * a + 27 * b * b, n) != 0);

    // Multipliers at the edges of the window rules and random ones.
    const mpz_class k = random.get_z_bits(1 + static_cast<unsigned>(round * 37) % 300);
    for (const mpz_class& m : {mpz_class(0), mpz_class(1), mpz_class(2), k, mpz_class(k + 1)}) {
      for (int32_t width : {0, 1 + round % 8}) {
        const TEcPoint P = Multiply(p, m, a, n, width, round % 2 == 1);
        EXPECT_EQ(FromJacobian(P, n), Mul(p, m, a, n)) << "k " << m.get_str(16) << " width " << width;
      }
    }

    // Mixed addition: identity + Q, Q + Q (doubling), -Q + Q, P + Q.
    const TRef q = Mul(p, k + 3, a, n);
    ASSERT_TRUE(q);
    const TRef minusQ = std::pair{q->first, Mod(-q->second, n)};
    Set(x, q->first);
    Set(y, q->second);
    for (const TRef& start : {TRef(), q, minusQ, p}) {
      TEcPoint P;
      EcSetIdentity(P);
      if (start) {
        const mpz_class z = random.get_z_range(n - 1) + 1;  // any Z stands for the point
        Set(P.X, Mod(start->first * z * z, n));
        Set(P.Y, Mod(start->second * z * z * z, n));
        Set(P.Z, z);
        Set(P.T, Mod(a * z * z * z * z, n));
      }
      EcAddMixed(P, x, y, A, N);
      const TRef want = Add(start, q, a, n);
      EXPECT_EQ(FromJacobian(P, n), want);
      if (want) {
        EXPECT_EQ(Mod(M(P.T), n), Mod(a * M(P.Z) * M(P.Z) * M(P.Z) * M(P.Z), n));
        EcDouble(P, round % 3, N);
        EXPECT_EQ(FromJacobian(P, n), Mul(want, mpz_class(1) << (round % 3), a, n));
        // To affine and the negative test.
        TEcPoint C;
        BigAssign(C.X, P.X);
        BigAssign(C.Y, P.Y);
        BigAssign(C.Z, P.Z);
        ASSERT_TRUE(EcToAffine(C.X, C.Y, C.Z, N));
        EXPECT_TRUE(BigIsOne(C.Z));
        EXPECT_EQ(TRef(std::pair{M(C.X), M(C.Y)}), FromJacobian(P, n));
        BigNegate(C.Y);
        EXPECT_TRUE(EcIsNegativeOf(P.X, P.Y, P.Z, C.X, C.Y, N));
        EXPECT_EQ(EcIsNegativeOf(P.X, P.Y, P.Z, x, y, N), FromJacobian(P, n) == minusQ);
      } else {
        EXPECT_FALSE(EcToAffine(P.X, P.Y, P.Z, N));
      }
    }

    // The affine routines on the same cases.
    for (const TRef& start : {TRef(), q, minusQ, p}) {
      BigInt x1, y1;
      BigSetOne(x1);
      BigSetOne(y1);
      if (start) {
        Set(x1, start->first);
        Set(y1, start->second);
      }
      const bool finite = EcAddAffine(x1, y1, start.has_value(), x, y, A, N);
      const TRef sum = Add(start, q, a, n);
      EXPECT_EQ(finite ? TRef(std::pair{M(x1), M(y1)}) : TRef(), sum);
      const bool doubled = EcDoubleAffine(x1, y1, finite, A, N);
      EXPECT_EQ(doubled ? TRef(std::pair{M(x1), M(y1)}) : TRef(), Add(sum, sum, a, n));
    }

    // J: A = 3J(1728 - J), B = 2J(1728 - J)^2, centred.
    BigInt J;
    Set(J, k);
    EcCurveFromJ(A, B, J, N);
    const mpz_class j = Mod(k, n), c = 1728 - j;
    EXPECT_EQ(Mod(M(A), n), Mod(3 * j * c, n));
    EXPECT_EQ(Mod(M(B), n), Mod(2 * j * c * c, n));
    EXPECT_EQ(Mod(M(J), n), j);
    for (const mpz_class& v : {M(A), M(B), M(J)}) {
      EXPECT_TRUE(2 * abs(v) <= n) << v;
    }
  }
}

// N = p q: a factor of N makes 2y or x1 - x2 non-invertible.
TEST(EcCurvesTest, FactorOfNIsAnInternalError) {
  BigInt N, A, B, x1, y1, x2, y2, K, Z;
  BigFromString(N, "1000000007", 10);
  BigSetInt(A, -3);
  BigSetInt(B, 2);  // 4(-3)^3 + 27 * 2^2 = 0
  ExpectInternalError([&] { EcCheckCurve(A, B, N); }, "1003.1.1");
  BigSetInt(B, 3);
  EcCheckCurve(A, B, N);
  BigSetInt(K, -1);
  BigSetInt(x1, 5);
  BigSetInt(y1, 7);
  BigSetOne(Z);
  ExpectInternalError([&] { EcMultiply(x1, y1, Z, K, A, N); }, "1003.3.1");
  BigSetInt(K, 5);
  BigSetInt(Z, 2);
  ExpectInternalError([&] { EcMultiply(x1, y1, Z, K, A, N); }, "1003.3.2");

  BigFromString(N, "1000000016000000063", 10);  // 1000000007 * 1000000009
  EXPECT_TRUE(EcCurveCoprimeDiscriminant(A, B, N));
  BigFromString(B, "1000000009", 10);  // 2 modulo the first factor: singular there
  EXPECT_FALSE(EcCurveCoprimeDiscriminant(A, B, N));
  const auto point = [&](BigInt& x, BigInt& y, const char* xText, const char* yText) {
    BigFromString(x, xText, 10);
    BigFromString(y, yText, 10);
  };
  point(x1, y1, "5", "1000000009");
  ExpectInternalError([&] { EcDoubleAffine(x1, y1, true, A, N); }, "1003.3.3");
  point(x1, y1, "5", "1000000009");
  BigSetOne(Z);
  BigFromString(K, "123456789ABCDEF123456789ABCDEF", 16);
  // The window table doubles first.
  ExpectInternalError([&] { EcMultiply(x1, y1, Z, K, A, N, 4); }, "1003.3.3");
  point(x1, y1, "1000000014", "7");  // x1 - x2 is the second factor
  point(x2, y2, "5", "11");
  ExpectInternalError([&] { EcAddAffine(x1, y1, true, x2, y2, A, N); }, "1003.3.4");
  BigSetInt(Z, 1000000009);
  EXPECT_FALSE(EcToAffine(x1, y1, Z, N));
}

}  // namespace
}  // namespace karvo::test
