// WordIsPrime against a plain sieve and GMP, on the pseudoprimes that the
// choice of bases must reject; BigSmallestFactor against trial division
// with GMP.

#include <gmp.h>
#include <gtest/gtest.h>

#include <memory>

#include "GmpBridge.h"
#include "PrimeTestSupport.h"
#include "arith/PrimeGenerator.h"
#include "arith/SmallFactors.h"
#include "arith/SmallPrimes.h"
#include "base/Errors.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;

// Every word below 2^24 covers both sets of bases and the switch between
// them at 1373653.
TEST(WordIsPrimeTest, AgreesWithTheReferenceSieve) {
  const uint32_t limit = uint32_t{1} << test::WordIsPrimeExhaustiveBits;
  const std::vector<bool> reference = test::ReferenceSieve(limit);
  for (uint32_t n = 0; n < limit; ++n) {
    if (WordIsPrime(n) != reference[n]) {
      FAIL() << "WordIsPrime(" << n << ") = " << !reference[n];
    }
  }
}

// The top 2^20 words, against the primes of the generator's last segments.
TEST(WordIsPrimeTest, AgreesWithTheGeneratorBelowTwoToThe32) {
  constexpr int32_t first = TPrimeGenerator::SegmentCount - 16;
  auto generator = std::make_unique<TPrimeGenerator>();
  generator->SkipToSegment(first);
  Word p = generator->Next();
  for (uint64_t n = uint64_t{first} * TPrimeGenerator::SegmentNumbers; n < (uint64_t{1} << 32); ++n) {
    const bool isPrime = n == p;
    if (isPrime) {
      p = generator->Next();
    }
    if (WordIsPrime(static_cast<Word>(n)) != isPrime) {
      FAIL() << "WordIsPrime(" << n << ") = " << !isPrime;
    }
  }
  EXPECT_EQ(p, 1u);
}

TEST(WordIsPrimeTest, HardCases) {
  for (Word n : {2u, 3u, 61u, 65521u, 65537u, 1373639u, 1373677u, 4294967279u, 4294967291u}) {
    EXPECT_TRUE(WordIsPrime(n)) << n;
  }
  for (Word n : {0u, 1u, 4u, 9u, 63u, 64u, 65u, 66u, 4294967295u, 4294967293u}) {
    EXPECT_FALSE(WordIsPrime(n)) << n;
  }
  // Strong pseudoprimes: 2047, 3277, 4033 to the base 2; 1373653 = 829·1657 to
  // 2 and 3; 25326001 to 2, 3 and 5; 3215031751 = 151·751·28351 to 2, 3, 5
  // and 7; and the squares of primes near 2^16.
  for (Word n : {2047u, 3277u, 4033u, 4681u, 8321u, 1373653u, 25326001u, 3215031751u,
                 65521u * 65521u, 65519u * 65521u, 561u, 1105u, 1729u, 41041u, 825265u}) {
    EXPECT_FALSE(WordIsPrime(n)) << n;
  }
}

TEST(WordIsPrimeTest, AgreesWithGmpOnRandomWords) {
  BigRandom random;
  for (int32_t i = 0; i < test::Rounds(20000); ++i) {
    // Uniform words, and odd ones near the top where the three bases work.
    Word n = random.NextWord();
    if (i % 2 == 1) {
      n |= 0xFFF00001u;
    }
    MpzValue reference;
    mpz_set_ui(reference, n);
    ASSERT_EQ(WordIsPrime(n), mpz_probab_prime_p(reference, 50) != 0) << n;
  }
}

TEST(WordIsPrimeTest, RejectsProductsOfTwoPrimesNear65536) {
  // Products p·q with p, q just below 2^16: no factor below 2^15 to fall on.
  for (int32_t i = SmallPrimeCount - 40; i <= SmallPrimeCount; ++i) {
    for (int32_t j = i; j <= SmallPrimeCount; ++j) {
      ASSERT_FALSE(WordIsPrime(SmallPrimes[i] * SmallPrimes[j])) << SmallPrimes[i] << "·" << SmallPrimes[j];
    }
  }
}

