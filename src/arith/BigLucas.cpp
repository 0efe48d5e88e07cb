// Lucas sequences modulo N: the V ladder for any (P, Q), and the (U, V)
// doubling for P = 1 used by the strong Lucas probable-prime test.

#include "arith/BigMod.h"
#include "arith/BigModInternal.h"
#include "arith/BigTempPool.h"
#include "arith/Montgomery.h"
#include "base/Poll.h"

namespace karvo {

namespace {

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

// Residues of the ladders in 0..N-1 as Montgomery residues, which need no
// division while the products are cheaper than Barrett's.
class TLucasMontgomery {
 public:
  TLucasMontgomery(const BigInt& N, BigInt& product, BigInt& rSquared, BigInt& one)
      : field_(N, product, rSquared), one_(one) {
    field_.One(one_);
  }

  void Enter(BigInt& x) const { field_.Enter(x, x); }
  void Leave(BigInt& x) const { field_.Leave(x); }
  bool IsOne(const BigInt& x) const {
    return WordsCompare(x.Words, one_.Words, field_.Words()) == 0;
  }
  void Mul(BigInt& dst, const BigInt& a, const BigInt& b) const {
    Size(dst);
    field_.Mul(dst.Words, a.Words, b.Words);
  }
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
  // dst := x·y - p·q; dst is none of the operands.
  void ProductDifference(BigInt& dst, const BigInt& x, const BigInt& y, const BigInt& p,
                         const BigInt& q, BigInt& spare) const {
    Mul(dst, x, y);
    Mul(spare, p, q);
    Sub(dst, dst, spare);
  }
  // x := x - 2·y.
  void SubtractTwice(BigInt& x, const BigInt& y) const {
    Sub(x, x, y);
    Sub(x, x, y);
  }
  // dst := base + D·x.
  void AddSmall(BigInt& dst, const BigInt& x, const BigInt& base, int32_t D) const {
    Size(dst);
    field_.AddSmallMultiple(dst.Words, base.Words, x.Words, D);
  }
  // (u, w) := (U_2m, V_2m) from (U_m, V_m); ww is scratch.
  void DoubleUV(BigInt& u, BigInt& w, BigInt&, BigInt& ww, BigInt&, int32_t D) const {
    BigGrow(ww, 5 * field_.Words());
    field_.LucasDouble(u.Words, w.Words, D, one_.Words, ww.Words);
  }

 private:
  void Size(BigInt& x) const {
    BigGrow(x, field_.Words());
    x.Length = field_.Words();
    x.Sign = 0;
  }

  TMontgomery field_;
  BigInt& one_;
};

// The same on plain residues, reduced by Barrett (by division for one
// word): for the long N where that is faster, and for the even N.
class TLucasBarrett {
 public:
  TLucasBarrett(const BigInt& N, BigInt& reciprocal) : N_(N), reducer_(N, reciprocal) {}

  void Enter(BigInt& x) const { reducer_.Reduce(x); }
  void Leave(BigInt&) const {}
  bool IsOne(const BigInt& x) const { return BigIsOne(x); }
  void Mul(BigInt& dst, const BigInt& a, const BigInt& b) const { ModMulTo(dst, a, b, reducer_); }
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
  // One reduction for the whole difference.
  void ProductDifference(BigInt& dst, const BigInt& x, const BigInt& y, const BigInt& p,
                         const BigInt& q, BigInt& spare) const {
    BigMulTo(dst, x, y);
    BigMulTo(spare, p, q);
    BigSub(dst, spare);
    reducer_.Reduce(dst);
  }
  void SubtractTwice(BigInt& x, const BigInt& y) const {
    BigSub(x, y);
    BigSub(x, y);
    reducer_.Reduce(x);
  }
  void AddSmall(BigInt& dst, const BigInt& x, const BigInt& base, int32_t D) const {
    BigAssign(dst, x);
    BigMulWord(dst, D < 0 ? 0u - static_cast<Word>(D) : static_cast<Word>(D));
    reducer_.Reduce(dst);
    if (D < 0) {
      Sub(dst, base, dst);
    } else {
      Add(dst, base, dst);
    }
  }
  // U_2m = U·V = ((U+V)^2 - V^2 - U^2)/2 and V_2m = (V^2 + D·U^2)/2.
  void DoubleUV(BigInt& u, BigInt& w, BigInt& uu, BigInt& ww, BigInt& sum, int32_t D) const {
    Add(sum, u, w);
    Sqr(sum, sum);
    Sqr(uu, u);
    Sqr(ww, w);
    Sub(sum, sum, ww);
    Sub(sum, sum, uu);
    AddSmall(w, uu, ww, D);
    BigSwap(u, sum);
    Half(u);
    Half(w);
  }

