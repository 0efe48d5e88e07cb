// Modular powering against mpz_powm with every reduction method, on moduli
// of 1 to 400 words on both sides of each switch of the automatic choice, and
// the window-size and odd-part helpers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BigModTestSupport.h"
#include "arith/BigMod.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

const char* MethodName(int32_t method) {
  static const char* const names[] = {"auto", "plain", "Montgomery", "Barrett"};
  return names[method];
}

std::vector<int32_t> MethodsFor(bool odd) {
  if (odd) {
    return {PowModAuto, PowModPlain, PowModMontgomery, PowModBarrett};
  }
  return {PowModAuto, PowModPlain, PowModBarrett};
}

// Runs BigPowMod on a copy of base and compares with mpz_powm.
testing::AssertionResult PowMatches(const Pair& base, const Pair& e, const Pair& N, int32_t method) {
  BigInt x;
  BigAssign(x, base.big);
  BigPowMod(x, e.big, N.big, method);
  MpzValue expected;
  mpz_powm(expected, base.ref, e.ref, N.ref);
  testing::AssertionResult result = test::BigMatches(x, expected);
  if (!result) {
    return testing::AssertionFailure() << MethodName(method) << ", exponent of " << mpz_sizeinbase(e.ref, 2)
                                       << " bits, base of " << mpz_sizeinbase(base.ref, 2) << " bits"
                                       << (mpz_sgn(base.ref) < 0 ? " (negative)" : "") << ": "
                                       << result.message();
  }
  return result;
}

// Exponents of the kinds that take different paths: trivial, sparse (bit by
// bit), small and word-size windows, and the widest windows the budget
// allows for the size (full-size up to 33 words).
std::vector<MpzValue> ExponentsFor(BigRandom& random, int32_t words) {
  std::vector<MpzValue> list;
  for (long v : {0L, 1L, 2L, 3L}) {
    list.emplace_back(v);
  }
  MpzValue e;
  test::MpzFromWords(e, {random.NextWord() & 0xFF}, 0);
  list.push_back(e);
  test::MpzFromWords(e, {random.NextWord() | 0x80000000u}, 0);
  list.push_back(e);
  // Sparse: three set bits spread over a long exponent.
  const int32_t sparseBits = words <= 33 ? 32 * words : 160;
  mpz_set_ui(e, 0);
  mpz_setbit(e, static_cast<mp_bitcnt_t>(sparseBits - 1));
  mpz_setbit(e, static_cast<mp_bitcnt_t>(random.Between(1, sparseBits - 2)));
  mpz_setbit(e, 0);
  list.push_back(e);
  const int32_t fullWords = words <= 33 ? words : (words < 168 ? 4 : 2);
  test::MpzFromWords(e, random.Words(fullWords, test::Shape::Uniform), 0);
  list.push_back(e);
  return list;
}

// Bases: random residue, negative, at least N, 0, 1, -1, a small word.
std::vector<MpzValue> BasesFor(BigRandom& random, mpz_srcptr N) {
  const auto words = static_cast<int32_t>((mpz_sizeinbase(N, 2) + 31) / 32);
  std::vector<MpzValue> list;
  MpzValue b;
  test::MpzFromWords(b, random.Words(words, test::Shape::Uniform), 0);
  mpz_mod(b, b, N);
  list.push_back(b);
  test::MpzFromWords(b, random.Words(words, test::Shape::Uniform), 1);
  list.push_back(b);
  test::MpzFromWords(b, random.Words(words + 2, test::Shape::Uniform), 0);
  list.push_back(b);
  for (long v : {0L, 1L, -1L, 2L}) {
    list.emplace_back(v);
  }
  return list;
}

