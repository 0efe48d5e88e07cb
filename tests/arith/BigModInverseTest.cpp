// Modular inverses against mpz_invert: single (word shortcuts and Lehmer
// Euclid), batched, and of words.

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "BigModTestSupport.h"
#include "arith/BigMod.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

// BigInvMod of x modulo N against mpz_invert: the same inverse, or failure
// with x = 0 exactly when gcd(x, N) ≠ 1.
testing::AssertionResult InverseMatches(const Pair& x, const Pair& N) {
  BigInt y;
  BigAssign(y, x.big);
  const bool ok = BigInvMod(y, N.big);
  MpzValue expected;
  const bool gmpOk = mpz_invert(expected, x.ref, N.ref) != 0 && mpz_cmp_ui(N.ref, 1) > 0;
  if (ok != gmpOk) {
    return testing::AssertionFailure() << "reported " << ok << " for x = 0x" << test::MpzHex(x.ref) << " mod 0x"
                                       << test::MpzHex(N.ref);
  }
  if (!ok) {
    mpz_set_ui(expected, 0);
  }
  return test::BigMatches(y, expected);
}

TEST(BigModInverseTest, AgreesWithGmpOverSizes) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t words : {1, 2, 3, 4, 7, 16, 33, 64, 130, 257, 400}) {
    for (bool odd : {true, false}) {
      Pair N;
      test::RandomModulus(random, N, words, odd);
      const int32_t rounds = words > 100 ? 3 : test::Rounds(12);
      for (int32_t round = 0; round < rounds; ++round) {
        Pair x;
        // Mostly full-size residues; also short, negative, and larger
        // than N, and values sharing a factor with N.
        const int32_t xn = round % 3 == 0 ? random.Between(1, words) : words + (round % 4 == 1 ? 2 : 0);
        test::RandomValue(random, x, xn, round % 5 == 2);
        if (round % 6 == 5) {
          MpzValue g;
          test::MpzFromWords(g, {random.NextWord() | 1}, 0);
          mpz_gcd(g, g, N.ref);
          mpz_mul(x.ref, x.ref, odd ? g.get() : MpzValue(2).get());
          x.Set(MpzValue(x.ref));
        }
        ASSERT_TRUE(InverseMatches(x, N)) << words << " words, " << (odd ? "odd" : "even") << ", round " << round;
      }
    }
  }
}

// The word shortcuts: 2, 3 (with N in every class mod 3) and other words,
// invertible or not.
TEST(BigModInverseTest, WordValues) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t words : {1, 2, 5, 40}) {
    for (int32_t round = 0; round < test::Rounds(20); ++round) {
      Pair N;
      test::RandomModulus(random, N, words, round % 2 == 0);
      for (Word w : {Word{2}, Word{3}, Word{5}, Word{6}, Word{9}, Word{65536}, random.NextWord(), ~Word{0}}) {
        Pair x;
        MpzValue v;
        mpz_set_ui(v, w);
        x.Set(v);
        ASSERT_TRUE(InverseMatches(x, N)) << words << " words, x = " << w;
      }
    }
  }
}

TEST(BigModInverseTest, EdgeCases) {
  BigInt N;
  BigInt x;
  // 2 modulo an odd N is (N + 1)/2; modulo an even N it fails with x = 0.
  BigSetWord(N, 1000001);
  BigSetWord(x, 2);
  EXPECT_TRUE(BigInvMod(x, N));
  EXPECT_EQ(BigLowUInt64(x), 500001u);
  BigSetWord(N, 1000000);
  BigSetWord(x, 2);
  EXPECT_FALSE(BigInvMod(x, N));
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_TRUE(BigIsZero(x));
  // gcd > 1 with a multi-word x.
  BigSetUInt64(x, 0xFFFFFFFFFFFFFFC5ull);
  BigAssign(N, x);
  BigMulWord(N, 3);
  EXPECT_FALSE(BigInvMod(x, N));
  EXPECT_TRUE(BigIsZero(x));
  // 0 fails, 1 and N + 1 give 1, -1 gives N - 1.
  BigSetWord(N, 97);
  BigSetZero(x);
  EXPECT_FALSE(BigInvMod(x, N));
  BigSetWord(x, 98);
  EXPECT_TRUE(BigInvMod(x, N));
  EXPECT_TRUE(BigIsOne(x));
  BigSetInt(x, -1);
  EXPECT_TRUE(BigInvMod(x, N));
  EXPECT_EQ(BigLowUInt64(x), 96u);
}

TEST(BigModInverseTest, ModulusBelowTwoRaises) {
  BigInt x;
  BigSetWord(x, 3);
  for (int32_t n : {1, 0, -7}) {
    BigInt N;
    BigSetInt(N, n);
    EXPECT_TRUE(test::RaisesInternalError([&] { BigInvMod(x, N); }, "1000.12.1")) << n;
  }
}

