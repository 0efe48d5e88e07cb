#pragma once

// Montgomery arithmetic modulo an odd N of k words: a residue x stands for
// x·R^-1 mod N with R = 2^(32k) and is kept as exactly k words. Products are
// reduced by REDC (no division); sums and halves need one conditional
// subtraction. Used by modular powering and by the curve arithmetic, which
// keep their values in this form across a whole powering or multiplication.

#include <cstdint>
#include <vector>

#include "arith/BigInt.h"

namespace karvo {

// The largest |D| that AddSmallMultiple and LucasDouble take.
inline constexpr int32_t MaxSmallMultiple = 1 << 16;

class TMontgomery {
 public:
  // N odd and positive. product and rSquared are records of the caller's,
  // used as scratch and for R^2 mod N; none of the three may change while
  // this object lives.
  TMontgomery(const BigInt& N, BigInt& product, BigInt& rSquared);

  int32_t Words() const { return k_; }

  // Lazy forms: the operands lie below R, the result lies below R but not
  // always below N. r may be a or b.
  void MulLazy(Word* r, const Word* a, const Word* b) const;
  void SqrLazy(Word* r, const Word* a) const;
  void MulWordLazy(Word* r, const Word* a, Word w) const;

  // Exact forms: operands and result in 0..N-1; r may be a or b.
  void Mul(Word* r, const Word* a, const Word* b) const;
  void Sqr(Word* r, const Word* a) const;
  void Add(Word* r, const Word* a, const Word* b) const;
  void Sub(Word* r, const Word* a, const Word* b) const;
  // r := a/2 mod N.
  void Half(Word* r, const Word* a) const;
  bool IsZero(const Word* a) const;
  // r := a + D·b mod N for |D| ≤ MaxSmallMultiple, by one word multiple and a quotient
  // estimated from the top words; r may be a or b.
  void AddSmallMultiple(Word* r, const Word* a, const Word* b, int32_t D) const;
  // (u, v) := (U·V, (V^2 + D·U^2)/2) for the residues U and V in u and v:
  // the doubling of the Lucas sequences with P = 1, with two REDCs. one is
  // the residue of 1; scratch holds 5k words.
  void LucasDouble(Word* u, Word* v, int32_t D, const Word* one, Word* scratch) const;

  // r := the residue of x (any value, any sign); r has k words of storage
  // and is left with Length k.
  void Enter(BigInt& r, const BigInt& x) const;
  // x := the value in 0..N-1 that the residue in x's first k words stands
  // for, normalised; x may hold any residue below R.
  void Leave(BigInt& x) const;
  // r := the residue of 1.
  void One(BigInt& r) const;

 private:
  // r := REDC of the 2k words in the product record (destroyed), below R.
  void Reduce(Word* r) const;
  // The portable REDC steps on the product record, which is left with the
  // result in its top k words; returns the word above them.
  Word ReducePortable(Word* t) const;
  // r := r - N when r ≥ N, for r below 2N.
  void Canonical(Word* r) const;
  // Whether sums a^2 + D·b^2 of residues stay below N·R.
  bool FitsSquareSum(int32_t D) const;
  // r := top·R + r mod N for a value below MaxSmallMultiple·2N in magnitude.
  void ReduceWithTop(Word* r, int64_t top) const;

  const BigInt& N_;
  int32_t k_;
  BigInt& product_;
  const BigInt& rSquared_;
  unsigned __int128 minusInverse_;
  // For long moduli, which reduce by products: -N^-1 mod R in full and the
  // scratch of the reduction; empty below the threshold.
  std::vector<Word> minusInverseWords_;
  mutable std::vector<Word> redcScratch_;
};

}  // namespace karvo
