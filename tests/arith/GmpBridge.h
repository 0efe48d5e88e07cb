#pragma once

// Shared by the arith tests: GMP as the reference (support/MpzValue.h), seeded
// operands of hard shapes, and the checks of internal errors and abort polling.

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "arith/BigInt.h"
#include "support/MpzValue.h"

namespace karvo::test {

std::string MpzShown(mpz_srcptr v);
// Valid (normalised, Sign 0 or 1 and 0 on zero, Capacity a multiple of 8) and equal.
testing::AssertionResult BigMatches(const BigInt& x, mpz_srcptr expected);

enum class Shape { Uniform, Runs, AllOnes, Sparse, Halves, Special };
inline constexpr Shape AllShapes[] = {Shape::Uniform, Shape::Runs,   Shape::AllOnes,
                                      Shape::Sparse,  Shape::Halves, Shape::Special};

// Seeded from KARVO_TEST_SEED and the running test's name.
class BigRandom {
 public:
  BigRandom();
  Word NextWord() { return static_cast<Word>(engine_()); }
  int32_t Between(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(engine_); }
  bool Coin() { return (engine_() & 1) != 0; }
  // Exactly count words, the top one non-zero.
  std::vector<Word> Words(int32_t count, Shape shape);
  void Operand(BigInt& x, mpz_ptr ref, int32_t count, Shape shape, int sign);

 private:
  std::mt19937_64 engine_;
};

// Lengths in words around every switch of method (fast rows, Karatsuba, Toom-3
// and its recursion for products and squares, modular powering), plus small ones.
std::vector<int32_t> ThresholdLengths();
// Random cases scale with KARVO_TEST_MULTIPLIER.
int32_t Rounds(int32_t base);

// action raises exactly "Internal error <code>" and leaves the pool's mark.
testing::AssertionResult RaisesInternalError(const std::function<void()>& action, const std::string& code);
// The handler confirms an abort at poll number at (1 = on entry), raising the
// flag again before it: action must raise EKVAbort and leave the pool's mark.
testing::AssertionResult AbortsAtPoll(const std::function<void()>& action, int32_t at);
void ResetPolling();

}  // namespace karvo::test