 private:
  const BigInt& N_;
  TModReducer reducer_;
};

// v := V_k(P, Q) for k ≥ 1; t[0..6] are scratch.
template <class Field>
void LucasVLadder(const Field& f, BigInt& v, const BigInt& k, const BigInt& P, const BigInt& Q,
                  BigTemps& t) {
  BigInt& p = t[0];
  BigInt& q = t[1];
  BigInt& vm = t[2];   // V_m
  BigInt& vm1 = t[3];  // V_(m+1)
  BigInt& qm = t[4];   // Q^m
  BigInt& next = t[5];
  BigInt& spare = t[6];
  BigAssign(p, P);
  f.Enter(p);
  if (BigIsOne(k)) {
    f.Leave(p);
    BigSwap(v, p);
    return;
  }
  BigAssign(q, Q);
  f.Enter(q);
  // With Q ≡ 1 every power of Q is 1 and its products drop out.
  const bool unitQ = f.IsOne(q);
  BigAssign(vm, p);
  f.Sqr(vm1, p);
  f.SubtractTwice(vm1, q);
  BigAssign(qm, q);
  for (int32_t bit = BigBitSize(k) - 2; bit >= 1; --bit) {
    CheckPoll();
    f.ProductDifference(next, vm, vm1, p, qm, spare);  // V_(2m+1)
    if (BigTestBit(k, bit)) {
      BigSwap(vm, next);
      f.Sqr(vm1, vm1);
      if (unitQ) {
        f.SubtractTwice(vm1, q);
      } else {
        f.Mul(next, qm, q);  // Q^(m+1)
        f.SubtractTwice(vm1, next);
        f.Mul(qm, qm, next);
      }
    } else {
      BigSwap(vm1, next);
      f.Sqr(vm, vm);
      f.SubtractTwice(vm, qm);
      if (!unitQ) {
        f.Sqr(qm, qm);
      }
    }
  }
  if (BigIsOdd(k)) {
    f.ProductDifference(next, vm, vm1, p, qm, spare);
  } else {
    f.Sqr(next, vm);
    f.SubtractTwice(next, qm);
  }
  f.Leave(next);
  BigSwap(v, next);
}

// (u, w) := (U_k, V_k) for P = 1, Q = (1 - D)/4; uu, ww and sum are scratch.
template <class Field>
void LucasUVLadder(const Field& f, BigInt& u, BigInt& w, BigInt& uu, BigInt& ww, BigInt& sum,
                   const BigInt& k, int32_t D) {
  BigSetWord(u, k.Length == 0 ? 0 : 1);
  BigSetWord(w, k.Length == 0 ? 2 : 1);
  f.Enter(u);
  f.Enter(w);
  for (int32_t bit = BigBitSize(k) - 2; bit >= 0; --bit) {
    f.DoubleUV(u, w, uu, ww, sum, D);
    if (BigTestBit(k, bit)) {
      // U_(2m+1) = (U + V)/2 and V_(2m+1) = (D·U + V)/2.
      f.Add(sum, u, w);
      f.AddSmall(uu, u, w, D);
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

void BigLucasV(BigInt& v, const BigInt& k, const BigInt& P, const BigInt& N, const BigInt& Q) {
  CheckPoll();
  if (k.Length == 0) {
    BigSetWord(v, 2);
    return;
  }
  BigTemps temps(10);
  if (BigIsOdd(N) && PowModMethodFor(N) == PowModMontgomery) {
    LucasVLadder(TLucasMontgomery(N, temps[7], temps[8], temps[9]), v, k, P, Q, temps);
  } else {
    LucasVLadder(TLucasBarrett(N, temps[7]), v, k, P, Q, temps);
  }
}

void BigLucasUV(BigInt& U, BigInt& V, const BigInt& k, int32_t D, const BigInt& N) {
  CheckPoll();
  BigTemps temps(8);
  BigInt& u = temps[0];
  BigInt& w = temps[1];  // V
  BigInt& uu = temps[2];
  BigInt& ww = temps[3];
  BigInt& sum = temps[4];
  // The Montgomery steps take their multiples of D in one word.
  if (PowModMethodFor(N) == PowModBarrett || D < -MaxSmallMultiple || D > MaxSmallMultiple) {
    LucasUVLadder(TLucasBarrett(N, temps[5]), u, w, uu, ww, sum, k, D);
  } else {
    LucasUVLadder(TLucasMontgomery(N, temps[5], temps[6], temps[7]), u, w, uu, ww, sum, k, D);
  }
  BigSwap(U, u);
  BigSwap(V, w);
}

}  // namespace karvo
