#pragma once

// Shared internals of the modular-arithmetic files: their scratch records and
// the reducer that the Lucas ladders and square roots use.

#include "arith/BigInt.h"
#include "arith/BigMod.h"

namespace karvo::modscratch {

// Window table of BigPowMod: entry i holds x^(2i+1) (w ≤ 8 needs 128).
inline constexpr int32_t TableSize = 128;
extern BigInt Table[TableSize];
// The plain method's shifted modulus N·2^s, or the Barrett method's reciprocal.
extern BigInt NormalizedModulus;
// The exponent of BigPowModWord.
extern BigInt WordExponent;
// The two operands of the Jacobi symbol loop.
extern BigInt JacobiA;
extern BigInt JacobiN;

}  // namespace karvo::modscratch

namespace karvo {

// Reduces into 0..N-1 by Barrett with a reciprocal of its own when N has two
// words or more (so it leaves the registered modulus alone), else by BigMod.
// The reciprocal lives in the record the caller passes, normally a pool
// temporary of the caller's scope.
class TModReducer {
 public:
  TModReducer(const BigInt& N, BigInt& reciprocalRecord);
  void Reduce(BigInt& x) const;

 private:
  const BigInt& N_;
  const BigInt* mu_;
};

// (a, b) := the pair that the Lehmer matrix m makes of a ≥ b ≥ 0, in place.
void LehmerApply(BigInt& a, BigInt& b, const LehmerMatrix& m);
// The same for the cofactors of the extended Euclidean algorithm, which
// have opposite signs (u may be zero, v may not), so that their magnitudes
// add and no result needs negating.
void LehmerApplyToCofactors(BigInt& u, BigInt& v, const LehmerMatrix& m);

// dst := a·b mod N and dst := a^2 mod N through the reducer; dst may be a or b.
void ModMulTo(BigInt& dst, const BigInt& a, const BigInt& b, const TModReducer& reducer);
void ModSqrTo(BigInt& dst, const BigInt& a, const TModReducer& reducer);

}  // namespace karvo
