// Square roots modulo primes of every class mod 8, both sides of the
// Tonelli–Shanks/Lucas rule for p ≡ 1 (mod 8), and the non-residue.

#include <gtest/gtest.h>

#include "BigModTestSupport.h"
#include "arith/BigMod.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

// x := a random square modulo p (non-zero unless p is tiny).
void RandomSquare(BigRandom& random, Pair& x, mpz_srcptr p) {
  Pair r;
  test::RandomResidue(random, r, p);
  MpzValue s;
  mpz_mul(s, r.ref, r.ref);
  mpz_mod(s, s, p);
  if (random.Coin()) {
    mpz_sub(s, s, p);  // the same residue, negative
  }
  x.Set(s);
}

// A root of x modulo p, with c from BigNonResidue, checked by squaring.
testing::AssertionResult RootIsCorrect(const Pair& x, const Pair& p, const BigInt& c) {
  BigInt root;
  BigAssign(root, x.big);
  BigSqrtMod(root, p.big, c);
  if (testing::AssertionResult valid = test::BigIsValid(root); !valid) {
    return valid;
  }
  MpzValue r;
  test::MpzFromBig(r, root);
  if (mpz_sgn(r) < 0 || mpz_cmp(r, p.ref) >= 0) {
    return testing::AssertionFailure() << "root out of range";
  }
  MpzValue square;
  mpz_mul(square, r, r);
  MpzValue want;
  mpz_mod(want, x.ref, p.ref);
  if (!mpz_congruent_p(square, want, p.ref)) {
    return testing::AssertionFailure() << "0x" << test::MpzHex(r) << " squared is not 0x" << test::MpzHex(want)
                                       << " mod 0x" << test::MpzHex(p.ref);
  }
  return testing::AssertionSuccess();
}

TEST(BigSqrtModTest, RootsForEveryClassModEight) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (unsigned long residue : {1ul, 3ul, 5ul, 7ul}) {
    for (int32_t bits : {5, 33, 64, 65, 200, 521}) {
      Pair p;
      MpzValue prime;
      test::RandomPrime(random, prime, bits, residue, 8);
      p.Set(prime);
      BigInt c;
      BigNonResidue(c, p.big);
      for (int32_t round = 0; round < test::Rounds(4); ++round) {
        Pair x;
        RandomSquare(random, x, p.ref);
        ASSERT_TRUE(RootIsCorrect(x, p, c)) << "p ≡ " << residue << " (mod 8), " << bits << " bits";
      }
    }
  }
}

TEST(BigSqrtModTest, ZeroAndMultiplesOfPGiveZero) {
  BigInt p;
  BigSetWord(p, 1000033);  // ≡ 1 (mod 8)
  BigInt c;
  BigNonResidue(c, p);
  BigInt x;
  BigSqrtMod(x, p, c);
  EXPECT_TRUE(BigIsZero(x));
  BigAssign(x, p);
  BigMulInt(x, -3);
  BigSqrtMod(x, p, c);
  EXPECT_TRUE(BigIsZero(x));
  EXPECT_TRUE(test::BigIsValid(x));
}

// Where the rule (e - 1)·e ≤ 11·bitsize(p) switches: with c = 0 the
// Tonelli–Shanks side cannot finish (1000.38.4) while the Lucas side does
// not need c at all, which shows which side ran.
TEST(BigSqrtModTest, LargePowerOfTwoOnBothSides) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  const int32_t bits = 128;  // 11·128 = 1408: e = 37 is the last Tonelli–Shanks e
  const BigInt zero;
  for (int32_t e : {37, 38, 60}) {
    Pair p;
    MpzValue prime;
    test::PrimeWithTwoPower(random, prime, bits, e);
    p.Set(prime);
    ASSERT_EQ(mpz_sizeinbase(prime, 2), static_cast<size_t>(bits));
    const bool tonelliShanks = (e - 1) * e <= 11 * bits;
    BigInt c;
    BigNonResidue(c, p.big);
    for (int32_t round = 0; round < test::Rounds(3); ++round) {
      Pair x;
      RandomSquare(random, x, p.ref);
      ASSERT_TRUE(RootIsCorrect(x, p, c)) << "e = " << e;
      // A square with t ≠ 1 at the start needs c; x = 1 never does.
      if (tonelliShanks) {
        MpzValue q;
        mpz_fdiv_q_2exp(q, prime, static_cast<mp_bitcnt_t>(e));
        MpzValue t;
        mpz_powm(t, x.ref, q, p.ref);
        if (mpz_cmp_ui(t, 1) != 0) {
          BigInt y;
          BigAssign(y, x.big);
          EXPECT_TRUE(test::RaisesInternalError([&] { BigSqrtMod(y, p.big, zero); }, "1000.38.4"));
        }
      } else {
        ASSERT_TRUE(RootIsCorrect(x, p, zero)) << "e = " << e << " without c";
      }
    }
  }
}

