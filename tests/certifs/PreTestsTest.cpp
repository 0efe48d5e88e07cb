// The pre-tests of a candidate and the cofactor test, against GMP: random
// primes pass, composites fail at the stage that an independent mpz
// version of the same sequence names, and the strong Lucas test agrees with
// a textbook one on random numbers, pseudoprimes and long inputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "MpzReference.h"
#include "arith/BigMod.h"
#include "base/Errors.h"
#include "base/Poll.h"
#include "certifs/PreTests.h"
#include "support/Carmichael.h"

namespace karvo {
namespace {

namespace ref = test::ref;
using ref::RefRandom;
using test::MpzValue;

// The instrumented debug build runs the arithmetic some thirty times slower:
// there the longest inputs are left out, one of each long path kept.
#ifdef KARVO_SANITIZE
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif

std::string LucasMessage(int32_t D) {
  return "Candidate not Lucas strong pseudoprime for (P=1,Q=" + std::to_string((1 - D) / 4) + ")";
}

// The outcome the pre-tests must give, computed stage by stage with GMP.
std::string ExpectedPreTests(mpz_srcptr n) {
  static const std::vector<uint32_t> primes = ref::RefOddPrimes(65536);
  for (const uint32_t p : primes) {
    if (mpz_divisible_ui_p(n, p) != 0) {
      return "Candidate divisible by " + std::to_string(p);
    }
  }
  if (!ref::RefStrongBase2(n)) {
    return "Candidate not strong pseudoprime to the base 2";
  }
  const int32_t D = ref::RefLucasD(n);
  if (D == 0) {
    return "Candidate is presumably a square";
  }
  if (!ref::RefStrongLucas(n, D)) {
    return LucasMessage(D);
  }
  return "";
}

std::string PreTestsOf(mpz_srcptr n) { return CandidatePreTests(ref::BigOf(n)); }

// 2^e - 1 and 2^e + 1.
void Mersenne(mpz_ptr out, unsigned long e) {
  mpz_set_ui(out, 0);
  mpz_setbit(out, e);
  mpz_sub_ui(out, out, 1);
}
void PowerOfTwoPlusOne(mpz_ptr out, unsigned long e) {
  mpz_set_ui(out, 0);
  mpz_setbit(out, e);
  mpz_add_ui(out, out, 1);
}

bool HasFactorBelow2To16(mpz_srcptr n) {
  static const std::vector<uint32_t> primes = ref::RefOddPrimes(65536);
  for (const uint32_t p : primes) {
    if (mpz_divisible_ui_p(n, p) != 0 && mpz_cmp_ui(n, p) != 0) {
      return true;
    }
  }
  return false;
}

// A 4000-bit prime, the next prime after a random number (GMP's
// mpz_nextprime, which takes seconds at this size: too slow for every run).
constexpr const char* Prime4000 =
    "EE4175D009D7729E14DC940046E636B750E03DC6E5AB73C96FE2D1EB4EF1716AE35421EE93FE"
    "0F1660975C8C240FD17125D09AF337BE893FB849F8CAA52ADDC35F18BA2F7B65B189BDE3F860"
    "36062AA8755EFC3EA3DC9EDB9FDE5F042F850E7F3F6A2265653337CF1B7088D58FC26C8BF5DD"
    "C146B583FC32B0AB1F8B33DA19622AF513282C8EA1C9C9D1167CE9E84CC127C997F9D3CB3F1C"
    "5925952383A28DB037C25008D8AD25014EB55BA9CEBCDFEA2498D86F6CC34147427B8FD636C4"
    "994B36783F35AB5B862FF9D3BDC084A3AD754A0F624460655561D1EC7BCD9016E6C6E72EB686"
    "737DD8B5376F6A12066688D4F781F79F023CF477809075E3567A1A2720646CDB532FFB3076AC"
    "EA04120532A9CAF0ABD2D6EA16B99B27A79E9C5176D8A0AFF4D02EDF1EDCBB5CC43BE0947FE4"
    "930CBF8A78BCC071E153616340360D424E022211AA39F987058AAD671AC3596BDC35E5051062"
    "67ADF47024ACBE0BC282D1517752E3B98F68D8FFA31331AFCB0BA928C92E51286032253DE081"
    "FAC348D164090333EA3FB91A69DF803590E81D557C8772B3C75A0CF066AE2E3DDBD5DD566180"
    "3A5EE815D0C398D95D568245B67362F714B0C941D3696DEE5B69F0674141386ADDD7414C978B"
    "121007309FD023870B8FA1165A2FF5C01E67C386A524A93D8B97F00124C2E7702214229858B2"
    "89CF081A822F";

TEST(PreTestsTest, RandomPrimesPass) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  std::vector<int32_t> sizes = {17, 18, 31, 32, 33, 63, 64, 65, 95, 96, 97, 127, 128, 129, 521, 1024, 2048};
  for (int32_t i = 0; i < 40 * test::TestMultiplier(); ++i) {
    sizes.push_back(random.Between(17, i % 8 == 0 ? 1000 : 300));
  }
  for (const int32_t bits : sizes) {
    MpzValue p;
    random.Prime(p, bits);
    const BigInt N = ref::BigOf(p);
    EXPECT_EQ(CandidatePreTests(N), "") << bits << " bits: " << ref::MpzText(p);
    EXPECT_TRUE(IsCofactorProbablePrime(N)) << ref::MpzText(p);
  }
  MpzValue p;
  mpz_set_str(p, Prime4000, 16);
  ASSERT_EQ(mpz_sizeinbase(p, 2), 4000u);
  ASSERT_NE(mpz_probab_prime_p(p, 1), 0);
  if (!Sanitized) {
    EXPECT_EQ(PreTestsOf(p), "");
  }
  // Longer random primes with KARVO_TEST_MULTIPLIER above 1.
  for (int32_t i = 1; i < test::TestMultiplier(); ++i) {
    random.Prime(p, random.Between(2048, 4000));
    EXPECT_EQ(PreTestsOf(p), "") << ref::MpzText(p);
  }
}

// Mersenne primes: N + 1 = 2^e makes d = 1 and leaves the whole Lucas test
// to the doubling loop; 2^9689 - 1 is long enough for the
// registered modulus of the base-2 test and the Barrett reduction of the
// doublings.
TEST(PreTestsTest, MersennePrimesPass) {
  for (const unsigned long e : {17ul, 19ul, 31ul, 61ul, 89ul, 107ul, 127ul, 521ul, 607ul, 1279ul, 9689ul}) {
    if (Sanitized && e > 1279) {
      continue;
    }
    MpzValue n;
    Mersenne(n, e);
    EXPECT_EQ(PreTestsOf(n), "") << "2^" << e << " - 1";
  }
}

TEST(PreTestsTest, RandomCompositesFailAtTheFirstFailingStage) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  int32_t beyondTrialDivision = 0;
  for (int32_t round = 0; round < 300 * test::TestMultiplier(); ++round) {
    MpzValue n;
    switch (round % 3) {
      case 0:  // random odd numbers: mostly a small factor
        random.Odd(n, random.Between(17, 800));
        break;
      case 1: {  // products of two primes above 2^16: the base-2 test
        MpzValue p, q;
        random.Prime(p, random.Between(17, 200));
        random.Prime(q, random.Between(17, 200));
        mpz_mul(n, p, q);
        break;
      }
      default: {  // a prime times a prime below 2^16
        MpzValue p;
        random.Prime(p, random.Between(17, 300));
        mpz_mul_ui(n, p, static_cast<unsigned long>(random.Between(1, 32767) * 2 + 1));
        break;
      }
    }
    const std::string expected = ExpectedPreTests(n);
    ASSERT_EQ(PreTestsOf(n), expected) << ref::MpzText(n);
    // A random odd number may be prime.
    ASSERT_EQ(expected == "", mpz_probab_prime_p(n, 30) != 0) << ref::MpzText(n);
    beyondTrialDivision += expected.starts_with("Candidate divisible by") ? 0 : 1;
  }
  // The products of two large primes are there to reach the later stages.
  EXPECT_GE(beyondTrialDivision, 50);
}

