#pragma once

// Low halves of products and REDC by whole products, for moduli long enough
// that the subquadratic products beat the word-by-word reduction.

#include <cstdint>

#include "arith/Words.h"

namespace karvo {

// {dst, n} := {a, n}·{b, n} mod B^n; dst overlaps neither source; scratch
// holds WordsMulLowScratchSize(n) words.
void WordsMulLow(Word* dst, const Word* a, const Word* b, int32_t n, Word* scratch);
int32_t WordsMulLowScratchSize(int32_t n);

// {r, k} := {a, k}·{b, k} mod B^k - 1, where B^k - 1 may stand for 0; r
// overlaps neither source; scratch holds WordsMulWrapScratchSize(k) words.
void WordsMulWrap(Word* r, const Word* a, const Word* b, int32_t k, Word* scratch);
int32_t WordsMulWrapScratchSize(int32_t k);

// {dst, k} := -{n, k}^-1 mod B^k for odd n; scratch holds
// WordsRedcScratchSize(k) words.
void WordsMinusInverse(Word* dst, const Word* n, int32_t k, Word* scratch);

// {r, k} := ({t, 2k} + q·{n, k})/B^k with q := {t, k}·{minusInverse, k}
// mod B^k, less n once when that reaches B^k: REDC, below B^k for t below
// B^(2k). r overlaps none of the others; scratch holds WordsRedcScratchSize(k)
// words.
void WordsRedcByProducts(Word* r, const Word* t, const Word* n, const Word* minusInverse,
                         int32_t k, Word* scratch);
int32_t WordsRedcScratchSize(int32_t k);

}  // namespace karvo
