// Primes against a plain sieve and GMP; the strong and combined tests against a
// strong test written with GMP, with pseudoprimes and Carmichael numbers.

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

#include "GmpBridge.h"
#include "arith/PrimeGenerator.h"
#include "arith/PrimeTable.h"
#include "arith/ProbablePrime.h"
#include "arith/SmallFactors.h"
#include "base/Errors.h"
#include "base/Settings.h"
#include "support/Carmichael.h"

namespace karvo {
namespace {

using test::MpzValue;

constexpr int SieveBits = 26;

// The textbook sieve of Eratosthenes below 2^26, built once.
const std::vector<bool>& Sieve() {
  static const std::vector<bool> prime = [] {
    std::vector<bool> p(uint32_t{1} << SieveBits, true);
    p[0] = p[1] = false;
    for (uint64_t n = 2; n * n < p.size(); ++n) {
      for (uint64_t m = n * n; p[n] && m < p.size(); m += n) {
        p[m] = false;
      }
    }
    return p;
  }();
  return prime;
}

TEST(PrimeTest, GeneratorAndWordIsPrimeAgreeWithTheSieve) {
  const std::vector<bool>& sieve = Sieve();
  auto generator = std::make_unique<TPrimeGenerator>();
  Word p = generator->Init();
  int32_t count = 0;
  for (uint32_t n = 0, k = 1; n < sieve.size(); ++n) {
    if (sieve[n]) {
      ASSERT_EQ(p, n) << "prime number " << count + 1;
      p = generator->Next();
      ++count;
    }
    if (n == (uint32_t{1} << k)) {
      ASSERT_EQ(count, PrimeCountPowerOfTwo(k++));
    }
    if (n < (1u << 22)) {  // beyond the switch of bases at 1373653
      ASSERT_EQ(WordIsPrime(n), sieve[n]) << n;
    }
  }
  EXPECT_EQ(PrimeCountPowerOfTwo(30), 54400028);
  EXPECT_EQ(PrimeCountPowerOfTwo(0) + PrimeCountPowerOfTwo(31), 0);
  generator->SkipToSegment(0);
  EXPECT_EQ(generator->Next(), 3u);
  // Each sieving prime's first multiple is computed for the segment, then
  // carried into the next: 6000 primes cross a segment boundary. After the
  // last prime below 2^32 the generator gives 1, for good.
  test::BigRandom random;
  for (const int32_t s : {1, 255, 4095, random.Between(1, TPrimeGenerator::SegmentCount - 2), 65534, 65535, 65536}) {
    generator->SkipToSegment(s);
    MpzValue prime(uint64_t{TPrimeGenerator::SegmentNumbers} * static_cast<uint64_t>(s));
    for (int i = 0; i < 6000; ++i) {
      mpz_nextprime(prime, prime);
      ASSERT_EQ(generator->Next(), mpz_cmp_d(prime, 4294967296.0) < 0 ? mpz_get_ui(prime) : 1) << s << ", " << i;
    }
  }
  for (Word n : {2u, 3u, 61u, 65521u, 65537u, 1373639u, 1373677u, 4294967279u, 4294967291u}) {
    EXPECT_TRUE(WordIsPrime(n)) << n;
  }
  // Strong pseudoprimes to 2, 3 and to 2, 7, 61 neighbours, Carmichael numbers, squares of primes.
  for (Word n : {0u, 1u, 4u, 9u, 63u, 4294967295u, 4294967293u, 2047u, 3277u, 4033u, 4681u, 8321u, 1373653u,
                 25326001u, 3215031751u, 65521u * 65521u, 65519u * 65521u, 561u, 1105u, 1729u, 41041u, 825265u}) {
    EXPECT_FALSE(WordIsPrime(n)) << n;
  }
  for (int32_t i = 0; i < test::Rounds(20000); ++i) {
    const Word n = random.NextWord() | (i & 1);
    ASSERT_EQ(WordIsPrime(n), mpz_probab_prime_p(MpzValue(n), 30) != 0) << n;
  }
}

class PrimeTableTest : public testing::Test {
 protected:
  void TearDown() override {
    Settings.MSC = savedMsc_;
    ReleasePrimeTable();
  }
  // The entries are the primes in order, each with its inverse modulo 2^32 (0 for 2).
  static testing::AssertionResult Consistent(int32_t bits) {
    int32_t i = 0;
    for (uint32_t n = 0; n < (uint32_t{1} << bits); ++n) {
      if (!Sieve()[n]) {
        continue;
      }
      if (i >= PrimeTableCount || PrimeTable[i].Prime != n || PrimeTable[i].Prime * PrimeTable[i].Inverse != (n != 2)) {
        return testing::AssertionFailure() << "entry " << i << " for " << n;
      }
      ++i;
    }
    return i == PrimeTableCount ? testing::AssertionSuccess() : testing::AssertionFailure() << PrimeTableCount;
  }

