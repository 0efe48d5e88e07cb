// Jacobi symbols by the binary reciprocity loop: strip factors of two, flip
// by the second supplement and by reciprocity, reduce the modulus.

#include <bit>

#include "arith/BigMod.h"
#include "arith/BigModInternal.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// (a | n) times result for 0 ≤ a < n, n odd.
template <class T>
int32_t JacobiLoop(T a, T n, int32_t result) {
  while (a != 0) {
    const int zeros = std::countr_zero(a);
    a >>= zeros;
    if ((zeros & 1) != 0 && ((n & 7) == 3 || (n & 7) == 5)) {
      result = -result;
    }
    if (a == 1) {
      return result;
    }
    if ((a & 3) == 3 && (n & 3) == 3) {
      result = -result;
    }
    const T r = n % a;
    n = a;
    a = r;
  }
  return 0;
}

// (JacobiA | JacobiN) with JacobiA already reduced into 0..JacobiN-1; both
// records are consumed.
int32_t JacobiOfScratch() {
  BigInt& a = modscratch::JacobiA;
  BigInt& n = modscratch::JacobiN;
  int32_t result = 1;
  while (a.Length != 0) {
    if (n.Length <= 2) {
      return JacobiLoop<uint64_t>(BigLowUInt64(a), BigLowUInt64(n), result);
    }
    CheckPoll();
    const int32_t zeros = BigRemoveTrailingZeros(a);
    const Word n8 = n.Words[0] & 7;
    if ((zeros & 1) != 0 && (n8 == 3 || n8 == 5)) {
      result = -result;
    }
    if (BigIsOne(a)) {
      return result;
    }
    if ((a.Words[0] & 3) == 3 && (n8 & 3) == 3) {
      result = -result;
    }
    BigRem(n, a);
    BigSwap(a, n);
  }
  return 0;
}

bool IsOddModulus(const BigInt& n) { return BigIsOdd(n) && n.Sign == 0 && BigCompareWord(n, 3) >= 0; }

}  // namespace

int32_t WordJacobi(int32_t i, Word w) {
  Word a;
  if (i >= 0) {
    a = static_cast<Word>(i) % w;
  } else {
    const Word r = (0u - static_cast<Word>(i)) % w;
    a = r == 0 ? 0 : w - r;
  }
  return JacobiLoop<Word>(a, w, 1);
}

int32_t IntJacobi(int32_t i, int32_t n) {
  if (n < 3 || (n & 1) == 0) {
    InternalError(1000, 14, 1);
  }
  return WordJacobi(i, static_cast<Word>(n));
}

int32_t BigJacobiInt(int32_t i, const BigInt& n) {
  if (!IsOddModulus(n)) {
    InternalError(1000, 15, 1);
  }
  CheckPoll();
  BigSetInt(modscratch::JacobiA, i);
  BigAssign(modscratch::JacobiN, n);
  BigMod(modscratch::JacobiA, modscratch::JacobiN);
  return JacobiOfScratch();
}

int32_t BigJacobi(const BigInt& x, const BigInt& n) {
  if (!IsOddModulus(n)) {
    InternalError(1000, 16, 1);
  }
  CheckPoll();
  BigAssign(modscratch::JacobiA, x);
  BigAssign(modscratch::JacobiN, n);
  BigMod(modscratch::JacobiA, modscratch::JacobiN);
  return JacobiOfScratch();
}

}  // namespace karvo
