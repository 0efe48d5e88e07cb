#include "arith/BigInt.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <new>
#include <ostream>
#include <vector>

#include "arith/BigInternal.h"
#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"

namespace karvo {

namespace scratch {
BigInt Product;
BigInt Square;
BigInt Divisor;
BigInt Quotient;
BigInt Dividend;
BigInt Remainder;

void ReleaseAll() {
  for (BigInt* x : {&Product, &Square, &Divisor, &Quotient, &Dividend, &Remainder}) {
    BigClear(*x);
  }
}
}  // namespace scratch

BigInt::~BigInt() { std::free(Words); }

BigInt::BigInt(BigInt&& other) noexcept
    : Words(other.Words), Capacity(other.Capacity), Length(other.Length), Sign(other.Sign) {
  other.Words = nullptr;
  other.Capacity = other.Length = other.Sign = 0;
}

BigInt& BigInt::operator=(BigInt&& other) noexcept {
  if (this != &other) {
    std::free(Words);
    Words = other.Words;
    Capacity = other.Capacity;
    Length = other.Length;
    Sign = other.Sign;
    other.Words = nullptr;
    other.Capacity = other.Length = other.Sign = 0;
  }
  return *this;
}

void BigClear(BigInt& x) {
  std::free(x.Words);
  x.Words = nullptr;
  x.Capacity = x.Length = x.Sign = 0;
}

void BigGrow(BigInt& x, int32_t words) {
  if (words <= x.Capacity) {
    return;
  }
  const int64_t capacity = (static_cast<int64_t>(words) + 7) & ~int64_t{7};
  void* grown = std::realloc(x.Words, static_cast<size_t>(capacity) * sizeof(Word));
  if (grown == nullptr) {
    throw std::bad_alloc();
  }
  x.Words = static_cast<Word*>(grown);
  x.Capacity = static_cast<int32_t>(capacity);
}

void BigShrinkToFit(BigInt& x) {
  const int32_t capacity = (x.Length + 7) & ~7;
  if (capacity == x.Capacity) {
    return;
  }
  if (capacity == 0) {
    BigClear(x);
    return;
  }
  void* shrunk = std::realloc(x.Words, static_cast<size_t>(capacity) * sizeof(Word));
  if (shrunk != nullptr) {
    x.Words = static_cast<Word*>(shrunk);
    x.Capacity = capacity;
  }
}

void BigSwap(BigInt& x, BigInt& y) {
  std::swap(x.Words, y.Words);
  std::swap(x.Capacity, y.Capacity);
  std::swap(x.Length, y.Length);
  std::swap(x.Sign, y.Sign);
}

void BigNormalize(BigInt& x) {
  while (x.Length > 0 && x.Words[x.Length - 1] == 0) {
    --x.Length;
  }
  if (x.Length == 0) {
    x.Sign = 0;
  }
}

void BigAssign(BigInt& x, const BigInt& y) {
  if (&x == &y) {
    return;
  }
  BigGrow(x, y.Length);
  if (y.Length > 0) {
    std::memcpy(x.Words, y.Words, static_cast<size_t>(y.Length) * sizeof(Word));
  }
  x.Length = y.Length;
  x.Sign = y.Sign;
}

void BigSetZero(BigInt& x) { x.Length = x.Sign = 0; }

void BigSetWord(BigInt& x, Word w) {
  if (w == 0) {
    BigSetZero(x);
    return;
  }
  BigGrow(x, 1);
  x.Words[0] = w;
  x.Length = 1;
  x.Sign = 0;
}

void BigSetOne(BigInt& x) { BigSetWord(x, 1); }

void BigSetMinusOne(BigInt& x) {
  BigSetWord(x, 1);
  x.Sign = 1;
}

void BigSetUInt64(BigInt& x, uint64_t v) {
  BigGrow(x, 2);
  x.Words[0] = static_cast<Word>(v);
  x.Words[1] = static_cast<Word>(v >> 32);
  x.Length = 2;
  x.Sign = 0;
  BigNormalize(x);
}

void BigSetInt64(BigInt& x, int64_t v) {
  // Negating in unsigned arithmetic keeps INT64_MIN exact.
  BigSetUInt64(x, v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
  x.Sign = (v < 0) ? 1 : 0;
}

void BigSetInt(BigInt& x, int32_t i) { BigSetInt64(x, i); }

uint64_t BigLowUInt64(const BigInt& x) {
  uint64_t v = x.Length > 0 ? x.Words[0] : 0;
  if (x.Length > 1) {
    v |= static_cast<uint64_t>(x.Words[1]) << 32;
  }
  return v;
}

void BigSetFromWords(BigInt& x, const Word* words, int32_t top, int32_t sign) {
  if (top < -1 || top > 16777215) {
    InternalError(1000, 29, 1);
  }
  BigGrow(x, top + 1);
  if (top >= 0) {
    std::memmove(x.Words, words, static_cast<size_t>(top + 1) * sizeof(Word));
  }
  x.Length = top + 1;
  x.Sign = sign != 0 ? 1 : 0;
  BigNormalize(x);
}

void BigSetFromBytes(BigInt& x, const uint8_t* bytes, int32_t count) {
  if (count > 67108864) {
    InternalError(1000, 28, 1);
  }
  if (count <= 0) {
    BigSetZero(x);
    return;
  }
  const int32_t words = (count + 3) / 4;
  BigGrow(x, words);
  WordsFill(0, x.Words, words);
  for (int32_t i = 0; i < count; ++i) {
    x.Words[i / 4] |= static_cast<Word>(bytes[i]) << (8 * (i % 4));
  }
  x.Length = words;
  x.Sign = 0;
  BigNormalize(x);
}

void BigSetPower(BigInt& x, Word b, Word e) {
  if (e == 0 || b == 1) {
    BigSetOne(x);
  } else if (b == 0) {
    BigSetZero(x);
  } else if (b == 2) {
    BigSetZero(x);
    // Exponents from 2^29 on are refused by BigSetBit; clamping only keeps
    // the conversion to its signed argument exact.
    BigSetBit(x, static_cast<int32_t>(std::min<Word>(e, 0x7FFFFFFF)));
  } else {
    BigSetWord(x, b);
    BigPower(x, e);
  }
}

void BigTakeTopWords(BigInt& x, const BigInt& y, int32_t k) {
  const int32_t count = k < y.Length ? k : y.Length;
  if (count <= 0) {
    BigSetZero(x);
    return;
  }
  const int32_t sign = y.Sign;
  BigGrow(x, count);  // when x is y, no growth happens and the words stay put
  std::memmove(x.Words, y.Words + (y.Length - count), static_cast<size_t>(count) * sizeof(Word));
  x.Length = count;
  x.Sign = sign;
}

namespace {

void PutLe32(std::ostream& out, uint32_t v) {
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                         static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  out.write(bytes, 4);
}

bool GetLe32(std::istream& in, uint32_t& v) {
  unsigned char bytes[4];
  if (!in.read(reinterpret_cast<char*>(bytes), 4)) {
    return false;
  }
  v = bytes[0] | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
      (uint32_t{bytes[3]} << 24);
  return true;
}

// Streams are read from files: a length beyond any value this program makes
// is treated as damage rather than allocated.
constexpr uint32_t MaxStreamWords = 16777216;

}  // namespace

void BigWriteStream(const BigInt& x, std::ostream& out) {
  PutLe32(out, static_cast<uint32_t>(x.Length));
  PutLe32(out, static_cast<uint32_t>(x.Sign));
  for (int32_t i = 0; i < x.Length; ++i) {
    PutLe32(out, x.Words[i]);
  }
}

bool BigReadStream(BigInt& x, std::istream& in) {
  uint32_t length = 0;
  uint32_t sign = 0;
  if (!GetLe32(in, length) || !GetLe32(in, sign) || length > MaxStreamWords || sign > 1) {
    return false;
  }
  std::vector<Word> words(length);
  for (Word& w : words) {
    if (!GetLe32(in, w)) {
      return false;
    }
  }
  BigSetFromWords(x, words.data(), static_cast<int32_t>(length) - 1, static_cast<int32_t>(sign));
  return true;
}

int BigCompareAbs(const BigInt& x, const BigInt& y) {
  if (x.Length != y.Length) {
    return x.Length < y.Length ? -1 : 1;
  }
  return WordsCompare(x.Words, y.Words, x.Length);
}

int BigCompare(const BigInt& x, const BigInt& y) {
  if (x.Sign != y.Sign) {
    return x.Sign != 0 ? -1 : 1;
  }
  const int c = BigCompareAbs(x, y);
  return x.Sign != 0 ? -c : c;
}

int BigCompareWord(const BigInt& x, Word w) {
  if (x.Sign != 0) {
    return -1;
  }
  if (x.Length > 1) {
    return 1;
  }
  const Word v = x.Length == 1 ? x.Words[0] : 0;
  return v < w ? -1 : (v > w ? 1 : 0);
}

bool BigEqualAbs(const BigInt& x, const BigInt& y) { return BigCompareAbs(x, y) == 0; }

bool BigEqual(const BigInt& x, const BigInt& y) { return x.Sign == y.Sign && BigEqualAbs(x, y); }

bool BigEqualsWord(const BigInt& x, Word w) {
  if (w == 0) {
    return x.Length == 0;
  }
  return x.Length == 1 && x.Sign == 0 && x.Words[0] == w;
}

bool BigIsOne(const BigInt& x) { return BigEqualsWord(x, 1); }

bool BigIsMinusOne(const BigInt& x) { return x.Length == 1 && x.Sign == 1 && x.Words[0] == 1; }

void BigStartup() {}

void BigShutdown() { BigReleaseScratch(); }

void BigReleaseScratch() {
  scratch::ReleaseAll();
  ReleaseDecimalPowers();
  BigModReleaseScratch();
  BigTempPool::Instance().Trim();
  WordsReleaseScratch();
}

}  // namespace karvo