TEST(PreTestsTest, TrialDivisionNamesTheSmallestFactor) {
  MpzValue p;
  Mersenne(p, 127);
  for (const unsigned long f : {3ul, 5ul, 7ul, 65519ul, 65521ul}) {
    MpzValue n;
    mpz_mul_ui(n, p, f);
    EXPECT_EQ(PreTestsOf(n), "Candidate divisible by " + std::to_string(f));
    // A larger factor beside it changes nothing.
    mpz_mul_ui(n, n, 65521);
    EXPECT_EQ(PreTestsOf(n), "Candidate divisible by " + std::to_string(f));
  }
  // 65537 is above the trial division bound.
  MpzValue n;
  mpz_mul_ui(n, p, 65537);
  EXPECT_EQ(PreTestsOf(n), ExpectedPreTests(n));
  EXPECT_EQ(PreTestsOf(n), "Candidate not strong pseudoprime to the base 2");
}

// (6k+1)(12k+1)(18k+1) with all three prime: Carmichael numbers, Fermat
// liars to every coprime base, which the strong base-2 test still catches
// unless one is a strong pseudoprime as well.
TEST(PreTestsTest, CarmichaelNumbersWithoutSmallFactors) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  MpzValue k(10923 + random.Between(0, 100000));  // 6k + 1 > 65536
  for (int32_t found = 0; found < 8; ++found) {
    MpzValue n;
    test::NextCarmichael(n, k);
    const std::string expected = ExpectedPreTests(n);
    if (!ref::RefStrongBase2(n)) {
      EXPECT_EQ(expected, "Candidate not strong pseudoprime to the base 2");
    }
    EXPECT_NE(expected, "");
    EXPECT_EQ(PreTestsOf(n), expected) << ref::MpzText(n);
  }
}