// The same c serves many calls: the loop works on its own copy.
TEST(BigSqrtModTest, OneNonResidueServesSuccessiveRoots) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  Pair p;
  MpzValue prime;
  test::PrimeWithTwoPower(random, prime, 128, 36);
  p.Set(prime);
  BigInt c;
  BigNonResidue(c, p.big);
  BigInt before;
  BigAssign(before, c);
  int32_t loops = 0;
  for (int32_t round = 0; round < 12; ++round) {
    Pair x;
    RandomSquare(random, x, p.ref);
    MpzValue q;
    MpzValue t;
    mpz_fdiv_q_2exp(q, prime, 36);
    mpz_powm(t, x.ref, q, p.ref);
    loops += mpz_cmp_ui(t, 1) != 0 ? 1 : 0;
    ASSERT_TRUE(RootIsCorrect(x, p, c)) << "call " << round;
    ASSERT_TRUE(test::BigMatchesRecord(c, before)) << "c changed by call " << round;
  }
  EXPECT_GE(loops, 2);
}

TEST(BigSqrtModTest, Errors) {
  BigInt x;
  BigInt p;
  BigInt c;
  BigSetWord(x, 4);
  for (int32_t n : {1, 2, 10, 0, -7}) {
    BigSetInt(p, n);
    EXPECT_TRUE(test::RaisesInternalError([&] { BigSqrtMod(x, p, c); }, "1000.38.1")) << n;
  }
  // 3 is not a square modulo 7.
  BigSetWord(p, 7);
  BigSetWord(x, 3);
  EXPECT_TRUE(test::RaisesInternalError([&] { BigSqrtMod(x, p, c); }, "1000.38.2"));
  // A square modulus ≡ 1 (mod 8) with a large power of two in p - 1 takes
  // the Lucas side, where no parameter a can give a non-residue.
  MpzValue root;
  mpz_set_ui(root, 1);
  mpz_mul_2exp(root, root, 40);
  mpz_add_ui(root, root, 1);
  MpzValue square;
  mpz_mul(square, root, root);  // 2^80 + 2^41 + 1: e = 41, 40·41 > 11·81
  test::BigFromMpz(p, square);
  BigSetWord(x, 3);
  EXPECT_TRUE(test::RaisesInternalError([&] { BigSqrtMod(x, p, c); }, "1000.38.3"));
}

TEST(BigSqrtModTest, NonResidueIsGeneratorOfTheTwoPart) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(10); ++round) {
    Pair p;
    MpzValue prime;
    test::RandomPrime(random, prime, random.Between(3, 300), 1, 8);
    p.Set(prime);
    BigInt c;
    BigNonResidue(c, p.big);
    // c = g^q for the least non-residue g, q the odd part of p - 1.
    MpzValue g(2);
    while (mpz_jacobi(g, prime) != -1) {
      mpz_add_ui(g, g, 1);
    }
    MpzValue q;
    mpz_sub_ui(q, prime, 1);
    mpz_fdiv_q_2exp(q, q, mpz_scan1(q, 0));
    MpzValue expected;
    mpz_powm(expected, g, q, prime);
    ASSERT_TRUE(test::BigMatches(c, expected));
  }
}

TEST(BigSqrtModTest, NonResidueErrors) {
  BigInt c;
  BigInt p;
  for (int32_t n : {1, 2, 10, 0, -7, 9, 25, 1369}) {
    BigSetInt(p, n);
    EXPECT_TRUE(test::RaisesInternalError([&] { BigNonResidue(c, p); }, "1000.1.1")) << n;
  }
}

}  // namespace
}  // namespace karvo
