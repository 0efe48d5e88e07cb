#include <algorithm>
#include <cmath>

#include "arith/BigInternal.h"
#include "arith/BigTempPool.h"
#include "arith/WordsLimbs.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// Backslash joins continuation lines in input files, so it counts as blank.
bool IsBlank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '\\'; }

int DigitValue(char c, int base) {
  int value = 99;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  }
  return value < base ? value : -1;
}

// The significant digits (blanks, sign and leading zeros dropped) and the
// sign, or false when the text is not a number of the base.
bool ScanNumber(std::string_view text, int base, std::string& digits, bool& negative) {
  digits.clear();
  digits.reserve(text.size());
  negative = false;
  bool signAllowed = true;
  for (const char c : text) {
    // Decimal digits, valid in both bases, first: they are nearly all the text.
    if (c >= '0' && c <= '9') {
      signAllowed = false;
      if (!digits.empty() || c != '0') {
        digits += c;
      }
      continue;
    }
    if (IsBlank(c)) {
      continue;
    }
    if (signAllowed && (c == '+' || c == '-')) {
      negative = c == '-';
      signAllowed = false;
      continue;
    }
    signAllowed = false;
    if (DigitValue(c, base) < 0) {
      return false;
    }
    if (!digits.empty() || c != '0') {
      digits += c;
    }
  }
  return true;
}

void CheckBase(int base) {
  if (base != 10 && base != 16) {
    InternalError(1000, 30, 1);
  }
}

void FromHexDigits(BigInt& x, const std::string& digits) {
  const auto count = static_cast<int32_t>(digits.size());
  const int32_t words = (count + 7) / 8;
  BigGrow(x, words);
  WordsFill(0, x.Words, words);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t position = count - 1 - i;  // hexadecimal digits from the last
    x.Words[position / 8] |= static_cast<Word>(DigitValue(digits[static_cast<size_t>(i)], 16))
                             << (4 * (position % 8));
  }
  x.Length = words;
  x.Sign = 0;
  BigNormalize(x);
}

// Digits are taken 19 at a time, as one 64-bit multiplier per pass.
constexpr size_t ChunkDigits = 19;
constexpr uint64_t ChunkPower = 10000000000000000000u;

// From this many digits on, the number is split in two halves joined by one
// product with a power of ten; below it the chunks are multiplied in one by
// one. Measured from 700 to 5000 digits: splitting from 600 is slower, from
// 1300 or 2600 alike within the noise.
constexpr size_t DecimalSplitFrom = 2000;

void FromDecimalChunks(BigInt& x, std::string_view digits) {
  BigSetZero(x);
  // 19 digits take less than 64 bits: two words a chunk, plus one for the carry.
  BigGrow(x, static_cast<int32_t>(2 * (digits.size() / ChunkDigits) + 4));
  const size_t first = digits.size() % ChunkDigits;
  auto chunk = [&digits](size_t from, size_t count) {
    uint64_t value = 0;
    for (size_t k = from; k < from + count; ++k) {
      value = value * 10 + static_cast<uint64_t>(digits[k] - '0');
    }
    return value;
  };
  size_t i = 0;
  if (first > 0) {
    BigSetUInt64(x, chunk(0, first));
    i = first;
  }
  for (int32_t rounds = 0; i < digits.size(); i += ChunkDigits, ++rounds) {
    if ((rounds & 1023) == 1023) {
      CheckPoll();
    }
    const int32_t n = x.Length;
    const uint64_t carry = n > 0 ? limbs::Mul1(x.Words, x.Words, n, ChunkPower) : 0;
    limbs::Store64(x.Words + n, carry);
    x.Words[n + 2] = 0;
    const uint64_t value = chunk(i, ChunkDigits);
    WordsAddWord(static_cast<Word>(value), x.Words, n + 3);
    WordsAddWord(static_cast<Word>(value >> 32), x.Words + 1, n + 2);
    x.Length = n + 3;
    BigNormalize(x);
  }
}

