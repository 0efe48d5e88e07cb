// Additions, subtractions, single-word products, shifts and bit routines.

#include "arith/Words.h"

#include <cstring>

#include "arith/WordsLimbs.h"

namespace karvo {

using limbs::Accumulate;
using limbs::AddCarry;
using limbs::DLimb;
using limbs::Limb;
using limbs::Load64;
using limbs::MulWide;
using limbs::Store64;

namespace limbs {

namespace {

// One limb of a multiply-accumulate row: x·k plus two limbs cannot
// overflow 128 bits, since (2^64-1)^2 + 2·(2^64-1) = 2^128-1.
template <bool AddToDst>
inline void MulStep(Word* dst, const Word* src, Limb k, Limb& carry) {
  Limb lo;
  Limb hi;
  MulWide(Load64(src), k, lo, hi);
  if constexpr (AddToDst) {
    Accumulate(lo, hi, Load64(dst));
  }
  Accumulate(lo, hi, carry);
  Store64(dst, lo);
  carry = hi;
}

template <bool AddToDst>
Limb MulRow(Word* dst, const Word* src, int32_t n, Limb k) {
  Limb carry = 0;
  int32_t i = 0;
  if (UseAdxRows && n >= 2) {
    carry = AdxRow<AddToDst>(dst, src, n >> 1, k);
    i = n & ~1;
  }
  for (; i + 8 <= n; i += 8) {
    MulStep<AddToDst>(dst + i, src + i, k, carry);
    MulStep<AddToDst>(dst + i + 2, src + i + 2, k, carry);
    MulStep<AddToDst>(dst + i + 4, src + i + 4, k, carry);
    MulStep<AddToDst>(dst + i + 6, src + i + 6, k, carry);
  }
  for (; i + 2 <= n; i += 2) {
    MulStep<AddToDst>(dst + i, src + i, k, carry);
  }
  if (i < n) {
    // 64 × 32 bits plus two carries stays below 2^96.
    DLimb t = DLimb{k} * src[i] + carry;
    if constexpr (AddToDst) {
      t += dst[i];
    }
    dst[i] = static_cast<Word>(t);
    carry = static_cast<Limb>(t >> 32);
  }
  return carry;
}

template <bool Subtract>
inline Limb AddSubStep(Limb a, Limb b, unsigned char& carry) {
  if constexpr (Subtract) {
    return SubBorrow(a, b, carry);
  } else {
    return AddCarry(a, b, carry);
  }
}

template <bool Subtract>
Word AddSubN(Word* dst, const Word* a, const Word* b, int32_t n) {
  unsigned char carry = 0;
  int32_t i = 0;
  // Each limb is stored as soon as it is formed: gathering four first lets
  // g++ pair the stores through the stack.
  for (; i + 8 <= n; i += 8) {
    Store64(dst + i, AddSubStep<Subtract>(Load64(a + i), Load64(b + i), carry));
    Store64(dst + i + 2, AddSubStep<Subtract>(Load64(a + i + 2), Load64(b + i + 2), carry));
    Store64(dst + i + 4, AddSubStep<Subtract>(Load64(a + i + 4), Load64(b + i + 4), carry));
    Store64(dst + i + 6, AddSubStep<Subtract>(Load64(a + i + 6), Load64(b + i + 6), carry));
  }
  for (; i + 2 <= n; i += 2) {
    Store64(dst + i, AddSubStep<Subtract>(Load64(a + i), Load64(b + i), carry));
  }
  if (i < n) {
    // The 32-bit tail: a 64-bit difference or sum carries its flag in bit 32.
    const DWord t = Subtract ? DWord{a[i]} - b[i] - carry : DWord{a[i]} + b[i] + carry;
    dst[i] = static_cast<Word>(t);
    carry = static_cast<unsigned char>((t >> 32) & 1);
  }
  return carry;
}

}  // namespace

Limb Mul1(Word* dst, const Word* src, int32_t n, Limb k) { return MulRow<false>(dst, src, n, k); }

Limb AddMul1(Word* dst, const Word* src, int32_t n, Limb k) { return MulRow<true>(dst, src, n, k); }

Word AddN(Word* dst, const Word* a, const Word* b, int32_t n) {
  return AddSubN<false>(dst, a, b, n);
}

Word SubN(Word* dst, const Word* a, const Word* b, int32_t n) {
  return AddSubN<true>(dst, a, b, n);
}

Limb SubMul1(Word* dst, const Word* src, int32_t n, Limb k) {
  Limb carry = 0;
  for (int32_t i = 0; i < n; i += 2) {
    Limb lo;
    Limb hi;
    MulWide(Load64(src + i), k, lo, hi);
    Accumulate(lo, hi, carry);
    const Limb before = Load64(dst + i);
    Store64(dst + i, before - lo);
    carry = hi + (before < lo ? 1 : 0);
  }
  return carry;
}

Word SubWord(Word* dst, int32_t n, Word w) {
  for (int32_t i = 0; i < n; ++i) {
    const Word x = dst[i];
    dst[i] = x - w;
    if (x >= w) {
      return 0;
    }
    w = 1;
  }
  return w;
}

}  // namespace limbs

Word WordsAddN(Word* dst, const Word* src, int32_t n) { return limbs::AddN(dst, dst, src, n); }

Word WordsAddWord(Word w, Word* dst, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const Word s = dst[i] + w;
    dst[i] = s;
    if (s >= w) {
      return 0;
    }
    w = 1;
  }
  return w;
}

void WordsIncrement(Word* dst, Word w) {
  const Word s = *dst + w;
  *dst = s;
  if (s < w) {
    while (++*++dst == 0) {
    }
  }
}

