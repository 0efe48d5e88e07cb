// Floating point against MPFR and MPC: every operation and function at
// precisions 128 to 20000 bits within a stated bound, π and √2 at 100000 bits.
// Error unit: 2^(e − P) where 2^(e−1) ≤ |reference| < 2^e (the ulp of a
// P-bit result; for complex results e of the larger part); the rounding
// ignores sticky bits, so even one rounding may cost up to one unit.

#include <gtest/gtest.h>
#include <mpc.h>
#include <mpfr.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "classpolys/BigFloat.h"
#include "support/MpzValue.h"
#include "support/TestEnv.h"

namespace karvo {
namespace {

class Mpc {
 public:
  explicit Mpc(int64_t bits) { mpc_init2(v_, static_cast<mpfr_prec_t>(bits)); mpc_set_ui(v_, 0, MPC_RNDNN); }
  ~Mpc() { mpc_clear(v_); }
  Mpc(const Mpc&) = delete;
  Mpc& operator=(const Mpc&) = delete;
  operator mpc_ptr() { return v_; }
  mpfr_ptr Re() { return mpc_realref(v_); }
  mpfr_ptr Im() { return mpc_imagref(v_); }

 private:
  mpc_t v_;
};

constexpr auto N = MPFR_RNDN;

// Exact: the reference carries at least the mantissa's bits.
void ToMpfr(mpfr_ptr out, const BigFloat& a) {
  test::MpzValue z;
  test::MpzFromBig(z, a.Mantissa);
  mpfr_set_prec(out, std::max<mpfr_prec_t>(mpfr_get_prec(out), BigBitSize(a.Mantissa) + 1));
  mpfr_set_z_2exp(out, z, a.Exponent, MPFR_RNDN);
}

// |got − want| in units of 2^(e − P).
double UnitsOfError(const BigFloat& got, mpfr_ptr want, int32_t p, int64_t e) {
  Mpc g(p + 64), diff(2 * p + 128);
  ToMpfr(g.Re(), got);
  mpfr_sub(diff.Re(), g.Re(), want, MPFR_RNDN);
  mpfr_abs(diff.Re(), diff.Re(), MPFR_RNDN);
  mpfr_mul_2si(diff.Re(), diff.Re(), static_cast<long>(p - e), MPFR_RNDN);
  return mpfr_get_d(diff.Re(), MPFR_RNDU);
}

// x to p bits by the house rule: truncate, then add one unit in magnitude
// when the highest dropped bit is 1 and the kept part is odd.
void RoundHighestDroppedBit(mpfr_ptr x, int32_t p) {
  if (mpfr_zero_p(x)) {
    return;
  }
  Mpc kept(p), dropped(mpfr_get_prec(x));
  test::MpzValue m;
  mpfr_set(kept.Re(), x, MPFR_RNDZ);
  mpfr_sub(dropped.Re(), x, kept.Re(), N);
  mpfr_mul_2si(dropped.Re(), dropped.Re(), p + 1 - mpfr_get_exp(kept.Re()), N);
  mpfr_get_z_2exp(m, kept.Re());
  if (mpfr_cmpabs_ui(dropped.Re(), 1) >= 0 && mpz_odd_p(m.get())) {
    mpfr_sgn(x) > 0 ? mpfr_nextabove(kept.Re()) : mpfr_nextbelow(kept.Re());
  }
  mpfr_set(x, kept.Re(), N);
}

// A random P-bit value of magnitude 2^lo … 2^hi.
void RandomFloat(BigFloat& a, std::mt19937_64& random, int32_t lo, int32_t hi, bool positive) {
  const int32_t p = GetPrecision();
  std::vector<Word> words(static_cast<size_t>(p / 32));
  for (Word& w : words) {
    w = static_cast<Word>(random());
  }
  words.back() |= 0x80000000u;
  test::BigFromWords(a.Mantissa, words, !positive && (random() & 1) ? 1 : 0);
  a.Exponent = std::uniform_int_distribution<int32_t>(lo, hi)(random) - p;
}

enum TInputs { kSigned, kPositive, kComplex, kConstant };
constexpr int64_t kRelative = INT64_MIN / 2;

// One row: inputs z, w (real rows use only the real parts) of magnitude
// 2^lo … 2^hi and a random k, the operation on both sides with the result in
// z and r, and the bound; floorExp turns it absolute below 2^floorExp. Rows
// with bound 1 round an exact result once: they must match the rule exactly.
struct TFloatRow {
  const char* name;
  int32_t lo, hi;
  TInputs inputs;
  double bound;
  int64_t floorExp;
  std::function<void(BigComplex& z, BigComplex& w, int32_t k)> karvo;
  std::function<void(Mpc& r, Mpc& z, Mpc& w, int32_t k)> reference;
};

const TFloatRow kRows[] = {
    {"add", -40, 40, kSigned, 1, kRelative, [](auto& z, auto& w, int) { Add(z.Re, w.Re, z.Re); },
     [](auto& r, auto& z, auto& w, int) { mpfr_add(r.Re(), z.Re(), w.Re(), N); }},
    {"sub", -3, 3, kSigned, 1, kRelative, [](auto& z, auto& w, int) { Sub(z.Re, z.Re, w.Re); },
     [](auto& r, auto& z, auto& w, int) { mpfr_sub(r.Re(), z.Re(), w.Re(), N); }},
    {"addto", -40, 40, kSigned, 1, kRelative, [](auto& z, auto& w, int) { AddTo(z.Re, w.Re); },
     [](auto& r, auto& z, auto& w, int) { mpfr_add(r.Re(), z.Re(), w.Re(), N); }},
    {"subint", -3, 40, kSigned, 1, kRelative, [](auto& z, auto&, int k) { SubInt(z.Re, k); },
     [](auto& r, auto& z, auto&, int k) { mpfr_sub_si(r.Re(), z.Re(), k, N); }},
    {"mul", -40, 40, kSigned, 1, kRelative, [](auto& z, auto& w, int) { Mul(z.Re, w.Re); },
     [](auto& r, auto& z, auto& w, int) { mpfr_mul(r.Re(), z.Re(), w.Re(), N); }},
    {"mulint", -40, 40, kSigned, 1, kRelative, [](auto& z, auto&, int k) { MulInt(z.Re, k); },
     [](auto& r, auto& z, auto&, int k) { mpfr_mul_si(r.Re(), z.Re(), k, N); }},
    {"mulbig", -40, 40, kSigned, 1, kRelative, [](auto& z, auto& w, int) { MulBig(z.Re, w.Re.Mantissa); },
     [](auto& r, auto& z, auto& w, int) {
       mpfr_mul(r.Re(), z.Re(), w.Re(), N);
       mpfr_mul_2si(r.Re(), r.Re(), GetPrecision() - mpfr_get_exp(w.Re()), N);
     }},
    {"square", -40, 40, kSigned, 1, kRelative, [](auto& z, auto&, int) { SquareOf(z.Re, z.Re); },
     [](auto& r, auto& z, auto&, int) { mpfr_sqr(r.Re(), z.Re(), N); }},
    {"compare", 0, 0, kSigned, 0, kRelative, [](auto& z, auto& w, int) { SetInt(z.Re, Compare(z.Re, w.Re)); },
     [](auto& r, auto& z, auto& w, int) { mpfr_set_si(r.Re(), mpfr_cmp(z.Re(), w.Re()), N); }},
    {"div", -40, 40, kSigned, 2, kRelative, [](auto& z, auto& w, int) { Div(z.Re, w.Re); },
     [](auto& r, auto& z, auto& w, int) { mpfr_div(r.Re(), z.Re(), w.Re(), N); }},
    {"divint", -40, 40, kSigned, 2, kRelative, [](auto& z, auto&, int k) { DivInt(z.Re, k); },
     [](auto& r, auto& z, auto&, int k) { mpfr_div_si(r.Re(), z.Re(), k, N); }},
    {"divbig", -40, 40, kSigned, 2, kRelative, [](auto& z, auto& w, int) { DivBig(z.Re, w.Re.Mantissa); },
     [](auto& r, auto& z, auto& w, int) {
       mpfr_div(r.Re(), z.Re(), w.Re(), N);
       mpfr_mul_2si(r.Re(), r.Re(), mpfr_get_exp(w.Re()) - GetPrecision(), N);
     }},
    {"reciprocal", -40, 40, kSigned, 2, kRelative, [](auto& z, auto&, int) { InverseOf(z.Re, z.Re); },
     [](auto& r, auto& z, auto&, int) { mpfr_ui_div(r.Re(), 1, z.Re(), N); }},
    {"sqrt", -40, 40, kPositive, 2, kRelative, [](auto& z, auto&, int) { Sqrt(z.Re); },
     [](auto& r, auto& z, auto&, int) { mpfr_sqrt(r.Re(), z.Re(), N); }},
    // |x| < 16: the ⌈log2 |x|⌉ + 33 squarings spend the 32 guard bits and
    // about 4·|x| units more.
    {"exp", -40, 4, kSigned, 72, kRelative, [](auto& z, auto&, int) { Exp(z.Re); },
     [](auto& r, auto& z, auto&, int) { mpfr_exp(r.Re(), z.Re(), N); }},
    {"cos", -20, 5, kSigned, 4, 0, [](auto& z, auto& w, int) { SinCos(w.Re, w.Im, z.Re, false); Swap(z.Re, w.Im); },
     [](auto& r, auto& z, auto&, int) { mpfr_cos(r.Re(), z.Re(), N); }},
    {"sin", -20, 5, kSigned, 4, 0, [](auto& z, auto& w, int) { SinCos(w.Re, w.Im, z.Re, false); Swap(z.Re, w.Re); },
     [](auto& r, auto& z, auto&, int) { mpfr_sin(r.Re(), z.Re(), N); }},
    {"tan", -20, 0, kSigned, 4, 0, [](auto& z, auto& w, int) { SinCos(w.Re, w.Im, z.Re, true); Swap(z.Re, w.Re); },
     [](auto& r, auto& z, auto&, int) { mpfr_tan(r.Re(), z.Re(), N); }},
    {"round", -4, 60, kSigned, 0, kRelative, [](auto& z, auto&, int) { BigInt n; ToBigInt(n, z.Re); SetBig(z.Re, n); },
     [](auto& r, auto& z, auto&, int) { mpfr_round(r.Re(), z.Re()); }},
    {"trunc", -4, 60, kSigned, 0, kRelative, [](auto& z, auto&, int) { TruncFraction(z.Re); },
     [](auto& r, auto& z, auto&, int) { mpfr_trunc(r.Re(), z.Re()); }},
    {"pi", 0, 0, kConstant, 2, kRelative, [](auto& z, auto&, int k) { GetPi(z.Re, k % 8); },
     [](auto& r, auto&, auto&, int k) { mpfr_const_pi(r.Re(), N); mpfr_mul_2si(r.Re(), r.Re(), k % 8, N); }},
    {"sqrt2", 0, 0, kConstant, 2, kRelative, [](auto& z, auto&, int k) { GetSqrt2(z.Re, k % 8); },
     [](auto& r, auto&, auto&, int k) { mpfr_sqrt_ui(r.Re(), 2, N); mpfr_mul_2si(r.Re(), r.Re(), k % 8, N); }},
    {"cmul", -20, 20, kComplex, 8, kRelative, [](auto& z, auto& w, int) { Mul(z, w); },
     [](auto& r, auto& z, auto& w, int) { mpc_mul(r, z, w, MPC_RNDNN); }},
    {"cmulreal", -20, 20, kComplex, 1, kRelative, [](auto& z, auto& w, int) { Mul(z, w.Re); },
     [](auto& r, auto& z, auto& w, int) { mpc_mul_fr(r, z, w.Re(), MPC_RNDNN); }},
    {"csquare", -20, 20, kComplex, 8, kRelative, [](auto& z, auto&, int) { Square(z); },
     [](auto& r, auto& z, auto&, int) { mpc_sqr(r, z, MPC_RNDNN); }},
    {"cdiv", -20, 20, kComplex, 16, kRelative, [](auto& z, auto& w, int) { Div(z, w); },
     [](auto& r, auto& z, auto& w, int) { mpc_div(r, z, w, MPC_RNDNN); }},
    {"creciprocal", -20, 20, kComplex, 8, kRelative, [](auto& z, auto&, int) { Reciprocal(z); },
     [](auto& r, auto& z, auto&, int) { mpc_ui_div(r, 1, z, MPC_RNDNN); }},
    {"cnorm", -20, 20, kComplex, 2, kRelative, [](auto& z, auto&, int) { SquaredModulus(z.Re, z); SetZero(z.Im); },
     [](auto& r, auto& z, auto&, int) { mpc_norm(r.Re(), z, N); }},
    {"cpower", -1, 1, kComplex, 64, kRelative, [](auto& z, auto&, int k) { Power(z, k % 13); },
     [](auto& r, auto& z, auto&, int k) { mpc_pow_si(r, z, k % 13, MPC_RNDNN); }},
    {"cexp", -20, 3, kComplex, 64, kRelative, [](auto& z, auto&, int) { Exp(z); },
     [](auto& r, auto& z, auto&, int) { mpc_exp(r, z, MPC_RNDNN); }},
};

class FloatMpfr : public testing::TestWithParam<size_t> {};

// Also: results normalised to P bits, every temporary given back.
TEST_P(FloatMpfr, WithinBound) {
  const TFloatRow& row = kRows[GetParam()];
  std::mt19937_64 random(test::TestSeed() + GetParam());
  double worst = 0;
  // π and √2 also at 100000 bits, then again at 128 from the cache.
  for (const int32_t p : {128, 160, 224, 1024, 4096, 20000, 100000, 128}) {
    SetPrecision(p);
    const int32_t samples = p <= 1024 ? 24 : p <= 4096 ? 4 : p <= 20000 || row.inputs == kConstant;
    for (int32_t i = 0; i < samples * test::TestMultiplier(); ++i) {
      BigComplex z, w;
      BigFloat* inputs[] = {&z.Re, &w.Re, &z.Im, &w.Im};
      for (int32_t j = 0; j < (row.inputs == kComplex ? 4 : row.inputs == kConstant ? 0 : 2); ++j) {
        RandomFloat(*inputs[j], random, row.lo, row.hi, row.inputs == kPositive);
      }
      const auto k = static_cast<int32_t>(random() >> 33) | 1;
      const bool once = row.bound == 1;
      Mpc mz(p), mw(p), want(once ? 2 * p + 128 : p + 64);
      ToMpfr(mz.Re(), z.Re), ToMpfr(mz.Im(), z.Im), ToMpfr(mw.Re(), w.Re), ToMpfr(mw.Im(), w.Im);
      row.reference(want, mz, mw, k);
      if (once) {
        RoundHighestDroppedBit(want.Re(), p), RoundHighestDroppedBit(want.Im(), p);
      }
      const int32_t marks = FloatPool().Mark() + ComplexPool().Mark();
      row.karvo(z, w, k);
      EXPECT_EQ(FloatPool().Mark() + ComplexPool().Mark(), marks);
      for (const BigFloat* v : {&z.Re, &z.Im}) {
        EXPECT_TRUE(IsZero(*v) ? v->Exponent == 0 : BigBitSize(v->Mantissa) == p);
      }
      const auto expOf = [](mpfr_ptr v) { return mpfr_zero_p(v) ? kRelative : int64_t{mpfr_get_exp(v)}; };
      const int64_t e = std::max({expOf(want.Re()), expOf(want.Im()), row.floorExp});
      const double error = std::max(UnitsOfError(z.Re, want.Re(), p, e), UnitsOfError(z.Im, want.Im(), p, e));
      ASSERT_LE(error, once ? 0 : row.bound) << row.name << " P=" << p << " sample " << i;
      worst = std::max(worst, error);
    }
  }
  std::printf("%s: worst %.3g units (bound %g)\n", row.name, worst, row.bound);
}

INSTANTIATE_TEST_SUITE_P(Rows, FloatMpfr, testing::Range<size_t>(0, std::size(kRows)),
                         [](const testing::TestParamInfo<size_t>& info) { return kRows[info.param].name; });

}  // namespace
}  // namespace karvo