// The reference: the first small prime dividing |x| by GMP's mpz_divisible_ui_p.
Word ReferenceSmallestFactor(mpz_srcptr x) {
  if (mpz_cmpabs_ui(x, 1) <= 0) {
    return 1;
  }
  for (int32_t i = 1; i <= SmallPrimeCount; ++i) {
    if (mpz_divisible_ui_p(x, SmallPrimes[i]) != 0) {
      return SmallPrimes[i];
    }
  }
  return 1;
}

Word SmallestFactorOf(const char* decimal) {
  BigInt x;
  BigFromString(x, decimal, 10);
  return BigSmallestFactor(x);
}

TEST(BigSmallestFactorTest, EdgeValues) {
  EXPECT_EQ(SmallestFactorOf("0"), 1u);
  EXPECT_EQ(SmallestFactorOf("1"), 1u);
  EXPECT_EQ(SmallestFactorOf("-1"), 1u);
  EXPECT_EQ(SmallestFactorOf("2"), 2u);
  EXPECT_EQ(SmallestFactorOf("3"), 3u);
  EXPECT_EQ(SmallestFactorOf("-9"), 3u);
  EXPECT_EQ(SmallestFactorOf("65521"), 65521u);
  EXPECT_EQ(SmallestFactorOf("4293001441"), 65521u);         // 65521²
  EXPECT_EQ(SmallestFactorOf("4295229443"), 1u);             // 65537·65539
  EXPECT_EQ(SmallestFactorOf("-4295229443"), 1u);
  EXPECT_EQ(SmallestFactorOf("65537"), 1u);
  EXPECT_EQ(SmallestFactorOf("18446744073709551616"), 2u);   // 2^64
  EXPECT_EQ(SmallestFactorOf("-36893488147419103232"), 2u);  // -2^65
  EXPECT_EQ(SmallestFactorOf("170141183460469231731687303715884105727"), 1u);  // 2^127 - 1
}

TEST(BigSmallestFactorTest, SmallPrimeTimesLargePrime) {
  BigRandom random;
  for (int32_t i = 0; i < test::Rounds(300); ++i) {
    // An odd small prime q times a prime above 2^16 of 1 to 8 words, times
    // possibly a second small prime above q; negative half the time.
    const int32_t k = random.Between(2, SmallPrimeCount);
    const Word q = SmallPrimes[k];
    MpzValue large;
    MpzValue x;
    test::MpzFromWords(large, random.Words(random.Between(1, 8), test::Shape::Uniform), 0);
    mpz_setbit(large, 17);
    mpz_nextprime(large, large);
    mpz_mul_ui(x, large, q);
    if (random.Coin()) {
      mpz_mul_ui(x, x, SmallPrimes[random.Between(k, SmallPrimeCount)]);
    }
    if (random.Coin()) {
      mpz_neg(x, x);
    }
    BigInt big;
    test::BigFromMpz(big, x);
    ASSERT_EQ(BigSmallestFactor(big), q) << test::MpzHex(x);
    // Without the small factors nothing below 2^16 divides.
    test::BigFromMpz(big, large);
    ASSERT_EQ(BigSmallestFactor(big), 1u) << test::MpzHex(large);
  }
}

TEST(BigSmallestFactorTest, AgreesWithGmpOnRandomNumbers) {
  BigRandom random;
  for (int32_t i = 0; i < test::Rounds(300); ++i) {
    const auto shape = test::AllShapes[i % std::size(test::AllShapes)];
    BigInt big;
    MpzValue x;
    random.SignedOperand(big, x, random.Between(1, 40), shape);
    ASSERT_EQ(BigSmallestFactor(big), ReferenceSmallestFactor(x)) << test::MpzHex(x);
  }
}

TEST(BigSmallestFactorTest, PollsOnEntry) {
  BigInt x;
  BigSetWord(x, 65537);
  test::AbortAtNextPoll abort;
  EXPECT_THROW(BigSmallestFactor(x), EKVAbort);
}

}  // namespace
}  // namespace karvo
