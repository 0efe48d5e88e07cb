// Lucas sequences modulo N: the V ladder for any (P, Q), and the (U, V)
// doubling for P = 1 used by the strong Lucas probable-prime test.

#include "arith/BigMod.h"
#include "arith/BigModInternal.h"
#include "arith/BigTempPool.h"
#include "arith/Montgomery.h"
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

namespace {

// Residues of the (U, V) ladder in 0..N-1 as Montgomery residues, which
// need no division while the products are cheaper than Barrett's.
class TLucasMontgomery {
 public:
  TLucasMontgomery(const BigInt& N, BigInt& product, BigInt& rSquared)
      : field_(N, product, rSquared) {}

  void Enter(BigInt& x) const { field_.Enter(x, x); }
  void Leave(BigInt& x) const { field_.Leave(x); }
  void Sqr(BigInt& dst, const BigInt& a) const {
    Size(dst);
    field_.Sqr(dst.Words, a.Words);
  }
  void Add(BigInt& dst, const BigInt& a, const BigInt& b) const {
    Size(dst);
    field_.Add(dst.Words, a.Words, b.Words);
  }
  void Sub(BigInt& dst, const BigInt& a, const BigInt& b) const {
    Size(dst);
    field_.Sub(dst.Words, a.Words, b.Words);
  }
  void Half(BigInt& x) const { field_.Half(x.Words, x.Words); }
  // dst := m·a for m ≥ 1 by doublings and additions; dst is not a.
  void MulSmall(BigInt& dst, const BigInt& a, Word m) const {
    Size(dst);
    WordsCopy(a.Words, dst.Words, field_.Words());
    for (int bit = 30 - __builtin_clz(m); bit >= 0; --bit) {
      field_.Add(dst.Words, dst.Words, dst.Words);
      if ((m >> bit & 1) != 0) {
        field_.Add(dst.Words, dst.Words, a.Words);
      }
    }
  }

 private:
  void Size(BigInt& x) const {
    BigGrow(x, field_.Words());
    x.Length = field_.Words();
    x.Sign = 0;
  }

  TMontgomery field_;
};

// The same on plain residues, reduced by Barrett for the long N where that
// is faster.
class TLucasBarrett {
 public:
  TLucasBarrett(const BigInt& N, BigInt& reciprocal) : N_(N), reducer_(N, reciprocal) {}

  void Enter(BigInt& x) const { reducer_.Reduce(x); }
  void Leave(BigInt&) const {}
  void Sqr(BigInt& dst, const BigInt& a) const { ModSqrTo(dst, a, reducer_); }
  void Add(BigInt& dst, const BigInt& a, const BigInt& b) const {
    BigAddTo(dst, a, b);
    if (BigCompare(dst, N_) >= 0) {
      BigSub(dst, N_);
    }
  }
  void Sub(BigInt& dst, const BigInt& a, const BigInt& b) const {
    BigSubTo(dst, a, b);
    if (dst.Sign != 0) {
      BigAdd(dst, N_);
    }
  }
  void Half(BigInt& x) const { HalveModOdd(x, N_); }
  void MulSmall(BigInt& dst, const BigInt& a, Word m) const {
    BigAssign(dst, a);
    BigMulWord(dst, m);
    reducer_.Reduce(dst);
  }

 private:
  const BigInt& N_;
  TModReducer reducer_;
};

// (u, w) := (U_k, V_k) for P = 1, Q = (1 - D)/4; uu, ww and sum are scratch.
template <class Field>
void LucasUVLadder(const Field& f, BigInt& u, BigInt& w, BigInt& uu, BigInt& ww, BigInt& sum,
                   const BigInt& k, int32_t D) {
  const Word m = D < 0 ? 0u - static_cast<Word>(D) : static_cast<Word>(D);
  // dst := base + D·x.
  const auto addD = [&](BigInt& dst, const BigInt& x, const BigInt& base) {
    f.MulSmall(dst, x, m);
    if (D < 0) {
      f.Sub(dst, base, dst);
    } else {
      f.Add(dst, base, dst);
    }
  };
  BigSetWord(u, k.Length == 0 ? 0 : 1);
  BigSetWord(w, k.Length == 0 ? 2 : 1);
  f.Enter(u);
  f.Enter(w);
  for (int32_t bit = BigBitSize(k) - 2; bit >= 0; --bit) {
    // U_2m = U·V = ((U+V)^2 - V^2 - U^2)/2 and V_2m = (V^2 + D·U^2)/2.
    f.Add(sum, u, w);
    f.Sqr(sum, sum);
    f.Sqr(uu, u);
    f.Sqr(ww, w);
    f.Sub(sum, sum, ww);
    f.Sub(sum, sum, uu);
    addD(w, uu, ww);
    BigSwap(u, sum);
    f.Half(u);
    f.Half(w);
    if (BigTestBit(k, bit)) {
      // U_(2m+1) = (U + V)/2 and V_(2m+1) = (D·U + V)/2.
      f.Add(sum, u, w);
      addD(uu, u, w);
      BigSwap(u, sum);
      f.Half(u);
      BigSwap(w, uu);
      f.Half(w);
    }
  }
  f.Leave(u);
  f.Leave(w);
}

}  // namespace

void BigLucasUV(BigInt& U, BigInt& V, const BigInt& k, int32_t D, const BigInt& N) {
  CheckPoll();
  BigTemps temps(7);
  BigInt& u = temps[0];
  BigInt& w = temps[1];  // V
  BigInt& uu = temps[2];
  BigInt& ww = temps[3];
  BigInt& sum = temps[4];
  if (PowModMethodFor(N) == PowModBarrett) {
    LucasUVLadder(TLucasBarrett(N, temps[5]), u, w, uu, ww, sum, k, D);
  } else {
    LucasUVLadder(TLucasMontgomery(N, temps[5], temps[6]), u, w, uu, ww, sum, k, D);
  }
  BigSwap(U, u);
  BigSwap(V, w);
}

}  // namespace karvo
