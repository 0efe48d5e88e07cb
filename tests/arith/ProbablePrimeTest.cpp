// Strong probable-prime tests and the combined test, on known primes, known
// pseudoprimes and random numbers checked against GMP.

#include <gtest/gtest.h>

#include <string>

#include "BigModTestSupport.h"
#include "arith/ProbablePrime.h"
#include "support/Carmichael.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

BigInt FromDecimal(const char* text) {
  BigInt x;
  BigFromString(x, text, 10);
  return x;
}

BigInt MersenneNumber(int32_t p) {
  BigInt x;
  BigSetBit(x, p);
  BigDecrement(x);
  return x;
}

// The strong test written out with GMP.
bool ReferenceStrong(mpz_srcptr n, unsigned long b) {
  MpzValue d;
  mpz_sub_ui(d, n, 1);
  const mp_bitcnt_t s = mpz_scan1(d, 0);
  mpz_fdiv_q_2exp(d, d, s);
  MpzValue x;
  MpzValue base;
  mpz_set_ui(base, b);
  mpz_powm(x, base, d, n);
  MpzValue minusOne;
  mpz_sub_ui(minusOne, n, 1);
  if (mpz_cmp_ui(x, 1) == 0 || mpz_cmp(x, minusOne) == 0) {
    return true;
  }
  for (mp_bitcnt_t r = 1; r < s; ++r) {
    mpz_powm_ui(x, x, 2, n);
    if (mpz_cmp(x, minusOne) == 0) {
      return true;
    }
  }
  return false;
}

TEST(ProbablePrimeTest, StrongTestKnownValues) {
  EXPECT_TRUE(BigIsStrongProbablePrime(FromDecimal("2047"), 2));
  EXPECT_FALSE(BigIsStrongProbablePrime(FromDecimal("2047"), 3));
  EXPECT_TRUE(BigIsStrongProbablePrime(FromDecimal("1373653"), 2));
  EXPECT_TRUE(BigIsStrongProbablePrime(FromDecimal("1373653"), 3));
  EXPECT_FALSE(BigIsStrongProbablePrime(FromDecimal("1373653"), 5));
  EXPECT_TRUE(BigIsStrongProbablePrime(MersenneNumber(127), 3));
  EXPECT_FALSE(BigIsStrongProbablePrime(MersenneNumber(128), 3));
  // Odd N > 2 only: 2 passes, 1 and even values fail.
  EXPECT_TRUE(BigIsStrongProbablePrime(FromDecimal("2"), 2));
  EXPECT_FALSE(BigIsStrongProbablePrime(FromDecimal("1"), 2));
  EXPECT_FALSE(BigIsStrongProbablePrime(FromDecimal("1000"), 3));
  // A base that is a multiple of N fails.
  EXPECT_FALSE(BigIsStrongProbablePrime(FromDecimal("7"), 14));
}

// The strong test to each base, whole and through the two halves that other
// strong tests (the certifier's base-2 test) build on, the second fed the
// power b^d from GMP.
TEST(ProbablePrimeTest, StrongTestAgreesWithGmp) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(200); ++round) {
    Pair n;
    MpzValue v;
    if (round % 2 == 0) {
      // p·(2p - 1)-like products pass base 2 far more often than random
      // numbers.
      MpzValue p;
      test::RandomPrime(random, p, random.Between(20, 200));
      MpzValue q;
      mpz_mul_2exp(q, p, 1);
      mpz_sub_ui(q, q, 1);
      mpz_mul(v, p, q);
    } else {
      test::MpzFromWords(v, random.Words(random.Between(1, 20), test::Shape::Uniform), 0);
      mpz_setbit(v, 0);
      if (mpz_cmp_ui(v, 3) < 0) {
        mpz_set_ui(v, 3);
      }
    }
    n.Set(v);
    BigInt minusOne;
    BigInt d;
    const int32_t s = BigSplitMinusOne(n.big, minusOne, d);
    MpzValue refMinusOne;
    MpzValue refD;
    mpz_sub_ui(refMinusOne, n.ref, 1);
    const mp_bitcnt_t refS = mpz_scan1(refMinusOne, 0);
    mpz_fdiv_q_2exp(refD, refMinusOne, refS);
    ASSERT_EQ(static_cast<mp_bitcnt_t>(s), refS) << test::MpzHex(n.ref);
    ASSERT_TRUE(test::BigMatches(minusOne, refMinusOne));
    ASSERT_TRUE(test::BigMatches(d, refD));
    for (Word b : {2u, 3u, 5u, random.NextWord() | 2u}) {
      const bool expected = ReferenceStrong(n.ref, b);
      ASSERT_EQ(BigIsStrongProbablePrime(n.big, b), expected)
          << "N = " << test::MpzHex(n.ref) << ", base " << b;
      MpzValue power;
      mpz_powm(power, MpzValue(b), refD, n.ref);
      BigInt x;
      test::BigFromMpz(x, power);
      ASSERT_EQ(BigFinishStrongTest(x, n.big, minusOne, s), expected)
          << "from b^d: N = " << test::MpzHex(n.ref) << ", base " << b;
    }
  }
}