// Strong pseudoprimes to the base 2 without a factor below 2^16 get to the
// Lucas stage and fail it with their own Q: the Fermat numbers F6 to F13
// (F13 has 257 words, so its base-2 test runs against the registered
// modulus), composite Mersenne numbers of prime exponent, and products
// p·(2p - 1) found by search.
TEST(PreTestsTest, StrongPseudoprimesFailTheLucasStage) {
  std::vector<MpzValue> cases;
  for (unsigned long m = 6; m <= (Sanitized ? 11ul : 13ul); ++m) {
    MpzValue n;
    PowerOfTwoPlusOne(n, 1ul << m);
    cases.push_back(n);
  }
  int32_t mersennes = 0;
  for (unsigned long e = 3; mersennes < 6; e += 2) {
    MpzValue exponent(static_cast<long>(e));
    MpzValue n;
    Mersenne(n, e);
    if (mpz_probab_prime_p(exponent, 25) != 0 && mpz_probab_prime_p(n, 25) == 0 && !HasFactorBelow2To16(n)) {
      cases.push_back(n);
      ++mersennes;
    }
  }
  // 2^5987 - 1 (188 words) for the registered path with a d of all ones.
  if (!Sanitized) {
    MpzValue n;
    Mersenne(n, 5987);
    ASSERT_EQ(mpz_probab_prime_p(n, 2), 0);
    ASSERT_FALSE(HasFactorBelow2To16(n));
    cases.push_back(n);
  }
  RefRandom random;
  int32_t products = 0;
  for (int32_t tries = 0; products < 4 && tries < 100000; ++tries) {
    MpzValue p, q, n;
    random.Prime(p, random.Between(20, 90));
    mpz_mul_2exp(q, p, 1);
    mpz_sub_ui(q, q, 1);
    if (mpz_probab_prime_p(q, 25) == 0) {
      continue;
    }
    mpz_mul(n, p, q);
    if (ref::RefStrongBase2(n)) {
      cases.push_back(n);
      ++products;
    }
  }
  EXPECT_EQ(products, 4);
  for (const MpzValue& n : cases) {
    // The reference passes the base-2 test and names the Lucas stage.
    const int32_t D = ref::RefLucasD(n);
    ASSERT_NE(D, 0);
    const std::string expected = LucasMessage(D);
    ASSERT_EQ(ExpectedPreTests(n), expected) << ref::MpzText(n);
    const BigInt N = ref::BigOf(n);
    EXPECT_EQ(LucasParameterD(N), D) << ref::MpzText(n);
    EXPECT_EQ(CandidatePreTests(N), expected) << ref::MpzText(n);
    // The same sequence again through the cofactor test: the long ones once only.
    if (mpz_sizeinbase(n, 2) < 4000) {
      EXPECT_FALSE(IsCofactorProbablePrime(N)) << ref::MpzText(n);
    }
  }
}

