#include <bit>

#include "arith/BigInt.h"
#include "arith/BigInternal.h"
#include "base/Errors.h"

namespace karvo {

namespace {
constexpr int64_t MaxShift = 536870912;  // 2^29 bits: 64 MiB of words
}

int32_t BigBitSize(const BigInt& x) {
  if (x.Length == 0) {
    return 0;
  }
  return 32 * (x.Length - 1) + (32 - std::countl_zero(x.Words[x.Length - 1]));
}

bool BigTestBit(const BigInt& x, int32_t k) {
  if (k < 0 || (k >> 5) >= x.Length) {
    return false;
  }
  return ((x.Words[k >> 5] >> (k & 31)) & 1) != 0;
}

void BigSetBit(BigInt& x, int32_t k) {
  if (k < 0 || k >= MaxShift) {
    InternalError(1000, 2, 1);
  }
  const int32_t word = k >> 5;
  if (word >= x.Length) {
    BigGrow(x, word + 1);
    WordsFill(0, x.Words + x.Length, word + 1 - x.Length);
    x.Length = word + 1;
  }
  x.Words[word] |= Word{1} << (k & 31);
}

Word BigBitField(const BigInt& x, int32_t k, int32_t n) {
  if (k < 0) {
    InternalError(1000, 9, 1);
  }
  if (n > 32) {
    InternalError(1000, 9, 2);
  }
  if (n <= 0) {
    return 0;
  }
  const int32_t word = k >> 5;
  auto at = [&x](int32_t i) -> uint64_t { return i < x.Length ? x.Words[i] : 0; };
  const uint64_t pair = (at(word) | (at(word + 1) << 32)) >> (k & 31);
  return static_cast<Word>(n == 32 ? pair : pair & ((uint64_t{1} << n) - 1));
}

// Shift without the caller-facing bound; BigPower needs shifts up to 2^31.
void ShiftLeftUnchecked(BigInt& x, int64_t k) {
  if (x.Length == 0 || k == 0) {
    return;
  }
  const auto wordShift = static_cast<int32_t>(k >> 5);
  const int bits = static_cast<int>(k & 31);
  const bool carries = bits != 0 && (x.Words[x.Length - 1] >> (32 - bits)) != 0;
  const int32_t length = x.Length;
  BigGrow(x, length + wordShift + (carries ? 1 : 0));
  if (wordShift > 0) {
    WordsShiftUpWords(x.Words, x.Words + wordShift, length, wordShift);
  }
  Word out = 0;
  if (bits != 0) {
    out = WordsShiftLeftBits(x.Words + wordShift, length, bits);
  }
  x.Length = length + wordShift;
  if (carries) {
    x.Words[x.Length++] = out;
  }
}

void BigShiftLeft(BigInt& x, int64_t k) {
  if (k < 0 || k > MaxShift) {
    InternalError(1000, 32, 1);
  }
  ShiftLeftUnchecked(x, k);
}

void BigShiftRight(BigInt& x, int64_t k) {
  if (k < 0 || k > MaxShift) {
    InternalError(1000, 33, 1);
  }
  if (x.Length == 0 || k == 0) {
    return;
  }
  const auto wordShift = static_cast<int32_t>(k >> 5);
  if (wordShift >= x.Length) {
    BigSetZero(x);
    return;
  }
  const int32_t length = x.Length - wordShift;
  if (wordShift > 0) {
    WordsCopy(x.Words + wordShift, x.Words, length);
  }
  if ((k & 31) != 0) {
    WordsShiftRightBits(x.Words, length, static_cast<int>(k & 31));
  }
  x.Length = length;
  BigNormalize(x);
}

void BigShiftLeft1(BigInt& x) { BigShiftLeft(x, 1); }

Word BigShiftRight1(BigInt& x) {
  if (x.Length == 0) {
    return 0;
  }
  const Word out = x.Words[0] & 1;
  WordsShiftRight1(x.Words, x.Length);
  BigNormalize(x);
  return out;
}

int32_t BigRemoveTrailingZeros(BigInt& x) {
  if (x.Length == 0) {
    return -1;
  }
  const int32_t zeros = WordsLowestBit(x.Words, x.Length);
  BigShiftRight(x, zeros);
  return zeros;
}

int32_t BigPopCount(const BigInt& x) { return WordsPopCount(x.Words, x.Length); }

void BigXor(BigInt& x, const BigInt& y) {
  if (&x == &y) {
    BigSetZero(x);
    return;
  }
  if (y.Length > x.Length) {
    BigGrow(x, y.Length);
    WordsFill(0, x.Words + x.Length, y.Length - x.Length);
    x.Length = y.Length;
  }
  if (y.Length > 0) {
    WordsXor(x.Words, y.Words, y.Length);
  }
  BigNormalize(x);
}

void BigNegate(BigInt& x) {
  if (x.Length > 0) {
    x.Sign ^= 1;
  }
}

void BigAbs(BigInt& x) { x.Sign = 0; }

}  // namespace karvo
