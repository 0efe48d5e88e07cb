#pragma once

// Test-only helpers of the word-kernel tests: operands of chosen shapes,
// conversion to GMP's 64-bit limbs (two words per limb, an odd length padded
// with a zero word) and arrays fenced by guard words.

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "arith/Words.h"
#include "support/TestEnv.h"

namespace karvo::wordstest {

using test::TestMultiplier;
using test::TestSeed;

using WordVector = std::vector<Word>;
using LimbVector = std::vector<mp_limb_t>;

// Random source of one test: the run's seed mixed with the test's name, so a
// failure replays alone under the printed KARVO_TEST_SEED.
inline std::mt19937_64 WordsRandom() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(info->test_suite_name()) + "." + info->name();
  return std::mt19937_64(TestSeed() ^ std::hash<std::string>{}(name));
}

inline std::string SeedTrace() { return "KARVO_TEST_SEED=" + std::to_string(TestSeed()); }

// Random cases scale with KARVO_TEST_MULTIPLIER.
inline int32_t Scaled(int32_t base) { return base * TestMultiplier(); }

enum class WordShape {
  Uniform,  // independent uniform words
  AllOnes,  // every word 0xFFFFFFFF: the longest carry chains
  Runs,     // long runs of ones and zeros, as GMP's random2 draws them
};

inline const char* ShapeName(WordShape shape) {
  switch (shape) {
    case WordShape::Uniform:
      return "uniform";
    case WordShape::AllOnes:
      return "all-ones";
    case WordShape::Runs:
      return "runs";
  }
  return "?";
}

inline constexpr WordShape AllWordShapes[] = {WordShape::Uniform, WordShape::AllOnes,
                                              WordShape::Runs};

inline WordVector RandomWords(std::mt19937_64& rng, int32_t n, WordShape shape) {
  WordVector words(static_cast<size_t>(n), 0);
  switch (shape) {
    case WordShape::Uniform:
      for (Word& w : words) {
        w = static_cast<Word>(rng());
      }
      break;
    case WordShape::AllOnes:
      for (Word& w : words) {
        w = ~Word{0};
      }
      break;
    case WordShape::Runs: {
      // Runs of 1 to 96 bits, now and then a run of several words.
      const int64_t bits = int64_t{32} * n;
      bool one = (rng() & 1) != 0;
      for (int64_t pos = 0; pos < bits;) {
        int64_t run = 1 + static_cast<int64_t>(rng() % 96);
        if (rng() % 8 == 0) {
          run *= 8;
        }
        for (int64_t end = std::min(bits, pos + run); pos < end; ++pos) {
          if (one) {
            words[static_cast<size_t>(pos / 32)] |= Word{1} << (pos % 32);
          }
        }
        one = !one;
      }
      break;
    }
  }
  return words;
}

// Two words to a limb, low word first; an odd count gets a zero high half.
inline LimbVector ToLimbs(const Word* words, int32_t n) {
  LimbVector limbs(static_cast<size_t>((n + 1) / 2), 0);
  for (int32_t i = 0; i < n; ++i) {
    limbs[static_cast<size_t>(i / 2)] |= mp_limb_t{words[i]} << (32 * (i & 1));
  }
  return limbs;
}

inline LimbVector ToLimbs(const WordVector& words) {
  return ToLimbs(words.data(), static_cast<int32_t>(words.size()));
}

// The first n words of a limb array.
inline WordVector ToWords(const mp_limb_t* limbs, int32_t n) {
  WordVector words(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    words[static_cast<size_t>(i)] = static_cast<Word>(limbs[i / 2] >> (32 * (i & 1)));
  }
  return words;
}

// {a, an}·{b, bn} by mpn_mul and {a, n}^2 by mpn_sqr, as words.
inline WordVector GmpProduct(const Word* a, int32_t an, const Word* b, int32_t bn) {
  LimbVector la = ToLimbs(a, an);
  LimbVector lb = ToLimbs(b, bn);
  if (la.size() < lb.size()) {
    std::swap(la, lb);
  }
  LimbVector product(la.size() + lb.size());
  mpn_mul(product.data(), la.data(), static_cast<mp_size_t>(la.size()), lb.data(),
          static_cast<mp_size_t>(lb.size()));
  return ToWords(product.data(), an + bn);
}

inline WordVector GmpSquare(const Word* a, int32_t n) {
  const LimbVector la = ToLimbs(a, n);
  LimbVector square(2 * la.size());
  mpn_sqr(square.data(), la.data(), static_cast<mp_size_t>(la.size()));
  return ToWords(square.data(), 2 * n);
}

// An array of n words with guard words on both sides; Intact() tells whether
// a routine wrote outside it. The words start as garbage, so no routine can
// lean on a zeroed destination or scratch.
class Guarded {
 public:
  static constexpr int32_t GuardWords = 16;

  Guarded(int32_t n, std::mt19937_64& rng)
      : n_(n), storage_(static_cast<size_t>(n + 2 * GuardWords)) {
    for (size_t i = 0; i < storage_.size(); ++i) {
      storage_[i] = Pattern(i);
    }
    for (int32_t i = 0; i < n; ++i) {
      data()[i] = static_cast<Word>(rng());
    }
  }

  Word* data() { return storage_.data() + GuardWords; }
  WordVector Contents() const {
    return WordVector(storage_.begin() + GuardWords, storage_.begin() + GuardWords + n_);
  }

  bool Intact() const {
    for (size_t i = 0; i < GuardWords; ++i) {
      const size_t high = storage_.size() - 1 - i;
      if (storage_[i] != Pattern(i) || storage_[high] != Pattern(high)) {
        return false;
      }
    }
    return true;
  }

 private:
  static Word Pattern(size_t i) { return 0xDEADBEEFu ^ static_cast<Word>(i * 0x9E3779B9u); }

  int32_t n_;
  WordVector storage_;
};

}  // namespace karvo::wordstest
