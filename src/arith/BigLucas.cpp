// Lucas sequences modulo N: the V ladder for any (P, Q), and the (U, V)
// doubling for P = 1 used by the strong Lucas probable-prime test.

#include "arith/BigMod.h"
#include "arith/BigModInternal.h"
#include "arith/BigTempPool.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// dst := x·y - p·q reduced; dst is none of the operands.
void ProductDifference(BigInt& dst, const BigInt& x, const BigInt& y, const BigInt& p, const BigInt& q,
                       BigInt& spare, const TModReducer& reducer) {
  BigMulTo(dst, x, y);
  BigMulTo(spare, p, q);
  BigSub(dst, spare);
  reducer.Reduce(dst);
}

// x := (x - 2·y) reduced, for residues x and y.
void SubtractTwice(BigInt& x, const BigInt& y, const TModReducer& reducer) {
  BigSub(x, y);
  BigSub(x, y);
  reducer.Reduce(x);
}

// x := x/2 mod the odd N for 0 ≤ x < 2N.
void HalveModOdd(BigInt& x, const BigInt& N) {
  if (BigIsOdd(x)) {
    if (BigCompare(x, N) < 0) {
      BigAdd(x, N);
    } else {
      BigSub(x, N);
    }
  }
  BigShiftRight1(x);
}

}  // namespace

void BigLucasV(BigInt& v, const BigInt& k, const BigInt& P, const BigInt& N, const BigInt& Q) {
  CheckPoll();
  if (k.Length == 0) {
    BigSetWord(v, 2);
    return;
  }
  BigTemps temps(8);
  BigInt& p = temps[0];
  BigInt& q = temps[1];
  BigInt& vm = temps[2];   // V_m
  BigInt& vm1 = temps[3];  // V_(m+1)
  BigInt& qm = temps[4];   // Q^m
  BigInt& next = temps[5];
  BigInt& spare = temps[6];
  const TModReducer reducer(N, temps[7]);
  BigAssign(p, P);
  reducer.Reduce(p);
  if (BigIsOne(k)) {
    BigSwap(v, p);
    return;
  }
  BigAssign(q, Q);
  reducer.Reduce(q);
  // With Q ≡ 1 every power of Q is 1 and its products drop out.
  const bool unitQ = BigIsOne(q);
  BigAssign(vm, p);
  ModSqrTo(vm1, p, reducer);
  SubtractTwice(vm1, q, reducer);
  BigAssign(qm, q);
  for (int32_t bit = BigBitSize(k) - 2; bit >= 1; --bit) {
    CheckPoll();
    ProductDifference(next, vm, vm1, p, qm, spare, reducer);  // V_(2m+1)
    if (BigTestBit(k, bit)) {
      BigSwap(vm, next);
      ModSqrTo(vm1, vm1, reducer);
      if (unitQ) {
        SubtractTwice(vm1, q, reducer);
      } else {
        ModMulTo(next, qm, q, reducer);  // Q^(m+1)
        SubtractTwice(vm1, next, reducer);
        ModMulTo(qm, qm, next, reducer);
      }
    } else {
      BigSwap(vm1, next);
      ModSqrTo(vm, vm, reducer);
      SubtractTwice(vm, qm, reducer);
      if (!unitQ) {
        ModSqrTo(qm, qm, reducer);
      }
    }
  }
  if (BigIsOdd(k)) {
    ProductDifference(next, vm, vm1, p, qm, spare, reducer);
    BigSwap(v, next);
  } else {
    ModSqrTo(vm, vm, reducer);
    SubtractTwice(vm, qm, reducer);
    BigSwap(v, vm);
  }
}

void BigLucasUV(BigInt& U, BigInt& V, const BigInt& k, int32_t D, const BigInt& N) {
  CheckPoll();
  BigTemps temps(6);
  BigInt& u = temps[0];
  BigInt& w = temps[1];  // V
  BigInt& uu = temps[2];
  BigInt& ww = temps[3];
  BigInt& sum = temps[4];
  const TModReducer reducer(N, temps[5]);
  if (k.Length == 0) {
    BigSetZero(u);
    BigSetWord(w, 2);
    reducer.Reduce(w);
  } else {
    BigSetOne(u);
    BigSetOne(w);
    reducer.Reduce(u);
    reducer.Reduce(w);
  }
  for (int32_t bit = BigBitSize(k) - 2; bit >= 0; --bit) {
    // U_2m = U·V = ((U+V)^2 - V^2 - U^2)/2 and V_2m = (V^2 + D·U^2)/2.
    BigAddTo(sum, u, w);
    ModSqrTo(sum, sum, reducer);
    ModSqrTo(uu, u, reducer);
    ModSqrTo(ww, w, reducer);
    BigSub(sum, ww);
    BigSub(sum, uu);
    reducer.Reduce(sum);
    BigMulInt(uu, D);
    BigAdd(uu, ww);
    reducer.Reduce(uu);
    BigSwap(u, sum);
    HalveModOdd(u, N);
    BigSwap(w, uu);
    HalveModOdd(w, N);
    if (BigTestBit(k, bit)) {
      // U_(2m+1) = (U + V)/2 and V_(2m+1) = (D·U + V)/2.
      BigAddTo(sum, u, w);
      BigAssign(uu, u);
      BigMulInt(uu, D);
      reducer.Reduce(uu);
      BigAdd(uu, w);
      BigSwap(u, sum);
      HalveModOdd(u, N);
      BigSwap(w, uu);
      HalveModOdd(w, N);
    }
  }
  BigSwap(U, u);
  BigSwap(V, w);
}

}  // namespace karvo
