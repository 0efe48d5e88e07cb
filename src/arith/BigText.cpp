#include <algorithm>
#include <bit>
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
  // Written through a pointer into storage sized for the whole text: the
  // digits are nearly all of it.
  digits.resize(text.size());
  char* const out = digits.data();
  size_t count = 0;
  negative = false;
  bool signAllowed = true;
  bool valid = true;
  for (size_t i = 0; i < text.size();) {
    // Runs of eight decimal digits after the first significant one are
    // copied whole: bytes 0x30..0x3F whose low half does not pass 9.
    if (count != 0 && i + 8 <= text.size()) {
      uint64_t eight;
      __builtin_memcpy(&eight, text.data() + i, sizeof eight);
      constexpr uint64_t high = 0xF0F0F0F0F0F0F0F0u;
      constexpr uint64_t zeros = 0x3030303030303030u;
      if ((eight & high) == zeros && ((eight + 0x0606060606060606u) & high) == zeros) {
        __builtin_memcpy(out + count, &eight, sizeof eight);
        count += 8;
        i += 8;
        continue;
      }
    }
    const char c = text[i++];
    // Decimal digits, valid in both bases, first.
    if (static_cast<unsigned char>(c - '0') < 10) {
      signAllowed = false;
      out[count] = c;
      count += (count != 0 || c != '0') ? 1 : 0;
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
      valid = false;
      break;
    }
    out[count] = c;
    count += (count != 0 || c != '0') ? 1 : 0;
  }
  digits.resize(valid ? count : 0);
  return valid;
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

// Digits are taken 19 at a time, as one 64-bit limb per pass.
constexpr size_t ChunkDigits = 19;
constexpr uint64_t ChunkPower = 10000000000000000000u;

// From this many 19-digit chunks on, the digits are split in two at a
// power-of-two count of chunks and joined by one product with a power of
// ten; below it the chunks are multiplied in one by one. Crossover of one
// split against none, 40 to 128 chunks over two runs on the shared build
// machine: 64..96.
constexpr size_t DecimalSplitChunks = 80;

// The value of eight decimal digits, by pairs, fours and eights side by side
// in one register (the first digit is the lowest byte).
uint64_t EightDigits(const char* p) {
  uint64_t v;
  __builtin_memcpy(&v, p, sizeof v);
  v -= 0x3030303030303030u;
  v = v * 10 + (v >> 8);
  constexpr uint64_t mask = 0x000000FF000000FFu;
  return ((v & mask) * (100 + (uint64_t{1000000} << 32)) +
          ((v >> 16) & mask) * (1 + (uint64_t{10000} << 32))) >> 32;
}

uint64_t ShortChunk(const char* p, size_t count) {
  uint64_t value = 0;
  for (size_t k = 0; k < count; ++k) {
    value = value * 10 + static_cast<uint64_t>(p[k] - '0');
  }
  return value;
}

void FromDecimalChunks(BigInt& x, std::string_view digits) {
  const size_t first = digits.size() % ChunkDigits;
  const auto limbCount = static_cast<int32_t>(digits.size() / ChunkDigits + 1);
  BigGrow(x, 2 * limbCount);
  Word* const w = x.Words;
  int32_t n = 0;  // limbs in use
  if (first > 0) {
    limbs::Store64(w, ShortChunk(digits.data(), first));
    n = 1;
  }
  for (size_t i = first; i < digits.size(); i += ChunkDigits) {
    if ((i & 0x7FFF) < ChunkDigits) {
      CheckPoll();
    }
    const char* p = digits.data() + i;
    uint64_t carry = (EightDigits(p) * 100000000 + EightDigits(p + 8)) * 1000 + ShortChunk(p + 16, 3);
    for (int32_t j = 0; j < n; ++j) {
      const unsigned __int128 t = static_cast<unsigned __int128>(limbs::Load64(w + 2 * j)) * ChunkPower + carry;
      limbs::Store64(w + 2 * j, static_cast<uint64_t>(t));
      carry = static_cast<uint64_t>(t >> 64);
    }
    if (carry != 0 || n == 0) {
      limbs::Store64(w + 2 * n++, carry);
    }
  }
  x.Length = 2 * n;
  x.Sign = 0;
  BigNormalize(x);
}

// 5^(19·2^k), computed once by squarings and kept for later numbers (until
// the scratch is released): the power of ten it stands for is this shifted
// left by 19·2^k bits, which makes the products about a third shorter.
BigInt chunkPowersOf5[32];

const BigInt& ChunkPowerOf5(int32_t k) {
  for (int32_t i = 0; i <= k; ++i) {
    if (chunkPowersOf5[i].Length == 0) {
      if (i == 0) {
        BigSetUInt64(chunkPowersOf5[0], 19073486328125u);  // 5^19
      } else {
        BigSqrTo(chunkPowersOf5[i], chunkPowersOf5[i - 1]);
      }
    }
  }
  return chunkPowersOf5[k];
}

