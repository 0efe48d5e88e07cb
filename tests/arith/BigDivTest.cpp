// Truncating division against GMP's mpz_tdiv_*: quotient toward zero,
// remainder with the Sign of the dividend. Long division is checked at every
// length, with divisors of every normalisation shift, in the quotient-estimate
// corners of the algorithm, and in every aliasing of q, r, x and y.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

// Which of four records (0 = x, 1 = y, 2 and 3 spare) receive q and r.
struct DivModAlias {
  const char* name;
  int q;
  int r;
};

constexpr DivModAlias divModAliases[] = {
    {"distinct", 2, 3}, {"q is x", 0, 3}, {"r is x", 2, 0}, {"q is y", 1, 3},
    {"r is y", 2, 1},   {"q is x, r is y", 0, 1}, {"q is y, r is x", 1, 0},
};

// Divides ±x by ±y with BigDivMod in every aliasing, BigDiv and BigRem, and
// compares with GMP.
testing::AssertionResult CheckDivision(const std::vector<Word>& xw, int xs, const std::vector<Word>& yw, int ys) {
  MpzValue x;
  MpzValue y;
  test::MpzFromWords(x, xw, xs);
  test::MpzFromWords(y, yw, ys);
  MpzValue q;
  MpzValue r;
  mpz_tdiv_qr(q, r, x, y);
  auto fail = [&](const char* what) {
    return testing::AssertionFailure() << what << " of x = " << test::MpzShown(x) << " by y = " << test::MpzShown(y) << ": ";
  };
  for (const DivModAlias& alias : divModAliases) {
    BigInt records[4];
    test::BigFromWords(records[0], xw, xs);
    test::BigFromWords(records[1], yw, ys);
    test::BigFromWords(records[2], {7, 7}, 1);
    test::BigFromWords(records[3], {9}, 0);
    BigDivMod(records[alias.q], records[alias.r], records[0], records[1]);
    if (auto result = test::BigMatches(records[alias.q], q); !result) {
      return fail("BigDivMod") << alias.name << ", quotient " << result.message();
    }
    if (auto result = test::BigMatches(records[alias.r], r); !result) {
      return fail("BigDivMod") << alias.name << ", remainder " << result.message();
    }
    for (int operand = 0; operand < 2; ++operand) {
      if (operand != alias.q && operand != alias.r) {
        if (auto result = test::BigMatches(records[operand], operand == 0 ? x.get() : y.get()); !result) {
          return fail("BigDivMod") << alias.name << ", changed operand " << operand << " " << result.message();
        }
      }
    }
  }
  BigInt a;
  BigInt b;
  test::BigFromWords(a, xw, xs);
  test::BigFromWords(b, yw, ys);
  const bool exact = BigDiv(a, b);
  if (auto result = test::BigMatches(a, q); !result) {
    return fail("BigDiv") << result.message();
  }
  if (exact != (mpz_sgn(r) == 0)) {
    return fail("BigDiv") << "exact flag " << exact;
  }
  if (auto result = test::BigMatches(b, y); !result) {
    return fail("BigDiv") << "changed the divisor " << result.message();
  }
  test::BigFromWords(a, xw, xs);
  BigRem(a, b);
  if (auto result = test::BigMatches(a, r); !result) {
    return fail("BigRem") << result.message();
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult CheckDivisionAllSigns(const std::vector<Word>& x, const std::vector<Word>& y) {
  for (int s = 0; s < 4; ++s) {
    if (auto result = CheckDivision(x, s & 1, y, s >> 1); !result) {
      return result;
    }
  }
  return testing::AssertionSuccess();
}

// Dividends of every length up to 300 words by divisors of one and two words,
// half, nearly all and all of that length, and one word longer.
TEST(BigDivModTest, AgreesWithGmpAtEveryLength) {
  BigRandom random;
  int32_t turn = 0;
  for (int32_t n : test::TestLengths()) {
    for (int32_t m : {1, 2, std::max(1, n / 2), std::max(1, n - 1), n, n + 1, random.Between(1, n)}) {
      const Shape shape = test::AllShapes[turn++ % 5];
      ASSERT_TRUE(CheckDivision(random.Words(n, shape), random.Coin(), random.Words(m, test::AllShapes[turn % 5]),
                                random.Coin()))
          << n << " by " << m << " words, " << test::ShapeName(shape);
    }
  }
}

TEST(BigDivModTest, AgreesWithGmpOnLargeOperands) {
  BigRandom random;
  for (auto [n, m] : {std::pair{800, 400}, std::pair{1024, 1000}, std::pair{2048, 1024}, std::pair{4096, 2048},
                      std::pair{4096, 3}, std::pair{3000, 2999}}) {
    ASSERT_TRUE(CheckDivision(random.Words(n, Shape::Uniform), random.Coin(), random.Words(m, Shape::Runs),
                              random.Coin()))
        << n << " by " << m << " words";
  }
}

// Divisors whose top word has its top bit set (no normalising shift), whose
// top word is 1 (shift 31), and every shift between.
TEST(BigDivModTest, EveryNormalisationShift) {
  BigRandom random;
  for (int shift = 0; shift < 32; ++shift) {
    for (int32_t m : {2, 3, 7}) {
      auto y = random.Words(m, Shape::Uniform);
      y.back() = (y.back() | 0x80000000u) >> shift;
      ASSERT_TRUE(CheckDivisionAllSigns(random.Words(m + 5, Shape::Uniform), y)) << "shift " << shift;
      ASSERT_TRUE(CheckDivisionAllSigns(random.Words(m + 5, Shape::AllOnes), y)) << "shift " << shift;
    }
  }
}

// The estimate q = B − 1 taken when the window's top word equals the divisor's
// top word, and dividends just around multiples of the divisor, where the
// estimate is one too large and the divisor must be added back.
TEST(BigDivModTest, QuotientEstimateCorners) {
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(300); ++round) {
    const int32_t m = random.Between(2, 8);
    const Shape shape = test::AllShapes[random.Between(0, 4)];
    auto y = random.Words(m, shape);
    // Dividend whose top word equals the divisor's top word, the rest free.
    auto x = random.Words(m + random.Between(1, 4), shape);
    x.back() = y.back();
    ASSERT_TRUE(CheckDivisionAllSigns(x, y));
    // The same with the next word also equal, and with all words equal but the lowest.
    x[x.size() - 2] = y[y.size() - 2];
    ASSERT_TRUE(CheckDivisionAllSigns(x, y));
    // k·y + δ for δ in {−1, 0, 1, y − 1}, one-word and multi-word k.
    MpzValue ym;
    test::MpzFromWords(ym, y, 0);
    for (int32_t kn : {1, 1, 3}) {
      MpzValue k;
      test::MpzFromWords(k, random.Words(kn, test::AllShapes[random.Between(0, 4)]), 0);
      MpzValue product;
      mpz_mul(product, k, ym);
      MpzValue value;
      for (int delta = 0; delta < 4; ++delta) {
        mpz_set(value, product);
        if (delta == 0) {
          mpz_sub_ui(value, value, 1);
        } else if (delta == 2) {
          mpz_add_ui(value, value, 1);
        } else if (delta == 3) {
          mpz_add(value, value, ym);
          mpz_sub_ui(value, value, 1);
        }
        ASSERT_TRUE(CheckDivisionAllSigns(test::MpzWords(value), y));
      }
    }
  }
}

// Every dividend of 2 to 4 words and divisor of 2 or 3 words made of the
// words 0, 1, 2^31 and 2^32 − 1: the carries, borrows and corrections of
// the long division at their extremes.
TEST(BigDivModTest, ExtremeWordsExhaustively) {
  const Word values[] = {0, 1, 0x80000000u, 0xFFFFFFFFu};
  auto enumerate = [&values](int32_t length) {
    std::vector<std::vector<Word>> all;
    const int32_t count = 1 << (2 * length);
    for (int32_t code = 0; code < count; ++code) {
      std::vector<Word> words(static_cast<size_t>(length));
      for (int32_t i = 0; i < length; ++i) {
        words[static_cast<size_t>(i)] = values[(code >> (2 * i)) & 3];
      }
      if (words.back() != 0) {
        all.push_back(words);
      }
    }
    return all;
  };
  std::vector<std::vector<Word>> dividends;
  for (int32_t n = 2; n <= 4; ++n) {
    for (auto& words : enumerate(n)) {
      dividends.push_back(std::move(words));
    }
  }
  for (int32_t m = 2; m <= 3; ++m) {
    for (const auto& y : enumerate(m)) {
      for (const auto& x : dividends) {
        MpzValue xm;
        MpzValue ym;
        test::MpzFromWords(xm, x, 0);
        test::MpzFromWords(ym, y, 1);
        MpzValue q;
        MpzValue r;
        mpz_tdiv_qr(q, r, xm, ym);
        BigInt a;
        BigInt b;
        BigInt bq;
        BigInt br;
        test::BigFromWords(a, x, 0);
        test::BigFromWords(b, y, 1);
        BigDivMod(bq, br, a, b);
        ASSERT_TRUE(test::BigMatches(bq, q)) << test::MpzShown(xm) << " / " << test::MpzShown(ym);
        ASSERT_TRUE(test::BigMatches(br, r)) << test::MpzShown(xm) << " / " << test::MpzShown(ym);
      }
    }
  }
}

// Identity: q·y + r = x with |r| < |y| and r of the Sign of x, built from
// the library's own operations only.
TEST(BigDivModTest, QuotientTimesDivisorPlusRemainderIsDividend) {
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(1000); ++round) {
    BigInt x;
    BigInt y;
    MpzValue ignored;
    random.SignedOperand(x, ignored, random.Between(1, 90), test::AllShapes[random.Between(0, 4)]);
    random.SignedOperand(y, ignored, random.Between(1, 50), test::AllShapes[random.Between(0, 4)]);
    BigInt q;
    BigInt r;
    BigDivMod(q, r, x, y);
    ASSERT_TRUE(test::BigIsValid(q));
    ASSERT_TRUE(test::BigIsValid(r));
    ASSERT_LT(BigCompareAbs(r, y), 0);
    ASSERT_TRUE(BigIsZero(r) || r.Sign == x.Sign);
    BigInt back;
    BigMulTo(back, q, y);
    BigAdd(back, r);
    ASSERT_TRUE(BigEqual(back, x)) << "round " << round;
  }
}