 private:
  int32_t savedMsc_ = Settings.MSC;
};

TEST_F(PrimeTableTest, SizesFollowTheClampedMsc) {
  const int32_t sizes[] = {82025, 155611, 295947, 564163, 1077871, 2063689, 3957809};
  for (int32_t msc = 18; msc <= 28; ++msc) {
    Settings.MSC = msc;
    const int32_t bits = std::clamp(msc, 20, 26);
    EXPECT_EQ(PrimeTableBits(msc), bits);
    EXPECT_EQ(WantedPrimeTableSize(), sizes[bits - 20]) << msc;
  }
  EXPECT_EQ(PrimeTableBits(-1), 20);
  for (int32_t msc : {20, 23, 26}) {
    Settings.MSC = msc;
    BuildPrimeTable();
    EXPECT_TRUE(Consistent(msc)) << msc;
  }
  const TPrimeEntry* first = PrimeTable;
  PrimeTable[5].Residue = 12345;
  BuildPrimeTable();
  EXPECT_TRUE(PrimeTable == first && PrimeTable[5].Residue == 12345u);
  // An abort leaves the table empty; the next build works.
  Settings.MSC = 21;
  EXPECT_TRUE(test::AbortsAtPoll(BuildPrimeTable, 1));
  EXPECT_TRUE(PrimeTableCount == 0 && PrimeTable == nullptr);
  BuildPrimeTable();
  EXPECT_TRUE(Consistent(21));
}

// The first count slots (at least those of 2 and 3, at most all) hold |x| mod
// p; the others keep a marker.
TEST_F(PrimeTableTest, ResiduesAgreeWithGmp) {
  Settings.MSC = 20;
  BuildPrimeTable();
  test::BigRandom random;
  for (int32_t i = 0; i < test::Rounds(12); ++i) {
    BigInt x;
    MpzValue ref;
    if (i > 0) {
      random.Operand(x, ref, random.Between(1, 30), test::AllShapes[i % 6], i % 3 == 0);
    }
    const int32_t count = i < 4 ? i - 1 : i == 4 ? PrimeTableCount + 100 : random.Between(3, 20000);
    for (int32_t k = 0; k < PrimeTableCount; ++k) {
      PrimeTable[k].Residue = 0xDEADBEEF;
    }
    PrimeTableResidues(x, count);
    for (int32_t k = 0; k < PrimeTableCount; ++k) {
      const Word expected =
          k < std::max(count, 2) ? static_cast<Word>(mpz_tdiv_ui(ref, PrimeTable[k].Prime)) : 0xDEADBEEFu;
      ASSERT_EQ(PrimeTable[k].Residue, expected) << "count " << count << ", slot " << k;
    }
  }
}

TEST(PrimeTest, SmallestFactorAgreesWithTrialDivision) {
  for (const auto& [text, factor] : {std::pair{"0", 1u}, {"1", 1u}, {"-1", 1u}, {"2", 2u}, {"-9", 3u},
                                     {"65521", 65521u}, {"4293001441", 65521u}, {"-4295229443", 1u}, {"65537", 1u},
                                     {"18446744073709551616", 2u}, {"-36893488147419103232", 2u},
                                     {"170141183460469231731687303715884105727", 1u}}) {
    BigInt x;
    BigFromString(x, text, 10);
    EXPECT_EQ(BigSmallestFactor(x), factor) << text;
  }
  test::BigRandom random;
  for (int32_t i = 0; i < test::Rounds(300); ++i) {
    BigInt x;
    MpzValue ref;
    random.Operand(x, ref, random.Between(1, 12), test::AllShapes[i % 6], random.Coin());
    if (i % 2 == 0) {  // a small prime times a number without small factors
      mpz_nextprime(ref, ref);
      mpz_mul_ui(ref, ref, SmallPrimes[static_cast<size_t>(random.Between(1, SmallPrimeCount))]);
      test::BigFromMpz(x, ref);
    }
    Word expected = 1;
    for (int32_t k = 1; k <= SmallPrimeCount && expected == 1 && mpz_cmpabs_ui(ref, 1) > 0; ++k) {
      expected = mpz_divisible_ui_p(ref, SmallPrimes.at(k)) != 0 ? SmallPrimes.at(k) : 1;
    }
    ASSERT_EQ(BigSmallestFactor(x), expected) << test::MpzShown(ref);
  }
  BigInt x;
  BigSetWord(x, 7);
  EXPECT_TRUE(test::AbortsAtPoll([&] { BigSmallestFactor(x); }, 1));
}

bool ReferenceStrong(mpz_srcptr n, unsigned long b) {
  MpzValue d, x, minusOne;
  mpz_sub_ui(minusOne, n, 1);
  const mp_bitcnt_t s = mpz_scan1(minusOne, 0);
  mpz_fdiv_q_2exp(d, minusOne, s);
  mpz_powm(x, MpzValue(b), d, n);
  bool pass = mpz_cmp_ui(x, 1) == 0 || mpz_cmp(x, minusOne) == 0;
  for (mp_bitcnt_t r = 1; r < s && !pass; ++r) {
    mpz_powm_ui(x, x, 2, n);
    pass = mpz_cmp(x, minusOne) == 0;
  }
  return pass;
}

// The strong test whole and in its two halves, on random odd numbers and on
// products p·(2p - 1), which pass base 2 far more often.
TEST(PrimeTest, StrongTestAgreesWithGmp) {
  test::BigRandom random;
  for (int32_t round = 0; round < test::Rounds(200); ++round) {
    MpzValue v, q, minusOne, d, power;
    test::MpzFromWords(v, random.Words(random.Between(1, round % 2 == 0 ? 6 : 20), test::Shape::Uniform), 0);
    if (round % 2 == 0) {
      mpz_nextprime(v, v);
      mpz_mul_2exp(q, v, 1);
      mpz_sub_ui(q, q, 1);
      mpz_mul(v, v, q);
    }
    mpz_setbit(v, 0);
    mpz_add_ui(v, v, mpz_cmp_ui(v, 1) == 0 ? 2 : 0);
    BigInt n, bigMinusOne, bigD;
    test::BigFromMpz(n, v);
    const int32_t s = BigSplitMinusOne(n, bigMinusOne, bigD);
    mpz_sub_ui(minusOne, v, 1);
    mpz_fdiv_q_2exp(d, minusOne, mpz_scan1(minusOne, 0));
    ASSERT_EQ(static_cast<mp_bitcnt_t>(s), mpz_scan1(minusOne, 0));
    ASSERT_TRUE(test::BigMatches(bigMinusOne, minusOne) && test::BigMatches(bigD, d));
    for (Word b : {2u, 3u, 5u, random.NextWord() | 2u}) {
      const bool expected = ReferenceStrong(v, b);
      ASSERT_EQ(BigIsStrongProbablePrime(n, b), expected) << test::MpzShown(v) << ", base " << b;
      mpz_powm(power, MpzValue(b), d, v);
      BigInt x;
      test::BigFromMpz(x, power);
      ASSERT_EQ(BigFinishStrongTest(x, n, bigMinusOne, s), expected) << test::MpzShown(v) << ", base " << b;
    }
  }
}

TEST(PrimeTest, ProbablePrimeTable) {
  const std::tuple<const char*, Word, bool> strong[] = {
      {"2047", 2, true},    {"2047", 3, false},   {"1373653", 2, true}, {"1373653", 3, true},
      {"1373653", 5, false}, {"2", 2, true},      {"1", 2, false},      {"1000", 3, false},
      {"7", 14, false},  // a multiple of N as the base
      {"170141183460469231731687303715884105727", 3, true}, {"340282366920938463463374607431768211455", 3, false}};
  for (const auto& [text, base, pass] : strong) {
    BigInt n;
    BigFromString(n, text, 10);
    EXPECT_EQ(BigIsStrongProbablePrime(n, base), pass) << text << ", base " << base;
  }
  const std::tuple<const char*, int32_t, bool> combined[] = {
      {"2047", 2, false}, {"-7", 7, false}, {"0", 7, false}, {"1", 7, false}, {"2", 7, true}, {"4", 7, false},
      {"4294967291", 0, true}, {"561", 7, false}, {"41041", 7, false}, {"825265", 7, false},
      {"321197185", 7, false}, {"3215031751", 7, false}, {"1373653", 7, false}, {"25326001", 7, false},
      {"18446744073709551629", 1, true},  // 2^64 + 13
      // 2^64 + 1 = 274177·67280421310721: no factor below 2^16, a strong pseudoprime to 2 only.
      {"18446744073709551617", 1, true}, {"18446744073709551617", 2, false},
      // Strong pseudoprimes to the first 8, 11, 12, 13 primes, all factors above 2^16.
      {"341550071728321", 8, true}, {"341550071728321", 9, false},
      {"3825123056546413051", 11, true}, {"3825123056546413051", 12, false},
      {"318665857834031151167461", 12, true}, {"318665857834031151167461", 13, false},
      {"3317044064679887385961981", 13, true}, {"3317044064679887385961981", 14, false},
      {"2152302898747", 1, false},  // 6763·10627·29947, a strong pseudoprime: trial division catches it
      {"170141183460469231731687303715884105727", 7, true}};
  for (const auto& [text, rounds, prime] : combined) {
    BigInt n;
    BigFromString(n, text, 10);
    EXPECT_EQ(BigIsProbablePrime(n, rounds), prime) << text << ", " << rounds << " rounds";
  }
  // Chernick's Carmichael numbers: Fermat liars to every coprime base, not strong liars.
  MpzValue k(100000), carmichael, p;
  for (int32_t found = 0; found < 5; ++found) {
    test::NextCarmichael(carmichael, k);
    BigInt n;
    test::BigFromMpz(n, carmichael);
    EXPECT_FALSE(BigIsProbablePrime(n, 7)) << test::MpzShown(carmichael);
  }
  test::BigRandom random;
  for (int32_t round = 0; round < test::Rounds(30); ++round) {
    BigInt n;
    test::MpzFromWords(p, random.Words(random.Between(2, 22), test::Shape::Uniform), 0);
    mpz_nextprime(p, p);
    test::BigFromMpz(n, p);
    ASSERT_TRUE(BigIsProbablePrime(n, 3)) << test::MpzShown(p);
    mpz_nextprime(k, MpzValue(random.NextWord() | 0x10000u));
    mpz_mul(p, p, k);
    test::BigFromMpz(n, p);
    ASSERT_FALSE(BigIsProbablePrime(n, 3)) << test::MpzShown(p);
  }
  BigInt n;
  BigFromString(n, "170141183460469231731687303715884105727", 10);
  EXPECT_TRUE(test::AbortsAtPoll([&] { BigIsProbablePrime(n, 1); }, 1));
}

}  // namespace
}  // namespace karvo