// The message carries Q = (1 - D)/4, written out here rather than computed.
// F6 ≡ 2 (mod 5), so (5/F6) = (2/5) = -1 and D = 5; 2^101 - 1 (no factor
// below 2^16) is 1 mod 5 and 3 mod 7, so D = -7.
TEST(PreTestsTest, LucasMessageCarriesQ) {
  MpzValue f6, m101;
  PowerOfTwoPlusOne(f6, 64);
  Mersenne(m101, 101);
  EXPECT_EQ(LucasParameterD(ref::BigOf(f6)), 5);
  EXPECT_EQ(PreTestsOf(f6), "Candidate not Lucas strong pseudoprime for (P=1,Q=-1)");
  EXPECT_EQ(LucasParameterD(ref::BigOf(m101)), -7);
  EXPECT_EQ(PreTestsOf(m101), "Candidate not Lucas strong pseudoprime for (P=1,Q=2)");
  // Other D from products p·(2p - 1) that pass the base-2 test, as they come.
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  const char* const texts[] = {"Q=-2)", "Q=3)", "Q=-3)", "Q=4)"};
  for (int32_t found = 0, tries = 0; found < 6 && tries < 200000; ++tries) {
    MpzValue p, n;
    random.Prime(p, random.Between(20, 40));
    mpz_mul_2exp(n, p, 1);
    mpz_sub_ui(n, n, 1);
    if (mpz_probab_prime_p(n, 25) == 0) {
      continue;
    }
    mpz_mul(n, n, p);
    const int32_t D = ref::RefLucasD(n);
    if (!ref::RefStrongBase2(n) || D == 5 || D == -7) {
      continue;
    }
    const std::string text = PreTestsOf(n);
    ASSERT_TRUE(D == 9 || D == -11 || D == 13 || D == -15 || D < -15 || D > 15) << D;
    if (D >= -15 && D <= 13) {
      EXPECT_TRUE(text.ends_with(texts[(std::abs(D) - 9) / 2])) << text << ", D = " << D;
    }
    EXPECT_EQ(text, ExpectedPreTests(n));
    ++found;
  }
}

TEST(PreTestsTest, LucasParameterAgreesWithGmp) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  for (int32_t round = 0; round < 2000 * test::TestMultiplier(); ++round) {
    MpzValue n;
    random.Odd(n, random.Between(2, 400));
    if (mpz_cmp_ui(n, 3) < 0) {
      mpz_set_ui(n, 3);
    }
    ASSERT_EQ(LucasParameterD(ref::BigOf(n)), ref::RefLucasD(n)) << ref::MpzText(n);
  }
  // Even numbers and numbers below 3 have no parameter.
  BigInt x;
  for (const int32_t v : {-7, 0, 1, 2, 4, 1000}) {
    BigSetInt(x, v);
    EXPECT_EQ(LucasParameterD(x), 0) << v;
  }
}

