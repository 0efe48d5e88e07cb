// Low-half products by recursion on unequal halves, and REDC as two
// products: q := t·(-n^-1) mod B^k as a low half, then (t + q·n)/B^k.

#include "arith/WordsRedc.h"

#include <algorithm>

#include "arith/WordsLimbs.h"
#include "arith/WordsThresholds.h"

namespace karvo {

namespace {

// Words of the upper part when {a, n}·{b, n} mod B^n splits at n - h: the
// full product of the lower parts plus two low halves of h words. A
// shorter upper part moves work into the full product, which pays less per
// word than the recursion the low halves would otherwise need.
constexpr int32_t MulLowUpper(int32_t n) { return n * MulLowUpperEighths / 8; }

// Rows of two words, each cut off at word n.
void MulLowBasecase(Word* dst, const Word* a, const Word* b, int32_t n) {
  if (n == 1) {
    dst[0] = a[0] * b[0];
    return;
  }
  limbs::Mul1(dst, a, n, limbs::Load64(b));
  int32_t j = 2;
  for (; j + 2 <= n; j += 2) {
    limbs::AddMul1(dst + j, a, n - j, limbs::Load64(b + j));
  }
  if (j < n) {
    dst[n - 1] += a[0] * b[n - 1];
  }
}

// The wrap-around product runs on a length that splits well, rounded up to
// eight words once it is long enough to split at all.
int32_t WrapWords(int32_t k) { return k < 2 * MulWrapSplitFrom ? k : (k + 7) & ~7; }

}  // namespace

int32_t WordsMulLowScratchSize(int32_t n) {
  if (n < MulLowSplitFrom) {
    return 0;
  }
  const int32_t h = MulLowUpper(n);
  return 2 * (n - h) + h + WordsMulLowScratchSize(h);
}

void WordsMulLow(Word* dst, const Word* a, const Word* b, int32_t n, Word* scratch) {
  if (n < MulLowSplitFrom) {
    MulLowBasecase(dst, a, b, n);
    return;
  }
  const int32_t h = MulLowUpper(n);
  const int32_t l = n - h;
  Word* full = scratch;
  Word* part = full + 2 * l;
  Word* below = part + h;
  WordsMul(full, a, b, l);
  WordsMulLow(part, a + l, b, h, below);
  limbs::AddN(full + l, full + l, part, h);
  WordsMulLow(part, a, b + l, h, below);
  limbs::AddN(full + l, full + l, part, h);
  WordsCopy(full, dst, n);
}

int32_t WordsRedcScratchSize(int32_t k) {
  const int32_t kw = WrapWords(k);
  return 3 * kw + std::max(WordsMulLowScratchSize(k), WordsMulWrapScratchSize(kw));
}

// Newton's step doubles the words of x = n^-1: with n·x = 1 + B^m·d mod
// B^2m, x - B^m·(x·d) is exact to 2m words.
void WordsMinusInverse(Word* dst, const Word* n, int32_t k, Word* scratch) {
  Word* e = scratch;
  Word* padded = e + k;
  Word* f = padded + k;
  Word* below = f + k;
  dst[0] = WordInverse(n[0]);
  for (int32_t m = 1; m < k;) {
    const int32_t m2 = std::min(2 * m, k);
    WordsCopy(dst, padded, m);
    WordsFill(0, padded + m, m2 - m);
    WordsMulLow(e, n, padded, m2, below);
    WordsMulLow(f, dst, e + m, m2 - m, below);
    WordsFill(0, dst + m, m2 - m);
    limbs::SubN(dst + m, dst + m, f, m2 - m);
    m = m2;
  }
  WordsCopy(dst, padded, k);
  WordsFill(0, dst, k);
  limbs::SubN(dst, dst, padded, k);
}

// q·n = H·B^k + L with L = -t_lo mod B^k known, so H comes from q·n mod
// B^kw - 1 with kw ≥ k: that is H·B^k + L, and H·B^k is H rotated by k
// words. H < n < B^k - 1, so its residue is exact once B^kw - 1 is read as
// 0. The low halves of t and q·n add up to 0 or B^k, the latter exactly
// when t's is not zero.
void WordsRedcByProducts(Word* r, const Word* t, const Word* n, const Word* minusInverse,
                         int32_t k, Word* scratch) {
  const int32_t kw = WrapWords(k);
  Word* q = scratch;
  Word* padded = q + kw;
  Word* w = padded + kw;
  Word* below = w + kw;
  WordsMulLow(q, t, minusInverse, k, below);
  WordsFill(0, q + k, kw - k);
  WordsCopy(n, padded, k);
  WordsFill(0, padded + k, kw - k);
  WordsMulWrap(w, q, padded, kw, below);
  bool lowCarry = false;
  for (int32_t i = 0; i < k; ++i) {
    lowCarry |= t[i] != 0;
    q[i] = ~t[i];
  }
  WordsAddWord(1, q, k);
  if (limbs::SubN(w, w, q, kw) != 0) {
    limbs::SubWord(w, kw, 1);
  }
  if (std::all_of(w, w + kw, [](Word x) { return x == ~Word{0}; })) {
    WordsFill(0, w, kw);
  }
  Word* high = padded;
  WordsCopy(w + k, high, kw - k);
  WordsCopy(w, high + kw - k, 2 * k - kw);
  Word carry = limbs::AddN(r, t + k, high, k);
  carry += WordsAddWord(lowCarry ? 1 : 0, r, k);
  if (carry != 0) {
    limbs::SubN(r, r, n, k);
  }
}

}  // namespace karvo
