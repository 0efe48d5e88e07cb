// TPrimeGenerator against a plain sieve from the start, and against GMP's
// mpz_nextprime in segments reached by SkipToSegment, up to the end of the
// primes below 2^32.

#include <gmp.h>
#include <gtest/gtest.h>

#include <memory>

#include "GmpBridge.h"
#include "PrimeTestSupport.h"
#include "arith/PrimeGenerator.h"
#include "arith/PrimeTable.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;

constexpr uint64_t SegmentNumbers = TPrimeGenerator::SegmentNumbers;

// Compares the generator's primes from its current point with GMP's, from
// the first prime above `from` up to `to` (exclusive); the generator must then
// be positioned at the first prime at or above `to`, which is returned.
testing::AssertionResult MatchesNextPrime(TPrimeGenerator& generator, uint64_t from, uint64_t to,
                                          Word& following) {
  MpzValue p;
  mpz_set_ui(p, from);
  int64_t count = 0;
  for (;;) {
    mpz_nextprime(p, p);
    const uint64_t expected = mpz_get_ui(p);
    const Word got = generator.Next();
    if (expected >= to) {
      following = got;
      return testing::AssertionSuccess() << count << " primes";
    }
    if (got != expected) {
      return testing::AssertionFailure() << "after " << count << " primes above " << from << ": got " << got
                                         << ", expected " << expected;
    }
    ++count;
  }
}

TEST(PrimeGeneratorTest, StartsWithTwoThreeFiveNeverOneOrOddSquares) {
  auto generator = std::make_unique<TPrimeGenerator>();
  EXPECT_EQ(generator->Init(), 2u);
  for (Word expected : {3u, 5u, 7u, 11u, 13u, 17u, 19u, 23u, 29u, 31u}) {
    EXPECT_EQ(generator->Next(), expected);
  }
}

TEST(PrimeGeneratorTest, YieldsExactlyTheReferencePrimes) {
  const uint32_t limit = uint32_t{1} << test::ExhaustiveBits;
  const std::vector<bool> reference = test::ReferenceSieve(limit);
  auto generator = std::make_unique<TPrimeGenerator>();
  Word p = generator->Init();
  int32_t count = 0;
  int32_t k = 1;
  for (uint32_t n = 0; n < limit; ++n) {
    if (reference[n]) {
      ASSERT_EQ(p, n) << "prime number " << count + 1;
      p = generator->Next();
      ++count;
    }
    // π(2^k) from the constant table, checked as the powers of two go by.
    if (n == (uint32_t{1} << k)) {
      ASSERT_EQ(count, PrimeCountPowerOfTwo(k)) << "k = " << k;
      ++k;
    }
  }
  EXPECT_EQ(count, PrimeCountPowerOfTwo(test::ExhaustiveBits));
  EXPECT_GT(p, limit);
}

TEST(PrimeGeneratorTest, CrossesTheFirstSegmentBoundary) {
  auto generator = std::make_unique<TPrimeGenerator>();
  generator->Init();
  Word p = 0;
  while (p < 65521) {
    p = generator->Next();
  }
  EXPECT_EQ(p, 65521u);
  EXPECT_EQ(generator->Next(), 65537u);
  EXPECT_EQ(generator->Next(), 65539u);
}

TEST(PrimeGeneratorTest, SkipToSegmentZeroResumesAtThree) {
  auto started = std::make_unique<TPrimeGenerator>();
  auto skipped = std::make_unique<TPrimeGenerator>();
  started->Init();
  skipped->Init();
  skipped->Next();
  skipped->Next();
  skipped->SkipToSegment(0);
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(skipped->Next(), started->Next()) << "prime " << i;
  }
}

TEST(PrimeGeneratorTest, LastPrimesBelowTwoToThe32ThenOne) {
  auto generator = std::make_unique<TPrimeGenerator>();
  generator->Init();
  generator->SkipToSegment(TPrimeGenerator::SegmentCount - 1);
  Word following = 0;
  const uint64_t start = (TPrimeGenerator::SegmentCount - 1) * SegmentNumbers;
  EXPECT_TRUE(MatchesNextPrime(*generator, start, uint64_t{1} << 32, following));
  EXPECT_EQ(following, 1u);
  EXPECT_EQ(generator->Next(), 1u);

  generator->SkipToSegment(TPrimeGenerator::SegmentCount - 1);
  Word last[3] = {0, 0, 0};
  for (Word p = generator->Next(); p != 1; p = generator->Next()) {
    last[0] = last[1];
    last[1] = last[2];
    last[2] = p;
  }
  EXPECT_EQ(last[0], 4294967231u);
  EXPECT_EQ(last[1], 4294967279u);
  EXPECT_EQ(last[2], 4294967291u);
}

TEST(PrimeGeneratorTest, ExhaustedGeneratorKeepsReturningOne) {
  auto generator = std::make_unique<TPrimeGenerator>();
  generator->Init();
  generator->SkipToSegment(TPrimeGenerator::SegmentCount);
  EXPECT_EQ(generator->Next(), 1u);
  EXPECT_EQ(generator->Next(), 1u);
}

// Each sieving prime's first multiple is computed for the segment, then
// carried into the next one: two segments check both.
TEST(PrimeGeneratorTest, SkippedSegmentsAgreeWithNextPrime) {
  BigRandom random;
  std::vector<int32_t> segments = {1, 2, 3, 255, 256, 4095, 65533, 65534};
  for (int32_t i = 0; i < test::Rounds(6); ++i) {
    segments.push_back(random.Between(1, TPrimeGenerator::SegmentCount - 2));
  }
  auto generator = std::make_unique<TPrimeGenerator>();
  generator->Init();
  for (int32_t s : segments) {
    SCOPED_TRACE(testing::Message() << "segment " << s);
    generator->SkipToSegment(s);
    const uint64_t start = s * SegmentNumbers;
    Word following = 0;
    ASSERT_TRUE(MatchesNextPrime(*generator, start, start + 2 * SegmentNumbers, following));
    MpzValue next;
    mpz_set_ui(next, start + 2 * SegmentNumbers);
    mpz_nextprime(next, next);
    // Past 2^32 the generator has nothing more to give.
    EXPECT_EQ(following, mpz_cmp_d(next, 4294967296.0) < 0 ? mpz_get_ui(next) : 1);
  }
}

}  // namespace
}  // namespace karvo