TEST(BigDivModTest, TruncatesTowardZero) {
  struct Case {
    int32_t x, y, q, r;
  };
  for (const Case& c : {Case{-7, 2, -3, -1}, Case{7, -2, -3, 1}, Case{-7, -2, 3, -1}, Case{7, 2, 3, 1},
                        Case{-1, 5, 0, -1}, Case{-6, 3, -2, 0}, Case{0, -3, 0, 0}}) {
    BigInt x;
    BigInt y;
    BigInt q;
    BigInt r;
    BigSetInt(x, c.x);
    BigSetInt(y, c.y);
    BigDivMod(q, r, x, y);
    EXPECT_TRUE(test::BigMatches(q, MpzValue(c.q))) << c.x << " / " << c.y;
    EXPECT_TRUE(test::BigMatches(r, MpzValue(c.r))) << c.x << " % " << c.y;
  }
}

TEST(BigDivModTest, DivisionOfARecordBySelf) {
  BigRandom random;
  for (int32_t n : {1, 2, 3, 40, 300}) {
    BigInt x;
    MpzValue ignored;
    random.Operand(x, ignored, n, Shape::Uniform, 1);
    BigInt q;
    BigInt r;
    BigDivMod(q, r, x, x);
    EXPECT_TRUE(test::BigMatches(q, MpzValue(1)));
    EXPECT_TRUE(test::BigMatches(r, MpzValue(0)));
    BigInt copy;
    BigAssign(copy, x);
    EXPECT_TRUE(BigDiv(copy, copy));
    EXPECT_TRUE(test::BigMatches(copy, MpzValue(1)));
    BigRem(x, x);
    EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  }
}