// Every method on every path: small moduli cheaply with every exponent kind
// against every base, large ones with short exponents.
TEST(BigPowModTest, AgreesWithGmpOnEveryMethodAndSize) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  const int32_t lengths[] = {1, 2, 3, 4, 5, 8, 16, 31, 32, 33, 64, 100, 167, 168, 169, 243, 244, 245, 400};
  for (int32_t words : lengths) {
    for (bool odd : {true, false}) {
      Pair N;
      test::RandomModulus(random, N, words, odd);
      const std::vector<MpzValue> exponents = ExponentsFor(random, words);
      const std::vector<MpzValue> bases = BasesFor(random, N.ref);
      // Large moduli pair each exponent with one base in turn; small ones
      // try every combination.
      const bool everyPair = words <= 33;
      for (int32_t method : MethodsFor(odd)) {
        SCOPED_TRACE(testing::Message() << words << " words, " << (odd ? "odd" : "even") << ", "
                                        << MethodName(method));
        for (size_t i = 0; i < exponents.size(); ++i) {
          Pair e;
          e.Set(exponents[i]);
          for (size_t j = 0; j < bases.size(); ++j) {
            if (!everyPair && j != (i + static_cast<size_t>(method)) % bases.size()) {
              continue;
            }
            Pair base;
            base.Set(bases[j]);
            ASSERT_TRUE(PowMatches(base, e, N, method));
          }
        }
      }
    }
  }
}

// Exponents long enough for windows of 5 to 8 bits, dense and sparse.
TEST(BigPowModTest, WideWindows) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t eWords : {7, 17, 45, 117, 130}) {
    for (int32_t words : {1, 4, 9}) {
      Pair N;
      test::RandomModulus(random, N, words, random.Coin());
      Pair e;
      test::RandomValue(random, e, eWords);
      Pair base;
      test::RandomResidue(random, base, N.ref);
      for (int32_t method : MethodsFor(mpz_odd_p(N.ref) != 0)) {
        ASSERT_TRUE(PowMatches(base, e, N, method)) << words << " words, exponent " << eWords << " words";
      }
    }
  }
}

// A base whose Montgomery form x·2^(32k) mod N is a single word takes the
// word-multiplier path of a sparse exponent.
TEST(BigPowModTest, MontgomeryFormOfOneWord) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t words : {1, 4, 7, 30}) {
    Pair N;
    test::RandomModulus(random, N, words, true);
    MpzValue R(1);
    mpz_mul_2exp(R, R, static_cast<mp_bitcnt_t>(32 * words));
    mpz_invert(R, R, N.ref);
    MpzValue b;
    mpz_mul_ui(b, R, random.NextWord() | 2);
    mpz_mod(b, b, N.ref);
    Pair base;
    base.Set(b);
    Pair e;
    MpzValue v(0);
    mpz_setbit(v, 300);
    mpz_setbit(v, 17);
    mpz_setbit(v, 0);
    e.Set(v);
    ASSERT_EQ(PowWindowSize(301, 3), 1);
    EXPECT_TRUE(PowMatches(base, e, N, PowModMontgomery)) << words << " words";
  }
}

// The pairs the automatic choice is defined by must agree whichever method
// is forced.
TEST(BigPowModTest, AllMethodsAgreeAtTheSwitchLengths) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t words : {1, 3, 4, 168, 243, 244}) {
    Pair N;
    test::RandomModulus(random, N, words, true);
    Pair e;
    test::RandomValue(random, e, words <= 4 ? words : 2);
    Pair base;
    test::RandomResidue(random, base, N.ref);
    BigInt results[4];
    for (int32_t method : MethodsFor(true)) {
      BigAssign(results[method], base.big);
      BigPowMod(results[method], e.big, N.big, method);
    }
    for (int32_t method = 1; method < 4; ++method) {
      EXPECT_TRUE(test::BigMatchesRecord(results[method], results[0])) << words << " words, " << MethodName(method);
    }
  }
}

