// The N-1 and N+1 steps against GMP: the split of N ∓ 1 by the prime table
// against a plain mpz split over an independent sieve, and the witnesses B
// and Q against the checks a verifier makes, replayed with mpz.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MpzReference.h"
#include "arith/BigMod.h"
#include "arith/PrimeTable.h"
#include "base/Errors.h"
#include "base/Poll.h"
#include "certifs/NSplit.h"

namespace karvo {
namespace {

namespace ref = test::ref;
using ref::RefRandom;
using test::BigFromMpz;
using test::MpzFromBig;
using test::MpzValue;

// The primes of the table, from the plain sieve: entry i is the i-th prime
// counted from 2 at entry 0.
const std::vector<uint32_t>& RefTablePrimes() {
  static const std::vector<uint32_t> primes = [] {
    std::vector<uint32_t> list = {2};
    for (const uint32_t p : ref::RefOddPrimes(1u << 23)) {
      list.push_back(p);
    }
    return list;
  }();
  return primes;
}

int32_t Bits(mpz_srcptr v) { return static_cast<int32_t>(mpz_sizeinbase(v, 2)); }

class NSplitTest : public testing::Test {
 protected:
  // SplitOrder reads the prime table, which the test main does not build.
  static void SetUpTestSuite() { BuildPrimeTable(); }
};

// N - 1 (minus) or N + 1, and the bound its cofactor must exceed: isqrt(N),
// plus 1 for N + 1.
void OrderOf(mpz_ptr m, mpz_ptr bound, mpz_srcptr N, bool minus) {
  if (minus) {
    mpz_sub_ui(m, N, 1);
  } else {
    mpz_add_ui(m, N, 1);
  }
  mpz_sqrt(bound, N);
  if (!minus) {
    mpz_add_ui(bound, bound, 1);
  }
}

struct SplitResult {
  bool ok = false;
  MpzValue k, q;
};

// The split written out over the plain sieve: every prime p among the first
// primeBound that divides m is removed as often as it goes.
SplitResult RefSplit(mpz_srcptr N, bool minus, int32_t nBits, int32_t primeBound) {
  SplitResult r;
  MpzValue m, bound;
  OrderOf(m, bound, N, minus);
  const mp_bitcnt_t twos = mpz_scan1(m, 0);
  mpz_fdiv_q_2exp(r.q, m, twos);
  mpz_set_ui(r.k, 1);
  mpz_mul_2exp(r.k, r.k, twos);
  if (mpz_cmp(r.q, bound) <= 0) {
    return r;
  }
  const auto& primes = RefTablePrimes();
  const auto count = static_cast<size_t>(std::min<int64_t>(primeBound, static_cast<int64_t>(primes.size())));
  for (size_t i = 1; i < count; ++i) {
    if (mpz_divisible_ui_p(m, primes[i]) == 0) {
      continue;
    }
    while (mpz_divisible_ui_p(r.q, primes[i]) != 0) {
      mpz_divexact_ui(r.q, r.q, primes[i]);
      mpz_mul_ui(r.k, r.k, primes[i]);
      if (mpz_cmp(r.q, bound) <= 0) {
        return r;
      }
    }
  }
  r.ok = nBits - static_cast<int32_t>(mpz_sizeinbase(r.q, 2)) >= 1 && mpz_odd_p(r.q) &&
         mpz_probab_prime_p(r.q, 30) != 0;
  return r;
}

// SplitOrder as the engine calls it: residue slots from N + 1.
SplitResult Split(mpz_srcptr N, bool minus, int32_t nBits, int32_t primeBound) {
  MpzValue m, bound, np1;
  OrderOf(m, bound, N, minus);
  mpz_add_ui(np1, N, 1);
  PrimeTableResidues(ref::BigOf(np1), primeBound);
  BigInt k, q;
  SplitResult r;
  r.ok = SplitOrder(k, q, ref::BigOf(m), minus ? NMinus1Residue : NPlus1Residue, ref::BigOf(bound), nBits,
                    primeBound);
  MpzFromBig(r.k, k);
  MpzFromBig(r.q, q);
  return r;
}

// The split must hold together: k·q = m, k made of 2 and of the first
// primeBound primes only, q above the bound.
testing::AssertionResult SplitIsSound(const SplitResult& r, mpz_srcptr N, bool minus, int32_t primeBound) {
  MpzValue m, bound, product, rest;
  OrderOf(m, bound, N, minus);
  mpz_mul(product, r.k, r.q);
  if (mpz_cmp(product, m) != 0) {
    return testing::AssertionFailure() << "k·q != m";
  }
  if (mpz_cmp(r.q, bound) <= 0) {
    return testing::AssertionFailure() << "q not above the bound";
  }
  mpz_set(rest, r.k);
  const auto& primes = RefTablePrimes();
  const auto count = static_cast<size_t>(std::min<int64_t>(primeBound, static_cast<int64_t>(primes.size())));
  mpz_fdiv_q_2exp(rest, rest, mpz_scan1(rest, 0));
  for (size_t i = 1; i < count && mpz_cmp_ui(rest, 1) > 0; ++i) {
    while (mpz_divisible_ui_p(rest, primes[i]) != 0) {
      mpz_divexact_ui(rest, rest, primes[i]);
    }
  }
  if (mpz_cmp_ui(rest, 1) != 0) {
    return testing::AssertionFailure() << "k has a factor beyond the first " << primeBound << " primes";
  }
  return testing::AssertionSuccess();
}

// A prime N = k·q + 1 (minus) or k·q - 1 with k a product of randomly chosen
// primes among the first primeBound (2 always among them: N is odd), q a
// prime of qBits bits. q is drawn once and k redrawn until N is prime, so
// that each try costs one test of N only.
void BuildPrime(RefRandom& random, mpz_ptr N, mpz_ptr k, mpz_ptr q, bool minus, int32_t kFactors,
                int32_t qBits, int32_t primeBound) {
  const auto& primes = RefTablePrimes();
  for (;;) {
    random.Prime(q, qBits);
    for (int32_t tries = 0; tries < 5000; ++tries) {
      mpz_set_ui(k, 2);
      for (int32_t i = 0; i < kFactors; ++i) {
        mpz_mul_ui(k, k, primes[static_cast<size_t>(random.Between(0, std::min(primeBound, 6542) - 1))]);
      }
      mpz_mul(N, k, q);
      if (minus) {
        mpz_add_ui(N, N, 1);
      } else {
        mpz_sub_ui(N, N, 1);
      }
      if (mpz_probab_prime_p(N, 30) != 0) {
        return;
      }
      if (kFactors == 0) {
        break;  // k = 2 cannot change: a new q
      }
    }
  }
}

TEST_F(NSplitTest, TableMatchesTheSieve) {
  const auto& primes = RefTablePrimes();
  ASSERT_EQ(PrimeTableCount, WantedPrimeTableSize());
  ASSERT_LE(static_cast<size_t>(PrimeTableCount), primes.size());
  for (int32_t i = 0; i < PrimeTableCount; ++i) {
    ASSERT_EQ(PrimeTable[i].Prime, primes[static_cast<size_t>(i)]) << i;
  }
}

// N - 1 = 2·q with q prime above the table: S = 2 whatever the prime bound.
// (A q inside the table is a table prime like any other, divided out.)
TEST_F(NSplitTest, SafePrimeGivesTwo) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  for (int32_t round = 0; round < 12 * test::TestMultiplier(); ++round) {
    MpzValue q, N;
    do {
      random.Prime(q, random.Between(25, 160));
      mpz_mul_2exp(N, q, 1);
      mpz_add_ui(N, N, 1);
    } while (mpz_probab_prime_p(N, 30) == 0);
    const int32_t nBits = Bits(N);
    for (const int32_t primeBound : {2, 6542, PrimeTableCount}) {
      const SplitResult r = Split(N, true, nBits, primeBound);
      ASSERT_TRUE(r.ok) << ref::MpzText(N);
      EXPECT_EQ(mpz_cmp_ui(r.k, 2), 0) << ref::MpzText(N);
      EXPECT_EQ(mpz_cmp(r.q, q), 0) << ref::MpzText(N);
    }
    // The gain: bits(q) = nBits - 1, so the same split with nBits one less fails.
    EXPECT_FALSE(Split(N, true, nBits - 1, 6542).ok);
    EXPECT_TRUE(Split(N, true, nBits, 6542).ok);
  }
}

// N = k·q ± 1 with k over the table: k and q come back exactly; with the
// prime bound below k's largest prime the leftover spoils q and the split
// fails, as the reference says.
TEST_F(NSplitTest, ConstructedOrdersSplit) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  for (int32_t round = 0; round < 40 * test::TestMultiplier(); ++round) {
    const bool minus = round % 2 == 0;
    const int32_t primeBound = round % 4 < 2 ? 6542 : PrimeTableCount;
    MpzValue N, k, q;
    const int32_t kFactors = random.Between(0, 12);
    BuildPrime(random, N, k, q, minus, kFactors, random.Between(30 + 17 * kFactors, 300), primeBound);
    const int32_t nBits = Bits(N);
    const SplitResult r = Split(N, minus, nBits, primeBound);
    ASSERT_TRUE(r.ok) << ref::MpzText(N) << (minus ? " - 1" : " + 1");
    EXPECT_EQ(mpz_cmp(r.k, k), 0) << ref::MpzText(N);
    EXPECT_EQ(mpz_cmp(r.q, q), 0) << ref::MpzText(N);
    EXPECT_TRUE(SplitIsSound(r, N, minus, primeBound)) << ref::MpzText(N);
    // A smaller prime bound.
    const int32_t smaller = random.Between(1, 200);
    const SplitResult reference = RefSplit(N, minus, nBits, smaller);
    const SplitResult small = Split(N, minus, nBits, smaller);
    ASSERT_EQ(small.ok, reference.ok) << ref::MpzText(N) << ", prime bound " << smaller;
    if (small.ok) {
      EXPECT_EQ(mpz_cmp(small.k, reference.k), 0);
      EXPECT_TRUE(SplitIsSound(small, N, minus, smaller));
    }
  }
}