TEST(BigDivModTest, ZeroDividendIsExact) {
  BigInt x;
  BigInt y;
  BigSetInt(y, -12345);
  EXPECT_TRUE(BigDiv(x, y));
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
}

// Single-word divisors: the dividends cross the 5-word switch of the word
// remainder, and the divisors include every power of two and the extremes.
template <typename Check>
void ForEachWordDivision(BigRandom& random, Check check) {
  std::vector<Word> divisors = {1, 3, 5, 7, 10, 12, 96, 65521, 0x7FFFFFFFu, 0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu};
  for (int k = 1; k < 32; ++k) {
    divisors.push_back(Word{1} << k);
  }
  for (int i = 0; i < 4; ++i) {
    divisors.push_back(random.NextWord() | 1);
    divisors.push_back(random.NextWord() & ~Word{1});
  }
  for (Word w : divisors) {
    for (int32_t n = 0; n <= 13; ++n) {
      for (Shape shape : test::AllShapes) {
        const int32_t length = n < 13 ? n : random.Between(13, 300);
        check(random.Words(length, shape), static_cast<int>(random.Coin()), w);
        if (testing::Test::HasFatalFailure()) {
          return;
        }
      }
    }
  }
}

TEST(BigDivWordTest, QuotientKeepsSignAndReturnsMagnitudeRemainder) {
  BigRandom random;
  ForEachWordDivision(random, [](const std::vector<Word>& words, int sign, Word w) {
    MpzValue x;
    test::MpzFromWords(x, words, sign);
    MpzValue q;
    const unsigned long rem = mpz_tdiv_q_ui(q, x, w);
    BigInt big;
    test::BigFromWords(big, words, sign);
    const Word got = BigDivWord(big, w);
    ASSERT_EQ(got, rem) << test::MpzShown(x) << " / " << w;
    ASSERT_TRUE(test::BigMatches(big, q)) << test::MpzShown(x) << " / " << w;
    test::BigFromWords(big, words, sign);
    ASSERT_EQ(BigDivWordExact(big, w), rem == 0) << test::MpzShown(x) << " / " << w;
    ASSERT_TRUE(test::BigMatches(big, q)) << test::MpzShown(x) << " / " << w;
  });
}

