// Reduction: BigMod, Barrett reduction with its reciprocal, and the
// registered modulus that turns BigMod by N into a Barrett reduction.

#include "arith/BigMod.h"

#include <utility>

#include "arith/BigModInternal.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace modscratch {
BigInt Table[TableSize];
BigInt NormalizedModulus;
BigInt WordExponent;
BigInt JacobiA;
BigInt JacobiN;
}  // namespace modscratch

namespace {

struct TModulusPair {
  BigInt N;
  BigInt Mu;  // empty below two words: BigMod never uses it there
  bool Registered = false;
};

TModulusPair CurrentModulus;
TModulusPair SavedModulus;

void ForgetPair(TModulusPair& pair) {
  BigClear(pair.N);
  BigClear(pair.Mu);
  pair.Registered = false;
}

void SwapPairs(TModulusPair& a, TModulusPair& b) {
  BigSwap(a.N, b.N);
  BigSwap(a.Mu, b.Mu);
  std::swap(a.Registered, b.Registered);
}

// Fills pair from value, which may be a record of either pair.
void RegisterInto(TModulusPair& pair, const BigInt& value) {
  BigTemps temps(2);
  BigInt& n = temps[0];
  BigInt& mu = temps[1];
  BigAssign(n, value);
  if (n.Length >= 2 && n.Sign == 0) {
    BigReciprocal(mu, n);
  }
  BigSwap(pair.N, n);
  BigSwap(pair.Mu, mu);
  pair.Registered = true;
}

// q := floor(floor(x / B^(k-1))·mu / B^(k+1)). When both factors have k+1
// words, the top word of the first is multiplied in separately: a balanced
// product of k+1 words is markedly slower than one of k words plus a row.
void QuotientEstimate(BigInt& q, const BigInt& x, int32_t k, const BigInt& mu) {
  const int32_t m = x.Length - k + 1;
  if (m == k + 1 && mu.Length == k + 1) {
    BigSetFromWords(q, x.Words + k - 1, k - 1, 0);
    BigMul(q, mu);
    const int32_t length = 2 * k + 2;
    BigGrow(q, length);
    WordsFill(0, q.Words + q.Length, length - q.Length);
    q.Words[length - 1] += WordsAddMulWord(q.Words + k, mu.Words, k + 1, x.Words[2 * k - 1]);
    q.Length = length;
    BigNormalize(q);
  } else {
    BigTakeTopWords(q, x, m);
    BigMul(q, mu);
  }
  BigShiftRight(q, 32 * int64_t{k + 1});
}

bool IsRegisteredModulus(const BigInt& m) {
  return CurrentModulus.Registered && m.Length >= 2 && m.Sign == 0 &&
         (&m == &CurrentModulus.N || BigEqual(m, CurrentModulus.N));
}

}  // namespace

void BigMod(BigInt& x, const BigInt& m) {
  if (m.Length == 0) {
    InternalError(1000, 17, 1);
  }
  CheckPoll();
  const int order = BigCompareAbs(x, m);
  if (order == 0) {
    BigSetZero(x);
    return;
  }
  if (order > 0) {
    if (m.Length == 1) {
      const Word r = WordsModWord(x.Words, x.Length, m.Words[0]);
      const int32_t sign = x.Sign;
      BigSetWord(x, r);
      x.Sign = r != 0 ? sign : 0;
    } else if (IsRegisteredModulus(m)) {
      BigBarrettReduce(x, CurrentModulus.N, CurrentModulus.Mu);
      return;
    } else {
      BigRem(x, m);
    }
  }
  if (x.Length != 0 && x.Sign != m.Sign) {
    BigAdd(x, m);
  }
}

void BigPushModulus(const BigInt& N) {
  if (N.Sign != 0 || !BigIsOdd(N)) {
    InternalError(1000, 23, 1);
  }
  // The value may live in one of the pairs; RegisterInto copies it first.
  TModulusPair fresh;
  RegisterInto(fresh, N);
  SwapPairs(SavedModulus, CurrentModulus);
  SwapPairs(CurrentModulus, fresh);
}

void BigPopModulus() {
  ForgetPair(CurrentModulus);
  SwapPairs(CurrentModulus, SavedModulus);
}

void BigSetModulus(const BigInt& N) { RegisterInto(CurrentModulus, N); }

bool BigHasModulus() { return CurrentModulus.Registered; }

const BigInt& BigRegisteredModulus() { return CurrentModulus.N; }

void BigClearModulus() {
  ForgetPair(CurrentModulus);
  ForgetPair(SavedModulus);
}

void BigReciprocal(BigInt& r, const BigInt& N) {
  if (BigCompareWord(N, 3) < 0) {
    InternalError(1000, 24, 1);
  }
  BigTemps temps(1);
  BigInt& power = temps[0];
  BigSetBit(power, 64 * N.Length);
  BigDiv(power, N);
  BigSwap(r, power);
}

void BigBarrettReduce(BigInt& x, const BigInt& N, const BigInt& mu) {
  CheckPoll();
  const int32_t k = N.Length;
  const int32_t sign = x.Sign;
  x.Sign = 0;
  if (BigCompare(x, N) >= 0) {
    BigTemps temps(1);
    BigInt& q = temps[0];
    // q = floor(floor(x / B^(k-1))·mu / B^(k+1)) never exceeds floor(x/N)
    // and falls short of it by at most 2 when x < B^(2k), leaving x < 3N;
    // a longer x falls short by about x / B^(2k) and takes another pass.
    for (;;) {
      const bool lastPass = x.Length <= 2 * k;
      QuotientEstimate(q, x, k, mu);
      if (q.Length == 0) {
        break;
      }
      BigMul(q, N);
      BigSub(x, q);
      if (lastPass || BigCompare(x, N) < 0) {
        break;
      }
    }
    while (BigCompare(x, N) >= 0) {
      BigSub(x, N);
    }
  }
  if (sign != 0 && x.Length != 0) {
    BigSubFrom(x, N);
  }
}

TModReducer::TModReducer(const BigInt& N, BigInt& reciprocalRecord) : N_(N), mu_(nullptr) {
  if (N.Length >= 2 && N.Sign == 0) {
    BigReciprocal(reciprocalRecord, N);
    mu_ = &reciprocalRecord;
  }
}

void TModReducer::Reduce(BigInt& x) const {
  if (mu_ != nullptr) {
    BigBarrettReduce(x, N_, *mu_);
  } else {
    BigMod(x, N_);
  }
}

void ModMulTo(BigInt& dst, const BigInt& a, const BigInt& b, const TModReducer& reducer) {
  BigMulTo(dst, a, b);
  reducer.Reduce(dst);
}

void ModSqrTo(BigInt& dst, const BigInt& a, const TModReducer& reducer) {
  BigSqrTo(dst, a);
  reducer.Reduce(dst);
}

void BigModReleaseScratch() {
  for (BigInt& entry : modscratch::Table) {
    BigClear(entry);
  }
  for (BigInt* x : {&modscratch::NormalizedModulus, &modscratch::WordExponent, &modscratch::JacobiA,
                    &modscratch::JacobiN}) {
    BigClear(*x);
  }
}

}  // namespace karvo