void FromDecimalDigits(BigInt& x, std::string_view digits) {
  if (digits.size() < DecimalSplitFrom) {
    FromDecimalChunks(x, digits);
    return;
  }
  const size_t low = digits.size() / 2;
  BigTemps temps(2);
  BigInt& power = temps[0];
  BigInt& rest = temps[1];
  FromDecimalDigits(x, digits.substr(0, digits.size() - low));
  BigSetPower(power, 10, static_cast<Word>(low));
  BigMul(x, power);
  FromDecimalDigits(rest, digits.substr(digits.size() - low));
  BigAdd(x, rest);
}

}  // namespace

bool BigIsNumberText(std::string_view text, int base) {
  std::string digits;
  bool negative = false;
  return (base == 10 || base == 16) && ScanNumber(text, base, digits, negative);
}

void BigFromString(BigInt& x, std::string_view text, int base) {
  CheckBase(base);
  // Kept between calls, so reading many numbers allocates once.
  static std::string digits;
  bool negative = false;
  if (!ScanNumber(text, base, digits, negative)) {
    InternalError(1000, 30, 2);
  }
  if (base == 16) {
    FromHexDigits(x, digits);
  } else {
    FromDecimalDigits(x, digits);
  }
  x.Sign = (negative && x.Length > 0) ? 1 : 0;
}

std::string BigToHex(const BigInt& x, int32_t group, bool pad, bool withSign) {
  static constexpr char hexDigits[] = "0123456789ABCDEF";
  std::string digits;
  const int32_t count = std::max(1, (BigBitSize(x) + 3) / 4);
  digits.reserve(static_cast<size_t>(count));
  for (int32_t position = count - 1; position >= 0; --position) {
    const Word word = position / 8 < x.Length ? x.Words[position / 8] : 0;
    digits += hexDigits[(word >> (4 * (position % 8))) & 15];
  }
  if (group > 0 && pad && digits.size() % static_cast<size_t>(group) != 0) {
    digits.insert(0, static_cast<size_t>(group) - digits.size() % static_cast<size_t>(group), '0');
  }
  std::string text;
  if (withSign && x.Sign != 0) {
    text += '-';
  }
  if (group <= 0) {
    return text + digits;
  }
  const auto width = static_cast<size_t>(group);
  size_t head = digits.size() % width;
  if (head == 0) {
    head = width;
  }
  text.append(digits, 0, head);
  for (size_t at = head; at < digits.size(); at += width) {
    text += ' ';
    text.append(digits, at, width);
  }
  return text;
}

std::string BigToDecimal(const BigInt& x) {
  if (x.Length == 0) {
    return "0";
  }
  BigTemps temps(1);
  BigInt& rest = temps[0];
  BigAssign(rest, x);
  std::string digits;
  while (rest.Length > 0) {
    CheckPoll();
    Word chunk = BigDivWord(rest, 1000000000u);
    for (int k = 0; k < 9 && (rest.Length > 0 || chunk != 0); ++k) {
      digits += static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  }
  if (x.Sign != 0) {
    digits += '-';
  }
  std::reverse(digits.begin(), digits.end());
  return digits;
}

int32_t BigDecimalSize(const BigInt& x) {
  const int32_t bits = BigBitSize(x);
  if (bits == 0) {
    return 0;
  }
  if (bits > 536870912) {
    return -1;
  }
  // The largest digit count a number of this many bits can have; one
  // comparison with 10^(k-1) settles it.
  const auto k = static_cast<int32_t>(
      std::lround(static_cast<long double>(bits) * 0.301029995663981195213738894724493L + 0.5L));
  if (k <= 1) {
    return k;
  }
  BigTemps temps(1);
  BigInt& power = temps[0];
  BigSetPower(power, 5, static_cast<Word>(k - 1));
  BigShiftLeft(power, k - 1);
  return BigCompareAbs(power, x) > 0 ? k - 1 : k;
}

}  // namespace karvo