TEST(BigDivWordTest, ModWordAndMod3AreNonNegative) {
  BigRandom random;
  ForEachWordDivision(random, [](const std::vector<Word>& words, int sign, Word w) {
    MpzValue x;
    test::MpzFromWords(x, words, sign);
    BigInt big;
    test::BigFromWords(big, words, sign);
    ASSERT_EQ(BigModWord(big, w), mpz_fdiv_ui(x, w)) << test::MpzShown(x) << " mod " << w;
    ASSERT_EQ(BigMod3(big), mpz_fdiv_ui(x, 3)) << test::MpzShown(x) << " mod 3";
    ASSERT_TRUE(test::BigMatches(big, x));
  });
}

TEST(BigDivWordTest, DivisibilityByWord) {
  BigRandom random;
  ForEachWordDivision(random, [&random](const std::vector<Word>& words, int sign, Word w) {
    MpzValue x;
    test::MpzFromWords(x, words, sign);
    // Half of the cases are made multiples of w, some of them off by one;
    // some get zero low words, where the power of two in w meets a lowest
    // word without set bits.
    if (random.Coin()) {
      mpz_mul_ui(x, x, w);
      if (random.Coin()) {
        mpz_add_ui(x, x, 1);
      }
    }
    if (random.Between(0, 3) == 0) {
      mpz_mul_2exp(x, x, static_cast<mp_bitcnt_t>(32 * random.Between(1, 2)));
    }
    BigInt big;
    test::BigFromMpz(big, x);
    ASSERT_EQ(BigIsDivisibleByWord(big, w), mpz_divisible_ui_p(x, w) != 0)
        << test::MpzShown(x) << " by " << w;
    ASSERT_TRUE(test::BigMatches(big, x));
  });
}

