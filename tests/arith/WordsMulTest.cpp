#include <gtest/gtest.h>

#include <vector>

#include "WordsTestSupport.h"
#include "arith/Words.h"
#include "arith/WordsThresholds.h"

namespace karvo::wordstest {
namespace {

enum class Method { Basecase, Karatsuba, Toom3, Dispatcher };

const char* MethodName(Method method) {
  switch (method) {
    case Method::Basecase:
      return "basecase";
    case Method::Karatsuba:
      return "Karatsuba";
    case Method::Toom3:
      return "Toom-3";
    case Method::Dispatcher:
      return "dispatcher";
  }
  return "?";
}

void RunProduct(Method method, Word* dst, const Word* a, const Word* b, int32_t n, Word* scratch) {
  switch (method) {
    case Method::Basecase:
      WordsMulBasecase(dst, a, b, n, n);
      break;
    case Method::Karatsuba:
      WordsMulKaratsuba(dst, a, b, scratch, n);
      break;
    case Method::Toom3:
      WordsMulToom3(dst, a, b, scratch, n);
      break;
    case Method::Dispatcher:
      WordsMul(dst, a, b, n);
      break;
  }
}

void RunSquare(Method method, Word* dst, const Word* a, int32_t n, Word* scratch) {
  switch (method) {
    case Method::Basecase:
      WordsSqrBasecase(dst, a, n);
      break;
    case Method::Karatsuba:
      WordsSqrKaratsuba(dst, a, n, scratch);
      break;
    case Method::Toom3:
      WordsSqrToom3(dst, a, n, scratch);
      break;
    case Method::Dispatcher:
      WordsSqr(dst, a, n);
      break;
  }
}

testing::AssertionResult SameWords(const WordVector& got, const WordVector& expected,
                                   const char* reference) {
  for (size_t i = 0; i < expected.size(); ++i) {
    if (got[i] != expected[i]) {
      return testing::AssertionFailure()
             << "differs from " << reference << " first at word " << i << " of " << expected.size();
    }
  }
  return testing::AssertionSuccess();
}

// One product (b == nullptr: the square of a) by the given method, into a
// guarded destination with a guarded scratch area of WordsScratchSize(n)
// words, checked against GMP and, for the fast methods, the schoolbook
// routine; the operands must come back unchanged.
testing::AssertionResult CheckProduct(Method method, const WordVector& a, const WordVector* b,
                                      std::mt19937_64& rng) {
  const auto n = static_cast<int32_t>(a.size());
  const WordVector aBefore = a;
  const WordVector bBefore = b != nullptr ? *b : WordVector();
  Guarded dst(2 * n, rng);
  Guarded scratch(WordsScratchSize(n), rng);
  if (b != nullptr) {
    RunProduct(method, dst.data(), a.data(), b->data(), n, scratch.data());
  } else {
    RunSquare(method, dst.data(), a.data(), n, scratch.data());
  }
  if (!dst.Intact()) {
    return testing::AssertionFailure() << MethodName(method) << " wrote outside dst";
  }
  if (!scratch.Intact()) {
    return testing::AssertionFailure() << MethodName(method) << " wrote outside its scratch";
  }
  if (a != aBefore || (b != nullptr && *b != bBefore)) {
    return testing::AssertionFailure() << MethodName(method) << " changed an operand";
  }
  const WordVector got = dst.Contents();
  const WordVector expected =
      b != nullptr ? GmpProduct(a.data(), n, b->data(), n) : GmpSquare(a.data(), n);
  testing::AssertionResult same = SameWords(got, expected, b != nullptr ? "mpn_mul" : "mpn_sqr");
  if (!same) {
    return same << " (" << MethodName(method) << ", n = " << n << ")";
  }
  if (method != Method::Basecase) {
    WordVector schoolbook(2 * static_cast<size_t>(n));
    if (b != nullptr) {
      WordsMulBasecase(schoolbook.data(), a.data(), b->data(), n, n);
    } else {
      WordsSqrBasecase(schoolbook.data(), a.data(), n);
    }
    same = SameWords(got, schoolbook, "the schoolbook result");
    if (!same) {
      return same << " (" << MethodName(method) << ", n = " << n << ")";
    }
  }
  return testing::AssertionSuccess();
}

// Operand pairs that stress different paths: uniform words, maximal carries,
// GMP-style runs of ones and zeros, and a mix.
struct ShapePair {
  WordShape a;
  WordShape b;
};
constexpr ShapePair ShapePairs[] = {{WordShape::Uniform, WordShape::Uniform},
                                    {WordShape::AllOnes, WordShape::AllOnes},
                                    {WordShape::Runs, WordShape::Runs},
                                    {WordShape::AllOnes, WordShape::Uniform}};

// Makes the low l = n - floor(n/2) words equal in value to the high words:
// Karatsuba's cross difference a0 - a1 is then zero.
void MakeHalvesEqual(WordVector& a) {
  const auto n = static_cast<int32_t>(a.size());
  const int32_t h = n / 2;
  const int32_t l = n - h;
  for (int32_t i = 0; i < h; ++i) {
    a[static_cast<size_t>(l + i)] = a[static_cast<size_t>(i)];
  }
  if (l > h) {
    a[static_cast<size_t>(h)] = 0;
  }
}

// Lengths at and around the given points.
std::vector<int32_t> Around(std::initializer_list<int32_t> points, int32_t radius) {
  std::vector<int32_t> lengths;
  for (int32_t p : points) {
    for (int32_t n = p - radius; n <= p + radius; ++n) {
      lengths.push_back(n);
    }
  }
  return lengths;
}

void CheckAllShapes(Method method, bool square, int32_t n, std::mt19937_64& rng) {
  for (const ShapePair& shapes : ShapePairs) {
    SCOPED_TRACE(testing::Message() << "n = " << n << ", shapes " << ShapeName(shapes.a) << " × "
                                    << ShapeName(shapes.b));
    const WordVector a = RandomWords(rng, n, shapes.a);
    const WordVector b = RandomWords(rng, n, shapes.b);
    ASSERT_TRUE(CheckProduct(method, a, square ? nullptr : &b, rng));
  }
}

// Random operands of an and bn words through WordsMulBasecase into a
// guarded destination, against mpn_mul.
void CheckBasecase(std::mt19937_64& rng, int32_t an, int32_t bn, WordShape shape) {
  const WordVector a = RandomWords(rng, an, shape);
  const WordVector b = RandomWords(rng, bn, shape);
  Guarded dst(an + bn, rng);
  WordsMulBasecase(dst.data(), a.data(), b.data(), bn, an);
  ASSERT_TRUE(dst.Intact());
  ASSERT_TRUE(SameWords(dst.Contents(), GmpProduct(a.data(), an, b.data(), bn), "mpn_mul"));
}

TEST(WordsMulTest, BasecaseAgreesWithGmpForAllLengthPairsUpTo40) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (WordShape shape : {WordShape::Uniform, WordShape::AllOnes}) {
    for (int32_t an = 1; an <= 40; ++an) {
      for (int32_t bn = 1; bn <= an; ++bn) {
        SCOPED_TRACE(testing::Message()
                     << "an = " << an << ", bn = " << bn << ", " << ShapeName(shape));
        ASSERT_NO_FATAL_FAILURE(CheckBasecase(rng, an, bn, shape));
      }
    }
  }
}

TEST(WordsMulTest, BasecaseAgreesWithGmpForUnbalancedLengths) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t round = 0; round < Scaled(200); ++round) {
    const auto an = static_cast<int32_t>(1 + rng() % 300);
    const auto bn = static_cast<int32_t>(1 + rng() % an);
    const WordShape shape = AllWordShapes[rng() % 3];
    SCOPED_TRACE(testing::Message()
                 << "an = " << an << ", bn = " << bn << ", " << ShapeName(shape));
    ASSERT_NO_FATAL_FAILURE(CheckBasecase(rng, an, bn, shape));
  }
}