// Squares of odd numbers: every symbol is 1 or 0, so no D is found.
// A square practically never passes the base-2 test (p² would need p to be
// a Wieferich prime: 1093 and 3511 are the known ones, both far below 2^16),
// so the square verdict is checked on the parameter search itself.
TEST(PreTestsTest, SquaresHaveNoLucasParameter) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  for (int32_t round = 0; round < 60 * test::TestMultiplier(); ++round) {
    MpzValue p, n;
    if (round % 2 == 0) {
      random.Prime(p, random.Between(17, 600));
    } else {
      random.Odd(p, random.Between(9, 600));
    }
    mpz_mul(n, p, p);
    EXPECT_EQ(LucasParameterD(ref::BigOf(n)), 0) << ref::MpzText(n);
    EXPECT_FALSE(IsCofactorProbablePrime(ref::BigOf(n))) << ref::MpzText(n);
  }
  // 1093² is a strong pseudoprime to the base 2 whose square root the trial
  // division finds first.
  MpzValue w(1093l * 1093l);
  EXPECT_TRUE(ref::RefStrongBase2(w));
  EXPECT_TRUE(IsStrongProbablePrimeBase2(ref::BigOf(w)));
  EXPECT_EQ(LucasParameterD(ref::BigOf(w)), 0);
  EXPECT_EQ(PreTestsOf(w), "Candidate divisible by 1093");
  // 3511² likewise; its square times a prime is no longer a square.
  MpzValue w2(3511l * 3511l);
  EXPECT_TRUE(IsStrongProbablePrimeBase2(ref::BigOf(w2)));
  EXPECT_EQ(LucasParameterD(ref::BigOf(w2)), 0);
  // A symbol 0 ends the search too: 7·p when (5/7p) = 1 meets D = -7.
  for (int32_t tries = 0, hits = 0; hits < 3 && tries < 1000; ++tries) {
    MpzValue p, n;
    random.Prime(p, 40);
    mpz_mul_ui(n, p, 7);
    if (mpz_si_kronecker(5, n) == 1) {
      EXPECT_EQ(LucasParameterD(ref::BigOf(n)), 0) << ref::MpzText(n);
      ++hits;
    }
  }
}

TEST(PreTestsTest, StrongLucasAgreesWithGmp) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  int32_t passes = 0;
  for (int32_t round = 0; round < 600 * test::TestMultiplier(); ++round) {
    MpzValue n;
    const int32_t bits = random.Between(3, round % 10 == 0 ? (Sanitized ? 400 : 1200) : 200);
    if (round % 3 == 0) {
      random.Prime(n, std::max(bits, 3));
    } else {
      random.Odd(n, bits);
    }
    if (mpz_cmp_ui(n, 3) < 0) {
      mpz_set_ui(n, 3);
    }
    // The Selfridge D when there is one, else (and also) a fixed D ≡ 1 mod 4.
    int32_t D = ref::RefLucasD(n);
    if (D == 0 || round % 4 == 1) {
      static constexpr int32_t fixed[] = {5, -7, 13, -15, 17, 21, -3, 29};
      D = fixed[round % 8];
    }
    const bool expected = ref::RefStrongLucas(n, D);
    ASSERT_EQ(IsStrongLucasProbablePrime(ref::BigOf(n), D), expected) << ref::MpzText(n) << ", D = " << D;
    passes += expected ? 1 : 0;
  }
  EXPECT_GE(passes, 100);
}

