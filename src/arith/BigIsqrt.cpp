#include <bit>
#include <cmath>

#include "arith/BigInternal.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

uint64_t Isqrt64(uint64_t v) {
  auto r = static_cast<uint64_t>(std::sqrt(static_cast<long double>(v)));
  // The floating estimate can be off by one either way near 2^64.
  while (r > 0xFFFFFFFFu || r * r > v) {
    --r;
  }
  while (r + 1 <= 0xFFFFFFFFu && (r + 1) * (r + 1) <= v) {
    ++r;
  }
  return r;
}

// root := floor(sqrt(n)), n ≥ 0. The root of the top half of the bits,
// shifted into place, is within about 2^k of the answer; one Newton step
// then lands at most a unit or two above it.
void FloorRoot(BigInt& root, const BigInt& n) {
  const int32_t bits = BigBitSize(n);
  if (bits <= 64) {
    BigSetUInt64(root, Isqrt64(BigLowUInt64(n)));
    return;
  }
  CheckPoll();
  const int32_t k = bits / 4 - 1;
  BigTemps temps(3);
  BigInt& top = temps[0];
  BigInt& quotient = temps[1];
  BigInt& remainder = temps[2];
  BigAssign(top, n);
  BigShiftRight(top, 2 * int64_t{k});
  FloorRoot(root, top);
  BigShiftLeft(root, k);
  // Integer Newton from any positive start never falls below floor(sqrt(n)).
  BigDivMod(quotient, remainder, n, root);
  BigAdd(root, quotient);
  BigShiftRight(root, 1);
}

}  // namespace

Word WordIsqrt(Word w, bool& isSquare) {
  Word root = 0;
  Word rest = w;
  Word bit = w < (1u << 8) ? (1u << 6) : (w < (1u << 16) ? (1u << 14) : (1u << 30));
  while (bit > rest) {
    bit >>= 2;
  }
  while (bit != 0) {
    if (rest >= root + bit) {
      rest -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
    bit >>= 2;
  }
  isSquare = rest == 0;
  return root;
}

bool BigIsqrt(BigInt& x) {
  if (x.Sign != 0) {
    InternalError(1000, 35, 1);
  }
  if (x.Length == 0) {
    return true;
  }
  if (x.Length == 1) {
    bool isSquare = false;
    BigSetWord(x, WordIsqrt(x.Words[0], isSquare));
    return isSquare;
  }
  BigTemps temps(2);
  BigInt& root = temps[0];
  BigInt& square = temps[1];
  FloorRoot(root, x);
  BigSqrTo(square, root);
  while (BigCompare(square, x) > 0) {
    // (r-1)^2 = r^2 - 2r + 1
    BigSub(square, root);
    BigSub(square, root);
    BigIncrement(square);
    BigDecrement(root);
  }
  const bool isSquare = BigEqual(square, x);
  BigSwap(x, root);
  return isSquare;
}

}  // namespace karvo
