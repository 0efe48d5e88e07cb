// Scalar multiplication and the point search of the curve tests.

#include <optional>
#include <vector>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"
#include "checks/EcCurves.h"
#include "checks/EcField.h"

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

// Odd multiples P, 3P, 5P, ... in affine form, the negated y of each beside
// it, and the signed digits of the multiplier; all live across calls so the
// records keep their storage.
struct TTable {
  TEcAffine Entry[kTableSize];
  BigInt MinusY[kTableSize];
  std::vector<int16_t> Digits;
};

TTable& Table() {
  static TTable table;
  return table;
}

// k = sum of digits[i] 2^i with every digit zero or odd below 2^w in
// magnitude and at least w zeros above each nonzero one: about one addition
// in w + 2 bits from a table of 2^(w-1) odd multiples, where fixed windows
// of w bits take one in w.
void SignedDigits(std::vector<int16_t>& digits, const BigInt& k, int32_t w) {
  const int32_t bits = BigBitSize(k);
  digits.assign(static_cast<size_t>(bits) + 1, 0);
  const int32_t span = 1 << (w + 1);
  int32_t carry = 0;
  for (int32_t i = 0; i < bits || carry != 0;) {
    // The value still to write is k/2^i rounded down, plus carry.
    const int32_t v = static_cast<int32_t>(BigBitField(k, i, w + 1)) + carry;
    // An even value keeps its carry: a carry of 1 met a set bit.
    if ((v & 1) == 0) {
      ++i;
      continue;
    }
    const int32_t d = v >= span / 2 ? v - span : v;
    digits[static_cast<size_t>(i)] = static_cast<int16_t>(d);
    carry = d < 0 ? 1 : 0;
    i += w + 1;
  }
}

void StartAt(TEcPoint& P, const TEcAffine& entry, const BigInt& A, TEcField& f) {
  f.SetIdentity(P);
  if (entry.Finite) {
    EcAddMixedResidues(P, entry.X.Words, entry.Y.Words, A.Words, f);
  }
}

// Signed digits over a table of 2^(w-1) odd multiples; x, y reduced, A a
// residue, w ≥ 2. The table is built in affine form, then its entries become
// residues.
void MultiplyWindowed(TEcPoint& P, const BigInt& x, const BigInt& y, const BigInt& k,
                      const BigInt& A, const BigInt& a, const BigInt& N, int32_t w,
                      TEcField& f) {
  TTable& table = Table();
  const int32_t entries = 1 << (w - 1);
  {
    BigTemps temps(2);
    BigInt& dx = temps[0];
    BigInt& dy = temps[1];
    BigAssign(dx, x);
    BigAssign(dy, y);
    const bool dFinite = EcDoubleAffine(dx, dy, true, a, N);
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
        e.Finite = EcAddAffine(e.X, e.Y, previous.Finite, dx, dy, a, N);
      } else {
        e.Finite = previous.Finite;
      }
    }
  }
  for (int32_t i = 0; i < entries; ++i) {
    TEcAffine& e = table.Entry[i];
    if (e.Finite) {
      BigSubTo(table.MinusY[i], N, e.Y);
      f.Enter(table.MinusY[i], table.MinusY[i]);
      f.Enter(e.X, e.X);
      f.Enter(e.Y, e.Y);
    }
  }
  std::vector<int16_t>& digits = table.Digits;
  SignedDigits(digits, k, w);
  auto i = static_cast<int32_t>(digits.size()) - 1;
  while (digits[static_cast<size_t>(i)] == 0) {
    --i;
  }
  StartAt(P, table.Entry[digits[static_cast<size_t>(i)] >> 1], A, f);
  int32_t doublings = 0;
  while (i > 0) {
    --i;
    ++doublings;
    const int32_t d = digits[static_cast<size_t>(i)];
    if (d == 0) {
      continue;
    }
    CheckPoll();
    EcDoubleResidues(P, doublings, f);
    doublings = 0;
    const int32_t t = (d < 0 ? -d : d) >> 1;
    if (table.Entry[t].Finite) {
      const BigInt& yt = d < 0 ? table.MinusY[t] : table.Entry[t].Y;
      EcAddMixedResidues(P, table.Entry[t].X.Words, yt.Words, A.Words, f);
    }
  }
  EcDoubleResidues(P, doublings, f);
}

// Addition-subtraction chain on h = 3k; x, y reduced, A a residue, k ≥ 2.
void MultiplyChain(TEcPoint& P, const BigInt& x, const BigInt& y, const BigInt& k,
                   const BigInt& A, const BigInt& N, TEcField& f) {
  BigTemps temps(4);
  BigInt& h = temps[0];
  BigInt& negY = temps[1];
  BigInt& xm = temps[2];
  BigInt& ym = temps[3];
  BigAssign(h, k);
  BigMulWord(h, 3);
  BigSubTo(negY, N, y);
  f.Enter(negY, negY);
  f.Enter(xm, x);
  f.Enter(ym, y);
  f.SetIdentity(P);
  EcAddMixedResidues(P, xm.Words, ym.Words, A.Words, f);
  for (int32_t i = BigBitSize(h) - 2; i >= 1; --i) {
    CheckPoll();
    EcDoubleResidues(P, 1, f);
    const bool hBit = BigTestBit(h, i);
    if (hBit != BigTestBit(k, i)) {
      EcAddMixedResidues(P, xm.Words, (hBit ? ym : negY).Words, A.Words, f);
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
  TEcField f(N);
  BigTemps residue(1);
  BigInt& am = residue[0];
  f.Enter(am, a);
  TEcPoint P;
  if (width >= 3) {
    MultiplyWindowed(P, x, y, k, am, a, N, width, f);
  } else {
    MultiplyChain(P, x, y, k, am, N, f);
  }
  f.Leave(P);
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