TEST(ProbablePrimeTest, CombinedTestSmallValues) {
  EXPECT_FALSE(BigIsProbablePrime(FromDecimal("2047"), 2));
  EXPECT_FALSE(BigIsProbablePrime(FromDecimal("-7"), 7));
  EXPECT_FALSE(BigIsProbablePrime(FromDecimal("0"), 7));
  EXPECT_FALSE(BigIsProbablePrime(FromDecimal("1"), 7));
  EXPECT_TRUE(BigIsProbablePrime(FromDecimal("2"), 7));
  EXPECT_FALSE(BigIsProbablePrime(FromDecimal("4"), 7));
  EXPECT_TRUE(BigIsProbablePrime(FromDecimal("4294967291"), 0));
  // Carmichael numbers and strong pseudoprimes of one word.
  for (const char* n : {"561", "41041", "825265", "321197185", "3215031751", "1373653", "25326001"}) {
    EXPECT_FALSE(BigIsProbablePrime(FromDecimal(n), 7)) << n;
  }
}

TEST(ProbablePrimeTest, CombinedTestKnownPrimes) {
  for (int32_t p : {61, 89, 107, 127, 521, 607}) {
    EXPECT_TRUE(BigIsProbablePrime(MersenneNumber(p), 7)) << "2^" << p << " - 1";
  }
  for (int32_t p : {67, 257, 523}) {
    EXPECT_FALSE(BigIsProbablePrime(MersenneNumber(p), 7)) << "2^" << p << " - 1";
  }
  // 2^64 + 13 is prime. 2^64 + 1 = 274177·67280421310721 has no factor
  // below 2^16 and, like every Fermat number, is a strong pseudoprime to the
  // base 2: the base 3 rejects it.
  BigInt x;
  BigSetBit(x, 64);
  BigAddWord(x, 13);
  EXPECT_TRUE(BigIsProbablePrime(x, 1));
  BigSubWord(x, 12);
  EXPECT_TRUE(BigIsProbablePrime(x, 1));
  EXPECT_FALSE(BigIsProbablePrime(x, 2));
}

// Strong pseudoprimes whose prime factors all exceed 2^16, so that only the
// bases reject them: each passes exactly as many rounds as its list of
// bases allows.
TEST(ProbablePrimeTest, PseudoprimesNeedEnoughRounds) {
  struct Case {
    const char* n;
    int32_t passingRounds;  // first primes 2, 3, 5, ... to which it is a strong pseudoprime
  };
  const Case cases[] = {
      {"341550071728321", 8},             // 10670053·32010157
      {"3825123056546413051", 11},        // 149491·747451·34233211
      {"318665857834031151167461", 12},   // 399165290221·798330580441
      {"3317044064679887385961981", 13},  // 1287836182261·2575672364521
  };
  for (const Case& c : cases) {
    const BigInt n = FromDecimal(c.n);
    MpzValue ref(0);
    mpz_set_str(ref, c.n, 10);
    // The list itself, checked with the reference before relying on it.
    const unsigned long primes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43};
    for (int32_t i = 0; i < 14; ++i) {
      ASSERT_EQ(ReferenceStrong(ref, primes[i]), i < c.passingRounds) << c.n << ", base " << primes[i];
    }
    EXPECT_TRUE(BigIsProbablePrime(n, c.passingRounds)) << c.n;
    EXPECT_FALSE(BigIsProbablePrime(n, c.passingRounds + 1)) << c.n;
  }
  // A strong pseudoprime with a small factor is caught by trial division.
  EXPECT_FALSE(BigIsProbablePrime(FromDecimal("2152302898747"), 1));  // 6763·10627·29947
}

// Large Carmichael numbers (6k+1)(12k+1)(18k+1): Fermat liars to every
// coprime base, but not strong liars.
TEST(ProbablePrimeTest, RejectsCarmichaelNumbers) {
  MpzValue k(100000);
  for (int32_t found = 0; found < 5; ++found) {
    MpzValue n;
    test::NextCarmichael(n, k);
    Pair N;
    N.Set(n);
    EXPECT_FALSE(BigIsProbablePrime(N.big, 7)) << test::MpzHex(n);
  }
}

TEST(ProbablePrimeTest, RandomPrimesAndComposites) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(30); ++round) {
    MpzValue p;
    test::RandomPrime(random, p, random.Between(33, 700));
    Pair n;
    n.Set(p);
    ASSERT_TRUE(BigIsProbablePrime(n.big, 3)) << test::MpzHex(p);
    MpzValue q;
    test::RandomPrime(random, q, random.Between(17, 300));
    mpz_mul(p, p, q);
    n.Set(p);
    ASSERT_FALSE(BigIsProbablePrime(n.big, 3)) << test::MpzHex(p);
  }
}

}  // namespace
}  // namespace karvo