// Strong Lucas pseudoprimes with Selfridge's parameters (composites that pass
// this test and fail the base-2 one) and composites passing with the D of
// their own.
TEST(PreTestsTest, StrongLucasPseudoprimes) {
  for (const long n : {5459l, 5777l, 10877l, 16109l, 18971l, 22499l, 24569l, 25199l, 40309l, 58519l, 75077l,
                       97439l, 100127l, 113573l, 115639l, 130139l}) {
    MpzValue ref(n);
    BigInt N;
    BigSetInt(N, static_cast<int32_t>(n));
    const int32_t D = ref::RefLucasD(ref);
    ASSERT_EQ(LucasParameterD(N), D) << n;
    ASSERT_NE(D, 0) << n;
    EXPECT_TRUE(ref::RefStrongLucas(ref, D)) << n;
    EXPECT_TRUE(IsStrongLucasProbablePrime(N, D)) << n;
    EXPECT_FALSE(ref::RefStrongBase2(ref)) << n;
    EXPECT_FALSE(IsStrongProbablePrimeBase2(N)) << n;
    // One word: the cofactor test decides exactly.
    EXPECT_FALSE(IsCofactorProbablePrime(N)) << n;
  }
}

// Past 168 words the doublings reduce by a Barrett reciprocal of their own:
// random composites, and the same with N + 1 = d·2^s for a large s.
TEST(PreTestsTest, LongStrongLucasAgreesWithGmp) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  if (Sanitized) {
    // N + 1 = 3·2^5370: almost all the work in the doublings, the cheaper part.
    MpzValue n(3);
    mpz_mul_2exp(n, n, 5370);
    mpz_sub_ui(n, n, 1);
    ASSERT_EQ(mpz_sizeinbase(n, 2), 168u * 32 - 4);
    EXPECT_EQ(IsStrongLucasProbablePrime(ref::BigOf(n), 5), ref::RefStrongLucas(n, 5));
    return;
  }
  for (int32_t round = 0; round < 2; ++round) {
    MpzValue n;
    random.Odd(n, random.Between(168 * 32, 176 * 32));
    if (round == 1) {
      // N ≡ -1 mod 2^40: forty doublings.
      mpz_fdiv_q_2exp(n, n, 40);
      mpz_mul_2exp(n, n, 40);
      mpz_sub_ui(n, n, 1);
    }
    const int32_t D = round == 0 ? 5 : -7;
    ASSERT_EQ(IsStrongLucasProbablePrime(ref::BigOf(n), D), ref::RefStrongLucas(n, D)) << ref::MpzText(n);
    ASSERT_EQ(IsStrongProbablePrimeBase2(ref::BigOf(n)), ref::RefStrongBase2(n)) << ref::MpzText(n);
  }
}

TEST(PreTestsTest, StrongBase2AgreesWithGmp) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  int32_t passes = 0;
  for (int32_t round = 0; round < 400 * test::TestMultiplier(); ++round) {
    MpzValue n;
    if (round % 4 == 0) {
      random.Prime(n, random.Between(3, 600));
    } else if (round % 4 == 1) {
      // p·(2p - 1)-like products pass far more often than random numbers.
      MpzValue p;
      random.Prime(p, random.Between(10, 100));
      mpz_mul_2exp(n, p, 1);
      mpz_sub_ui(n, n, 1);
      mpz_mul(n, n, p);
    } else {
      random.Odd(n, random.Between(2, 600));
    }
    if (mpz_cmp_ui(n, 3) < 0) {
      mpz_set_ui(n, 3);
    }
    const bool expected = ref::RefStrongBase2(n);
    ASSERT_EQ(IsStrongProbablePrimeBase2(ref::BigOf(n)), expected) << ref::MpzText(n);
    passes += expected ? 1 : 0;
  }
  EXPECT_GE(passes, 100);
}

