// Floating point against MPFR and MPC: every operation and function at
// precisions 128 to 20000 bits within a stated bound, π and √2 at 100000 bits.
// Error unit: 2^(e − P) where 2^(e−1) ≤ |reference| < 2^e (the ulp of a
// P-bit result); the rounding ignores sticky bits, so even one rounding may
// cost up to one unit.

#include <gtest/gtest.h>
#include <mpc.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "base/Errors.h"
#include "classpolys/BigFloat.h"
#include "support/MpzValue.h"
#include "support/TestEnv.h"

namespace karvo {
namespace {

using test::MpzValue;

class Mpfr {
 public:
  explicit Mpfr(int64_t bits) { mpfr_init2(v_, static_cast<mpfr_prec_t>(bits)); }
  ~Mpfr() { mpfr_clear(v_); }
  Mpfr(const Mpfr&) = delete;
  Mpfr& operator=(const Mpfr&) = delete;
  operator mpfr_ptr() { return v_; }

 private:
  mpfr_t v_;
};

// Exact: the reference carries at least the mantissa's bits.
void ToMpfr(mpfr_ptr out, const BigFloat& a) {
  MpzValue z;
  test::MpzFromBig(z, a.Mantissa);
  mpfr_set_prec(out, std::max<mpfr_prec_t>(mpfr_get_prec(out), BigBitSize(a.Mantissa) + 1));
  mpfr_set_z_2exp(out, z, a.Exponent, MPFR_RNDN);
}

// |got − want| in units of 2^(max(exponent of want, floorExp) − P).
double UnitsOfError(const BigFloat& got, mpfr_ptr want, int32_t p, int64_t floorExp) {
  Mpfr g(p + 64);
  Mpfr diff(2 * p + 128);
  ToMpfr(g, got);
  mpfr_sub(diff, g, want, MPFR_RNDN);
  if (mpfr_zero_p(diff)) {
    return 0;
  }
  const int64_t e = mpfr_zero_p(want) ? floorExp : std::max<int64_t>(mpfr_get_exp(want), floorExp);
  mpfr_abs(diff, diff, MPFR_RNDN);
  mpfr_mul_2si(diff, diff, static_cast<long>(p - e), MPFR_RNDN);
  return mpfr_get_d(diff, MPFR_RNDU);
}

// A random P-bit value of magnitude 2^lo … 2^hi.
void RandomFloat(BigFloat& a, std::mt19937_64& random, int32_t lo, int32_t hi, bool signed_) {
  const int32_t p = GetPrecision();
  std::vector<Word> words(static_cast<size_t>(p / 32));
  for (Word& w : words) {
    w = static_cast<Word>(random());
  }
  words.back() |= 0x80000000u;
  test::BigFromWords(a.Mantissa, words, signed_ && (random() & 1) ? 1 : 0);
  a.Exponent = std::uniform_int_distribution<int32_t>(lo, hi)(random) - p;
}

// One row: inputs x, y (reals; z, w complex) drawn from the magnitude range
// [lo, hi], the operation on both sides, and the bound.
struct TFloatRow {
  const char* name;
  int32_t lo, hi;
  bool signed_;
  double bound;
  int64_t floorExp;  // absolute error below 2^floorExp (sin, cos near zeros)
  std::function<void(BigFloat& r, BigFloat& x, BigFloat& y, int32_t k)> karvo;
  std::function<void(mpfr_ptr r, mpfr_ptr x, mpfr_ptr y, int32_t k)> reference;
};

constexpr int64_t kRelative = INT64_MIN / 2;

const TFloatRow kRealRows[] = {
    {"add", -40, 40, true, 1, kRelative, [](auto& r, auto& x, auto& y, int) { Add(r, x, y); },
     [](auto r, auto x, auto y, int) { mpfr_add(r, x, y, MPFR_RNDN); }},
    {"sub", -3, 3, true, 1, kRelative, [](auto& r, auto& x, auto& y, int) { Sub(r, x, y); },
     [](auto r, auto x, auto y, int) { mpfr_sub(r, x, y, MPFR_RNDN); }},
    {"addto", -40, 40, true, 1, kRelative, [](auto& r, auto& x, auto& y, int) { AddTo(x, y); Swap(r, x); },
     [](auto r, auto x, auto y, int) { mpfr_add(r, x, y, MPFR_RNDN); }},
    {"mul", -40, 40, true, 1, kRelative, [](auto& r, auto& x, auto& y, int) { Mul(x, y); Swap(r, x); },
     [](auto r, auto x, auto y, int) { mpfr_mul(r, x, y, MPFR_RNDN); }},
    {"mulint", -40, 40, true, 1, kRelative, [](auto& r, auto& x, auto&, int k) { MulInt(x, k); Swap(r, x); },
     [](auto r, auto x, auto, int k) { mpfr_mul_si(r, x, k, MPFR_RNDN); }},
    {"mulbig", -40, 40, true, 1, kRelative,
     [](auto& r, auto& x, auto& y, int) { BigInt n; BigAssign(n, y.Mantissa); MulBig(x, n); Swap(r, x); },
     [](auto r, auto x, auto y, int) { mpfr_mul(r, x, y, MPFR_RNDN); mpfr_mul_2si(r, r, GetPrecision() - mpfr_get_exp(y), MPFR_RNDN); }},
    {"subint", -3, 40, true, 1, kRelative, [](auto& r, auto& x, auto&, int k) { SubInt(x, k); Swap(r, x); },
     [](auto r, auto x, auto, int k) { mpfr_sub_si(r, x, k, MPFR_RNDN); }},
    {"compare", 0, 0, true, 0, kRelative, [](auto& r, auto& x, auto& y, int) { SetInt(r, Compare(x, y)); },
     [](auto r, auto x, auto y, int) { mpfr_set_si(r, mpfr_cmp(x, y), MPFR_RNDN); }},
    {"square", -40, 40, true, 1, kRelative, [](auto& r, auto& x, auto&, int) { SquareOf(r, x); },
     [](auto r, auto x, auto, int) { mpfr_sqr(r, x, MPFR_RNDN); }},
    {"div", -40, 40, true, 2, kRelative, [](auto& r, auto& x, auto& y, int) { Div(x, y); Swap(r, x); },
     [](auto r, auto x, auto y, int) { mpfr_div(r, x, y, MPFR_RNDN); }},
    {"divint", -40, 40, true, 2, kRelative, [](auto& r, auto& x, auto&, int k) { DivInt(x, k); Swap(r, x); },
     [](auto r, auto x, auto, int k) { mpfr_div_si(r, x, k, MPFR_RNDN); }},
    {"divbig", -40, 40, true, 2, kRelative,
     [](auto& r, auto& x, auto& y, int) { BigInt n; BigAssign(n, y.Mantissa); DivBig(x, n); Swap(r, x); },
     [](auto r, auto x, auto y, int) { mpfr_div(r, x, y, MPFR_RNDN); mpfr_mul_2si(r, r, mpfr_get_exp(y) - GetPrecision(), MPFR_RNDN); }},
    {"reciprocal", -40, 40, true, 2, kRelative, [](auto& r, auto& x, auto&, int) { InverseOf(r, x); },
     [](auto r, auto x, auto, int) { mpfr_ui_div(r, 1, x, MPFR_RNDN); }},
    {"sqrt", -40, 40, false, 2, kRelative, [](auto& r, auto& x, auto&, int) { Sqrt(x); Swap(r, x); },
     [](auto r, auto x, auto, int) { mpfr_sqrt(r, x, MPFR_RNDN); }},
    // |x| < 16: the ⌈log2 |x|⌉ + 33 squarings spend the 32 guard bits and
    // about 4·|x| units more.
    {"exp", -40, 4, true, 72, kRelative, [](auto& r, auto& x, auto&, int) { Exp(x); Swap(r, x); },
     [](auto r, auto x, auto, int) { mpfr_exp(r, x, MPFR_RNDN); }},
    {"cos", -20, 5, true, 4, 0, [](auto& r, auto& x, auto& y, int) { SinCos(y, r, x, false); },
     [](auto r, auto x, auto, int) { mpfr_cos(r, x, MPFR_RNDN); }},
    {"sin", -20, 5, true, 4, 0, [](auto& r, auto& x, auto& y, int) { SinCos(r, y, x, false); },
     [](auto r, auto x, auto, int) { mpfr_sin(r, x, MPFR_RNDN); }},
    {"tan", -20, 0, true, 4, 0, [](auto& r, auto& x, auto& y, int) { SinCos(r, y, x, true); },
     [](auto r, auto x, auto, int) { mpfr_tan(r, x, MPFR_RNDN); }},
    {"round", -4, 60, true, 0, kRelative,
     [](auto& r, auto& x, auto&, int) { BigInt n; ToBigInt(n, x); SetBig(r, n); },
     [](auto r, auto x, auto, int) { mpfr_round(r, x); }},
    {"trunc", -4, 60, true, 0, kRelative, [](auto& r, auto& x, auto&, int) { TruncFraction(x); Swap(r, x); },
     [](auto r, auto x, auto, int) { mpfr_trunc(r, x); }},
    {"pi", 0, 0, false, 2, kRelative, [](auto& r, auto&, auto&, int k) { GetPi(r, k % 8); },
     [](auto r, auto, auto, int k) { mpfr_const_pi(r, MPFR_RNDN); mpfr_mul_2si(r, r, k % 8, MPFR_RNDN); }},
    {"sqrt2", 0, 0, false, 2, kRelative, [](auto& r, auto&, auto&, int k) { GetSqrt2(r, k % 8); },
     [](auto r, auto, auto, int k) { mpfr_sqrt_ui(r, 2, MPFR_RNDN); mpfr_mul_2si(r, r, k % 8, MPFR_RNDN); }},
};

struct TComplexRow {
  const char* name;
  int32_t lo, hi;
  double bound;  // in units of the larger part of the result
  std::function<void(BigComplex& z, BigComplex& w, int32_t k)> karvo;
  std::function<void(mpc_ptr r, mpc_ptr z, mpc_ptr w, int32_t k)> reference;
};

const TComplexRow kComplexRows[] = {
    {"cmul", -20, 20, 8, [](auto& z, auto& w, int) { Mul(z, w); },
     [](auto r, auto z, auto w, int) { mpc_mul(r, z, w, MPC_RNDNN); }},
    {"csquare", -20, 20, 8, [](auto& z, auto&, int) { Square(z); },
     [](auto r, auto z, auto, int) { mpc_sqr(r, z, MPC_RNDNN); }},
    {"cdiv", -20, 20, 16, [](auto& z, auto& w, int) { Div(z, w); },
     [](auto r, auto z, auto w, int) { mpc_div(r, z, w, MPC_RNDNN); }},
    {"creciprocal", -20, 20, 8, [](auto& z, auto& w, int) { InverseOf(w, z); Swap(z, w); },
     [](auto r, auto z, auto, int) { mpc_ui_div(r, 1, z, MPC_RNDNN); }},
    {"cnorm", -20, 20, 2, [](auto& z, auto&, int) { BigFloat n; SquaredModulus(n, z); Swap(z.Re, n); SetZero(z.Im); },
     [](auto r, auto z, auto, int) { mpc_norm(mpc_realref(r), z, MPFR_RNDN); mpfr_set_ui(mpc_imagref(r), 0, MPFR_RNDN); }},
    {"cpower", -1, 1, 64, [](auto& z, auto&, int k) { Power(z, k % 13); },
     [](auto r, auto z, auto, int k) { mpc_pow_si(r, z, k % 13, MPC_RNDNN); }},
    {"cexp", -20, 3, 64, [](auto& z, auto&, int) { Exp(z); },
     [](auto r, auto z, auto, int) { mpc_exp(r, z, MPC_RNDNN); }},
};

const int32_t kPrecisions[] = {128, 160, 224, 1024, 4096, 20000};

int32_t Samples(int32_t p) {
  return (p <= 1024 ? 24 : p <= 4096 ? 4 : 1) * test::TestMultiplier();
}

class FloatMpfr : public testing::TestWithParam<size_t> {};
class ComplexMpc : public testing::TestWithParam<size_t> {};

// Normalised to P bits, and every temporary given back.
void ExpectWellFormed(const BigFloat& r, int32_t p, int32_t mark) {
  EXPECT_TRUE(IsZero(r) ? r.Exponent == 0 : BigBitSize(r.Mantissa) == p);
  EXPECT_EQ(FloatPool().Mark(), mark);
}

TEST_P(FloatMpfr, WithinBound) {
  const TFloatRow& row = kRealRows[GetParam()];
  std::mt19937_64 random(test::TestSeed() + GetParam());
  double worst = 0;
  for (const int32_t p : kPrecisions) {
    SetPrecision(p);
    for (int32_t i = 0; i < Samples(p); ++i) {
      BigFloat x, y, r;
      RandomFloat(x, random, row.lo, row.hi, row.signed_);
      RandomFloat(y, random, row.lo, row.hi, row.signed_);
      const auto k = static_cast<int32_t>(random() | 1);
      Mpfr mx(p), my(p), want(p + 64);
      ToMpfr(mx, x);
      ToMpfr(my, y);
      row.reference(want, mx, my, k);
      const int32_t mark = FloatPool().Mark();
      row.karvo(r, x, y, k);
      ExpectWellFormed(r, p, mark);
      const double error = UnitsOfError(r, want, p, row.floorExp);
      ASSERT_LE(error, row.bound) << row.name << " P=" << p << " sample " << i;
      worst = std::max(worst, error);
    }
  }
  std::printf("%s: worst %.3g units (bound %g)\n", row.name, worst, row.bound);
}

TEST_P(ComplexMpc, WithinBound) {
  const TComplexRow& row = kComplexRows[GetParam()];
  std::mt19937_64 random(test::TestSeed() + 100 + GetParam());
  double worst = 0;
  for (const int32_t p : kPrecisions) {
    SetPrecision(p);
    for (int32_t i = 0; i < Samples(p); ++i) {
      BigComplex z, w;
      RandomFloat(z.Re, random, row.lo, row.hi, true);
      RandomFloat(z.Im, random, row.lo, row.hi, true);
      RandomFloat(w.Re, random, row.lo, row.hi, true);
      RandomFloat(w.Im, random, row.lo, row.hi, true);
      const auto k = static_cast<int32_t>(random() >> 33);
      mpc_t mz, mw, want;
      mpc_init2(mz, p);
      mpc_init2(mw, p);
      mpc_init2(want, p + 64);
      ToMpfr(mpc_realref(mz), z.Re);
      ToMpfr(mpc_imagref(mz), z.Im);
      ToMpfr(mpc_realref(mw), w.Re);
      ToMpfr(mpc_imagref(mw), w.Im);
      row.reference(want, mz, mw, k);
      const int32_t mark = ComplexPool().Mark();
      row.karvo(z, w, k);
      EXPECT_EQ(ComplexPool().Mark(), mark);
      const int64_t e = std::max(mpfr_get_exp(mpc_realref(want)), mpfr_get_exp(mpc_imagref(want)));
      const double error = std::max(UnitsOfError(z.Re, mpc_realref(want), p, e),
                                    UnitsOfError(z.Im, mpc_imagref(want), p, e));
      mpc_clear(mz);
      mpc_clear(mw);
      mpc_clear(want);
      ASSERT_LE(error, row.bound) << row.name << " P=" << p << " sample " << i;
      worst = std::max(worst, error);
    }
  }
  std::printf("%s: worst %.3g units (bound %g)\n", row.name, worst, row.bound);
}

std::string RealRowName(const testing::TestParamInfo<size_t>& info) { return kRealRows[info.param].name; }
std::string ComplexRowName(const testing::TestParamInfo<size_t>& info) {
  return kComplexRows[info.param].name;
}
INSTANTIATE_TEST_SUITE_P(Rows, FloatMpfr, testing::Range<size_t>(0, std::size(kRealRows)), RealRowName);
INSTANTIATE_TEST_SUITE_P(Rows, ComplexMpc, testing::Range<size_t>(0, std::size(kComplexRows)),
                         ComplexRowName);

// Horner with growing precision and the cache: a higher request recomputes,
// a lower one rounds the cached value.
TEST(FloatMpfrConstants, PiAndSqrt2At100000Bits) {
  for (const int32_t p : {100000, 128}) {
    SetPrecision(p);
    BigFloat pi, root;
    GetPi(pi, 0);
    GetSqrt2(root, 0);
    Mpfr want(p + 64);
    mpfr_const_pi(want, MPFR_RNDN);
    EXPECT_LE(UnitsOfError(pi, want, p, kRelative), 2) << p;
    mpfr_sqrt_ui(want, 2, MPFR_RNDN);
    EXPECT_LE(UnitsOfError(root, want, p, kRelative), 1) << p;
  }
}

// The fixed cases: precision rounding, the stopping rule of series, exp(0),
// and every refusal.
TEST(FloatEdges, PrecisionSeriesStopAndErrors) {
  const std::pair<int32_t, int32_t> precisions[] = {{0, 128}, {100, 128}, {129, 160}, {4097, 4128}};
  for (const auto& [asked, got] : precisions) {
    SetPrecision(asked);
    EXPECT_EQ(GetPrecision(), got);
  }
  SetPrecision(128);
  BigFloat one, tiny;
  SetOne(one);
  SetOne(tiny);
  MulPow2(tiny, -200);
  EXPECT_FALSE(AddTo(one, tiny));
  MulPow2(tiny, 100);
  EXPECT_TRUE(AddTo(one, tiny));
  SetZero(one);
  Exp(one);
  EXPECT_EQ(one.Exponent, 1 - 128);
  EXPECT_TRUE(Decrement(one));
  EXPECT_TRUE(IsZero(one));
  const struct {
    const char* code;
    std::function<void(BigFloat&, BigComplex&)> call;
  } rows[] = {
      {"1001.14.1", [](BigFloat&, BigComplex&) { SetPrecision(-1); }},
      {"1001.2.1", [](BigFloat& z, BigComplex&) { BigFloat a; SetOne(a); Div(a, z); }},
      {"1001.4.1", [](BigFloat& z, BigComplex&) { DivBig(z, BigInt()); }},
      {"1001.5.1", [](BigFloat& z, BigComplex&) { DivInt(z, 0); }},
      {"1001.6.1", [](BigFloat& z, BigComplex&) { DivWord(z, 0); }},
      {"1001.7.1", [](BigFloat& z, BigComplex&) { Reciprocal(z); }},
      {"1001.8.1", [](BigFloat& z, BigComplex&) { BigFloat a; InverseOf(a, z); }},
      {"1001.15.1", [](BigFloat&, BigComplex&) { BigFloat a; SetMinusOne(a); Sqrt(a); }},
      {"1001.105.1", [](BigFloat&, BigComplex& c) { MulPow2(c, -1); }},
      {"1001.102.1", [](BigFloat&, BigComplex& c) { Reciprocal(c); }},
      {"1001.103.1", [](BigFloat&, BigComplex& c) { BigComplex a; InverseOf(a, c); }},
      {"1001.100.1", [](BigFloat&, BigComplex& c) { BigComplex a; SetOne(a); Div(a, c); }},
      {"1001.1.1", [](BigFloat&, BigComplex&) {
         BigFloat a, b;
         SetInt(a, 3);
         SetInt(b, 3);
         a.Exponent += 1;
         BigShiftRight(a.Mantissa, 1);
         CompareAbs(a, b);
       }},
  };
  for (const auto& row : rows) {
    BigFloat zero;
    BigComplex czero;
    try {
      row.call(zero, czero);
      ADD_FAILURE() << row.code << " not raised";
    } catch (const EKV& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Internal error ") + row.code);
    }
  }
}

}  // namespace
}  // namespace karvo