// Random N, prime or not, any prime bound: the outcome and the split agree
// with the reference.
TEST_F(NSplitTest, RandomOrdersAgreeWithReference) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  int32_t successes = 0;
  for (int32_t round = 0; round < 210 * test::TestMultiplier(); ++round) {
    MpzValue N, k, q;
    const int32_t primeBound =
        std::vector<int32_t>{1, 2, 3, 50, 6542, 100000, PrimeTableCount}[static_cast<size_t>(round % 7)];
    const bool minus = random.Between(0, 1) == 0;
    if (round % 3 == 0) {
      BuildPrime(random, N, k, q, minus, random.Between(0, 8), random.Between(40, 200), 6542);
    } else {
      random.Odd(N, random.Between(17, 300));
    }
    const int32_t nBits = Bits(N);
    const SplitResult reference = RefSplit(N, minus, nBits, primeBound);
    const SplitResult r = Split(N, minus, nBits, primeBound);
    ASSERT_EQ(r.ok, reference.ok) << ref::MpzText(N) << (minus ? " - 1" : " + 1") << ", prime bound "
                                  << primeBound;
    if (r.ok) {
      EXPECT_EQ(mpz_cmp(r.k, reference.k), 0) << ref::MpzText(N);
      EXPECT_EQ(mpz_cmp(r.q, reference.q), 0) << ref::MpzText(N);
      EXPECT_TRUE(SplitIsSound(r, N, minus, primeBound)) << ref::MpzText(N);
      ++successes;
    }
  }
  EXPECT_GE(successes, 15);
}

