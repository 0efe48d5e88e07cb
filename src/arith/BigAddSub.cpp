#include <cstring>

#include "arith/BigInt.h"

namespace karvo {

namespace {

void AppendCarry(BigInt& x) {
  BigGrow(x, x.Length + 1);
  x.Words[x.Length++] = 1;
}

// |x| += |y|; Sign untouched. x and y are distinct records.
void AddMagnitudes(BigInt& x, const BigInt& y) {
  Word carry;
  if (y.Length > x.Length) {
    const int32_t common = x.Length;
    BigGrow(x, y.Length);
    std::memcpy(x.Words + common, y.Words + common,
                static_cast<size_t>(y.Length - common) * sizeof(Word));
    x.Length = y.Length;
    carry = common > 0 ? WordsAddN(x.Words, y.Words, common) : 0;
    carry = WordsAddWord(carry, x.Words + common, y.Length - common);
  } else {
    carry = WordsAddN(x.Words, y.Words, y.Length);
    carry = WordsAddWord(carry, x.Words + y.Length, x.Length - y.Length);
  }
  if (carry != 0) {
    AppendCarry(x);
  }
}

// x := |x| - |y| with the sign of the larger magnitude: ySign when |y|
// wins. x and y are distinct, both non-zero.
void SubtractMagnitudes(BigInt& x, const BigInt& y, int32_t ySign) {
  const int c = BigCompareAbs(x, y);
  if (c == 0) {
    BigSetZero(x);
    return;
  }
  if (c > 0) {
    if (WordsSubN(x.Words, y.Words, y.Length) != 0) {
      WordsDecrement(x.Words + y.Length, 1);
    }
  } else {
    const int32_t common = x.Length;
    BigGrow(x, y.Length);
    std::memcpy(x.Words + common, y.Words + common,
                static_cast<size_t>(y.Length - common) * sizeof(Word));
    if (WordsRevSubN(x.Words, y.Words, common) != 0) {
      WordsDecrement(x.Words + common, 1);
    }
    x.Length = y.Length;
    x.Sign = ySign;
  }
  BigNormalize(x);
}

// x := x + (-1)^ySign·|y|.
void AddSigned(BigInt& x, const BigInt& y, int32_t ySign) {
  if (y.Length == 0) {
    return;
  }
  if (&x == &y) {
    if (ySign == x.Sign) {
      BigShiftLeft(x, 1);
    } else {
      BigSetZero(x);
    }
    return;
  }
  if (x.Length == 0) {
    BigAssign(x, y);
    x.Sign = ySign;
    return;
  }
  if (x.Sign == ySign) {
    AddMagnitudes(x, y);
  } else {
    SubtractMagnitudes(x, y, ySign);
  }
}

// |x| := | |x| - w |; the Sign flips when w exceeds |x|.
void SubtractWordFromMagnitude(BigInt& x, Word w) {
  if (x.Length == 0) {
    BigSetWord(x, w);
    x.Sign = 1;
    return;
  }
  if (x.Length == 1 && x.Words[0] < w) {
    x.Words[0] = w - x.Words[0];
    x.Sign ^= 1;
    return;
  }
  WordsDecrement(x.Words, w);
  BigNormalize(x);
}

void AddWordToMagnitude(BigInt& x, Word w) {
  if (x.Length == 0) {
    BigSetWord(x, w);
    return;
  }
  if (WordsAddWord(w, x.Words, x.Length) != 0) {
    AppendCarry(x);
  }
}

}  // namespace

void BigAdd(BigInt& x, const BigInt& y) { AddSigned(x, y, y.Sign); }

void BigSub(BigInt& x, const BigInt& y) { AddSigned(x, y, y.Sign ^ 1); }

void BigSubFrom(BigInt& x, const BigInt& y) {
  if (&x == &y) {
    BigSetZero(x);
    return;
  }
  BigNegate(x);
  BigAdd(x, y);
}

void BigAddTo(BigInt& z, const BigInt& x, const BigInt& y) {
  if (&z == &y) {
    BigAdd(z, x);
    return;
  }
  BigAssign(z, x);
  BigAdd(z, y);
}

void BigSubTo(BigInt& z, const BigInt& x, const BigInt& y) {
  if (&z == &y) {
    BigSubFrom(z, x);
    return;
  }
  BigAssign(z, x);
  BigSub(z, y);
}

void BigAddWord(BigInt& x, Word w) {
  if (w == 0) {
    return;
  }
  if (x.Sign == 0) {
    AddWordToMagnitude(x, w);
  } else {
    SubtractWordFromMagnitude(x, w);
  }
}

void BigSubWord(BigInt& x, Word w) {
  if (w == 0) {
    return;
  }
  if (x.Sign == 0) {
    SubtractWordFromMagnitude(x, w);
  } else {
    AddWordToMagnitude(x, w);
  }
}

void BigIncrement(BigInt& x) { BigAddWord(x, 1); }

void BigDecrement(BigInt& x) { BigSubWord(x, 1); }

}  // namespace karvo
