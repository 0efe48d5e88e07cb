// Products modulo B^k - 1, which cost about half a full product: for even k
// the residues modulo B^(k/2) - 1 (by recursion) and B^(k/2) + 1 (one
// product of half length) are joined by the Chinese remainder theorem.

#include <algorithm>

#include "arith/WordsLimbs.h"
#include "arith/WordsRedc.h"
#include "arith/WordsThresholds.h"

namespace karvo {

namespace {

bool SplitsWrap(int32_t k) { return k % 2 == 0 && k / 2 >= MulWrapSplitFrom; }

// {r, m} := {x, m} + {y, m} mod B^m - 1; the result may be B^m - 1 for 0.
// The sum is below 2B^m - 1, so the carry, added back, never carries again.
void AddWrap(Word* r, const Word* x, const Word* y, int32_t m) {
  WordsAddWord(limbs::AddN(r, x, y, m), r, m);
}

// {r, m} and the returned top word := {x, m} - {y, m} mod B^m + 1, in
// 0..B^m: a borrow leaves x - y + B^m, one short of the value.
Word SubModPlusOne(Word* r, const Word* x, const Word* y, int32_t m) {
  return limbs::SubN(r, x, y, m) != 0 ? WordsAddWord(1, r, m) : 0;
}

// {r, 2k} := {a, k}·{b, k}, folded: the low and high halves added mod
// B^k - 1.
void FoldedProduct(Word* r, const Word* a, const Word* b, int32_t k, Word* scratch) {
  WordsMul(scratch, a, b, k);
  AddWrap(r, scratch, scratch + k, k);
}

}  // namespace

int32_t WordsMulWrapScratchSize(int32_t k) {
  if (!SplitsWrap(k)) {
    return 2 * k;
  }
  const int32_t m = k / 2;
  return 3 * m + 2 + std::max(2 * m + 2, WordsMulWrapScratchSize(m));
}

void WordsMulWrap(Word* r, const Word* a, const Word* b, int32_t k, Word* scratch) {
  if (!SplitsWrap(k)) {
    FoldedProduct(r, a, b, k, scratch);
    return;
  }
  const int32_t m = k / 2;
  Word* ap = scratch;    // m + 1 words, first a mod B^m - 1 in m
  Word* bp = ap + m + 1; // m + 1 words, first b mod B^m - 1 in m
  Word* x1 = bp + m + 1;
  Word* product = x1 + m;
  AddWrap(ap, a, a + m, m);
  AddWrap(bp, b, b + m, m);
  WordsMulWrap(x1, ap, bp, m, product);
  // Modulo B^m + 1 the operands are a_lo - a_hi in 0..B^m, so their product
  // is at most B^2m; a top word of 1 leaves the m words below it zero, so it
  // adds the other operand once, above an m-word product.
  ap[m] = SubModPlusOne(ap, a, a + m, m);
  bp[m] = SubModPlusOne(bp, b, b + m, m);
  WordsMul(product, ap, bp, m);
  product[2 * m] = 0;
  if (ap[m] != 0) {
    product[2 * m] += limbs::AddN(product + m, product + m, bp, m) + bp[m];
  }
  if (bp[m] != 0) {
    product[2 * m] += limbs::AddN(product + m, product + m, ap, m);
  }
  Word* x2 = product;
  Word top = SubModPlusOne(x2, product, product + m, m);
  top += WordsAddWord(product[2 * m], x2, m);
  // y = x2 + t·(B^m + 1) with t = (x1 - x2)/2 mod B^m - 1: halving modulo
  // B^m - 1 is a rotation by one bit. Each subtraction wraps with at most
  // one extra borrow.
  if (limbs::SubN(x1, x1, x2, m) != 0) {
    limbs::SubWord(x1, m, 1);
  }
  if (limbs::SubWord(x1, m, top) != 0) {
    limbs::SubWord(x1, m, 1);
  }
  const Word lowBit = x1[0] & 1;
  WordsShiftRightBits(x1, m, 1);
  x1[m - 1] |= lowBit << 31;
  const Word carry = limbs::AddN(r, x1, x2, m);
  WordsCopy(x1, r + m, m);
  if (WordsAddWord(carry + top, r + m, m) != 0) {
    WordsAddWord(1, r, k);
  }
}

}  // namespace karvo