// The cofactor must be above the bound: q = isqrt(N) exactly fails, one
// less in the bound passes. N = q(q+1) + 1 has isqrt(N) = q, N = q(q+1) - 1
// has isqrt(N) + 1 = q + 1; q + 1 is smooth over the first primes.
TEST_F(NSplitTest, CofactorAtTheBound) {
  const auto& primes = RefTablePrimes();
  int32_t cases = 0;
  for (uint64_t a = 1; a < 40 && cases < 6; ++a) {
    for (uint64_t b = 1; b < 20 && cases < 6; ++b) {
      // q + 1 = 2^a·3^b·7, q prime above the table.
      MpzValue q(7);
      mpz_mul_2exp(q, q, a);
      MpzValue three(3);
      MpzValue power;
      mpz_pow_ui(power, three, b);
      mpz_mul(q, q, power);
      mpz_sub_ui(q, q, 1);
      if (mpz_cmp_ui(q, primes.back()) <= 0 || mpz_probab_prime_p(q, 30) == 0) {
        continue;
      }
      ++cases;
      MpzValue qPlus1, m;
      mpz_add_ui(qPlus1, q, 1);
      mpz_mul(m, q, qPlus1);
      for (const bool minus : {true, false}) {
        MpzValue N;
        if (minus) {
          mpz_add_ui(N, m, 1);
        } else {
          mpz_sub_ui(N, m, 1);
        }
        MpzValue order, bound, np1;
        OrderOf(order, bound, N, minus);
        ASSERT_EQ(mpz_cmp(order, m), 0);
        ASSERT_EQ(mpz_cmp(bound, minus ? q : qPlus1), 0);
        mpz_add_ui(np1, N, 1);
        PrimeTableResidues(ref::BigOf(np1), 6542);
        const Word residue = minus ? NMinus1Residue : NPlus1Residue;
        BigInt k, cofactor;
        EXPECT_FALSE(SplitOrder(k, cofactor, ref::BigOf(m), residue, ref::BigOf(bound), Bits(N), 6542))
            << ref::MpzText(N);
        EXPECT_FALSE(RefSplit(N, minus, Bits(N), 6542).ok);
        MpzValue lower;
        mpz_sub_ui(lower, q, 1);
        ASSERT_TRUE(SplitOrder(k, cofactor, ref::BigOf(m), residue, ref::BigOf(lower), Bits(N), 6542))
            << ref::MpzText(N);
        MpzValue kk, qq;
        MpzFromBig(kk, k);
        MpzFromBig(qq, cofactor);
        EXPECT_EQ(mpz_cmp(kk, qPlus1), 0);
        EXPECT_EQ(mpz_cmp(qq, q), 0);
      }
    }
  }
  EXPECT_EQ(cases, 6);
}