TEST(BigPowModTest, AutomaticChoiceFollowsSizeAndParity) {
  struct Case {
    int32_t words;
    bool odd;
    int32_t method;
  };
  const Case cases[] = {
      {1, true, PowModPlain},        {3, true, PowModPlain},          {4, true, PowModMontgomery},
      {243, true, PowModMontgomery}, {244, true, PowModBarrett},      {3, false, PowModPlain},
      {4, false, PowModPlain},       {167, false, PowModPlain},       {168, false, PowModBarrett},
      {400, false, PowModBarrett},
  };
  BigRandom random;
  for (const Case& c : cases) {
    Pair N;
    test::RandomModulus(random, N, c.words, c.odd);
    EXPECT_EQ(PowModMethodFor(N.big), c.method) << c.words << " words, " << (c.odd ? "odd" : "even");
  }
}

TEST(BigPowModTest, TrivialCases) {
  BigInt x;
  BigInt e;
  BigInt N;
  for (int32_t method = 0; method < 4; ++method) {
    // N = 1 gives 0, even for a zero exponent.
    BigSetInt(x, 5);
    BigSetZero(e);
    BigSetOne(N);
    BigPowMod(x, e, N, method);
    EXPECT_TRUE(BigIsZero(x));
    // e = 0 gives 1, also for x = 0.
    BigSetZero(x);
    BigSetWord(N, 1000003);
    BigPowMod(x, e, N, method);
    EXPECT_TRUE(BigIsOne(x));
    BigSetInt(x, -3);
    BigPowModWord(x, 0, N, method);
    EXPECT_TRUE(BigIsOne(x));
    // e = 1 reduces.
    BigSetInt(x, -1);
    BigPowModWord(x, 1, N, method);
    EXPECT_EQ(BigLowUInt64(x), 1000002u);
  }
}

TEST(BigPowModTest, WordExponentAgreesWithGmp) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t words : {1, 2, 5, 40, 170}) {
    for (bool odd : {true, false}) {
      Pair N;
      test::RandomModulus(random, N, words, odd);
      Pair base;
      test::RandomValue(random, base, words + 1, random.Coin());
      for (Word e : {Word{0}, Word{1}, Word{2}, Word{65537}, random.NextWord() | 0x80000000u, ~Word{0}}) {
        for (int32_t method : MethodsFor(odd)) {
          BigInt x;
          BigAssign(x, base.big);
          BigPowModWord(x, e, N.big, method);
          MpzValue expected;
          mpz_powm_ui(expected, base.ref, e, N.ref);
          ASSERT_TRUE(test::BigMatches(x, expected)) << words << " words, e = " << e << ", " << MethodName(method);
        }
      }
    }
  }
}

// The result overwrites x; an exponent or modulus that is x itself is read
// as it was.
TEST(BigPowModTest, ExponentOrModulusMayBeTheResultRecord) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  Pair N;
  test::RandomModulus(random, N, 6, true);
  Pair v;
  test::RandomResidue(random, v, N.ref);
  MpzValue expected;
  mpz_powm(expected, v.ref, v.ref, N.ref);
  BigInt x;
  BigAssign(x, v.big);
  BigPowMod(x, x, N.big);
  EXPECT_TRUE(test::BigMatches(x, expected));
  // x^e mod x is zero.
  BigAssign(x, N.big);
  BigPowMod(x, v.big, x);
  EXPECT_TRUE(BigIsZero(x));
}

TEST(BigPowModTest, ArgumentErrors) {
  BigInt x;
  BigInt e;
  BigInt N;
  BigSetWord(x, 3);
  BigSetWord(N, 11);
  BigSetInt(e, -1);
  EXPECT_TRUE(test::RaisesInternalError([&] { BigPowMod(x, e, N); }, "1000.21.1"));
  BigSetWord(e, 5);
  for (int32_t n : {0, -11}) {
    BigSetInt(N, n);
    EXPECT_TRUE(test::RaisesInternalError([&] { BigPowMod(x, e, N); }, "1000.21.2")) << n;
    EXPECT_TRUE(test::RaisesInternalError([&] { BigPowModWord(x, 5, N); }, "1000.22.1")) << n;
  }
  BigSetWord(N, 11);
  for (int32_t method : {-1, 4, 99}) {
    EXPECT_TRUE(test::RaisesInternalError([&] { BigPowMod(x, e, N, method); }, "1000.39.1")) << method;
  }
}

