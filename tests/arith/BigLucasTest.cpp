// Lucas sequences against a reference built here with GMP: powers of the
// companion matrix [[P, -Q], [1, 0]], and the plain recurrence for small k.

#include <gtest/gtest.h>

#include <array>

#include "BigModTestSupport.h"
#include "arith/BigMod.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

using Matrix = std::array<MpzValue, 4>;  // row-major 2×2

void MatrixMul(Matrix& out, const Matrix& a, const Matrix& b, mpz_srcptr N) {
  Matrix r;
  MpzValue t;
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) {
      mpz_mul(r[2 * i + j], a[2 * i], b[j]);
      mpz_mul(t, a[2 * i + 1], b[2 + j]);
      mpz_add(r[2 * i + j], r[2 * i + j], t);
      mpz_mod(r[2 * i + j], r[2 * i + j], N);
    }
  }
  out = r;
}

// (X_k, X_(k-1)) = M^(k-1)·(X_1, X_0) for k ≥ 1, for both U and V.
void LucasReference(MpzValue& U, MpzValue& V, mpz_srcptr k, mpz_srcptr P, mpz_srcptr Q, mpz_srcptr N) {
  if (mpz_sgn(k) == 0) {
    mpz_set_ui(U, 0);
    mpz_set_ui(V, 2);
    mpz_mod(V, V, N);
    return;
  }
  Matrix m;
  mpz_mod(m[0], P, N);
  mpz_neg(m[1], Q);
  mpz_mod(m[1], m[1], N);
  mpz_set_ui(m[2], 1);
  mpz_set_ui(m[3], 0);
  Matrix power;
  mpz_set_ui(power[0], 1);
  mpz_set_ui(power[1], 0);
  mpz_set_ui(power[2], 0);
  mpz_set_ui(power[3], 1);
  MpzValue e;
  mpz_sub_ui(e, k, 1);
  for (auto bit = static_cast<long>(mpz_sizeinbase(e, 2)) - 1; bit >= 0 && mpz_sgn(e) != 0; --bit) {
    MatrixMul(power, power, power, N);
    if (mpz_tstbit(e, static_cast<mp_bitcnt_t>(bit)) != 0) {
      MatrixMul(power, power, m, N);
    }
  }
  // U: (U_1, U_0) = (1, 0). V: (V_1, V_0) = (P, 2).
  mpz_mod(U, power[0], N);
  MpzValue t;
  mpz_mul(V, power[0], P);
  mpz_mul_ui(t, power[1], 2);
  mpz_add(V, V, t);
  mpz_mod(V, V, N);
  mpz_mod(U, U, N);
}

TEST(BigLucasTest, VAgreesWithMatrixPowers) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(150); ++round) {
    const int32_t words = random.Between(1, round % 10 == 0 ? 80 : 12);
    Pair N;
    test::RandomModulus(random, N, words, round % 4 != 0);
    Pair k;
    Pair P;
    Pair Q;
    test::RandomValue(random, k, round < 6 ? 0 : random.Between(1, words + 1));
    if (round < 6) {
      k.SetSigned(round % 3);
    }
    test::RandomValue(random, P, random.Between(0, words + 1), random.Coin());
    test::RandomValue(random, Q, random.Between(0, words + 1), random.Coin());
    if (round % 5 == 0) {
      Q.SetSigned(1);
    }
    MpzValue U;
    MpzValue V;
    LucasReference(U, V, k.ref, P.ref, Q.ref, N.ref);
    if (mpz_sgn(k.ref) == 0) {
      mpz_set_ui(V, 2);
    }
    BigInt v;
    BigLucasV(v, k.big, P.big, N.big, Q.big);
    ASSERT_TRUE(test::BigMatches(v, V)) << words << " words, k of " << mpz_sizeinbase(k.ref, 2) << " bits, round "
                                        << round;
  }
}

TEST(BigLucasTest, VEdgeCases) {
  BigInt v;
  BigInt k;
  BigInt P;
  BigInt Q;
  BigInt N;
  BigSetWord(N, 101);
  BigSetInt(P, -5);
  BigSetWord(Q, 7);
  BigLucasV(v, k, P, N, Q);
  EXPECT_EQ(BigCompareWord(v, 2), 0);
  BigSetOne(k);
  BigLucasV(v, k, P, N, Q);
  EXPECT_EQ(BigCompareWord(v, 96), 0);
  // The plain recurrence V_(n+1) = P·V_n - Q·V_(n-1) for the first values.
  MpzValue n(101);
  MpzValue previous(2);
  MpzValue current(-5);
  MpzValue next;
  MpzValue t;
  for (Word i = 2; i < 60; ++i) {
    mpz_mul_si(next, current, -5);
    mpz_mul_ui(t, previous, 7);
    mpz_sub(next, next, t);
    previous = current;
    current = next;
    mpz_mod(t, current, n);
    BigSetWord(k, i);
    BigLucasV(v, k, P, N, Q);
    ASSERT_TRUE(test::BigMatches(v, t)) << "k = " << i;
  }
}

TEST(BigLucasTest, UVAgreesWithMatrixPowers) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(150); ++round) {
    const int32_t words = random.Between(1, round % 10 == 0 ? 80 : 12);
    Pair N;
    test::RandomModulus(random, N, words, true);
    if (mpz_cmp_ui(N.ref, 3) < 0) {
      continue;
    }
    static constexpr int32_t someD[] = {5, -3, -7, 13, 17, -11, 1, -15};
    const int32_t D = round % 2 == 0 ? someD[round / 2 % 8]
                                     : 1 - 4 * (static_cast<int32_t>(random.NextWord() % 200001) - 100000);
    Pair k;
    test::RandomValue(random, k, random.Between(0, words + 1));
    if (round < 4) {
      k.SetSigned(round);
    }
    MpzValue P(1);
    MpzValue Q((1 - static_cast<long>(D)) / 4);
    MpzValue U;
    MpzValue V;
    LucasReference(U, V, k.ref, P, Q, N.ref);
    BigInt u;
    BigInt v;
    BigLucasUV(u, v, k.big, D, N.big);
    ASSERT_TRUE(test::BigMatches(u, U)) << "U, D = " << D << ", " << words << " words, round " << round;
    ASSERT_TRUE(test::BigMatches(v, V)) << "V, D = " << D << ", " << words << " words, round " << round;
  }
}

}  // namespace
}  // namespace karvo
