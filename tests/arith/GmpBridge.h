#pragma once

// Test-only bridge between BigInt and GMP's mpz, the reference that the Big*
// tests compare against (the value and the conversions are those of
// support/MpzValue.h), plus the invariant checker and the random operand
// generators they share.

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "arith/BigInt.h"
#include "support/MpzValue.h"

namespace karvo::test {

// Hexadecimal of an mpz (lower case, with "-"), for failure messages.
std::string MpzHex(mpz_srcptr v);
// The same as "-0x1f", middle digits elided for long values.
std::string MpzShown(mpz_srcptr v);
// The record's fields and words, read without trusting its invariants.
std::string BigDescribe(const BigInt& x);

// Invariants every operation keeps: Length normalised, Sign 0 or 1 and 0 on
// zero, Capacity a multiple of 8 and at least Length, words present.
testing::AssertionResult BigIsValid(const BigInt& x);
// Valid and equal to the reference value.
testing::AssertionResult BigMatches(const BigInt& x, mpz_srcptr expected);
testing::AssertionResult BigMatchesRecord(const BigInt& x, const BigInt& expected);

// How a random operand's words are drawn.
enum class Shape {
  Uniform,   // independent uniform words
  Runs,      // long runs of ones and zeros, as GMP's mpz_rrandomb
  AllOnes,   // every word 0xFFFFFFFF: maximal carries
  Halves,    // low half equal to the high half: zero cross differences
  Special,   // each word one of 0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF
};
const char* ShapeName(Shape shape);
inline constexpr Shape AllShapes[] = {Shape::Uniform, Shape::Runs, Shape::AllOnes, Shape::Halves,
                                      Shape::Special};

// Seeded from KARVO_TEST_SEED and the running test's name, so that a failing
// test replays alone with the printed seed.
class BigRandom {
 public:
  BigRandom();

  Word NextWord() { return static_cast<Word>(engine_()); }
  uint64_t Next64() { return engine_(); }
  // Uniform in lo..hi inclusive.
  int32_t Between(int32_t lo, int32_t hi);
  bool Coin() { return (engine_() & 1) != 0; }

  // Exactly count words (top word non-zero) of the given shape.
  std::vector<Word> Words(int32_t count, Shape shape);
  // Sets both records to the same random value of count words.
  void Operand(BigInt& x, mpz_ptr ref, int32_t count, Shape shape, int sign);
  // The same with a random sign.
  void SignedOperand(BigInt& x, mpz_ptr ref, int32_t count, Shape shape);

  std::mt19937_64& Engine() { return engine_; }

 private:
  std::mt19937_64 engine_;
};

// Every operand length from 1 to upTo words; the sequence repeats
// KARVO_TEST_MULTIPLIER times, with fresh operands each time.
std::vector<int32_t> TestLengths(int32_t upTo = 300);
// A few larger lengths: at and around the points where Toom-3 recurses into
// Toom-3 (3·196, 3·224), powers of two, n mod 3 = 0, 1, 2, up to 4096 words.
std::vector<int32_t> LargeLengths();

// Which records of a three-address operation z := x op y are the same.
enum class Alias {
  None,  // three distinct records
  ZisX,  // the result overwrites the first operand
  ZisY,  // the result overwrites the second operand
  XisY,  // both operands are one record, the result another
  All,   // one record for everything
};
const char* AliasName(Alias alias);

// One calling form of a binary operation: run receives the three records
// (some the same object, as alias says) and leaves the result in z.
struct BinaryForm {
  const char* name;
  Alias alias;
  void (*run)(BigInt& z, BigInt& x, BigInt& y);
  void (*reference)(mpz_ptr out, mpz_srcptr x, mpz_srcptr y);
};

inline void PrintTo(const BinaryForm& form, std::ostream* out) {
  *out << form.name << " (" << AliasName(form.alias) << ")";
}

// Runs the form on the given operands (y is ignored when x and y are one
// record) and checks the result against the reference, that it is valid, and
// that an operand which is not the result is left unchanged.
testing::AssertionResult CheckBinary(const BinaryForm& form, const std::vector<Word>& x, int xSign,
                                     const std::vector<Word>& y, int ySign);

// Random cases scale with KARVO_TEST_MULTIPLIER.
int32_t Rounds(int32_t base);

// Calls action and checks that it raises exactly the internal error with the
// given code ("1000.26.1"), and that the pool of temporaries is left as found.
testing::AssertionResult RaisesInternalError(const std::function<void()>& action,
                                             const std::string& code);

}  // namespace karvo::test