void FromDecimalDigits(BigInt& x, std::string_view digits) {
  const size_t chunks = (digits.size() + ChunkDigits - 1) / ChunkDigits;
  if (chunks < DecimalSplitChunks) {
    FromDecimalChunks(x, digits);
    return;
  }
  // The low part takes the largest power-of-two count of chunks below the
  // whole, so that every split uses one of the kept powers.
  const int32_t k = std::bit_width(chunks - 1) - 1;
  const size_t low = ChunkDigits << k;
  BigTemps temps(1);
  BigInt& rest = temps[0];
  FromDecimalDigits(x, digits.substr(0, digits.size() - low));
  BigMul(x, ChunkPowerOf5(k));
  BigShiftLeft(x, static_cast<int64_t>(low));
  FromDecimalDigits(rest, digits.substr(digits.size() - low));
  BigAdd(x, rest);
}

// 10^19 has its top bit set, so the limbs are divided by it with the 2-by-1
// step of Möller and Granlund and this reciprocal, floor((2^128-1)/10^19) - 2^64.
constexpr uint64_t ChunkReciprocal =
    static_cast<uint64_t>(~static_cast<unsigned __int128>(0) / ChunkPower);

// {w, 2·limbCount} := it divided by 10^19; returns the remainder.
uint64_t DivideByChunkPower(Word* w, int32_t limbCount) {
  uint64_t r = 0;
  for (int32_t j = limbCount - 1; j >= 0; --j) {
    const uint64_t u0 = limbs::Load64(w + 2 * j);
    const unsigned __int128 p = static_cast<unsigned __int128>(ChunkReciprocal) * r +
                                (static_cast<unsigned __int128>(r + 1) << 64 | u0);
    auto q = static_cast<uint64_t>(p >> 64);
    r = u0 - q * ChunkPower;
    if (r > static_cast<uint64_t>(p)) {
      --q;
      r += ChunkPower;
    }
    if (r >= ChunkPower) {
      ++q;
      r -= ChunkPower;
    }
    limbs::Store64(w + 2 * j, q);
  }
  return r;
}

// From this many words on, a number is written as the digits of its
// quotient and remainder by a kept power of ten; below it, 19 digits at a
// time from the bottom. Crossover of one split against none, 12 to 64 words
// over two runs on the shared build machine: 32..40.
constexpr int32_t DecimalWriteSplitWords = 36;

// Writes |x| < 10^width as exactly width digits, with leading zeros.
void WriteDecimal(const BigInt& x, char* out, size_t width) {
  if (x.Length < DecimalWriteSplitWords) {
    BigTemps temps(1);
    BigInt& rest = temps[0];
    BigGrow(rest, x.Length + 1);
    WordsCopy(x.Words, rest.Words, x.Length);
    rest.Words[x.Length] = 0;
    int32_t limbCount = (x.Length + 1) / 2;
    size_t end = width;
    for (; limbCount > 0 && end > 0; end = end > ChunkDigits ? end - ChunkDigits : 0) {
      uint64_t chunk = DivideByChunkPower(rest.Words, limbCount);
      while (limbCount > 0 && limbs::Load64(rest.Words + 2 * limbCount - 2) == 0) {
        --limbCount;
      }
      for (size_t k = end; k > 0 && k + ChunkDigits > end; --k) {
        out[k - 1] = static_cast<char>('0' + chunk % 10);
        chunk /= 10;
      }
    }
    std::fill(out, out + end, '0');
    return;
  }
  // x = q·10^m + r with m = 19·2^k near half the digits, by 5^m after
  // shifting out the m low bits, which go back below the remainder.
  const int32_t k = static_cast<int32_t>(std::bit_width(width / (2 * ChunkDigits))) - 1;
  const size_t m = ChunkDigits << k;
  BigTemps temps(2);
  BigInt& q = temps[0];
  BigInt& r = temps[1];
  BigAssign(q, x);
  q.Sign = 0;
  BigShiftRight(q, static_cast<int64_t>(m));
  BigDivMod(q, r, q, ChunkPowerOf5(k));
  BigShiftLeft(r, static_cast<int64_t>(m));
  const auto lowWords = static_cast<int32_t>(m / 32);
  BigGrow(r, lowWords + 1);
  WordsFill(0, r.Words + r.Length, std::max(0, lowWords + 1 - r.Length));
  WordsCopy(x.Words, r.Words, std::min(lowWords, x.Length));
  if (lowWords < x.Length && m % 32 != 0) {
    r.Words[lowWords] |= x.Words[lowWords] & ((Word{1} << (m % 32)) - 1);
  }
  r.Length = std::max(r.Length, std::min(lowWords + 1, x.Length));
  BigNormalize(r);
  WriteDecimal(q, out, width - m);
  WriteDecimal(r, out + (width - m), m);
}

}  // namespace

void ReleaseDecimalPowers() {
  for (BigInt& power : chunkPowersOf5) {
    BigClear(power);
  }
}

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
  // x < 2^bits < 10^width: all its digits after one or two zeros (the
  // second covers the rounding of the product).
  const auto width = static_cast<size_t>(static_cast<double>(BigBitSize(x)) * 0.30102999566398120) + 2;
  std::string text(width + 1, '-');
  WriteDecimal(x, text.data() + 1, width);
  const size_t zeros = text.find_first_not_of('0', 1) - 1;
  text.erase(x.Sign != 0 ? 1 : 0, zeros + (x.Sign != 0 ? 0 : 1));
  return text;
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