// The factor 2^k of w goes by a shift, the odd part by the word inverse.
TEST(BigDivWordTest, ExactDivisionByWord) {
  BigRandom random;
  ForEachWordDivision(random, [&random](const std::vector<Word>& words, int sign, Word w) {
    MpzValue quotient;
    test::MpzFromWords(quotient, words, sign);
    if (random.Between(0, 3) == 0) {
      mpz_mul_2exp(quotient, quotient, static_cast<mp_bitcnt_t>(32 * random.Between(1, 2)));
    }
    MpzValue x;
    mpz_mul_ui(x, quotient, w);
    BigInt big;
    test::BigFromMpz(big, x);
    BigDivExactByWord(big, w);
    ASSERT_TRUE(test::BigMatches(big, quotient)) << test::MpzShown(x) << " / " << w;
  });
}

TEST(BigDivWordTest, DivIntTruncatesWithSignedRemainder) {
  BigRandom random;
  std::vector<int32_t> divisors = {1, -1, 2, -2, 3, -3, 7, -10, 65521, -65521, INT32_MAX, -INT32_MAX, INT32_MIN};
  for (int i = 0; i < 6; ++i) {
    divisors.push_back(static_cast<int32_t>(random.NextWord()));
  }
  for (int32_t i : divisors) {
    for (int32_t n = 0; n <= 9; ++n) {
      for (Shape shape : test::AllShapes) {
        const auto words = random.Words(n, shape);
        const int sign = random.Coin();
        MpzValue x;
        test::MpzFromWords(x, words, sign);
        MpzValue q;
        MpzValue r;
        mpz_tdiv_qr(q, r, x, MpzValue(i));
        BigInt big;
        test::BigFromWords(big, words, sign);
        const int32_t got = BigDivInt(big, i);
        ASSERT_EQ(got, mpz_get_si(r)) << test::MpzShown(x) << " / " << i;
        ASSERT_TRUE(test::BigMatches(big, q)) << test::MpzShown(x) << " / " << i;
      }
    }
  }
}

// Even divisors against dividends whose lowest words are zero.
TEST(BigDivWordTest, DivisibilityWithZeroLowWords) {
  struct Case {
    std::vector<Word> words;
    Word w;
    bool divisible;
  };
  for (const Case& c : {Case{{0, 3}, 96, true}, Case{{0, 5}, 96, false}, Case{{0, 1}, 0x80000000u, true},
                        Case{{0, 0, 1}, 0x80000000u, true}, Case{{0, 3}, 0xC0000000u, true},
                        Case{{0x80000000u, 1}, 0x80000000u, true}, Case{{0x40000000u, 1}, 0x80000000u, false},
                        Case{{0, 7}, 14, true}, Case{{0, 7}, 6, false}}) {
    BigInt x;
    test::BigFromWords(x, c.words, 0);
    EXPECT_EQ(BigIsDivisibleByWord(x, c.w), c.divisible) << test::BigDescribe(x) << " by " << c.w;
  }
}

TEST(BigDivWordTest, ZeroAndOneEdges) {
  BigInt x;
  EXPECT_EQ(BigModWord(x, 7), 0u);
  EXPECT_EQ(BigMod3(x), 0u);
  EXPECT_TRUE(BigIsDivisibleByWord(x, 7));
  BigSetInt(x, -5);
  EXPECT_EQ(BigModWord(x, 1), 0u);
  EXPECT_TRUE(BigIsDivisibleByWord(x, 1));
  EXPECT_EQ(BigModWord(x, 3), 1u);
  EXPECT_EQ(BigMod3(x), 1u);
  BigSetInt(x, -6);
  EXPECT_EQ(BigMod3(x), 0u);
  // A quotient of zero from a negative dividend is zero with Sign 0.
  BigSetInt(x, -5);
  EXPECT_EQ(BigDivWord(x, 7), 5u);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetInt(x, -5);
  EXPECT_EQ(BigDivInt(x, 7), -5);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
}

}  // namespace
}  // namespace karvo
