#pragma once

// The two candidate orders N + 1 - w and N + 1 + w of a curve step, split
// together by the prime table: each keeps its removed part k and its
// cofactor q, and drops out as soon as q is no longer above the bound.
// Only w is ever reduced by the table primes; the residues (N + 1) mod p of
// the table tell which order p divides.

#include <cstdint>

#include "arith/BigInt.h"

namespace karvo {

struct TOrderPair {
  BigInt K[2];
  BigInt Q[2];
  bool Alive[2] = {false, false};
};

class TOrderSieve {
 public:
  // PrimeTableResidues(nPlus1, primeBound) must have been called. d is the
  // discriminant index (for the large-N rule of quadratic characters).
  TOrderSieve(const BigInt& nPlus1, const BigInt& bound, uint32_t d, int32_t primeBound);

  // Splits the orders N + 1 - w (index 0) and N + 1 + w (index 1) for w ≥ 0
  // with 4N = w^2 + d'·v^2. Polls.
  void Split(TOrderPair& pair, const BigInt& w, const BigInt& v);

 private:
  void StartOrder(TOrderPair& pair, int32_t side, const BigInt& w);
  void RemoveSquareFactors(TOrderPair& pair, int32_t side, const BigInt& w, const BigInt& v);
  // Word residue r = w mod p: divides out p from the orders it divides.
  void Sieve(TOrderPair& pair, Word p, Word r, Word residue);
  void DivideOut(TOrderPair& pair, int32_t side, Word p);
  void SieveSingle(TOrderPair& pair, const BigInt& w, int32_t from);
  bool Skipped(Word p) const;

  const BigInt& nPlus1_;
  const BigInt& bound_;
  uint32_t d_;
  int32_t primeBound_;
  bool large_;
  BigInt work_;
};

}  // namespace karvo
