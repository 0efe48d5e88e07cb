#pragma once

// The field of the Jacobian curve routines: coordinates are kept as
// Montgomery residues of k words modulo the odd N from the first to the last
// operation of a multiplication, so no step divides. The public routines of
// EcCurves.h convert at their ends; EcMultiply converts once.

#include "arith/BigTempPool.h"
#include "arith/Montgomery.h"
#include "checks/EcCurves.h"

namespace karvo {

class TEcField {
 public:
  static constexpr int32_t ScratchCount = 5;

  // N odd and positive; it must outlive this object.
  explicit TEcField(const BigInt& N);

  const TMontgomery& Field() const { return field_; }
  // k words of scratch; i < ScratchCount.
  Word* Scratch(int32_t i) { return temps_[Base + i].Words; }
  const Word* One() { return temps_[OneRecord].Words; }

  // r := the residue of x (r may be x).
  void Enter(BigInt& r, const BigInt& x) const { field_.Enter(r, x); }
  void Enter(TEcPoint& P) const;
  // The coordinates back to normalised values in 0..N-1.
  void Leave(TEcPoint& P) const;
  void SetIdentity(TEcPoint& P);

 private:
  enum : int32_t { Product, RSquared, OneRecord, Base, RecordCount = Base + ScratchCount };
  BigTemps temps_;
  TMontgomery field_;
};

// EcDouble and EcAddMixed on residues: every coordinate of P (and x2, y2, A)
// is a residue of the field in 0..N-1.
void EcDoubleResidues(TEcPoint& P, int32_t count, TEcField& f);
void EcAddMixedResidues(TEcPoint& P, const Word* x2, const Word* y2, const Word* A,
                        TEcField& f);

}  // namespace karvo