TEST(WordsMulTest, SqrBasecaseAgreesWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 300; ++n) {
    for (WordShape shape : AllWordShapes) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", " << ShapeName(shape));
      ASSERT_TRUE(CheckProduct(Method::Basecase, RandomWords(rng, n, shape), nullptr, rng));
    }
  }
}

// Every length from 1 to 300 crosses both thresholds of the product and of
// the square.
TEST(WordsMulTest, DispatchersAgreeWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 300; ++n) {
    for (WordShape shape : AllWordShapes) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", " << ShapeName(shape));
      const WordVector a = RandomWords(rng, n, shape);
      const WordVector b = RandomWords(rng, n, shape);
      ASSERT_TRUE(CheckProduct(Method::Dispatcher, a, &b, rng));
      ASSERT_TRUE(CheckProduct(Method::Dispatcher, a, nullptr, rng));
    }
  }
}

// The method against the basecase at the given lengths and at every small
// length from smallest to largestSmall.
void CheckMethodAtLengths(Method method, bool square, std::vector<int32_t> lengths,
                          int32_t smallest, int32_t largestSmall) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = smallest; n <= largestSmall; ++n) {
    lengths.push_back(n);
  }
  for (int32_t n : lengths) {
    CheckAllShapes(method, square, n, rng);
  }
}

TEST(WordsMulTest, KaratsubaAgreesWithBasecaseAtThresholds) {
  CheckMethodAtLengths(Method::Karatsuba, false,
                       Around({MulKaratsubaThreshold, 2 * MulKaratsubaThreshold,
                               MulToom3Threshold, 2 * MulToom3Threshold},
                              2),
                       2, 12);
}

TEST(WordsMulTest, SqrKaratsubaAgreesWithBasecaseAtThresholds) {
  CheckMethodAtLengths(Method::Karatsuba, true,
                       Around({SqrKaratsubaThreshold, 2 * SqrKaratsubaThreshold,
                               SqrToom3Threshold, 2 * SqrToom3Threshold},
                              2),
                       2, 12);
}

