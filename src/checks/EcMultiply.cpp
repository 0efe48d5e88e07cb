// Scalar multiplication and the point search of the curve tests.

#include <optional>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"
#include "checks/EcCurves.h"

namespace karvo {

namespace {

constexpr int kUnit = 1003;
constexpr int32_t kMaxWidth = 8;
constexpr int32_t kTableSize = 1 << (kMaxWidth - 1);

// Registers N for Barrett reduction unless it already is: registration nests
// one level only, so a caller's own registration of N must not be displaced.
class TModulusGuard {
 public:
  explicit TModulusGuard(const BigInt& N) {
    if (!BigHasModulus() || !BigEqual(BigRegisteredModulus(), N)) {
      scope_.emplace(N);
    }
  }

 private:
  std::optional<BigModulusScope> scope_;
};

// Table of odd multiples P, 3P, 5P, ... in affine form; lives across calls so
// the records keep their storage.
struct TTable {
  TEcAffine Entry[kTableSize];
};

TTable& Table() {
  static TTable table;
  return table;
}

void StartAt(TEcPoint& P, const TEcAffine& entry, const BigInt& A, const BigInt& N) {
  EcSetIdentity(P);
  if (entry.Finite) {
    EcAddMixed(P, entry.X, entry.Y, A, N);
  }
}

// Windowed method with odd multiples; x, y, A reduced, w ≥ 2.
void MultiplyWindowed(TEcPoint& P, const BigInt& x, const BigInt& y, const BigInt& k,
                      const BigInt& A, const BigInt& N, int32_t w) {
  TTable& table = Table();
  const int32_t entries = 1 << (w - 1);
  {
    BigTemps temps(2);
    BigInt& dx = temps[0];
    BigInt& dy = temps[1];
    BigAssign(dx, x);
    BigAssign(dy, y);
    const bool dFinite = EcDoubleAffine(dx, dy, true, A, N);
    BigAssign(table.Entry[0].X, x);
    BigAssign(table.Entry[0].Y, y);
    table.Entry[0].Finite = true;
    for (int32_t i = 1; i < entries; ++i) {
      CheckPoll();
      TEcAffine& e = table.Entry[i];
      const TEcAffine& previous = table.Entry[i - 1];
      BigAssign(e.X, previous.X);
      BigAssign(e.Y, previous.Y);
      if (dFinite) {
        e.Finite = EcAddAffine(e.X, e.Y, previous.Finite, dx, dy, A, N);
      } else {
        e.Finite = previous.Finite;
      }
    }
  }
  const int32_t bits = BigBitSize(k);
  int32_t position = (bits + w - 1) / w * w - w;
  int32_t s;
  int32_t t;
  SplitOddPart(static_cast<int32_t>(BigBitField(k, position, w)), s, t);
  StartAt(P, table.Entry[t], A, N);
  EcDouble(P, s, N);
  while (position > 0) {
    CheckPoll();
    position -= w;
    const auto v = static_cast<int32_t>(BigBitField(k, position, w));
    if (v == 0) {
      EcDouble(P, w, N);
      continue;
    }
    SplitOddPart(v, s, t);
    EcDouble(P, w - s, N);
    if (table.Entry[t].Finite) {
      EcAddMixed(P, table.Entry[t].X, table.Entry[t].Y, A, N);
    }
    EcDouble(P, s, N);
  }
}

// Addition-subtraction chain on h = 3k; x, y, A reduced, k ≥ 2.
void MultiplyChain(TEcPoint& P, const BigInt& x, const BigInt& y, const BigInt& k,
                   const BigInt& A, const BigInt& N) {
  BigTemps temps(2);
  BigInt& h = temps[0];
  BigInt& negY = temps[1];
  BigAssign(h, k);
  BigMulWord(h, 3);
  BigSubTo(negY, N, y);
  BigMod(negY, N);
  EcSetIdentity(P);
  EcAddMixed(P, x, y, A, N);
  for (int32_t i = BigBitSize(h) - 2; i >= 1; --i) {
    CheckPoll();
    EcDouble(P, 1, N);
    const bool hBit = BigTestBit(h, i);
    if (hBit != BigTestBit(k, i)) {
      EcAddMixed(P, x, hBit ? y : negY, A, N);
    }
  }
}

}  // namespace

int32_t EcMultiplyWidth(int32_t kBits, int32_t kWeight, int32_t nBits) {
  int32_t w = PowWindowSize(kBits, kWeight);
  // Below 96 bits an inversion costs more than the additions it saves.
  if (w > 2 && nBits < 96) {
    w = 1;
  }
  return w;
}

void EcMultiply(BigInt& X, BigInt& Y, BigInt& Z, const BigInt& k, const BigInt& A,
                const BigInt& N, int32_t width) {
  if (BigIsNegative(k)) {
    InternalError(kUnit, 3, 1);
  }
  if (!BigIsOne(Z)) {
    InternalError(kUnit, 3, 2);
  }
  if (BigIsZero(k)) {
    BigSetOne(X);
    BigSetOne(Y);
    BigSetZero(Z);
    return;
  }
  if (BigIsOne(k)) {
    return;
  }
  TModulusGuard guard(N);
  BigTemps temps(3);
  BigInt& x = temps[0];
  BigInt& y = temps[1];
  BigInt& a = temps[2];
  BigAssign(y, Y);
  BigMod(y, N);
  // A point of order two.
  if (BigIsZero(y)) {
    if (!BigIsOdd(k)) {
      BigSetOne(X);
      BigSetOne(Y);
      BigSetZero(Z);
    }
    return;
  }
  BigAssign(x, X);
  BigMod(x, N);
  BigAssign(a, A);
  BigMod(a, N);
  if (width < 1 || width > kMaxWidth) {
    width = EcMultiplyWidth(BigBitSize(k), BigPopCount(k), BigBitSize(N));
  }
  TEcPoint P;
  if (width >= 3) {
    MultiplyWindowed(P, x, y, k, a, N, width);
  } else {
    MultiplyChain(P, x, y, k, a, N);
  }
  BigSwap(X, P.X);
  BigSwap(Y, P.Y);
  BigSwap(Z, P.Z);
}

void EcSeedPoint(BigInt& x, BigInt& y, BigInt& a, BigInt& u, const BigInt& T, const BigInt& A,
                 const BigInt& B, const BigInt& N) {
  BigTemps temps(1);
  BigInt& half = temps[0];
  BigSqrTo(u, T);
  BigAdd(u, A);
  BigMul(u, T);
  BigAdd(u, B);
  BigMod(u, N);
  BigMulTo(x, T, u);
  BigMod(x, N);
  BigSqrTo(y, u);
  BigMod(y, N);
  BigMulTo(a, A, y);
  BigMod(a, N);
  BigAssign(half, N);
  BigShiftRight1(half);
  for (BigInt* v : {&x, &y, &a}) {
    if (BigCompare(*v, half) >= 0) {
      BigSub(*v, N);
    }
  }
}

constexpr int32_t MaxPointSeeds = 10000;

bool EcFindPoint(BigInt& T, const BigInt& S, const BigInt& R, const BigInt& A,
                 const BigInt& B, const BigInt& N, int32_t sign) {
  BigTemps temps(5);
  BigInt& x = temps[0];
  BigInt& y = temps[1];
  BigInt& a = temps[2];
  BigInt& u = temps[3];
  BigInt& z = temps[4];
  if (BigIsZero(A) || BigIsZero(B)) {
    BigSetZero(T);
  } else {
    BigSetMinusOne(T);
  }
  bool firstAttempt = true;
  // With a wrong order [S]P may be the identity for every seed; for a prime
  // N and the right order a seed that long in a row never occurs.
  for (int32_t seeds = 0; seeds < MaxPointSeeds; ++seeds) {
    CheckPoll();
    BigIncrement(T);
    if (BigCompareAbs(T, N) >= 0) {
      break;
    }
    EcSeedPoint(x, y, a, u, T, A, B, N);
    if (BigIsZero(u)) {
      continue;
    }
    if (sign != 0 && BigJacobi(u, N) != sign) {
      continue;
    }
    BigSetOne(z);
    EcMultiply(x, y, z, S, a, N);
    if (BigIsZero(z)) {
      continue;
    }
    if (!EcToAffine(x, y, z, N)) {
      InternalError(kUnit, 4, 1);
    }
    EcMultiply(x, y, z, R, a, N);
    if (BigIsZero(z)) {
      return true;
    }
    if (!firstAttempt) {
      return false;
    }
    // The next seed lies on the other quadratic twist.
    firstAttempt = false;
    sign = -BigJacobi(u, N);
  }
  return false;
}

}  // namespace karvo
