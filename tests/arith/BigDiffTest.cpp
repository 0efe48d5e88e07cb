// Every operation against GMP over one generator: lengths around each switch
// of method, hard word shapes, zero and one, both signs, every allowed aliasing.

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "GmpBridge.h"
#include "arith/BigMod.h"
#include "arith/WordsRedc.h"

namespace karvo {
namespace {

using test::MpzValue;
using Mpz = mpz_srcptr;

// Which records are one object in z := x op y. In-place operations take z as
// their target, so ZisX is their plain call.
enum Form : int { Three = 1, ZisX = 2, ZisY = 4, XisY = 8, All = 16 };
constexpr int AnyForm = Three | ZisX | ZisY | XisY | All;
constexpr int InPlace = ZisX | All;

// What y must be; x is made to fit as well when it is y.
enum class Domain { Any, NonZero, Modulus, Odd, Prime };

struct Op {
  const char* name;
  int forms;
  Domain domain;
  int32_t maxWords;  // longest operands (0: no limit)
  int64_t (*run)(BigInt& z, BigInt& x, BigInt& y);
  int64_t (*ref)(mpz_ptr z, Mpz x, Mpz y);
};
void PrintTo(const Op& op, std::ostream* out) { *out << op.name; }

Word W(const BigInt& y) { return y.Length > 0 ? y.Words[0] : 0; }
Word W(Mpz y) { return static_cast<Word>(mpz_getlimbn(y, 0)); }
template <typename T>
Word Wnz(const T& y) { return std::max<Word>(W(y), 1); }
template <typename T>
int32_t Int(const T& y) { return static_cast<int32_t>(W(y)) == 0 ? -7 : static_cast<int32_t>(W(y)); }
MpzValue Abs(Mpz x) {
  MpzValue a;
  mpz_abs(a, x);
  return a;
}
// z := |v| with the sign of x (the bit operations act on magnitudes).
void SignOf(mpz_ptr z, Mpz v, Mpz x) { mpz_mul_si(z, Abs(v), mpz_sgn(x) < 0 ? -1 : 1); }
std::vector<Word> Mag(const BigInt& x, int32_t n) {
  std::vector<Word> w(static_cast<size_t>(std::max(n, x.Length)) + 1, 0);
  std::copy(x.Words, x.Words + x.Length, w.begin());
  w.resize(static_cast<size_t>(n));
  return w;
}
void SetWords(BigInt& z, const std::vector<Word>& w) { test::BigFromWords(z, w, 0); }
int32_t Len(Mpz v) { return static_cast<int32_t>((mpz_sizeinbase(v, 2) + 31) / 32) - (mpz_sgn(v) == 0); }

// |v| cut to n words, for one value in three of even n with its high half
// made its low half plus one: -1 modulo B^(n/2) + 1, the wrap-around
// product's rare case.
std::vector<Word> WrapOperand(const BigInt& v, int32_t n) {
  auto w = Mag(v, n);
  if (n % 2 == 0 && W(v) % 3 == 0) {
    std::copy_n(w.begin(), n / 2, w.begin() + n / 2);
    WordsAddWord(1, w.data() + n / 2, n / 2);
  }
  return w;
}
void WrapOperand(mpz_ptr r, Mpz v, int32_t n) {
  const auto half = 16 * static_cast<mp_bitcnt_t>(n);
  mpz_fdiv_r_2exp(r, Abs(v), 2 * half);
  if (n % 2 == 0 && W(v) % 3 == 0) {
    MpzValue high;
    mpz_fdiv_r_2exp(r, r, half);
    mpz_add_ui(high, r, 1);
    mpz_fdiv_r_2exp(high, high, half);
    mpz_mul_2exp(high, high, half);
    mpz_add(r, r, high);
  }
}

// [U_{k+1} U_k; U_k U_{k-1}] by powers of [P -Q; 1 0] modulo N: U_k and
// V_k = 2U_{k+1} - P·U_k, independent of the unit's ladders.
void LucasRef(mpz_ptr U, mpz_ptr V, Mpz k, Mpz P, Mpz Q, Mpz N) {
  MpzValue a(1), b(0), c(0), d(1), m[4], t[4];
  mpz_set(m[0], P);
  mpz_neg(m[1], Q);
  mpz_set_ui(m[2], 1);
  mpz_set_ui(m[3], 0);
  auto mul = [&](mpz_ptr x0, mpz_ptr x1, mpz_ptr x2, mpz_ptr x3, Mpz y0, Mpz y1, Mpz y2, Mpz y3) {
    mpz_mul(t[0], x0, y0), mpz_addmul(t[0], x1, y2), mpz_mul(t[1], x0, y1), mpz_addmul(t[1], x1, y3);
    mpz_mul(t[2], x2, y0), mpz_addmul(t[2], x3, y2), mpz_mul(t[3], x2, y1), mpz_addmul(t[3], x3, y3);
    for (auto [out, in] : {std::pair{x0, 0}, {x1, 1}, {x2, 2}, {x3, 3}}) {
      mpz_mod(out, t[in], N);
    }
  };
  for (auto bit = static_cast<int64_t>(mpz_sizeinbase(k, 2)); bit >= 0; --bit) {
    mul(a, b, c, d, a, b, c, d);
    if (mpz_tstbit(k, static_cast<mp_bitcnt_t>(bit)) != 0) {
      mul(a, b, c, d, m[0], m[1], m[2], m[3]);
    }
  }
  mpz_set(U, c);
  mpz_mul_2exp(V, a, 1);
  mpz_submul(V, P, c);
  mpz_mod(V, V, N);
}

// |x| in upper-case hexadecimal, grouped from the right, padded on request, signed.
std::string HexRef(Mpz x, int32_t group, bool pad) {
  std::string digits(mpz_sizeinbase(x, 16) + 2, '\0');
  MpzValue m;
  mpz_abs(m, x);
  mpz_get_str(digits.data(), -16, m);
  digits.resize(std::char_traits<char>::length(digits.c_str()));
  if (group > 0 && pad) {
    digits.insert(0, (group - digits.size() % group) % group, '0');
  }
  std::string out = mpz_sgn(x) < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (group > 0 && i > 0 && (digits.size() - i) % static_cast<size_t>(group) == 0) {
      out += ' ';
    }
    out += digits[i];
  }
  return out;
}
// f1, f0 := F(k+1), F(k), Lehmer's worst case: every quotient is one.
void Fibonacci(BigInt& f1, BigInt& f0, int32_t k) {
  BigSetOne(f1);
  BigSetZero(f0);
  for (int32_t i = 0; i < k; ++i) {
    BigAdd(f0, f1);
    BigSwap(f0, f1);
  }
}
int32_t FibIndex(const BigInt& x) { return 46 * std::max(x.Length, 1) + static_cast<int32_t>(W(x) % 9); }
int32_t FibIndex(Mpz x) { return 46 * std::max(Len(x), 1) + static_cast<int32_t>(W(x) % 9); }

uint64_t Hash(const std::string& s) { return std::hash<std::string>{}(s); }  // sums of these wrap, unsigned

// A row whose operation and reference are statements, with no side value.
#define OP(name, forms, domain, maxWords, run, ref)                                                            \
  Op{name, forms, Domain::domain, maxWords, [](BigInt& z, BigInt& x, BigInt& y) -> int64_t { (void)x, (void)y; \
       run; return 0; }, [](mpz_ptr z, Mpz x, Mpz y) -> int64_t { (void)x, (void)y; ref; return 0; }}

const Op ops[] = {
    OP("Add", InPlace, Any, 0, BigAdd(z, y), mpz_add(z, x, y)),
    OP("Sub", InPlace, Any, 0, BigSub(z, y), mpz_sub(z, x, y)),
    OP("SubFrom", InPlace, Any, 0, BigSubFrom(z, y), mpz_sub(z, y, x)),
    OP("AddTo", AnyForm, Any, 0, BigAddTo(z, x, y), mpz_add(z, x, y)),
    OP("SubTo", AnyForm, Any, 0, BigSubTo(z, x, y), mpz_sub(z, x, y)),
    OP("AddWord", ZisX, Any, 0, BigAddWord(z, W(y)), mpz_add_ui(z, x, W(y))),
    OP("SubWord", ZisX, Any, 0, BigSubWord(z, W(y)), mpz_sub_ui(z, x, W(y))),
    OP("Increment", ZisX, Any, 0, BigIncrement(z), mpz_add_ui(z, x, 1)),
    OP("Decrement", ZisX, Any, 0, BigDecrement(z), mpz_sub_ui(z, x, 1)),
    OP("MulWord", ZisX, Any, 0, BigMulWord(z, W(y)), mpz_mul_ui(z, x, W(y))),
    OP("MulInt", ZisX, Any, 0, BigMulInt(z, Int(y)), mpz_mul_si(z, x, Int(y))),
    OP("Mul", InPlace, Any, 0, BigMul(z, y), mpz_mul(z, x, y)),
    OP("MulTo", AnyForm, Any, 0, BigMulTo(z, x, y), mpz_mul(z, x, y)),
    OP("Sqr", ZisX, Any, 0, BigSqr(z), mpz_mul(z, x, x)),
    OP("SqrTo", Three | ZisX, Any, 0, BigSqrTo(z, x), mpz_mul(z, x, x)),
    OP("Power", ZisX, Any, 40, BigPower(z, W(y) % 40), mpz_pow_ui(z, x, W(y) % 40)),
    OP("DivModQuotient", Three | ZisX | ZisY, NonZero, 0, BigInt r; BigDivMod(z, r, x, y), mpz_tdiv_q(z, x, y)),
    OP("DivModRemainder", Three | ZisX | ZisY, NonZero, 0, BigInt q; BigDivMod(q, z, x, y), mpz_tdiv_r(z, x, y)),
    {"Div", InPlace, Domain::NonZero, 0, [](BigInt& z, BigInt&, BigInt& y) -> int64_t { return BigDiv(z, y); },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t { return mpz_tdiv_q(z, x, y), mpz_divisible_p(x, y) != 0; }},
    OP("Rem", InPlace, NonZero, 0, BigRem(z, y), mpz_tdiv_r(z, x, y)),
    {"DivWord", ZisX, Domain::Any, 0, [](BigInt& z, BigInt&, BigInt& y) -> int64_t { return BigDivWord(z, Wnz(y)); },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t { return mpz_tdiv_q_ui(z, x, Wnz(y)); }},
    {"DivWordExact", ZisX, Domain::Any, 0,
     [](BigInt& z, BigInt&, BigInt& y) -> int64_t { return BigDivWordExact(z, Wnz(y)); },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t { return mpz_tdiv_q_ui(z, x, Wnz(y)) == 0; }},
    {"DivInt", ZisX, Domain::Any, 0, [](BigInt& z, BigInt&, BigInt& y) -> int64_t { return BigDivInt(z, Int(y)); },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t {
       const auto r = static_cast<int64_t>(mpz_tdiv_ui(x, static_cast<unsigned long>(std::abs(int64_t{Int(y)}))));
       return mpz_tdiv_q(z, x, MpzValue(Int(y))), mpz_sgn(x) * r;
     }},
    OP("DivExactByWord", ZisX, Any, 0, BigMulWord(z, Wnz(y)); BigDivExactByWord(z, Wnz(y)), mpz_set(z, x)),
    {"IsDivisibleByWord", Three, Domain::Any, 0,
     [](BigInt& z, BigInt& x, BigInt& y) -> int64_t {
       BigAssign(z, x);
       BigMulWord(z, Wnz(y));
       return BigIsDivisibleByWord(x, Wnz(y)) + 2 * BigIsDivisibleByWord(z, Wnz(y));
     },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t { return mpz_mul_ui(z, x, Wnz(y)), mpz_divisible_ui_p(x, Wnz(y)) + 2; }},
    {"ModWordAndMod3", Three, Domain::Any, 0,
     [](BigInt& z, BigInt& x, BigInt& y) -> int64_t { return BigSetZero(z), BigModWord(x, Wnz(y)) * 4ll + BigMod3(x); },
     [](mpz_ptr, Mpz x, Mpz y) -> int64_t { return mpz_fdiv_ui(x, Wnz(y)) * 4 + mpz_fdiv_ui(x, 3); }},
    OP("Mod", InPlace, NonZero, 0, BigMod(z, y), mpz_fdiv_r(z, x, y)),
    OP("ModRegistered", ZisX, Odd, 0, BigModulusScope scope(y); BigMod(z, y), mpz_fdiv_r(z, x, y)),
    OP("BarrettReduce", ZisX, Odd, 0, BigInt mu; BigReciprocal(mu, y); BigBarrettReduce(z, y, mu),
       mpz_fdiv_r(z, x, y)),
    // Bits, on magnitudes.
    OP("ShiftLeft", ZisX, Any, 0, BigShiftLeft(z, W(y) % 3000), mpz_mul_2exp(z, x, W(y) % 3000)),
    OP("ShiftRight", ZisX, Any, 0, BigShiftRight(z, W(y) % 3000), mpz_tdiv_q_2exp(z, x, W(y) % 3000)),
    OP("ShiftLeft1", ZisX, Any, 0, BigShiftLeft1(z), mpz_mul_2exp(z, x, 1)),
    {"ShiftRight1", ZisX, Domain::Any, 0, [](BigInt& z, BigInt&, BigInt&) -> int64_t { return BigShiftRight1(z); },
     [](mpz_ptr z, Mpz x, Mpz) -> int64_t { return mpz_tdiv_q_2exp(z, x, 1), mpz_tstbit(Abs(x), 0); }},
    {"RemoveTrailingZeros", ZisX, Domain::Any, 0,
     [](BigInt& z, BigInt&, BigInt&) -> int64_t { return BigRemoveTrailingZeros(z); },
     [](mpz_ptr z, Mpz x, Mpz) -> int64_t {
       const int64_t zeros = mpz_sgn(x) == 0 ? -1 : static_cast<int64_t>(mpz_scan1(x, 0));
       return mpz_tdiv_q_2exp(z, x, static_cast<mp_bitcnt_t>(std::max<int64_t>(zeros, 0))), zeros;
     }},
    OP("SetBit", ZisX, Any, 0, BigSetBit(z, static_cast<int32_t>(W(y) % 3000)),
       MpzValue m = Abs(x); mpz_setbit(m, W(y) % 3000); SignOf(z, m, x)),
    OP("Xor", InPlace, Any, 0, BigXor(z, y), MpzValue m; mpz_xor(m, Abs(x), Abs(y)); SignOf(z, m, x)),
    OP("Negate", ZisX, Any, 0, BigNegate(z), mpz_neg(z, x)),
    OP("Abs", ZisX, Any, 0, BigAbs(z), mpz_abs(z, x)),
    {"BitQueries", Three, Domain::Any, 0,
     [](BigInt& z, BigInt& x, BigInt& y) -> int64_t {
       BigSetZero(z);
       const auto k = static_cast<int32_t>(W(y) % 25000);
       const uint64_t field = BigBitField(x, k, static_cast<int32_t>(W(y) % 33));
       return static_cast<int64_t>(BigBitSize(x) + (uint64_t(BigPopCount(x)) << 20) + (uint64_t(BigTestBit(x, k)) << 40) +
                                   (field << 41) + BigTestBit(x, -1));
     },
     [](mpz_ptr, Mpz x, Mpz y) -> int64_t {
       const MpzValue m = Abs(x);
       const Word k = W(y) % 25000;
       MpzValue field;
       mpz_tdiv_q_2exp(field, m, k);
       mpz_fdiv_r_2exp(field, field, W(y) % 33);
       return static_cast<int64_t>((mpz_sgn(x) == 0 ? 0 : mpz_sizeinbase(x, 2)) + (uint64_t{mpz_popcount(m)} << 20) +
                                   (uint64_t(mpz_tstbit(m, k)) << 40) + (uint64_t{mpz_get_ui(field)} << 41));
     }},
    {"Compare", Three | XisY, Domain::Any, 0,
     [](BigInt& z, BigInt& x, BigInt& y) -> int64_t {
       BigSetZero(z);
       return BigCompare(x, y) * 3 + BigCompareAbs(x, y) * 9 + BigEqual(x, y) * 27 + BigEqualAbs(x, y) * 54 +
              BigCompareWord(x, W(y)) * 108 + BigEqualsWord(x, W(y)) * 324 + BigIsOne(x) * 648 +
              BigIsMinusOne(x) * 1296 + static_cast<int64_t>(BigLowUInt64(x) % 1000003) * 2592;
     },
     [](mpz_ptr, Mpz x, Mpz y) -> int64_t {
       auto sgn = [](int c) { return (c > 0) - (c < 0); };
       const int word = mpz_sgn(x) < 0 ? -1 : sgn(mpz_cmp_ui(x, W(y)));
       MpzValue low;
       mpz_fdiv_r_2exp(low, Abs(x), 64);
       return sgn(mpz_cmp(x, y)) * 3 + sgn(mpz_cmpabs(x, y)) * 9 + (mpz_cmp(x, y) == 0) * 27 +
              (mpz_cmpabs(x, y) == 0) * 54 + word * 108 + (mpz_cmp_ui(x, W(y)) == 0) * 324 +
              (mpz_cmp_si(x, 1) == 0) * 648 + (mpz_cmp_si(x, -1) == 0) * 1296 +
              static_cast<int64_t>(mpz_fdiv_ui(low, 1000003)) * 2592;
     }},
    {"Gcd", InPlace, Domain::Any, 0, [](BigInt& z, BigInt&, BigInt& y) -> int64_t { return BigGcd(z, y); },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t { return mpz_gcd(z, x, y), mpz_cmp_ui(z, 1) == 0; }},
    {"CoprimeAndLcm", ZisX, Domain::Any, 0,
     [](BigInt& z, BigInt&, BigInt& y) -> int64_t { const bool c = BigCoprime(z, y); return BigLcm(z, y), c; },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t {
       MpzValue g;
       return mpz_gcd(g, x, y), mpz_lcm(z, x, y), mpz_cmp_ui(g, 1) == 0;
     }},
    {"InvMod", ZisX, Domain::Modulus, 0, [](BigInt& z, BigInt&, BigInt& y) -> int64_t { return BigInvMod(z, y); },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t { return mpz_invert(z, x, y) != 0 || (mpz_set_ui(z, 0), false); }},
    // Both operands times |y| + 1: a common factor as long as they are.
    OP("GcdCommonFactor", ZisX, Any, 0, BigInt c; BigInt b; BigAssign(c, y); BigAbs(c); BigIncrement(c);
       BigMulTo(b, y, c); BigMul(z, c); BigGcd(z, b),
       MpzValue c; MpzValue a; MpzValue b; mpz_abs(c, y); mpz_add_ui(c, c, 1); mpz_mul(a, x, c);
       mpz_mul(b, y, c); mpz_gcd(z, a, b)),
    // Consecutive Fibonacci numbers as long as x, times |y| + 1 for the gcd; the inverse of one
    // modulo the other goes above it.
    OP("GcdInvModFibonacci", ZisX, Any, 0, BigInt f1; BigInt f0; BigInt c; BigInt g;
       Fibonacci(f1, f0, FibIndex(x)); BigAssign(z, f0); BigInvMod(z, f1); BigAssign(c, y); BigAbs(c);
       BigIncrement(c); BigMulTo(g, f1, c); BigMul(c, f0); BigGcd(g, c); BigShiftLeft(z, 32 * g.Length + 32);
       BigAdd(z, g),
       MpzValue f1; MpzValue f0; MpzValue c; MpzValue g; mpz_fib2_ui(f1, f0, FibIndex(x) + 1);
       mpz_invert(z, f0, f1); mpz_abs(c, y); mpz_add_ui(c, c, 1); mpz_mul(g, f1, c); mpz_mul(c, c, f0);
       mpz_gcd(g, g, c); mpz_mul_2exp(z, z, 32 * static_cast<mp_bitcnt_t>(Len(g) + 1)); mpz_add(z, z, g)),
#define POWMOD(method)                                                                                         \
  OP("PowMod" #method, ZisX, Modulus, 12, BigInt e; BigAssign(e, z); BigAbs(e); BigPowMod(z, e, y, method), \
     mpz_powm(z, x, Abs(x), y)),                                                                               \
      OP("PowModWord" #method, ZisX, Modulus, 1152, BigPowModWord(z, W(x), y, method), mpz_powm_ui(z, x, W(x), y))
    POWMOD(PowModAuto), POWMOD(PowModPlain), POWMOD(PowModMontgomery), POWMOD(PowModBarrett),
#undef POWMOD
    OP("PowModBase2", ZisX, Modulus, 12, BigInt e; BigAssign(e, z); BigAbs(e); BigSetWord(z, 2);
       BigPowMod(z, e, y, PowModMontgomery), mpz_powm(z, MpzValue(2), Abs(x), y)),
    {"Jacobi", Three, Domain::Odd, 0,
     [](BigInt& z, BigInt& x, BigInt& y) -> int64_t {
       BigSetZero(z);
       const Word n = std::max<Word>(W(y) | 1, 3);
       return BigJacobi(x, y) + 3 * BigJacobiInt(Int(x), y) +
              9 * IntJacobi(Int(x), std::max(static_cast<int32_t>(n & 0x7FFFFFFF), 3)) +
              27 * WordJacobi(Int(x), n);
     },
     [](mpz_ptr, Mpz x, Mpz y) -> int64_t {
       const Word n = std::max<Word>(W(y) | 1, 3);
       const MpzValue i(Int(x));
       return mpz_jacobi(x, y) + 3 * mpz_jacobi(i, y) +
              9 * mpz_jacobi(i, MpzValue(std::max<Word>(n & 0x7FFFFFFF, 3))) + 27 * mpz_jacobi(i, MpzValue(n));
     }},
    OP("SqrtMod", ZisX, Prime, 6, BigInt c; BigSqr(z); BigMod(z, y); BigNonResidue(c, y); BigSqrtMod(z, y, c);
       BigSqr(z); BigMod(z, y), mpz_mul(z, x, x); mpz_mod(z, z, y)),
    OP("LucasV", ZisX, Odd, 8, BigInt k; BigInt P; BigInt Q; BigAssign(k, z); BigAbs(k); BigSetWord(P, W(x));
       BigSetInt(Q, 2 - static_cast<int32_t>(W(y) % 5)); BigLucasV(z, k, P, y, Q),
       MpzValue U; LucasRef(U, z, Abs(x), MpzValue(W(x)), MpzValue(2 - static_cast<int32_t>(W(y) % 5)), y)),
    // U and V side by side: z := U + V·2^(32·(len N + 1)); k cut to 128 bits keeps the
    // long moduli (each way of REDC) cheap.
    OP("LucasUV", ZisX, Odd, 256, BigInt k; BigInt V; BigAssign(k, z); BigAbs(k);
       k.Length = std::min(k.Length, 4); BigNormalize(k);
       BigLucasUV(z, V, k, 5 - 4 * static_cast<int32_t>(W(z) % 16), y); BigShiftLeft(V, 32 * y.Length + 32);
       BigAdd(z, V),
       MpzValue V; MpzValue k; mpz_fdiv_r_2exp(k, Abs(x), 128);
       LucasRef(z, V, k, MpzValue(1), MpzValue(static_cast<int32_t>(W(x) % 16) - 1), y);
       mpz_mul_2exp(V, V, 32 * static_cast<mp_bitcnt_t>(Len(y) + 1)); mpz_add(z, z, V)),
    {"Isqrt", ZisX, Domain::Any, 0,
     [](BigInt& z, BigInt&, BigInt&) -> int64_t {
       bool square = false;
       const Word root = WordIsqrt(W(z), square);
       return BigAbs(z), BigIsqrt(z) + 2 * int64_t{square} + 4 * int64_t{root};
     },
     [](mpz_ptr z, Mpz x, Mpz) -> int64_t {
       MpzValue root, w(W(x));
       mpz_sqrt(root, w);
       return mpz_sqrt(z, Abs(x)), mpz_perfect_square_p(Abs(x)) + 2 * mpz_perfect_square_p(w) + 4 * mpz_get_si(root);
     }},
    // Text and binary forms. The text read back carries blanks at places that y picks.
    {"Text", Three | ZisX, Domain::Any, 0,
     [](BigInt& z, BigInt& x, BigInt& y) -> int64_t {
       const int32_t group = static_cast<int32_t>(W(y) % 9);
       const std::string hex = BigToHex(x, group, (W(y) & 16) != 0);
       const std::string decimal = BigToDecimal(x);
       std::string blanked = decimal;
       blanked.insert(x.Sign, W(y) % 20, '0');
       for (const char* blank : {" ", "\t", "\n", "\r", "\\"}) {
         const size_t at = W(y) % (blanked.size() + 1);
         blanked = blanked.substr(0, at) + blank + blanked.substr(at);
       }
       BigFromString(z, hex, 16);
       BigInt d;
       BigFromString(d, blanked, 10);
       const uint64_t texts = BigIsNumberText(blanked, 10) + 2 * BigIsNumberText(hex, 16) + 4 * BigIsNumberText(hex, 10);
       return static_cast<int64_t>(Hash(hex) + Hash(decimal) + BigEqual(d, z) + BigDecimalSize(x) * 3 + 7 * texts);
     },
     [](mpz_ptr z, Mpz x, Mpz y) -> int64_t {
       const std::string hex = HexRef(x, static_cast<int32_t>(W(y) % 9), (W(y) & 16) != 0);
       std::string decimal(mpz_sizeinbase(x, 10) + 2, '\0');
       mpz_get_str(decimal.data(), 10, x);
       decimal.resize(std::char_traits<char>::length(decimal.c_str()));
       const int64_t digits = mpz_sgn(x) == 0 ? 0 : static_cast<int64_t>(decimal.size()) - (mpz_sgn(x) < 0);
       const bool hexIsDecimal = hex.find_first_of("ABCDEF") == std::string::npos;
       const uint64_t sum = Hash(hex) + Hash(decimal) + 1 + digits * 3 + 7 * (3 + 4 * hexIsDecimal);
       return mpz_set(z, x), static_cast<int64_t>(sum);
     }},
    OP("Stream", Three | ZisX, Any, 0, std::stringstream s; BigWriteStream(x, s); BigReadStream(z, s), mpz_set(z, x)),
    OP("FromBytes", Three | ZisX, Any, 0, std::vector<uint8_t> b(4 * static_cast<size_t>(x.Length) + 1, 0);
       std::copy_n(reinterpret_cast<const uint8_t*>(x.Words), b.size() - 1, b.begin());
       BigSetFromBytes(z, b.data(), static_cast<int32_t>(b.size())), mpz_abs(z, x)),
    OP("TakeTopWords", Three | ZisX, Any, 0, BigTakeTopWords(z, x, static_cast<int32_t>(W(y) % 8)),
       const int32_t k = static_cast<int32_t>(W(y) % 8);
       mpz_tdiv_q_2exp(z, x, 32 * static_cast<mp_bitcnt_t>(std::max(Len(x) - k, 0)))),
    // The word kernel, on magnitudes: a = |x| of n words, b = |y| cut or padded to n.
#define KERNEL(name, minimum, call)                                                                     \
  OP(name, Three, Any, 0, const int32_t n = std::max(x.Length, minimum); auto a = Mag(x, n);       \
     auto b = Mag(y, n); std::vector<Word> d(2 * static_cast<size_t>(n) + 1);                       \
     std::vector<Word> s(static_cast<size_t>(WordsScratchSize(n))); (void)s; call; SetWords(z, d), \
     MpzValue m; mpz_fdiv_r_2exp(m, Abs(y), 32 * std::max<mp_bitcnt_t>(Len(x), minimum)); mpz_mul(z, Abs(x), m))
    KERNEL("WordsMul", 1, WordsMul(d.data(), a.data(), b.data(), n)),
    KERNEL("WordsMulKaratsuba", 2, WordsMulKaratsuba(d.data(), a.data(), b.data(), s.data(), n)),
    KERNEL("WordsMulToom3", 5, WordsMulToom3(d.data(), a.data(), b.data(), s.data(), n)),
    KERNEL("WordsMulBasecase", 1, WordsMulBasecase(d.data(), a.data(), b.data(), n, n)),
#undef KERNEL
#define SQUARE(name, minimum, call)                                                              \
  OP(name, Three, Any, 0, const int32_t n = std::max(x.Length, minimum); auto a = Mag(x, n);    \
     std::vector<Word> d(2 * static_cast<size_t>(n) + 1);                                        \
     std::vector<Word> s(static_cast<size_t>(WordsScratchSize(n))); (void)s; call; SetWords(z, d), \
     mpz_mul(z, x, x))
    SQUARE("WordsSqr", 1, WordsSqr(d.data(), a.data(), n)),
    SQUARE("WordsSqrBasecase", 1, WordsSqrBasecase(d.data(), a.data(), n)),
    SQUARE("WordsSqrKaratsuba", 2, WordsSqrKaratsuba(d.data(), a.data(), n, s.data())),
    SQUARE("WordsSqrToom3", 5, WordsSqrToom3(d.data(), a.data(), n, s.data())),
#undef SQUARE
    OP("WordsMulLow", Three, Any, 0, const int32_t n = std::max(x.Length, 1); auto a = Mag(x, n);
       auto b = Mag(y, n); std::vector<Word> d(static_cast<size_t>(n));
       std::vector<Word> s(static_cast<size_t>(WordsMulLowScratchSize(n)) + 1);
       WordsMulLow(d.data(), a.data(), b.data(), n, s.data()); SetWords(z, d),
       const auto bits = 32 * std::max<mp_bitcnt_t>(Len(x), 1); MpzValue m;
       mpz_fdiv_r_2exp(m, Abs(y), bits); mpz_mul(z, Abs(x), m); mpz_fdiv_r_2exp(z, z, bits)),
    // B^n - 1 may stand for 0 in the result.
    OP("WordsMulWrap", Three, Any, 0, const int32_t n = std::max(x.Length, 1);
       auto a = WrapOperand(x, n); auto b = WrapOperand(y, n); std::vector<Word> d(a.size());
       std::vector<Word> s(static_cast<size_t>(WordsMulWrapScratchSize(n)));
       WordsMulWrap(d.data(), a.data(), b.data(), n, s.data());
       if (std::count(d.begin(), d.end(), ~Word{0}) == n) { std::fill(d.begin(), d.end(), 0); }
       SetWords(z, d),
       const int32_t n = std::max(Len(x), 1); MpzValue a; MpzValue b; MpzValue wrap;
       WrapOperand(a, x, n); WrapOperand(b, y, n); mpz_mul(z, a, b);
       mpz_setbit(wrap, 32 * static_cast<mp_bitcnt_t>(n)); mpz_sub_ui(wrap, wrap, 1); mpz_mod(z, z, wrap)),
    OP("WordsMulBasecaseUnbalanced", Three, Any, 0, BigInt& l = x.Length >= y.Length ? x : y;
       BigInt& r = x.Length >= y.Length ? y : x; if (r.Length == 0) { BigSetZero(z); } else {
         std::vector<Word> d(static_cast<size_t>(l.Length + r.Length));
         WordsMulBasecase(d.data(), l.Words, r.Words, r.Length, l.Length);
         SetWords(z, d);
       },
       mpz_mul(z, x, y); mpz_abs(z, z)),
};

void Fit(mpz_ptr y, Domain domain) {
  if (domain == Domain::NonZero && mpz_sgn(y) == 0) {
    mpz_set_si(y, -1);
  } else if (domain >= Domain::Modulus) {
    mpz_abs(y, y);
    domain == Domain::Odd ? mpz_setbit(y, 0) : domain == Domain::Prime ? mpz_nextprime(y, y) : void();
    if (mpz_cmp_ui(y, domain == Domain::Modulus ? 2 : 3) < 0) {
      mpz_set_ui(y, 3);
    }
  }
}

testing::AssertionResult Check(const Op& op, Form form, mpz_srcptr xIn, mpz_srcptr yIn) {
  MpzValue X, Y;
  mpz_set(X, xIn);
  mpz_set(Y, yIn);
  const bool same = form == XisY || form == All;
  Fit(Y, op.domain);
  if (same) {
    Fit(X, op.domain);
    mpz_set(Y, X);
  }
  MpzValue want;
  const int64_t side = op.ref(want, X, Y);
  BigInt a, b, c;
  test::BigFromMpz(a, X);
  test::BigFromMpz(b, Y);
  test::BigFromWords(c, {0xDEADBEEFu, 0x12345678u, 0x9ABCDEF0u}, 1);  // stale destination
  BigInt* z = form == Three || form == XisY ? &c : form == ZisY ? &b : &a;
  BigInt& y = same ? a : b;
  const int64_t got = op.run(*z, a, y);
  auto fail = [&]() {
    return testing::AssertionFailure() << op.name << " form " << form << ", x " << test::MpzShown(X) << ", y "
                                       << test::MpzShown(Y) << ": ";
  };
  if (const testing::AssertionResult r = test::BigMatches(*z, want); !r) {
    return fail() << r.message();
  }
  if (got != side) {
    return fail() << "returned " << got << ", expected " << side;
  }
  if (z != &a && !test::BigMatches(a, X)) {
    return fail() << "x changed";
  }
  if (z != &b && !same && !test::BigMatches(b, Y)) {
    return fail() << "y changed";
  }
  return testing::AssertionSuccess();
}

class BigDiffTest : public testing::TestWithParam<Op> {};

TEST_P(BigDiffTest, AgreesWithGmp) {
  const Op& op = GetParam();
  test::BigRandom random;
  MpzValue x, y;
  auto check = [&](const std::vector<Word>& xw, const std::vector<Word>& yw) {
    if (HasFailure()) {
      return;  // one report per operation
    }
    test::MpzFromWords(x, xw, random.Coin());
    test::MpzFromWords(y, yw, random.Coin());
    for (const Form form : {Three, ZisX, ZisY, XisY, All}) {
      if ((op.forms & form) != 0) {
        ASSERT_TRUE(Check(op, form, x, y));
      }
    }
  };
  for (int32_t round = 0; round < test::Rounds(1); ++round) {
    for (const int32_t n : test::ThresholdLengths()) {
      if (op.maxWords > 0 && n > op.maxWords) {
        continue;
      }
      for (const test::Shape shape : test::AllShapes) {
        const test::Shape other = test::AllShapes[random.Between(0, 5)];
        check(random.Words(n, shape), random.Words(n, other));
        check(random.Words(n, shape), random.Words(random.Between(1, n), other));
        check(random.Words(random.Between(1, n), other), random.Words(n, shape));
      }
      for (const std::vector<Word>& small : {std::vector<Word>{}, {1}, {2}}) {
        check(small, random.Words(n, test::Shape::Uniform));
        check(random.Words(n, test::Shape::Uniform), small);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Ops, BigDiffTest, testing::ValuesIn(ops),
                         [](const testing::TestParamInfo<Op>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace karvo
