#include <algorithm>
#include <bit>

#include "arith/BigInternal.h"
#include "arith/BigTempPool.h"
#include "arith/WordsThresholds.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// Words of piece buffer that MultiplyUnbalanced needs, following its cuts.
int64_t PieceBufferSize(int32_t an, int32_t bn) {
  if (bn < MulKaratsubaThreshold) {
    return 0;
  }
  const int64_t fullPieces = an >= 2 * bn ? 2 * int64_t{bn} : 0;
  const int32_t rest = an % bn;
  const int64_t lastPiece = rest > 0 ? bn + rest + PieceBufferSize(bn, rest) : 0;
  return std::max(fullPieces, lastPiece);
}

// Writes {dst, an+bn} := {a, an}·{b, bn}, an ≥ bn ≥ 1. The long operand is
// cut into bn-word pieces so every large product is balanced; when what is
// left of it is shorter than b, the two swap roles.
void MultiplyUnbalanced(Word* dst, const Word* a, int32_t an, const Word* b, int32_t bn,
                        Word* pieces) {
  if (bn < MulKaratsubaThreshold) {
    if (bn == 1) {
      dst[an] = WordsMulWord(dst, a, an, b[0]);
    } else {
      WordsMulBasecase(dst, a, b, bn, an);
    }
    return;
  }
  WordsMul(dst, a, b, bn);
  int32_t offset = bn;
  while (an - offset >= bn) {
    CheckPoll();
    WordsMul(pieces, a + offset, b, bn);
    const Word carry = WordsAddN(dst + offset, pieces, bn);
    WordsCopy(pieces + bn, dst + offset + bn, bn);
    WordsAddWord(carry, dst + offset + bn, bn);
    offset += bn;
  }
  const int32_t rest = an - offset;
  if (rest > 0) {
    MultiplyUnbalanced(pieces, b, bn, a + offset, rest, pieces + bn + rest);
    const Word carry = WordsAddN(dst + offset, pieces, bn);
    WordsCopy(pieces + bn, dst + offset + bn, rest);
    WordsAddWord(carry, dst + offset + bn, rest);
  }
}

// product := |x|·|y|, both non-zero, product distinct from both.
void MultiplyMagnitudes(BigInt& product, const BigInt& x, const BigInt& y) {
  const BigInt& longer = x.Length >= y.Length ? x : y;
  const BigInt& shorter = x.Length >= y.Length ? y : x;
  const int32_t length = longer.Length + shorter.Length;
  BigGrow(product, length);
  if (shorter.Length >= MulKaratsubaThreshold) {
    CheckPoll();
    BigTemps temps(1);
    BigInt& pieces = temps[0];
    BigGrow(pieces, static_cast<int32_t>(PieceBufferSize(longer.Length, shorter.Length)) + 1);
    MultiplyUnbalanced(product.Words, longer.Words, longer.Length, shorter.Words, shorter.Length,
                       pieces.Words);
  } else {
    MultiplyUnbalanced(product.Words, longer.Words, longer.Length, shorter.Words, shorter.Length,
                       nullptr);
  }
  product.Length = length;
  BigNormalize(product);
}

}  // namespace

void BigMulWord(BigInt& x, Word w) {
  if (w == 0) {
    BigSetZero(x);
    return;
  }
  if (w == 1 || x.Length == 0) {
    return;
  }
  const Word high = WordsMulWord(x.Words, x.Words, x.Length, w);
  if (high != 0) {
    BigGrow(x, x.Length + 1);
    x.Words[x.Length++] = high;
  }
}

void BigMulInt(BigInt& x, int32_t i) {
  if (i < 0) {
    BigNegate(x);
  }
  BigMulWord(x, i < 0 ? 0u - static_cast<Word>(i) : static_cast<Word>(i));
}

void BigMulTo(BigInt& z, const BigInt& x, const BigInt& y) {
  if (&x == &y) {
    BigSqrTo(z, x);
    return;
  }
  if (x.Length == 0 || y.Length == 0) {
    BigSetZero(z);
    return;
  }
  const int32_t sign = x.Sign ^ y.Sign;
  MultiplyMagnitudes(scratch::Product, x, y);
  BigSwap(z, scratch::Product);
  z.Sign = sign;
}

void BigMul(BigInt& x, const BigInt& y) { BigMulTo(x, x, y); }

void BigSqrTo(BigInt& z, const BigInt& x) {
  if (x.Length == 0) {
    BigSetZero(z);
    return;
  }
  if (x.Length == 1) {
    BigSetUInt64(z, static_cast<uint64_t>(x.Words[0]) * x.Words[0]);
    return;
  }
  CheckPoll();
  BigInt& square = scratch::Square;
  BigGrow(square, 2 * x.Length);
  WordsSqr(square.Words, x.Words, x.Length);
  square.Length = 2 * x.Length;
  square.Sign = 0;
  BigNormalize(square);
  BigSwap(z, square);
}

void BigSqr(BigInt& x) { BigSqrTo(x, x); }

void BigPower(BigInt& x, Word e) {
  if (e == 0) {
    BigSetOne(x);
    return;
  }
  if (x.Length == 0) {
    return;
  }
  const int32_t sign = (e & 1) != 0 ? x.Sign : 0;
  if (x.Length == 1 && x.Words[0] == 1) {
    x.Sign = sign;
    return;
  }
  CheckPoll();
  const int32_t zeros = WordsLowestBit(x.Words, x.Length);
  // 64 bits: z·e must not wrap before it is checked.
  const uint64_t shift = static_cast<uint64_t>(zeros) * e;
  if (shift >= (uint64_t{1} << 31)) {
    InternalError(1000, 20, 1);
  }
  BigShiftRight(x, zeros);
  x.Sign = 0;
  if (!BigIsOne(x)) {
    BigTemps temps(1);
    BigInt& base = temps[0];
    BigAssign(base, x);
    for (int bit = 30 - std::countl_zero(e); bit >= 0; --bit) {
      CheckPoll();
      BigSqr(x);
      if (((e >> bit) & 1) != 0) {
        BigMul(x, base);
      }
    }
  }
  ShiftLeftUnchecked(x, static_cast<int64_t>(shift));
  x.Sign = sign;
}

}  // namespace karvo
