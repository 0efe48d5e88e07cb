#pragma once

// Word-array kernel: bare arrays of 32-bit words, least significant first,
// with explicit counts. Nothing here allocates (but the kept scratch of the
// dispatchers), checks its arguments or polls for aborts; callers do.
// Contracts are written GMP-style: {p, n} is the n-word number at p.

#include <cstdint>
#include <vector>

namespace karvo {

using Word = uint32_t;
using DWord = uint64_t;
using TDynSInt32Array = std::vector<int32_t>;

// Inverses modulo 2^8 of the odd bytes, indexed by (d >> 1) & 127.
extern const uint8_t ByteInverseTable[128];
// 3 · 0xAAAAAAAB ≡ 1 (mod 2^32): exact division by 3.
inline constexpr Word InverseOf3 = 0xAAAAAAABu;

// {dst, n} += {src, n}; returns the carry (0 or 1).
Word WordsAddN(Word* dst, const Word* src, int32_t n);
// Adds w into {dst, n}; returns the carry out of word n-1 (w itself if n < 1).
Word WordsAddWord(Word w, Word* dst, int32_t n);
// Adds w at dst and carries upward without bound; the caller guarantees room.
void WordsIncrement(Word* dst, Word w);
// Subtracts w at dst and borrows upward without bound; the caller guarantees dst ≥ w.
void WordsDecrement(Word* dst, Word w);
// {dst, n} -= {src, n}; returns 0 or 0xFFFFFFFF (borrow).
Word WordsSubN(Word* dst, const Word* src, int32_t n);
// {dst, n} := {src, n} - {dst, n}; returns 0 or 0xFFFFFFFF.
Word WordsRevSubN(Word* dst, const Word* src, int32_t n);
// {dst, n} := {a, n} - {b, n}; returns 0 or 0xFFFFFFFF. dst may equal a or b.
Word WordsSub3(Word* dst, const Word* a, const Word* b, int32_t n);
// {dst, n} := {src, n}·k; returns the high word. dst may equal src.
Word WordsMulWord(Word* dst, const Word* src, int32_t n, Word k);
// {a, n} := {a, n}·k; returns the high word. k < 2 leaves a and returns 0.
Word WordsMulWordInPlace(Word* a, int32_t n, Word k);
// {dst, n} += {src, n}·k; returns the carry word.
Word WordsAddMulWord(Word* dst, const Word* src, int32_t n, Word k);
// {a, n} := {a, n} div d in place; returns the remainder. d = 1 returns 0, a untouched.
Word WordsDivWord(Word* a, int32_t n, Word d);
// Returns {a, n} mod d; n = 0 returns 0.
Word WordsModWord(const Word* a, int32_t n, Word d);
// Hensel remainder of {a, n} by odd d with initial borrow c: 0 exactly when
// d divides a - c (c = 0 from every caller that tests divisibility).
Word WordsModExactOdd(const Word* a, int32_t n, Word c, Word d);
// The same with inv = d^-1 mod 2^32 given.
Word WordsModExactOddInv(const Word* a, int32_t n, Word c, Word d, Word inv);
// {a, n} := {a, n} / d when odd d divides it exactly; inv = d^-1 mod 2^32.
void WordsDivExactOdd(Word* a, int32_t n, Word inv, Word d);
// d^-1 mod 2^32 for odd d.
Word WordInverse(Word d);
// {a, n} mod 3.
Word WordsMod3(const Word* a, int32_t n);
// Sign of {a, n} - {b, n}: -1, 0 or 1; n = 0 gives 0.
int WordsCompare(const Word* a, const Word* b, int32_t n);
// Index of the lowest set bit of {a, n}, or -1 when it is zero.
int32_t WordsLowestBit(const Word* a, int32_t n);
int32_t WordsPopCount(const Word* a, int32_t n);
// {dst, n} ^= {src, n}.
void WordsXor(Word* dst, const Word* src, int32_t n);
void WordsFill(Word value, Word* dst, int32_t n);
// Ascending copy of n words; safe for a move towards lower addresses.
void WordsCopy(const Word* src, Word* dst, int32_t n);
// Descending copy of n words from src to dst (dst may lie k words above src),
// then zeroes the k words below dst.
void WordsShiftUpWords(const Word* src, Word* dst, int32_t n, int32_t k);
// {a, n} <<= s (0..31) in place; returns the bits shifted out of the top.
Word WordsShiftLeftBits(Word* a, int32_t n, int s);
// {a, n} >>= s (1..31) in place; returns 1 when the top word became zero.
Word WordsShiftRightBits(Word* a, int32_t n, int s);
// {a, n} >>= 1; returns true when the top word was 1 (it is now 0).
bool WordsShiftRight1(Word* a, int32_t n);

// Writes {dst, an+bn} := {a, an}·{b, bn}; 1 ≤ bn ≤ an; dst overlaps neither.
void WordsMulBasecase(Word* dst, const Word* a, const Word* b, int32_t bn, int32_t an);
// Writes {dst, 2n} := {a, n}^2; dst does not overlap a.
void WordsSqrBasecase(Word* dst, const Word* a, int32_t n);
// Writes {dst, 2n} := {a, n}·{b, n}; scratch holds WordsScratchSize(n) words;
// n ≥ 2 for Karatsuba, n ≥ 5 for Toom-3.
void WordsMulKaratsuba(Word* dst, const Word* a, const Word* b, Word* scratch, int32_t n);
void WordsSqrKaratsuba(Word* dst, const Word* a, int32_t n, Word* scratch);
void WordsMulToom3(Word* dst, const Word* a, const Word* b, Word* scratch, int32_t n);
void WordsSqrToom3(Word* dst, const Word* a, int32_t n, Word* scratch);
// Words of scratch that the Karatsuba and Toom-3 routines need for n words.
int32_t WordsScratchSize(int32_t n);
// Balanced product and square by size (thresholds in WordsThresholds.h):
// {dst, 2n} := {a, n}·{b, n}; dst overlaps neither source.
void WordsMul(Word* dst, const Word* a, const Word* b, int32_t n);
void WordsSqr(Word* dst, const Word* a, int32_t n);
// Gives back the scratch that the dispatchers keep between calls.
void WordsReleaseScratch();

}  // namespace karvo
