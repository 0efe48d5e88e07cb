#pragma once

// Kernel-private helpers. The interface counts 32-bit words, but the loops
// take two words at a time as one 64-bit limb: on x86-64 (little-endian)
// words 2i and 2i+1 of an array are exactly the limb i that starts there, at
// any word offset. Limbs are loaded and stored with memcpy, which compiles to
// plain moves and keeps the word arrays free of aliasing and alignment
// trouble; an odd count leaves one 32-bit word for a tail step.

#include <cstdint>

#include "arith/Words.h"

#if !defined(__x86_64__)
#error "the word kernel assumes x86-64: little-endian 64-bit limbs and carry builtins"
#endif

namespace karvo::limbs {

using Limb = uint64_t;
using DLimb = unsigned __int128;

inline Limb Load64(const Word* p) {
  Limb v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

inline void Store64(Word* p, Limb v) { __builtin_memcpy(p, &v, sizeof v); }

// Carry and borrow steps that the compiler turns into adc/sbb chains kept
// in the flags across an unrolled block; with g++ a plain __int128 sum
// spills instead. (clang, used by the fuzzing build, has its own builtins.)
inline Limb AddCarry(Limb a, Limb b, unsigned char& carry) {
  unsigned long long r;
#if defined(__clang__)
  unsigned long long out;
  r = __builtin_addcll(a, b, carry, &out);
  carry = static_cast<unsigned char>(out);
#else
  carry = __builtin_ia32_addcarryx_u64(carry, a, b, &r);
#endif
  return r;
}

inline Limb SubBorrow(Limb a, Limb b, unsigned char& borrow) {
  unsigned long long r;
#if defined(__clang__)
  unsigned long long out;
  r = __builtin_subcll(a, b, borrow, &out);
  borrow = static_cast<unsigned char>(out);
#else
  borrow = __builtin_ia32_sbb_u64(borrow, a, b, &r);
#endif
  return r;
}

// (hi, lo) := x·y.
inline void MulWide(Limb x, Limb y, Limb& lo, Limb& hi) {
  const DLimb p = DLimb{x} * y;
  lo = static_cast<Limb>(p);
  hi = static_cast<Limb>(p >> 64);
}

// (hi, lo) += v where the sum is known to fit: an add and an adc of zero.
// Written with __int128, the same sums make g++ spill to the stack.
inline void Accumulate(Limb& lo, Limb& hi, Limb v) {
  unsigned char carry = 0;
  lo = AddCarry(lo, v, carry);
  hi = AddCarry(hi, 0, carry);
}

// {dst, n} := {a, n} ± {b, n}; dst may equal a or b. Returns the carry or
// the borrow as 0 or 1. Out of line on purpose: inlined into a larger
// function, g++ 12 reloads every limb through the stack slot of the carry
// builtin.
Word AddN(Word* dst, const Word* a, const Word* b, int32_t n);
Word SubN(Word* dst, const Word* a, const Word* b, int32_t n);

// Whether the rows run on mulx, adcx and adox: set at start-up where the
// processor has them, unless KARVO_PORTABLE_KERNEL is set.
extern bool UseAdxRows;
// {dst, limbCount limbs} [+]= {src, limbCount limbs}·k for limbCount ≥ 1;
// returns the limb above. dst may equal src.
template <bool AddToDst>
Limb AdxRow(Word* dst, const Word* src, int32_t limbCount, Limb k);
// For each limb b_j of {b, bLimbs ≥ 1 limbs}: {dst + j limbs, aLimbs} +=
// {a, aLimbs}·b_j, with the limb above stored at limb j + aLimbs: the rows
// of a schoolbook product after its first, in one loop.
void AdxAddMulRows(Word* dst, const Word* a, int32_t aLimbs, const Word* b, int32_t bLimbs);
// The rows of the cross products of a square after its first: for
// j = 0..aLimbs-1, {dst + 2j limbs, aLimbs - j} += {a + j limbs, aLimbs - j}
// times b_j, with the limb above stored at limb j + aLimbs.
void AdxSqrRows(Word* dst, const Word* a, int32_t aLimbs, const Word* b);
// {dst, 2·aLimbs limbs} := 2·{dst, ...} + the squares a_k^2 at limb 2k: the
// cross products of a square, doubled, completed by its diagonal. The result
// must fit (it does when dst held the cross products of {a, aLimbs}).
void AdxSqrDiagonal(Word* dst, const Word* a, int32_t aLimbs);
// The steps of REDC: for j = 0..rows-1, u := t_j·minusInverse mod 2^64,
// {t + j limbs, nLimbs} += {n, nLimbs}·u (which clears t_j), and the limb
// above, due at limb j + nLimbs, parked at t_j.
void AdxRedcRows(Word* t, const Word* n, int32_t nLimbs, int32_t rows, Limb minusInverse);

// Column by column on mulx, for 1 ≤ m ≤ ColumnLimbsTo limbs: {dst, 2m limbs}
// := {a, m limbs}^2 or {a, m limbs}·{b, m limbs} (dst apart from both); and
// REDC of {t, 2m limbs} modulo {n, m limbs} into {r, m limbs} (apart from
// t), returning the limb above r (0 or 1).
void ColumnSqr(Word* dst, const Word* a, int32_t m);
void ColumnMul(Word* dst, const Word* a, const Word* b, int32_t m);
Limb ColumnRedc(Word* r, const Word* t, const Word* n, int32_t m, Limb minusInverse);

// {dst, n} := {src, n}·k (dst may equal src); returns the part above word
// n-1, which for odd n may exceed 32 bits.
Limb Mul1(Word* dst, const Word* src, int32_t n, Limb k);
// {dst, n} += {src, n}·k; returns the carry as Mul1 does.
Limb AddMul1(Word* dst, const Word* src, int32_t n, Limb k);
// {r, n} += {a, n}·(b0 + b1·2^64) for n ≥ 2, with the 128 bits above word
// n-1 stored at top (four words, which may be r's first four) instead of
// added above r.
void AddMul2(Word* r, const Word* a, int32_t n, Limb b0, Limb b1, Word* top);
// {dst, n} -= {src, n}·k for even n; returns the limb still to subtract
// above word n-1.
Limb SubMul1(Word* dst, const Word* src, int32_t n, Limb k);
// Subtracts w from {dst, n}, borrowing at most through n words; returns the
// borrow out (0 or 1).
Word SubWord(Word* dst, int32_t n, Word w);

// {dst, 2n} := {a, n}·{b, n} or {a, n}^2 by the method the thresholds pick for
// n; scratch holds WordsScratchSize(n) words. Toom-3 recurses through these.
void MulAnySize(Word* dst, const Word* a, const Word* b, int32_t n, Word* scratch);
void SqrAnySize(Word* dst, const Word* a, int32_t n, Word* scratch);

// Scratch words that one Toom-3 level keeps for itself: three evaluations of
// each operand and three of their products, k + 1 and 2k + 2 words each, for
// pieces of k words. Sub-products use the words after these.
// Long pieces round up to eight words, so that two Karatsuba levels below
// still end in whole limbs.
constexpr int32_t Toom3PieceWords(int32_t n) {
  const int32_t k = (n + 2) / 3;
  return k < 64 ? k : (k + 7) & ~7;
}
constexpr int32_t Toom3OwnScratch(int32_t n) { return 12 * (Toom3PieceWords(n) + 1); }

}  // namespace karvo::limbs