// Lehmer steps on operands with very close leading parts, with long runs of
// ones, and with quotients too large for one step.
TEST(BigModInverseTest, HardOperandShapes) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(40); ++round) {
    const int32_t words = random.Between(3, 60);
    Pair N;
    test::RandomModulus(random, N, words, true);
    Pair x;
    MpzValue v;
    switch (round % 4) {
      case 0:  // N - small
        mpz_sub_ui(v, N.ref, random.NextWord());
        break;
      case 1:  // N/2 + small: quotients 1 then 2
        mpz_fdiv_q_2exp(v, N.ref, 1);
        mpz_add_ui(v, v, random.NextWord());
        break;
      case 2:  // a short x: a huge first quotient
        test::MpzFromWords(v, random.Words(2, test::Shape::Uniform), 0);
        break;
      default:
        test::MpzFromWords(v, random.Words(words, test::Shape::Runs), 0);
        break;
    }
    x.Set(v);
    ASSERT_TRUE(InverseMatches(x, N)) << "round " << round;
  }
}

TEST(BigModInverseTest, BatchAgreesWithSingleInverses) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t words : {1, 3, 20, 100}) {
    for (int32_t count : {1, 2, 7, 64}) {
      Pair N;
      test::RandomModulus(random, N, words, true);
      std::vector<BigInt> values(static_cast<size_t>(count));
      std::vector<MpzValue> expected(static_cast<size_t>(count));
      bool invertible = true;
      for (int32_t i = 0; i < count; ++i) {
        Pair x;
        test::RandomValue(random, x, random.Between(1, words + 1), random.Coin());
        BigAssign(values[static_cast<size_t>(i)], x.big);
        invertible = mpz_invert(expected[static_cast<size_t>(i)], x.ref, N.ref) != 0 && invertible;
      }
      ASSERT_EQ(BigInvModBatch(values.data(), count, N.big), invertible);
      if (invertible) {
        for (int32_t i = 0; i < count; ++i) {
          ASSERT_TRUE(test::BigMatches(values[static_cast<size_t>(i)], expected[static_cast<size_t>(i)]))
              << words << " words, " << count << " values, value " << i;
        }
      }
    }
  }
}

TEST(BigModInverseTest, BatchFailureLeavesValuesUnchanged) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  Pair N;
  test::RandomModulus(random, N, 8, true);
  std::vector<BigInt> values(10);
  std::vector<MpzValue> before(10);
  for (size_t i = 0; i < values.size(); ++i) {
    Pair x;
    test::RandomValue(random, x, 9, random.Coin());
    BigAssign(values[i], x.big);
    mpz_set(before[i], x.ref);
  }
  // A zero value, then a multiple of N.
  for (int kind = 0; kind < 2; ++kind) {
    BigInt saved;
    BigAssign(saved, values[6]);
    if (kind == 0) {
      BigSetZero(values[6]);
      mpz_set_ui(before[6], 0);
    } else {
      BigAssign(values[6], N.big);
      BigMulWord(values[6], 12345);
      mpz_mul_ui(before[6], N.ref, 12345);
    }
    EXPECT_FALSE(BigInvModBatch(values.data(), 10, N.big));
    for (size_t i = 0; i < values.size(); ++i) {
      EXPECT_TRUE(test::BigMatches(values[i], before[i])) << "kind " << kind << ", value " << i;
    }
  }
}

TEST(BigModInverseTest, BatchLimitsAndModulus) {
  std::vector<BigInt> values(65);
  for (BigInt& v : values) {
    BigSetWord(v, 3);
  }
  BigInt N;
  BigSetWord(N, 1000003);
  EXPECT_TRUE(BigInvModBatch(values.data(), 64, N));
  EXPECT_TRUE(test::RaisesInternalError([&] { BigInvModBatch(values.data(), 65, N); }, "1000.13.1"));
  for (int32_t n : {1, 0, -5}) {
    BigSetInt(N, n);
    EXPECT_TRUE(test::RaisesInternalError([&] { BigInvModBatch(values.data(), 3, N); }, "1000.13.2")) << n;
  }
  BigSetWord(N, 7);
  EXPECT_TRUE(BigInvModBatch(values.data(), 0, N));
}

TEST(BigModInverseTest, WordInverse) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(3000); ++round) {
    const Word m = round % 3 == 0 ? random.NextWord() : (random.NextWord() >> random.Between(0, 31)) + 1;
    const Word a = random.NextWord();
    const Word got = WordInvMod(a, m);
    if (std::gcd(a % m, m) != 1 || m == 1) {
      ASSERT_EQ(got, 0u) << a << " mod " << m;
    } else {
      ASSERT_LT(got, m);
      ASSERT_EQ(uint64_t{a % m} * got % m, 1u) << a << " mod " << m;
    }
  }
  EXPECT_EQ(WordInvMod(0, 7), 0u);
  EXPECT_EQ(WordInvMod(5, 1), 0u);
  EXPECT_EQ(WordInvMod(1, 2), 1u);
  EXPECT_EQ(WordInvMod(3, 7), 5u);
  EXPECT_EQ(WordInvMod(10, 7), 5u);
  EXPECT_EQ(WordInvMod(6, 9), 0u);
  EXPECT_EQ(WordInvMod(~Word{0} - 1, ~Word{0}), ~Word{0} - 1);
  EXPECT_TRUE(test::RaisesInternalError([] { WordInvMod(3, 0); }, "1000.40.1"));
}

}  // namespace
}  // namespace karvo