// A forced Montgomery on an even modulus is not an error: the automatic
// choice takes over.
TEST(BigPowModTest, MontgomeryOnEvenModulusFallsBack) {
  BigRandom random;
  Pair N;
  test::RandomModulus(random, N, 8, false);
  Pair base;
  test::RandomResidue(random, base, N.ref);
  Pair e;
  test::RandomValue(random, e, 3);
  EXPECT_TRUE(PowMatches(base, e, N, PowModMontgomery));
}

TEST(BigPowModTest, WindowSizeTable) {
  struct Case {
    int32_t bits, w;
  };
  const Case boundaries[] = {{1, 1},    {8, 1},    {9, 2},    {24, 2},   {25, 3},     {69, 3},
                             {70, 4},   {196, 4},  {197, 5},  {538, 5},  {539, 6},    {1433, 6},
                             {1434, 7}, {3714, 7}, {3715, 8}, {100000, 8}};
  for (const Case& c : boundaries) {
    EXPECT_EQ(PowWindowSize(c.bits, -1), c.w) << c.bits << " bits";
  }
  EXPECT_EQ(PowWindowSize(70, 70), 4);
  EXPECT_EQ(PowWindowSize(70, 3), 1);
  // The sparse rule: weight up to 2^(w-1) + ceil(bits/w) goes bit by bit.
  EXPECT_EQ(PowWindowSize(70, 8 + 18), 1);
  EXPECT_EQ(PowWindowSize(70, 8 + 18 + 1), 4);
  EXPECT_EQ(PowWindowSize(8, 0), 1);
  EXPECT_EQ(PowWindowSize(3715, 128 + 465), 1);
  EXPECT_EQ(PowWindowSize(3715, 128 + 465 + 1), 8);
  for (int32_t bits : {0, -5}) {
    EXPECT_TRUE(test::RaisesInternalError([&] { PowWindowSize(bits, -1); }, "1000.11.1")) << bits;
  }
}

TEST(BigPowModTest, SplitOddPart) {
  for (int32_t v = 1; v < 300; ++v) {
    int32_t s = -1;
    int32_t t = -1;
    SplitOddPart(v, s, t);
    EXPECT_EQ((1 << s) * (2 * t + 1), v) << v;
  }
  int32_t s;
  int32_t t;
  SplitOddPart(96, s, t);
  EXPECT_EQ(s, 5);
  EXPECT_EQ(t, 1);
  for (int32_t v : {0, -4}) {
    EXPECT_TRUE(test::RaisesInternalError([&] { SplitOddPart(v, s, t); }, "1000.10.1")) << v;
  }
}

// Giving back the window table and scratch storage between tasks leaves
// the next powering correct.
TEST(BigPowModTest, CorrectAfterScratchRelease) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  Pair N;
  test::RandomModulus(random, N, 20, true);
  Pair base;
  test::RandomResidue(random, base, N.ref);
  Pair e;
  test::RandomValue(random, e, 20);
  for (int32_t method : MethodsFor(true)) {
    ASSERT_TRUE(PowMatches(base, e, N, method));
    BigModReleaseScratch();
    ASSERT_TRUE(PowMatches(base, e, N, method));
  }
}

// With a modulus registered, the reduction of an oversized base goes through
// Barrett; the result must not depend on it.
TEST(BigPowModTest, IndependentOfTheRegisteredModulus) {
  SCOPED_TRACE(test::SeedNote());
  BigClearModulus();
  BigRandom random;
  Pair N;
  test::RandomModulus(random, N, 12, true);
  Pair base;
  test::RandomValue(random, base, 30, 1);
  Pair e;
  test::RandomValue(random, e, 12);
  {
    BigModulusScope scope(N.big);
    for (int32_t method : MethodsFor(true)) {
      EXPECT_TRUE(PowMatches(base, e, N, method));
    }
  }
  BigClearModulus();
}

}  // namespace
}  // namespace karvo