// Around the thresholds, and where the pieces (n + 2) / 3 themselves cross
// into Karatsuba and Toom-3; each point covers n mod 3 = 0, 1 and 2.
TEST(WordsMulTest, Toom3AgreesWithBasecaseAtThresholds) {
  CheckMethodAtLengths(
      Method::Toom3, false,
      Around({MulToom3Threshold, 3 * MulKaratsubaThreshold, 3 * MulToom3Threshold}, 3), 5, 14);
}

TEST(WordsMulTest, SqrToom3AgreesWithBasecaseAtThresholds) {
  CheckMethodAtLengths(
      Method::Toom3, true,
      Around({SqrToom3Threshold, 3 * SqrKaratsubaThreshold, 3 * SqrToom3Threshold}, 3), 5, 14);
}

TEST(WordsMulTest, EqualHalvesGiveZeroCrossDifference) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n : Around({MulKaratsubaThreshold, SqrKaratsubaThreshold, 2 * MulKaratsubaThreshold,
                           MulToom3Threshold - 1},
                          1)) {
    for (WordShape shape : AllWordShapes) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", " << ShapeName(shape));
      WordVector a = RandomWords(rng, n, shape);
      WordVector b = RandomWords(rng, n, WordShape::Uniform);
      MakeHalvesEqual(a);
      // One zero difference, then both.
      ASSERT_TRUE(CheckProduct(Method::Karatsuba, a, &b, rng));
      ASSERT_TRUE(CheckProduct(Method::Karatsuba, b, &a, rng));
      MakeHalvesEqual(b);
      ASSERT_TRUE(CheckProduct(Method::Karatsuba, a, &b, rng));
      ASSERT_TRUE(CheckProduct(Method::Karatsuba, a, nullptr, rng));
    }
  }
}

// The cross differences of opposite and of equal signs, at every split.
TEST(WordsMulTest, KaratsubaSignsOfCrossDifferences) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n : {32, 33, 64, 65}) {
    const int32_t l = n - n / 2;
    for (int pattern = 0; pattern < 4; ++pattern) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", pattern " << pattern);
      WordVector a = RandomWords(rng, n, WordShape::Uniform);
      WordVector b = RandomWords(rng, n, WordShape::Uniform);
      // Bit 0: a0 < a1, bit 1: b0 < b1 (the top words decide).
      a[static_cast<size_t>(l - 1)] = (pattern & 1) ? 0 : ~Word{0};
      a[static_cast<size_t>(n - 1)] = (pattern & 1) ? ~Word{0} : 0;
      b[static_cast<size_t>(l - 1)] = (pattern & 2) ? 0 : ~Word{0};
      b[static_cast<size_t>(n - 1)] = (pattern & 2) ? ~Word{0} : 0;
      ASSERT_TRUE(CheckProduct(Method::Karatsuba, a, &b, rng));
    }
  }
}

// A few large products through every method; kept few for the sanitizer
// build.
TEST(WordsMulTest, LargeLengthsAgreeWithGmp) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n : {1000, 2048, 2049, 4096}) {
    SCOPED_TRACE(testing::Message() << "n = " << n);
    const WordVector a = RandomWords(rng, n, WordShape::Uniform);
    const WordVector b = RandomWords(rng, n, n == 4096 ? WordShape::AllOnes : WordShape::Runs);
    ASSERT_TRUE(CheckProduct(Method::Dispatcher, a, &b, rng));
    ASSERT_TRUE(CheckProduct(Method::Dispatcher, b, nullptr, rng));
  }
  for (int32_t n : {1537, 4095}) {
    SCOPED_TRACE(testing::Message() << "n = " << n);
    const WordVector a = RandomWords(rng, n, WordShape::AllOnes);
    const WordVector b = RandomWords(rng, n, WordShape::Uniform);
    ASSERT_TRUE(CheckProduct(Method::Toom3, a, &b, rng));
    ASSERT_TRUE(CheckProduct(Method::Toom3, a, nullptr, rng));
    ASSERT_TRUE(CheckProduct(Method::Karatsuba, b, &a, rng));
  }
}

TEST(WordsMulTest, RandomLengthsAgreeWithGmp) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t round = 0; round < Scaled(30); ++round) {
    const auto n = static_cast<int32_t>(300 + rng() % 1200);
    const WordShape shape = AllWordShapes[rng() % 3];
    SCOPED_TRACE(testing::Message() << "n = " << n << ", " << ShapeName(shape));
    const WordVector a = RandomWords(rng, n, shape);
    const WordVector b = RandomWords(rng, n, WordShape::Uniform);
    ASSERT_TRUE(CheckProduct(Method::Dispatcher, a, &b, rng));
    ASSERT_TRUE(CheckProduct(Method::Dispatcher, a, nullptr, rng));
  }
}

}  // namespace
}  // namespace karvo::wordstest