// Orders made of small primes only fail; so does an order whose odd part is
// already at or below the bound after the factors 2.
TEST_F(NSplitTest, SmoothOrdersFail) {
  BigInt k, q, m, bound;
  for (const uint32_t n : {65537u, 3u * (1u << 20) + 1, 7u * (1u << 22) + 1}) {
    MpzValue N(static_cast<long>(n));
    MpzValue order, b, np1;
    OrderOf(order, b, N, true);
    mpz_add_ui(np1, N, 1);
    PrimeTableResidues(ref::BigOf(np1), 6542);
    BigFromMpz(m, order);
    BigFromMpz(bound, b);
    EXPECT_FALSE(SplitOrder(k, q, m, NMinus1Residue, bound, Bits(N), 6542)) << n;
    // Even with no prime bound at all the factors 2 are removed first.
    EXPECT_FALSE(SplitOrder(k, q, m, NMinus1Residue, bound, Bits(N), 0)) << n;
  }
  // 2^127 - 1: N + 1 = 2^127, q = 1.
  MpzValue N;
  mpz_set_ui(N, 0);
  mpz_setbit(N, 127);
  mpz_sub_ui(N, N, 1);
  EXPECT_FALSE(Split(N, false, 127, PrimeTableCount).ok);
  // N - 1 = 2·3^3·7^2·19·43·73·127·337·5419·92737·649657·77158673929: all
  // but the last factor are in the table, and that one (37 bits) is far
  // below isqrt(N), so the split fails at the bound.
  EXPECT_FALSE(Split(N, true, 127, PrimeTableCount).ok);
  EXPECT_FALSE(RefSplit(N, true, 127, PrimeTableCount).ok);
}

