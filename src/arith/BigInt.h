#pragma once

// Signed multi-precision integers. Operations overwrite their first argument
// (x := x op y) unless they name a destination z; results are normalised
// (no zero top word, zero never negative). Storage grows in steps of 8 words
// and is kept for reuse, so steady-state arithmetic allocates nothing.
// Argument errors that callers must prevent raise InternalError(1000, ...).

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "arith/Words.h"

namespace karvo {

struct BigInt {
  Word* Words = nullptr;  // magnitude, least significant word first; owned
  int32_t Capacity = 0;   // words allocated, a multiple of 8
  int32_t Length = 0;     // words in use; 0 means zero
  int32_t Sign = 0;       // 1 for a negative value

  BigInt() = default;
  ~BigInt();
  // Records are never shared: copies are explicit (BigAssign), moves are cheap.
  BigInt(const BigInt&) = delete;
  BigInt& operator=(const BigInt&) = delete;
  BigInt(BigInt&& other) noexcept;
  BigInt& operator=(BigInt&& other) noexcept;
};

// Storage.
void BigClear(BigInt& x);                  // frees the words: Capacity 0, value 0
void BigGrow(BigInt& x, int32_t words);    // Capacity ≥ words, value kept
void BigShrinkToFit(BigInt& x);            // Capacity := Length rounded up to 8
void BigSwap(BigInt& x, BigInt& y);        // exchanges the four fields
void BigNormalize(BigInt& x);              // drops zero top words; zero gets Sign 0

// Assignment.
void BigAssign(BigInt& x, const BigInt& y);
void BigSetZero(BigInt& x);
void BigSetOne(BigInt& x);
void BigSetMinusOne(BigInt& x);
void BigSetWord(BigInt& x, Word w);
void BigSetInt(BigInt& x, int32_t i);
void BigSetInt64(BigInt& x, int64_t v);
void BigSetUInt64(BigInt& x, uint64_t v);
// Copies top + 1 words; top = -1 gives zero; top outside -1..16777215 is 1000.29.1.
void BigSetFromWords(BigInt& x, const Word* words, int32_t top, int32_t sign);
// Magnitude from count bytes, least significant first; more than 2^26 is 1000.28.1.
void BigSetFromBytes(BigInt& x, const uint8_t* bytes, int32_t count);
// x := b^e (words).
void BigSetPower(BigInt& x, Word b, Word e);
// x := the top min(k, y.Length) words of y, with y's Sign.
void BigTakeTopWords(BigInt& x, const BigInt& y, int32_t k);
// Binary form: Length and Sign as 32-bit little-endian, then the words.
// Reading returns false (x unchanged) on a short or malformed stream.
bool BigReadStream(BigInt& x, std::istream& in);
void BigWriteStream(const BigInt& x, std::ostream& out);
// The low 64 bits of the magnitude.
uint64_t BigLowUInt64(const BigInt& x);

// Comparison: -1, 0 or 1.
inline bool BigIsZero(const BigInt& x) { return x.Length == 0; }
inline bool BigIsNegative(const BigInt& x) { return x.Sign != 0; }
inline bool BigIsOdd(const BigInt& x) { return x.Length > 0 && (x.Words[0] & 1) != 0; }
int BigCompare(const BigInt& x, const BigInt& y);
int BigCompareAbs(const BigInt& x, const BigInt& y);
int BigCompareWord(const BigInt& x, Word w);  // -1 for any negative x
bool BigEqual(const BigInt& x, const BigInt& y);
bool BigEqualAbs(const BigInt& x, const BigInt& y);
bool BigEqualsWord(const BigInt& x, Word w);
bool BigIsOne(const BigInt& x);
bool BigIsMinusOne(const BigInt& x);

// Bits of the magnitude.
int32_t BigBitSize(const BigInt& x);
bool BigTestBit(const BigInt& x, int32_t k);
void BigSetBit(BigInt& x, int32_t k);              // k ≥ 2^29 is 1000.2.1
Word BigBitField(const BigInt& x, int32_t k, int32_t n);  // 1000.9.1, 1000.9.2
int32_t BigRemoveTrailingZeros(BigInt& x);          // -1 for zero
void BigShiftLeft(BigInt& x, int64_t k);            // k > 2^29 is 1000.32.1
void BigShiftRight(BigInt& x, int64_t k);           // k > 2^29 is 1000.33.1
void BigShiftLeft1(BigInt& x);
Word BigShiftRight1(BigInt& x);                     // returns the bit shifted out
int32_t BigPopCount(const BigInt& x);
void BigXor(BigInt& x, const BigInt& y);
void BigNegate(BigInt& x);
void BigAbs(BigInt& x);

// Addition and subtraction, any signs; destinations may alias operands.
void BigAdd(BigInt& x, const BigInt& y);
void BigSub(BigInt& x, const BigInt& y);
void BigSubFrom(BigInt& x, const BigInt& y);  // x := y - x
void BigAddTo(BigInt& z, const BigInt& x, const BigInt& y);
void BigSubTo(BigInt& z, const BigInt& x, const BigInt& y);
void BigAddWord(BigInt& x, Word w);
void BigSubWord(BigInt& x, Word w);
void BigIncrement(BigInt& x);
void BigDecrement(BigInt& x);

// Multiplication; destinations may alias operands.
void BigMulWord(BigInt& x, Word w);
void BigMulInt(BigInt& x, int32_t i);
void BigMul(BigInt& x, const BigInt& y);
void BigMulTo(BigInt& z, const BigInt& x, const BigInt& y);
void BigSqr(BigInt& x);
void BigSqrTo(BigInt& z, const BigInt& x);
void BigPower(BigInt& x, Word e);  // result above 2^31 bits of shift is 1000.20.1

// Division, truncated toward zero; the remainder has the Sign of x.
// q and r must be distinct records; either may alias x or y.
void BigDivMod(BigInt& q, BigInt& r, const BigInt& x, const BigInt& y);  // 1000.26.1
bool BigDiv(BigInt& x, const BigInt& y);  // true when exact; 1000.4.1
void BigRem(BigInt& x, const BigInt& y);  // 1000.25.1
Word BigDivWord(BigInt& x, Word w);       // returns |x| mod w; 1000.8.1
bool BigDivWordExact(BigInt& x, Word w);  // true when the remainder was zero
int32_t BigDivInt(BigInt& x, int32_t i);  // remainder with the Sign of x; 1000.7.1
void BigDivExactByWord(BigInt& x, Word w);      // w divides x; 1000.5.1
bool BigIsDivisibleByWord(const BigInt& x, Word w);  // 1000.6.1
Word BigMod3(const BigInt& x);                  // in 0..2 for any Sign
Word BigModWord(const BigInt& x, Word w);       // in 0..w-1 for any Sign; 1000.18.1

// Square roots: floor, with the perfect-square flag.
bool BigIsqrt(BigInt& x);  // negative x is 1000.35.1
Word WordIsqrt(Word w, bool& isSquare);

// Number of decimal digits of |x| (0 for zero).
int32_t BigDecimalSize(const BigInt& x);

// Text. Blanks (TAB, LF, CR, space, backslash) are ignored anywhere; one
// leading sign; base 10 or 16 (else 1000.30.1); other text is 1000.30.2.
void BigFromString(BigInt& x, std::string_view text, int base);
// Whether BigFromString would accept the text.
bool BigIsNumberText(std::string_view text, int base);
// Upper-case hexadecimal; group > 0 splits digits from the right into groups
// separated by a blank, pad completes the leftmost group with zeros.
std::string BigToHex(const BigInt& x, int32_t group = 0, bool pad = false, bool withSign = true);
std::string BigToDecimal(const BigInt& x);

// Unit state: scratch records. BigReleaseScratch gives back their storage and
// that of the pool above its mark (between tasks).
void BigStartup();
void BigShutdown();
void BigReleaseScratch();

}  // namespace karvo