// The long base-2 test registers N only for its own duration; the caller's
// registration comes back.
TEST(PreTestsTest, LongTestsRestoreTheRegisteredModulus) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  MpzValue m, n;
  random.Odd(m, 64 * 32);
  if (Sanitized) {
    // Without small factors, so that the candidate gets to the base-2 test.
    random.Odd(n, 168 * 32);
    while (HasFactorBelow2To16(n)) {
      mpz_add_ui(n, n, 2);
    }
  } else {
    // A strong pseudoprime of 188 words, so that the whole sequence runs.
    Mersenne(n, 5987);
  }
  const BigInt M = ref::BigOf(m);
  const BigInt N = ref::BigOf(n);
  BigClearModulus();
  BigPushModulus(M);
  if (!Sanitized) {
    EXPECT_TRUE(IsStrongProbablePrimeBase2(N));
    EXPECT_TRUE(BigHasModulus());
    EXPECT_TRUE(BigEqual(BigRegisteredModulus(), M));
  }
  EXPECT_EQ(CandidatePreTests(N), ExpectedPreTests(n));
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), M));
  BigClearModulus();
  // Without a registration none is left behind.
  if (!Sanitized) {
    EXPECT_FALSE(IsCofactorProbablePrime(N));
    EXPECT_FALSE(BigHasModulus());
  }
}

// The cofactor test: exact for one word, Baillie–PSW above, no trial
// division (a product of primes below 2^16 is still rejected, by the
// probable-prime tests).
TEST(PreTestsTest, CofactorTest) {
  SCOPED_TRACE(ref::SeedNote());
  // Every odd one-word value up to 2^17, and around 2^32, against GMP.
  BigInt q;
  for (uint32_t v = 0; v < (1u << 17); ++v) {
    BigSetWord(q, v);
    MpzValue ref(static_cast<long>(v));
    const bool expected = v > 2 && (v & 1) != 0 && mpz_probab_prime_p(ref, 30) != 0;
    ASSERT_EQ(IsCofactorProbablePrime(q), expected) << v;
  }
  for (uint32_t v = 0xFFFFFFFFu - 2000; v != 0; ++v) {
    BigSetWord(q, v);
    MpzValue ref(static_cast<long>(v));
    ASSERT_EQ(IsCofactorProbablePrime(q), (v & 1) != 0 && mpz_probab_prime_p(ref, 30) != 0) << v;
  }
  BigSetInt(q, -7);
  EXPECT_FALSE(IsCofactorProbablePrime(q));
  RefRandom random;
  for (int32_t round = 0; round < 300 * test::TestMultiplier(); ++round) {
    MpzValue n;
    switch (round % 3) {
      case 0:
        random.Prime(n, random.Between(33, 700));
        break;
      case 1: {
        MpzValue p;
        random.Prime(p, random.Between(33, 300));
        mpz_mul_ui(n, p, static_cast<unsigned long>(random.Between(1, 30000) * 2 + 1));
        break;
      }
      default:
        random.Odd(n, random.Between(33, 700));
        break;
    }
    const bool expected = ref::RefBpsw(n);
    ASSERT_EQ(IsCofactorProbablePrime(ref::BigOf(n)), expected) << ref::MpzText(n);
    ASSERT_EQ(expected, mpz_probab_prime_p(n, 30) != 0) << ref::MpzText(n);
  }
  // An even value, prime or not, is never a cofactor.
  MpzValue even;
  Mersenne(even, 127);
  mpz_mul_2exp(even, even, 1);
  EXPECT_FALSE(IsCofactorProbablePrime(ref::BigOf(even)));
}

// The poll inside the long loops raises the abort through the pre-tests.
TEST(PreTestsTest, AbortPropagates) {
  MpzValue n;
  Mersenne(n, 1279);
  const BigInt N = ref::BigOf(n);
  SetPollHandler([] { RequestAbort(); });
  PollFlag = 1;
  EXPECT_THROW(CandidatePreTests(N), EKVAbort);
  ClearPollHandler();
  AbortRequested = 0;
  PollFlag = 0;
  EXPECT_EQ(CandidatePreTests(N), "");
}

}  // namespace
}  // namespace karvo