// Slots filled for a different number cannot break k·q = m: each division is
// checked before it is made.
TEST_F(NSplitTest, ForeignSlotsKeepTheProduct) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  for (int32_t round = 0; round < 20; ++round) {
    MpzValue N, k, q, other, m, bound;
    BuildPrime(random, N, k, q, true, 6, 200, 6542);
    random.Odd(other, 200);
    PrimeTableResidues(ref::BigOf(other), 6542);
    OrderOf(m, bound, N, true);
    BigInt kb, qb;
    const bool ok = SplitOrder(kb, qb, ref::BigOf(m), NMinus1Residue, ref::BigOf(bound), Bits(N), 6542);
    SplitResult r;
    r.ok = ok;
    MpzFromBig(r.k, kb);
    MpzFromBig(r.q, qb);
    if (ok) {
      EXPECT_TRUE(SplitIsSound(r, N, true, 6542));
    } else {
      // Only failures at the bound or of the cofactor: the product holds
      // whenever the cofactor is above the bound.
      MpzValue product;
      mpz_mul(product, r.k, r.q);
      EXPECT_EQ(mpz_cmp(product, m), 0);
    }
  }
}

// The walk over the table polls every few thousand entries.
TEST_F(NSplitTest, SplitPolls) {
  MpzValue N, m, bound;
  mpz_set_ui(N, 0);
  mpz_setbit(N, 200);
  mpz_add_ui(N, N, 3);  // m = N - 1 = 2·(2^199 + 1)
  OrderOf(m, bound, N, true);
  BigInt k, q;
  const BigInt M = ref::BigOf(m);
  const BigInt B = ref::BigOf(bound);
  // No slot matches, and the gain rule (nBits equal to q's size) ends the
  // split before the cofactor test, which would poll on its own.
  for (int32_t i = 0; i < PrimeTableCount; ++i) {
    PrimeTable[i].Residue = 1;
  }
  SetPollHandler([] { RequestAbort(); });
  PollFlag = 1;
  EXPECT_FALSE(SplitOrder(k, q, M, NMinus1Residue, B, 199, 4096));
  EXPECT_THROW(SplitOrder(k, q, M, NMinus1Residue, B, 199, 4097), EKVAbort);
  ClearPollHandler();
  AbortRequested = 0;
}

// ---- Witnesses ----

// The first base that the N-1 search is to find: 2, then the next 199 primes.
Word RefNMinus1Base(mpz_srcptr N, mpz_srcptr S, mpz_srcptr R) {
  const auto& primes = RefTablePrimes();
  MpzValue x, g, b;
  for (size_t i = 0; i < 200; ++i) {
    mpz_set_ui(b, primes[i]);
    mpz_powm(x, b, S, N);
    mpz_sub_ui(x, x, 1);
    mpz_gcd(g, x, N);
    if (mpz_cmp_ui(g, 1) != 0) {
      continue;
    }
    mpz_add_ui(x, x, 1);
    mpz_powm(x, x, R, N);
    if (mpz_cmp_ui(x, 1) == 0) {
      return primes[i];
    }
  }
  return 0;
}

// What a verifier checks of an N-1 test: gcd(B^S - 1, N) = 1, B^(N-1) ≡ 1.
bool NMinus1Holds(mpz_srcptr N, mpz_srcptr S, Word B) {
  MpzValue b(static_cast<long>(B)), x, g, e;
  mpz_powm(x, b, S, N);
  mpz_sub_ui(x, x, 1);
  mpz_gcd(g, x, N);
  mpz_sub_ui(e, N, 1);
  mpz_powm(x, b, e, N);
  return mpz_cmp_ui(g, 1) == 0 && mpz_cmp_ui(x, 1) == 0;
}

void FindB(mpz_srcptr N, mpz_srcptr S, mpz_srcptr R, Word& found, Word& expected) {
  found = FindNMinus1Base(ref::BigOf(N), ref::BigOf(S), ref::BigOf(R));
  expected = RefNMinus1Base(N, S, R);
}

TEST_F(NSplitTest, NMinus1BaseOnPrimes) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  for (int32_t round = 0; round < 30 * test::TestMultiplier(); ++round) {
    MpzValue N, S, R;
    BuildPrime(random, N, S, R, true, random.Between(0, 10), random.Between(40, 300), 6542);
    Word B = 0, expected = 0;
    FindB(N, S, R, B, expected);
    ASSERT_NE(B, 0u) << ref::MpzText(N);
    EXPECT_EQ(B, expected) << ref::MpzText(N);
    EXPECT_TRUE(NMinus1Holds(N, S, B)) << ref::MpzText(N) << ", B = " << B;
  }
}