void WordsDecrement(Word* dst, Word w) {
  const Word x = *dst;
  *dst = x - w;
  if (x < w) {
    while ((*++dst)-- == 0) {
    }
  }
}

Word WordsSubN(Word* dst, const Word* src, int32_t n) { return 0u - limbs::SubN(dst, dst, src, n); }

Word WordsRevSubN(Word* dst, const Word* src, int32_t n) {
  return 0u - limbs::SubN(dst, src, dst, n);
}

Word WordsSub3(Word* dst, const Word* a, const Word* b, int32_t n) {
  return 0u - limbs::SubN(dst, a, b, n);
}

Word WordsMulWord(Word* dst, const Word* src, int32_t n, Word k) {
  if (k == 0) {
    WordsFill(0, dst, n);
    return 0;
  }
  if (k == 1) {
    WordsCopy(src, dst, n);
    return 0;
  }
  return static_cast<Word>(limbs::Mul1(dst, src, n, k));
}

Word WordsMulWordInPlace(Word* a, int32_t n, Word k) {
  if (k < 2) {
    return 0;
  }
  if (k == 2) {
    return WordsShiftLeftBits(a, n, 1);
  }
  return static_cast<Word>(limbs::Mul1(a, a, n, k));
}

namespace {

// {dst, n} += 2·{src, n}: the doubled limb takes the top bit of the limb
// below, so no multiplication is needed. Returns the carry word (0..2).
Word AddDoubled(Word* dst, const Word* src, int32_t n) {
  unsigned char carry = 0;
  Limb below = 0;
  int32_t i = 0;
  for (; i + 2 <= n; i += 2) {
    const Limb x = Load64(src + i);
    Store64(dst + i, AddCarry(Load64(dst + i), (x << 1) | (below >> 63), carry));
    below = x;
  }
  if (i < n) {
    const DWord t = DWord{dst[i]} + (DWord{src[i]} << 1) + (below >> 63) + carry;
    dst[i] = static_cast<Word>(t);
    return static_cast<Word>(t >> 32);
  }
  return static_cast<Word>((below >> 63) + carry);
}

}  // namespace

Word WordsAddMulWord(Word* dst, const Word* src, int32_t n, Word k) {
  switch (k) {
    case 0:
      return 0;
    case 1:
      return WordsAddN(dst, src, n);
    case 2:
      return AddDoubled(dst, src, n);
    default:
      return static_cast<Word>(limbs::AddMul1(dst, src, n, k));
  }
}

int WordsCompare(const Word* a, const Word* b, int32_t n) {
  for (int32_t i = n - 1; i >= 0; --i) {
    if (a[i] != b[i]) {
      return a[i] < b[i] ? -1 : 1;
    }
  }
  return 0;
}

int32_t WordsLowestBit(const Word* a, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    if (a[i] != 0) {
      return i * 32 + __builtin_ctz(a[i]);
    }
  }
  return -1;
}

namespace {

// Parallel count within a limb: pairs, nibbles, bytes, then the byte sums
// gathered by one multiplication (the portable build has no popcnt).
inline int32_t LimbPopCount(Limb x) {
  x -= (x >> 1) & 0x5555555555555555u;
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int32_t>((x * 0x0101010101010101u) >> 56);
}

}  // namespace

int32_t WordsPopCount(const Word* a, int32_t n) {
  int32_t count = 0;
  int32_t i = 0;
  for (; i + 2 <= n; i += 2) {
    count += LimbPopCount(Load64(a + i));
  }
  if (i < n) {
    count += LimbPopCount(a[i]);
  }
  return count;
}

void WordsXor(Word* dst, const Word* src, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    dst[i] ^= src[i];
  }
}

void WordsFill(Word value, Word* dst, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    dst[i] = value;
  }
}

void WordsCopy(const Word* src, Word* dst, int32_t n) {
  if (n > 0) {
    std::memmove(dst, src, static_cast<size_t>(n) * sizeof(Word));
  }
}

void WordsShiftUpWords(const Word* src, Word* dst, int32_t n, int32_t k) {
  WordsCopy(src, dst, n);
  WordsFill(0, dst - k, k);
}

Word WordsShiftLeftBits(Word* a, int32_t n, int s) {
  if (s == 0) {
    return 0;
  }
  const Word out = a[n - 1] >> (32 - s);
  // From the top down: each word takes the bits of the word below it, read
  // from a 64-bit window that the descending pass has not yet rewritten.
  int32_t i = n - 1;
  for (; i >= 2; i -= 2) {
    const Limb high = Load64(a + i - 1);
    Store64(a + i - 1, (high << s) | (a[i - 2] >> (32 - s)));
  }
  if (i == 1) {
    Store64(a, Load64(a) << s);
  } else {
    a[0] <<= s;
  }
  return out;
}

Word WordsShiftRightBits(Word* a, int32_t n, int s) {
  int32_t i = 0;
  for (; i + 2 < n; i += 2) {
    const Limb low = Load64(a + i);
    Store64(a + i, (low >> s) | (Limb{a[i + 2]} << (64 - s)));
  }
  if (i + 2 == n) {
    Store64(a + i, Load64(a + i) >> s);
  } else {
    a[i] >>= s;
  }
  return a[n - 1] == 0 ? 1 : 0;
}

bool WordsShiftRight1(Word* a, int32_t n) {
  const bool topWasOne = a[n - 1] == 1;
  WordsShiftRightBits(a, n, 1);
  return topWasOne;
}

}  // namespace karvo
