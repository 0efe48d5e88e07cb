// What the table against GMP cannot see: every internal error code, the modulus and the
// pool across exceptions, the abort inside long loops, and the small fixed tables.

#include <gmp.h>
#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <vector>

#include "GmpBridge.h"
#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "arith/ProbablePrime.h"
#include "base/Errors.h"

namespace karvo {
namespace {

using test::MpzValue;

struct ErrorRow {
  const char* code;
  // x holds a multi-word value (no zero shortcut hides a missing check), n a small one.
  void (*action)(BigInt& x, BigInt& n);
};

#define ERR(code, n, body) \
  ErrorRow { code, [](BigInt& x, BigInt& m) { BigSetInt(m, n), (void)x; body; } }
const ErrorRow errorRows[] = {
    ERR("1000.26.1", 0, BigInt q; BigInt r; BigDivMod(q, r, x, m)),
    ERR("1000.26.1", 0, BigInt q; BigInt r; BigSetInt(x, -7); BigDivMod(q, r, x, m)), ERR("1000.4.1", 0, BigDiv(x, m)),
    ERR("1000.25.1", 0, BigRem(x, m)), ERR("1000.8.1", 0, BigDivWord(x, 0)), ERR("1000.7.1", 0, BigDivInt(x, 0)),
    ERR("1000.5.1", 0, BigDivExactByWord(x, 0)), ERR("1000.6.1", 0, BigIsDivisibleByWord(x, 0)),
    ERR("1000.18.1", 0, BigModWord(x, 0)), ERR("1000.17.1", 0, BigMod(x, m)), ERR("1000.2.1", 0, BigSetBit(x, 1 << 29)),
    ERR("1000.2.1", 0, BigSetBit(x, INT32_MAX)), ERR("1000.9.1", 0, BigBitField(x, -1, 4)),
    ERR("1000.9.2", 0, BigBitField(x, 0, 33)),
    ERR("1000.28.1", 0, const uint8_t b = 1; BigSetFromBytes(x, &b, 67108865)),
    ERR("1000.29.1", 0, const Word w = 1; BigSetFromWords(x, &w, -2, 0)),
    ERR("1000.29.1", 0, const Word w = 1; BigSetFromWords(x, &w, 16777216, 0)),
    ERR("1000.30.1", 0, BigFromString(x, "17", 8)), ERR("1000.30.1", 0, BigFromString(x, "z", 36)),
    ERR("1000.30.2", 0, BigFromString(x, "12a45", 10)), ERR("1000.30.2", 0, BigFromString(x, "ABCG", 16)),
    ERR("1000.30.2", 0, BigFromString(x, "--5", 10)), ERR("1000.32.1", 0, BigShiftLeft(x, (int64_t{1} << 29) + 1)),
    ERR("1000.32.1", 0, BigShiftLeft(x, (int64_t{1} << 32) + 5)),  // a 32-bit truncation would shift by 5
    ERR("1000.33.1", 0, BigShiftRight(x, (int64_t{1} << 29) + 1)),
    ERR("1000.33.1", 0, BigShiftRight(x, (int64_t{1} << 32) + 5)), ERR("1000.35.1", 0, BigNegate(x); BigIsqrt(x)),
    ERR("1000.35.1", -1, BigIsqrt(m)),
    // The shift z·e of BigPower reaches 2^31, also where 32 bits would wrap it.
    ERR("1000.20.1", 2, BigPower(m, 0x80000000u)), ERR("1000.20.1", 4, BigPower(m, 2147483649u)),
    ERR("1000.20.1", -2, BigPower(m, 0xFFFFFFFFu)),
    ERR("1000.20.1", 0, BigSetWord(x, 0x80000000u); BigPower(x, 138547333u)),
    ERR("1000.20.1", 0, BigSetZero(x); BigSetBit(x, 64); BigPower(x, 1u << 25)),
    ERR("1000.23.1", 10, BigPushModulus(m)), ERR("1000.23.1", -7, BigPushModulus(m)),
    ERR("1000.23.1", 0, BigPushModulus(m)), ERR("1000.24.1", 2, BigReciprocal(x, m)),
    ERR("1000.24.1", -5, BigReciprocal(x, m)), ERR("1000.21.1", 11, BigSetInt(x, -1); BigPowMod(m, x, m)),
    ERR("1000.21.2", 0, BigPowMod(x, x, m)), ERR("1000.21.2", -11, BigPowMod(x, x, m)),
    ERR("1000.22.1", 0, BigPowModWord(x, 5, m)), ERR("1000.22.1", -11, BigPowModWord(x, 5, m)),
    ERR("1000.39.1", 11, BigPowMod(x, x, m, -1)), ERR("1000.39.1", 11, BigPowMod(x, x, m, 4)),
    ERR("1000.11.1", 0, PowWindowSize(0, -1)), ERR("1000.10.1", 0, int32_t s; int32_t t; SplitOddPart(0, s, t)),
    ERR("1000.12.1", 1, BigInvMod(x, m)), ERR("1000.12.1", -7, BigInvMod(x, m)),
    ERR("1000.13.1", 7, std::vector<BigInt> v(65); BigInvModBatch(v.data(), 65, m)),
    ERR("1000.13.2", 1, BigInvModBatch(&x, 1, m)), ERR("1000.13.2", -5, BigInvModBatch(&x, 1, m)),
    ERR("1000.40.1", 0, WordInvMod(3, 0)), ERR("1000.14.1", 0, IntJacobi(5, 1)), ERR("1000.14.1", 0, IntJacobi(5, 8)),
    ERR("1000.14.1", 0, IntJacobi(5, -3)), ERR("1000.15.1", 1, BigJacobiInt(5, m)),
    ERR("1000.15.1", 8, BigJacobiInt(5, m)), ERR("1000.16.1", 2, BigJacobi(x, m)),
    ERR("1000.16.1", -3, BigJacobi(x, m)), ERR("1000.38.1", 1, BigSqrtMod(x, m, m)),
    ERR("1000.38.1", 10, BigSqrtMod(x, m, m)), ERR("1000.38.1", -7, BigSqrtMod(x, m, m)),
    ERR("1000.38.2", 7, BigSetWord(x, 3); BigSqrtMod(x, m, m)),
    // A square modulus ≡ 1 (mod 8) with a large power of two in p - 1 takes
    // the Lucas side, where no parameter gives a non-residue: (2^40 + 1)^2.
    ERR("1000.38.3", 0, BigSetZero(m); BigSetBit(m, 40); BigIncrement(m); BigSqr(m); BigSetWord(x, 3);
        BigSqrtMod(x, m, m)),
    // Tonelli–Shanks (e = 5 is small for 97) with c = 0, not of order 2^e.
    ERR("1000.38.4", 0, BigSetWord(m, 97); BigSetWord(x, 4); BigInt c; BigSqrtMod(x, m, c)),
    ERR("1000.1.1", 1, BigNonResidue(x, m)), ERR("1000.1.1", 10, BigNonResidue(x, m)),
    ERR("1000.1.1", 1369, BigNonResidue(x, m)),
};
#undef ERR

TEST(BigUnitTest, EveryInternalErrorHasItsCodeAndRestoresThePool) {
  for (const ErrorRow& row : errorRows) {
    BigInt x, m;
    test::BigFromWords(x, {0x12345678u, 0x9ABCDEF0u, 0x0FEDCBA9u}, 0);
    EXPECT_TRUE(test::RaisesInternalError([&] { row.action(x, m); }, row.code)) << "row " << (&row - errorRows);
  }
  BigClearModulus();
}

// The bounds themselves are accepted, up to the largest sizes (64 MiB each).
TEST(BigUnitTest, LimitsThemselvesAreAccepted) {
  BigInt x;
  BigShiftLeft(x, int64_t{1} << 29);
  EXPECT_EQ(BigBitField(x, 0, 32) + BigBitField(x, 0, 0), 0u);
  std::vector<uint8_t> bytes(67108864, 0);
  bytes.back() = 0x80;
  BigSetFromBytes(x, bytes.data(), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(BigBitSize(x), 1 << 29);
  std::vector<Word> words(16777216, 0);
  words.back() = 1;
  BigSetFromWords(x, words.data(), 16777215, 1);
  EXPECT_EQ(BigBitSize(x), 32 * 16777215 + 1);
  EXPECT_EQ(x.Sign, 1);
  BigSetOne(x);
  BigShiftLeft(x, int64_t{1} << 29);
  EXPECT_EQ(BigPopCount(x), 1);
  BigShiftRight(x, int64_t{1} << 29);
  EXPECT_TRUE(BigIsOne(x));
  BigSetFromWords(x, words.data(), -1, 1);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetWord(x, 0x80000000u);
  BigPower(x, 3);
  EXPECT_EQ(BigBitSize(x), 94);
  BigClear(x);
}

TEST(BigUnitTest, FixedTablesAndSmallForms) {
  const int32_t windows[][3] = {{1, -1, 1},    {8, -1, 1},    {9, -1, 2},      {24, -1, 2},     {25, -1, 3},
                                {69, -1, 3},   {70, -1, 4},   {196, -1, 4},    {197, -1, 5},    {538, -1, 5},
                                {539, -1, 6},  {1433, -1, 6}, {1434, -1, 7},   {3714, -1, 7},   {3715, -1, 8},
                                {70, 70, 4},   {70, 26, 1},   {70, 27, 4},     {8, 0, 1},       {3715, 593, 1},
                                {3715, 594, 8}};
  for (const auto& w : windows) {
    EXPECT_EQ(PowWindowSize(w[0], w[1]), w[2]) << w[0] << " bits, weight " << w[1];
  }
  for (int32_t v = 1; v < 300; ++v) {
    int32_t s = -1, t = -1;
    SplitOddPart(v, s, t);
    EXPECT_TRUE((1 << s) * (2 * t + 1) == v && s >= 0 && t >= 0) << v;
  }
  // Odd moduli: Montgomery from four words on, at any length.
  constexpr int32_t P = PowModPlain, M = PowModMontgomery;
  const int32_t rows[][2] = {{3, P}, {4, M}, {167, M}, {168, M}, {1152, M}, {4096, M}};
  for (const auto& [words, method] : rows) {
    BigInt N;
    BigSetZero(N);
    BigSetBit(N, 32 * words - 1);
    BigIncrement(N);
    EXPECT_EQ(PowModMethodFor(N), method) << words;
    BigDecrement(N);
    BigSetBit(N, 1);
    EXPECT_EQ(PowModMethodFor(N), words < 168 ? PowModPlain : PowModBarrett) << words;
  }
  EXPECT_EQ(WordInvMod(10, 7), 5u);
  EXPECT_EQ(WordInvMod(6, 9), 0u);
  EXPECT_EQ(WordInvMod(5, 1), 0u);
  EXPECT_EQ(WordInvMod(~Word{0} - 1, ~Word{0}), ~Word{0} - 1);
  for (int32_t i = 0; i < 128; ++i) {
    EXPECT_EQ(static_cast<uint8_t>((2 * i + 1) * ByteInverseTable[i]), 1) << i;
  }
  BigInt x;
  for (int64_t v : {int64_t{0}, int64_t{-1}, INT64_MIN, INT64_MAX}) {
    BigSetInt64(x, v);
    EXPECT_TRUE(test::BigMatches(x, MpzValue(v)));
  }
  BigSetUInt64(x, ~uint64_t{0});
  EXPECT_TRUE(test::BigMatches(x, MpzValue(~uint64_t{0})));
  for (const auto& [b, e] : {std::pair<Word, Word>{0, 0}, {0, 5}, {1, 99}, {7, 1}, {0xFFFFFFFFu, 300}, {2, 100000}}) {
    BigSetPower(x, b, e);
    MpzValue want;
    mpz_ui_pow_ui(want, b, e);
    EXPECT_TRUE(test::BigMatches(x, want)) << b << "^" << e;
  }
  // A stream cut short or with a length out of range leaves the record as it was.
  std::ostringstream out;
  test::BigFromWords(x, {1, 2, 3, 4, 5}, 1);
  BigShrinkToFit(x);  // from the storage of 2^100000 down to one step of 8 words
  BigWriteStream(x, out);
  BigInt moved(std::move(x));
  EXPECT_TRUE(moved.Capacity == 8 && moved.Length == 5 && x.Words == nullptr && x.Capacity + x.Length == 0);
  const std::string bytes = out.str();
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x05\0\0\0\x01\0\0\0", 8));
  // A length with no sign after it is cut short too, even a length of 0.
  for (const std::string& text : {bytes.substr(0, 3), std::string(4, '\0'), bytes.substr(0, 8),
                                  bytes.substr(0, bytes.size() - 1),
                                  std::string("\xFF\xFF\xFF\xFF\0\0\0\0", 8) + std::string(64, '\1'),
                                  std::string("\xFF\xFF\xFF\x7F\0\0\0\0", 8) + std::string(64, '\1')}) {
    std::istringstream in(text);
    BigInt y;
    BigSetInt(y, -77);
    EXPECT_FALSE(BigReadStream(y, in));
    EXPECT_TRUE(test::BigMatches(y, MpzValue(-77)));
  }
  {
  test::BigRandom random;
  BigInt N;
  MpzValue ref;
  random.Operand(N, ref, 9, test::Shape::Uniform, 0);
  std::vector<BigInt> values(InvModBatchLimit);
  std::vector<MpzValue> want(InvModBatchLimit);
  for (int32_t i = 0; i < InvModBatchLimit; ++i) {
    random.Operand(values[i], want[i], random.Between(1, 9), test::Shape::Uniform, 0);
  }
  BigSetWord(values[5], 0);  // no inverse: nothing changes
  EXPECT_FALSE(BigInvModBatch(values.data(), InvModBatchLimit, N));
  EXPECT_TRUE(test::BigMatches(values[7], want[7]));
  mpz_nextprime(ref, ref);
  test::BigFromMpz(N, ref);
  BigSetWord(values[5], 1);
  mpz_set_ui(want[5], 1);
  ASSERT_TRUE(BigInvModBatch(values.data(), InvModBatchLimit, N));
  for (int32_t i = 0; i < InvModBatchLimit; ++i) {
    mpz_invert(want[i], want[i], ref);
    EXPECT_TRUE(test::BigMatches(values[i], want[i])) << i;
  }
  EXPECT_TRUE(BigInvModBatch(values.data(), 0, N));
  }
}

// An abort on entry and one inside the loop give back the temporaries and the
// modulus, and the operation then runs to the same result.
TEST(BigUnitTest, LongOperationsRaiseTheAbortInsideTheirLoops) {
  test::BigRandom random;
  BigInt x, y, N, p, c, e;
  MpzValue ref;
  random.Operand(x, ref, 2000, test::Shape::Uniform, 0);
  random.Operand(y, ref, 700, test::Shape::Uniform, 1);
  random.Operand(N, ref, 40, test::Shape::Uniform, 0);
  BigSetBit(N, 0);
  random.Operand(e, ref, 40, test::Shape::Uniform, 0);
  random.Operand(p, ref, 10, test::Shape::Uniform, 0);
  mpz_nextprime(ref, ref);
  test::BigFromMpz(p, ref);
  BigNonResidue(c, p);
  const std::vector<std::function<void(BigInt&)>> ops = {
      [&](BigInt& z) { BigInt r; BigDivMod(z, r, x, y); },
      [&](BigInt& z) { BigAssign(z, x), BigDiv(z, y); },
      [&](BigInt& z) { BigAssign(z, x), BigRem(z, N); },
      [&](BigInt& z) { BigMulTo(z, x, N); },
      [&](BigInt& z) { BigTakeTopWords(z, x, 32), BigMul(z, z); },
      [&](BigInt& z) { BigTakeTopWords(z, x, 2), BigSqr(z); },
      [&](BigInt& z) { BigSqrTo(z, y); },
      [&](BigInt& z) { BigSetWord(z, 12345), BigPower(z, 300); },
      [&](BigInt& z) { BigAssign(z, y), BigAbs(z), BigIsqrt(z); },
      [&](BigInt& z) { BigAssign(z, e), BigPowMod(z, e, N, PowModMontgomery); },
      [&](BigInt& z) { BigAssign(z, e), BigPowMod(z, e, N, PowModPlain); },
      [&](BigInt& z) { BigAssign(z, e), BigPowMod(z, e, N, PowModBarrett); },
      [&](BigInt& z) { BigAssign(z, e), BigInvMod(z, N); },
      [&](BigInt& z) { BigAssign(z, e), BigGcd(z, N); },
      [&](BigInt& z) { BigSetInt(z, BigJacobi(e, N)); },
      [&](BigInt& z) { BigLucasV(z, e, x, N, e); },
      [&](BigInt& z) { BigInt v; BigLucasUV(z, v, e, -7, N); BigMul(z, v); },
      [&](BigInt& z) { BigSetWord(z, 9), BigSqrtMod(z, p, c); },
      [&](BigInt& z) { BigInt mu; BigReciprocal(mu, N); BigSqrTo(z, e); BigBarrettReduce(z, N, mu); },
      [&](BigInt& z) { BigSetInt(z, BigIsProbablePrime(p, 7)); },
  };
  for (size_t i = 0; i < ops.size(); ++i) {
    BigInt before, after;
    ops[i](before);
    for (int32_t at : {1, 3}) {
      EXPECT_TRUE(test::AbortsAtPoll(
          [&] {
            BigModulusScope scope(p);
            ops[i](after);
          },
          at))
          << "operation " << i << ", poll " << at;
      EXPECT_FALSE(BigHasModulus());
    }
    ops[i](after);
    EXPECT_TRUE(BigEqual(after, before)) << "operation " << i;
  }
}

TEST(BigUnitTest, TemporariesAndTheModulusAreGivenBackOnEveryExit) {
  BigTempPool& pool = BigTempPool::Instance();
  const int32_t mark = pool.Mark();
  try {
    BigTemps outer(2);
    BigSetInt(outer[1], 11);
    {
      BigTemps inner(300);
      EXPECT_EQ(pool.Mark(), mark + 302);
      for (int32_t i = 0; i < 300; ++i) {
        EXPECT_TRUE(BigIsZero(inner[i]));
        BigSetInt(inner[i], i + 1);
      }
      for (int32_t i = 0; i < 300; ++i) {
        EXPECT_TRUE(test::BigMatches(inner[i], MpzValue(i + 1)));
      }
    }
    EXPECT_EQ(pool.Mark(), mark + 2);
    EXPECT_TRUE(test::BigMatches(outer[1], MpzValue(11)));
    BigTemps again(3);
    throw std::runtime_error("unwind");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(pool.Mark(), mark);
  BigTemps after(5);
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_TRUE(BigIsZero(after[i]) && after[i].Sign == 0);
  }
  BigReleaseScratch();
  BigModReleaseScratch();
  WordsReleaseScratch();
  pool.Trim();
  test::BigRandom random;
  BigInt x, z;
  MpzValue ref, want;
  random.Operand(x, ref, 400, test::Shape::Uniform, 1);
  BigSqrTo(z, x);
  mpz_mul(want, ref, ref);
  EXPECT_TRUE(test::BigMatches(z, want));
  BigInt outer, inner;
  BigSetWord(outer, 1000003);
  BigSetWord(inner, 999983);
  {
    BigModulusScope scope(outer);
    {
      BigModulusScope nested(inner);
      EXPECT_TRUE(BigEqual(BigRegisteredModulus(), inner));
    }
    EXPECT_TRUE(BigEqual(BigRegisteredModulus(), outer));
    EXPECT_THROW((BigModulusScope(inner), throw EKVAbort("Operation aborted")), EKVAbort);
    EXPECT_TRUE(BigEqual(BigRegisteredModulus(), outer));
  }
  EXPECT_FALSE(BigHasModulus());
  EXPECT_TRUE(BigIsZero(BigRegisteredModulus()));
  BigPushModulus(outer);
  BigPushModulus(inner);
  BigClearModulus();
  EXPECT_FALSE(BigHasModulus());
  BigPopModulus();
  EXPECT_FALSE(BigHasModulus());
}

}  // namespace
}  // namespace karvo