// 2 has order 127 modulo 2^127 - 1, so with 127 | S the base 2 is out and
// the search goes on to the odd primes.
TEST_F(NSplitTest, NMinus1BaseBeyondTwo) {
  for (const unsigned long e : {61ul, 89ul, 127ul}) {
    MpzValue N, S, R;
    mpz_set_ui(N, 0);
    mpz_setbit(N, e);
    mpz_sub_ui(N, N, 1);
    mpz_set_ui(S, 2 * e);
    mpz_sub_ui(R, N, 1);
    ASSERT_TRUE(mpz_divisible_p(R, S));
    mpz_divexact(R, R, S);
    Word B = 0, expected = 0;
    FindB(N, S, R, B, expected);
    EXPECT_GT(B, 2u) << e;
    EXPECT_EQ(B, expected) << e;
    EXPECT_TRUE(NMinus1Holds(N, S, B)) << e;
  }
}

// No base exists when S = N - 1 (gcd(b^S - 1, N) = N for a prime N), nor,
// practically, for a composite N that is not a Carmichael number; for a
// Carmichael number the search answers as the reference does.
TEST_F(NSplitTest, NMinus1BaseOnFailures) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  for (int32_t round = 0; round < 6; ++round) {
    MpzValue N, S, R(1), k, q;
    BuildPrime(random, N, k, q, true, 3, 80, 6542);
    mpz_sub_ui(S, N, 1);
    EXPECT_EQ(FindNMinus1Base(ref::BigOf(N), ref::BigOf(S), ref::BigOf(R)), 0u) << ref::MpzText(N);
  }
  for (int32_t round = 0; round < 6; ++round) {
    MpzValue p, q, N, S(2), R;
    random.Prime(p, random.Between(30, 120));
    random.Prime(q, random.Between(30, 120));
    mpz_mul(N, p, q);
    mpz_sub_ui(R, N, 1);
    mpz_fdiv_q_2exp(R, R, 1);
    Word B = 0, expected = 0;
    FindB(N, S, R, B, expected);
    EXPECT_EQ(B, 0u) << ref::MpzText(N);
    EXPECT_EQ(B, expected) << ref::MpzText(N);
  }
  // 1729 = 7·13·19 and 1105 = 5·13·17: their prime factors are bases, which
  // share a factor with N; S = 2 lets a coprime base through.
  for (const long n : {561l, 1105l, 1729l, 2465l, 2821l, 6601l, 8911l}) {
    MpzValue N(n), S(2), R((n - 1) / 2);
    Word B = 0, expected = 0;
    FindB(N, S, R, B, expected);
    EXPECT_EQ(B, expected) << n;
  }
  // Even and tiny N are refused.
  BigInt small, one;
  BigSetOne(one);
  for (const int32_t v : {0, 1, 2, 100}) {
    BigSetInt(small, v);
    EXPECT_EQ(FindNMinus1Base(small, one, one), 0u) << v;
  }
}

// The Q search written out with mpz: the same rounds, with the run of
// residues bounded the same way.
Word RefNPlus1Q(mpz_srcptr N, mpz_srcptr S) {
  MpzValue halfS, halfN, v;
  mpz_fdiv_q_2exp(halfS, S, 1);
  mpz_add_ui(halfN, N, 1);
  mpz_fdiv_q_2exp(halfN, halfN, 1);
  long Q = 1;
  for (int32_t round = 0; round < 9999; ++round) {
    int32_t run = 0;
    do {
      ++Q;
      if (++run > 4096) {
        return 0;
      }
    } while (mpz_si_kronecker(Q, N) != -1);
    const long P = Q % 2 == 1 ? 2 : 1;
    const long D = P * P - 4 * Q;
    if (mpz_si_kronecker(D, N) != -1) {
      continue;
    }
    ref::RefLucasV(v, halfS, P, Q, N);
    if (mpz_sgn(v) != 0) {
      ref::RefLucasV(v, halfN, P, Q, N);
      return mpz_sgn(v) == 0 ? static_cast<Word>(Q) : 0;
    }
  }
  return 0;
}

