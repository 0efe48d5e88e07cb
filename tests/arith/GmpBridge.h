#pragma once

// What the arith tests share: GMP as the reference (values and conversions of
// support/MpzValue.h), the record invariants, seeded operands of hard shapes,
// and the checks of internal errors and abort polling.

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

// Lengths in words at and around every switch of method: Karatsuba and
// Toom-3 for products and squares, Toom-3 recursing into itself, the
// modular-powering methods, plus small lengths.
std::vector<int32_t> ThresholdLengths();

int32_t Rounds(int32_t base);

// action raises exactly "Internal error <code>" and leaves the pool's mark.
testing::AssertionResult RaisesInternalError(const std::function<void()>& action, const std::string& code);

// With the poll flag raised, the handler confirms an abort at poll number at
// (1 = on entry) and raises the flag again before it: action must raise
// EKVAbort and leave the pool's mark. Polling is reset afterwards.
testing::AssertionResult AbortsAtPoll(const std::function<void()>& action, int32_t at);
void ResetPolling();

}  // namespace karvo::test
