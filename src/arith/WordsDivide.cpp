// Division by one word: plain, by reciprocal, and exact (Hensel) division.

#include "arith/Words.h"

namespace karvo {

const uint8_t ByteInverseTable[128] = {
    0x01, 0xAB, 0xCD, 0xB7, 0x39, 0xA3, 0xC5, 0xEF, 0xF1, 0x1B, 0x3D, 0xA7, 0x29, 0x13, 0x35, 0xDF,
    0xE1, 0x8B, 0xAD, 0x97, 0x19, 0x83, 0xA5, 0xCF, 0xD1, 0xFB, 0x1D, 0x87, 0x09, 0xF3, 0x15, 0xBF,
    0xC1, 0x6B, 0x8D, 0x77, 0xF9, 0x63, 0x85, 0xAF, 0xB1, 0xDB, 0xFD, 0x67, 0xE9, 0xD3, 0xF5, 0x9F,
    0xA1, 0x4B, 0x6D, 0x57, 0xD9, 0x43, 0x65, 0x8F, 0x91, 0xBB, 0xDD, 0x47, 0xC9, 0xB3, 0xD5, 0x7F,
    0x81, 0x2B, 0x4D, 0x37, 0xB9, 0x23, 0x45, 0x6F, 0x71, 0x9B, 0xBD, 0x27, 0xA9, 0x93, 0xB5, 0x5F,
    0x61, 0x0B, 0x2D, 0x17, 0x99, 0x03, 0x25, 0x4F, 0x51, 0x7B, 0x9D, 0x07, 0x89, 0x73, 0x95, 0x3F,
    0x41, 0xEB, 0x0D, 0xF7, 0x79, 0xE3, 0x05, 0x2F, 0x31, 0x5B, 0x7D, 0xE7, 0x69, 0x53, 0x75, 0x1F,
    0x21, 0xCB, 0xED, 0xD7, 0x59, 0xC3, 0xE5, 0x0F, 0x11, 0x3B, 0x5D, 0xC7, 0x49, 0x33, 0x55, 0xFF,
};

Word WordsDivWord(Word* a, int32_t n, Word d) {
  if (d == 1) {
    return 0;
  }
  DWord r = 0;
  for (int32_t i = n - 1; i >= 0; --i) {
    const DWord x = (r << 32) | a[i];
    a[i] = static_cast<Word>(x / d);
    r = x % d;
  }
  return static_cast<Word>(r);
}

namespace {

// Below this many words the divisions cost less than setting up the
// reciprocal.
constexpr int32_t ModReciprocalFrom = 5;

// (u1·2^32 + u0) mod d for normalised d (top bit set) and u1 < d, with
// v = floor((2^64-1)/d) - 2^32: a quotient estimate from one product,
// one or two too small, then corrected without a data-dependent branch
// in the common step (Möller and Granlund, "Improved division by invariant
// integers", 2011).
inline Word ModStep(Word u1, Word u0, Word d, Word v) {
  const DWord q = DWord{v} * u1 + ((DWord{u1} << 32) | u0);
  const Word q1 = static_cast<Word>(q >> 32) + 1;
  const Word q0 = static_cast<Word>(q);
  Word r = u0 - q1 * d;
  r += d & (0u - static_cast<Word>(r > q0));
  if (r >= d) {
    r -= d;
  }
  return r;
}

}  // namespace

Word WordsModWord(const Word* a, int32_t n, Word d) {
  if (n < ModReciprocalFrom) {
    DWord r = 0;
    for (int32_t i = n - 1; i >= 0; --i) {
      r = ((r << 32) | a[i]) % d;
    }
    return static_cast<Word>(r);
  }
  // Work modulo d·2^s, which has its top bit set, so the dividend needs no
  // shifting; d divides d·2^s, so one last division gives the remainder.
  const int s = __builtin_clz(d);
  const Word normal = d << s;
  const Word v = static_cast<Word>(~DWord{0} / normal - (DWord{1} << 32));
  Word r = a[n - 1] >= normal ? a[n - 1] - normal : a[n - 1];
  for (int32_t i = n - 2; i >= 0; --i) {
    r = ModStep(r, a[i], normal, v);
  }
  return r % d;
}

Word WordsModExactOdd(const Word* a, int32_t n, Word c, Word d) {
  return WordsModExactOddInv(a, n, c, d, WordInverse(d));
}

Word WordsModExactOddInv(const Word* a, int32_t n, Word c, Word d, Word inv) {
  for (int32_t i = 0; i < n; ++i) {
    const Word x = a[i];
    const Word borrow = x < c ? 1 : 0;
    const Word q = (x - c) * inv;
    c = static_cast<Word>((DWord{q} * d) >> 32) + borrow;
  }
  return c;
}

void WordsDivExactOdd(Word* a, int32_t n, Word inv, Word d) {
  Word c = 0;
  for (int32_t i = 0; i < n; ++i) {
    const Word x = a[i];
    const Word borrow = x < c ? 1 : 0;
    const Word q = (x - c) * inv;
    a[i] = q;
    c = static_cast<Word>((DWord{q} * d) >> 32) + borrow;
  }
}

Word WordInverse(Word d) {
  // Each Newton step x := x·(2 - d·x) doubles the correct low bits: 8, 16, 32.
  Word x = ByteInverseTable[(d >> 1) & 127];
  x *= 2 - d * x;
  x *= 2 - d * x;
  return x;
}

Word WordsMod3(const Word* a, int32_t n) {
  // 2^32 ≡ 1 (mod 3): the words' sum has the same residue; 64 bits hold the
  // sum of any array an int32_t count can describe.
  DWord sum = 0;
  for (int32_t i = 0; i < n; ++i) {
    sum += a[i];
  }
  return static_cast<Word>(sum % 3);
}

}  // namespace karvo