// What a verifier checks of an N+1 test with P = 2 for odd Q, else 1:
// (D/N) = -1, V_((N+1)/2) ≡ 0 and V_(S/2) ≢ 0; and the search's (Q/N) = -1.
testing::AssertionResult NPlus1Holds(mpz_srcptr N, mpz_srcptr S, Word Q) {
  const long q = static_cast<long>(Q);
  const long P = q % 2 == 1 ? 2 : 1;
  if (mpz_si_kronecker(q, N) != -1) {
    return testing::AssertionFailure() << "(Q/N) != -1";
  }
  if (mpz_si_kronecker(P * P - 4 * q, N) != -1) {
    return testing::AssertionFailure() << "(D/N) != -1";
  }
  MpzValue index, v;
  mpz_add_ui(index, N, 1);
  mpz_fdiv_q_2exp(index, index, 1);
  ref::RefLucasV(v, index, P, q, N);
  if (mpz_sgn(v) != 0) {
    return testing::AssertionFailure() << "V_((N+1)/2) != 0";
  }
  mpz_fdiv_q_2exp(index, S, 1);
  ref::RefLucasV(v, index, P, q, N);
  if (mpz_sgn(v) == 0) {
    return testing::AssertionFailure() << "V_(S/2) = 0";
  }
  return testing::AssertionSuccess();
}

Word FindQ(mpz_srcptr N, mpz_srcptr S, mpz_srcptr R) {
  return FindNPlus1Q(ref::BigOf(N), ref::BigOf(S), ref::BigOf(R));
}

TEST_F(NSplitTest, NPlus1QOnPrimes) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  int32_t oddQ = 0, evenQ = 0;
  for (int32_t round = 0; round < 40 * test::TestMultiplier(); ++round) {
    MpzValue N, S, R;
    BuildPrime(random, N, S, R, false, random.Between(0, 10), random.Between(40, 300), 6542);
    const Word Q = FindQ(N, S, R);
    ASSERT_NE(Q, 0u) << ref::MpzText(N);
    EXPECT_EQ(Q, RefNPlus1Q(N, S)) << ref::MpzText(N);
    EXPECT_TRUE(NPlus1Holds(N, S, Q)) << ref::MpzText(N) << ", Q = " << Q;
    (Q % 2 == 1 ? oddQ : evenQ) += 1;
  }
  // Both parameter forms (P = 2 and P = 1) were met.
  EXPECT_GT(oddQ, 0);
  EXPECT_GT(evenQ, 0);
}

// With S = N + 1 every round has V_(S/2) ≡ 0 for a prime N, so the search
// runs out of rounds; a composite N fails the final check; a square N has no
// non-residue at all.
TEST_F(NSplitTest, NPlus1QOnFailures) {
  SCOPED_TRACE(ref::SeedNote());
  RefRandom random;
  {
    MpzValue N, S, R(1), k, q;
    BuildPrime(random, N, k, q, false, 1, 24, 6542);
    mpz_add_ui(S, N, 1);
    EXPECT_EQ(FindQ(N, S, R), 0u) << ref::MpzText(N);
    EXPECT_EQ(RefNPlus1Q(N, S), 0u) << ref::MpzText(N);
  }
  for (int32_t round = 0; round < 10; ++round) {
    MpzValue p, q, N, S(2), R;
    random.Prime(p, random.Between(30, 150));
    random.Prime(q, random.Between(30, 150));
    mpz_mul(N, p, q);
    mpz_add_ui(R, N, 1);
    mpz_fdiv_q_2exp(R, R, 1);
    EXPECT_EQ(FindQ(N, S, R), 0u) << ref::MpzText(N);
    EXPECT_EQ(RefNPlus1Q(N, S), 0u) << ref::MpzText(N);
  }
  {
    MpzValue p, N, S(2), R;
    random.Prime(p, 100);
    mpz_mul(N, p, p);
    mpz_add_ui(R, N, 1);
    mpz_fdiv_q_2exp(R, R, 1);
    EXPECT_EQ(FindQ(N, S, R), 0u);
  }
  BigInt small, one;
  BigSetOne(one);
  for (const int32_t v : {0, 1, 2, 100}) {
    BigSetInt(small, v);
    EXPECT_EQ(FindNPlus1Q(small, one, one), 0u) << v;
  }
}

}  // namespace
}  // namespace karvo
