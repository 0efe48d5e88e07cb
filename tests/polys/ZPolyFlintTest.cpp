// The differential harness against FLINT: a row is an operation, the operand
// degrees and N's bit size; operands from the seed, TestMultiplier() runs.

#include <gtest/gtest.h>

#include <string>

#include "polys/FlintBridge.h"
#include "support/TestEnv.h"

namespace karvo::test {
namespace {

struct TArithRow {
  std::string Op;
  int32_t DegreeA;
  int32_t DegreeB;
  int32_t Bits;
};

std::ostream& operator<<(std::ostream& out, const TArithRow& r) {
  return out << r.Op << " deg " << r.DegreeA << "/" << r.DegreeB << " bits " << r.Bits;
}

std::string Text(const ZPoly& a) {
  std::string s = std::to_string(a.Degree);
  for (int32_t i = 0; i <= a.Degree; ++i) {
    s.append(1, ' ').append(BigToHex(a.Coeffs[static_cast<size_t>(i)]));
  }
  return s;
}

void ExpectSame(const ZPoly& ours, const FlintPoly& reference) {
  ZPolyTemps t(1);
  reference.Get(t[0]);
  EXPECT_EQ(Text(ours), Text(t[0]));
}

// Integer polynomials through fmpz_poly, for the operations over Z.
void ToFmpzPoly(fmpz_poly_t out, const ZPoly& a) {
  fmpz_poly_zero(out);
  for (int32_t i = 0; i <= a.Degree; ++i) {
    fmpz_poly_set_coeff_fmpz(out, i, FmpzValue(a.Coeffs[static_cast<size_t>(i)]).get());
  }
}

class ZPolyFlintTest : public testing::TestWithParam<TArithRow> {};

TEST_P(ZPolyFlintTest, AgreesWithFlint) {
  const TArithRow& row = GetParam();
  RandomSource random(TestSeed() + std::hash<std::string>{}(testing::PrintToString(row)));
  SCOPED_TRACE(testing::Message() << "KARVO_TEST_SEED=" << TestSeed());
  for (int rep = 0; rep < TestMultiplier(); ++rep) {
    BigInt N;
    random.Prime(N, row.Bits, row.Op == "gcd");  // only the gcd needs a prime
    FlintModulus mod(N);
    ZPolyTemps t(3);
    ZPoly& a = t[0];
    ZPoly& b = t[1];
    ZPoly& c = t[2];
    FlintPoly fa(mod), fb(mod), fr(mod), fq(mod);
    random.Poly(a, row.DegreeA, N, false);
    random.Poly(b, row.DegreeB, N, row.Op != "mul" && row.Op != "mulraw");
    fa.Set(a);
    fb.Set(b);
    if (row.Op == "mul") {
      ZPolyMul(a, b, N);
      fmpz_mod_poly_mul(fr.get(), fa.get(), fb.get(), mod.ctx());
      ExpectSame(a, fr);
    } else if (row.Op == "mulraw") {
      // Signed, unreduced coefficients: both sides over the integers.
      BigShiftRight1(N);
      for (ZPoly* p : {&a, &b}) {
        for (int32_t i = 0; i <= p->Degree; i += 2) {
          BigSub(p->Coeffs[static_cast<size_t>(i)], N);
        }
      }
      fmpz_poly_t x, y;
      fmpz_poly_init(x);
      fmpz_poly_init(y);
      ToFmpzPoly(x, a);
      ToFmpzPoly(y, b);
      fmpz_poly_mul(x, x, y);
      ZPolyMulRaw(a, b, nullptr);
      ToFmpzPoly(y, a);
      EXPECT_TRUE(fmpz_poly_equal(x, y));
      fmpz_poly_clear(x);
      fmpz_poly_clear(y);
    } else if (row.Op == "sqr") {
      ZPolySqr(a, N);
      fmpz_mod_poly_sqr(fr.get(), fa.get(), mod.ctx());
      ExpectSame(a, fr);
    } else if (row.Op == "rem") {
      // Plain rows, the Newton reciprocal, and the exact quotient.
      fmpz_mod_poly_divrem(fq.get(), fr.get(), fa.get(), fb.get(), mod.ctx());
      ZPolyAssign(c, a);
      ZPolyRem(c, b, N);
      ExpectSame(c, fr);
      ZPolyAssign(c, a);
      ZPolyQuotient(c, b, N);
      ExpectSame(c, fq);
      if (row.DegreeA < 2 * row.DegreeB) {
        ZPolyReciprocal(c, b, N);
        ZPolyRemFast(a, b, c, N);
        ExpectSame(a, fr);
      }
    } else if (row.Op == "powmod") {
      // Exponent N: the first powering of every root search.
      ZPolyTruncate(a, row.DegreeB);
      fa.Set(a);
      fmpz_mod_poly_powmod_fmpz_binexp(fr.get(), fa.get(), FmpzValue(N).get(), fb.get(),
                                       mod.ctx());
      ZPolyPowMod(a, N, b, N);
      ExpectSame(a, fr);
    } else if (row.Op == "gcd") {
      // A common factor of degree DegreeA, cofactors of degree DegreeB.
      random.Poly(c, row.DegreeB + 1, N, false);
      fr.Set(c);
      fmpz_mod_poly_mul(fa.get(), fa.get(), fb.get(), mod.ctx());
      fmpz_mod_poly_mul(fb.get(), fb.get(), fr.get(), mod.ctx());
      fa.Get(a);
      fb.Get(b);
      fmpz_mod_poly_gcd(fr.get(), fa.get(), fb.get(), mod.ctx());
      ASSERT_TRUE(ZPolyGcd(a, b, N));
      ExpectSame(a, fr);
    } else if (row.Op == "disc") {
      // Over the integers: signed coefficients of Bits bits, not monic.
      BigShiftRight1(N);
      for (int32_t i = 0; i <= a.Degree; i += 3) {
        BigSub(a.Coeffs[static_cast<size_t>(i)], N);
      }
      BigAbs(a.Coeffs[static_cast<size_t>(a.Degree)]);
      BigMulInt(a.Coeffs[static_cast<size_t>(a.Degree)], -6);
      for (int32_t i = 0; i <= a.Degree; ++i) {
        BigMulInt(a.Coeffs[static_cast<size_t>(i)], 10);
      }
      fmpz_poly_t x;
      fmpz_poly_init(x);
      ToFmpzPoly(x, a);
      FmpzValue d;
      BigInt ours, theirs;
      fmpz_poly_discriminant(d.get(), x);
      d.Get(theirs);
      ZPolyDiscriminant(a, ours);
      EXPECT_TRUE(BigEqual(ours, theirs));
      fmpz_poly_content(d.get(), x);
      d.Get(theirs);
      ZPolyContent(ours, a);
      BigNegate(ours);  // the sign of the leading coefficient, which is negative
      EXPECT_TRUE(BigEqual(ours, theirs));
      fmpz_poly_clear(x);
    } else {
      FAIL() << "unknown operation " << row.Op;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ZPolyFlintTest,
    testing::Values(
        // Schoolbook and Kronecker sides of the switch, a single coefficient.
        TArithRow{"mul", 3, 4, 64}, TArithRow{"mul", 4, 4, 64}, TArithRow{"mul", 0, 10, 128},
        TArithRow{"mul", 10, 0, 128}, TArithRow{"mul", 17, 30, 256},
        TArithRow{"mul", 100, 300, 64}, TArithRow{"mul", 300, 300, 1024},
        TArithRow{"mul", 50, 60, 4096}, TArithRow{"mulraw", 3, 7, 100},
        TArithRow{"mulraw", 40, 33, 97}, TArithRow{"mulraw", 1, 1, 65}, TArithRow{"mulraw", 200, 150, 512},
        TArithRow{"sqr", 3, 1, 64}, TArithRow{"sqr", 4, 1, 64}, TArithRow{"sqr", 40, 1, 512},
        TArithRow{"sqr", 300, 1, 2048},
        // Remainders at the switch degrees and word lengths, plain and Newton.
        TArithRow{"rem", 5, 8, 64}, TArithRow{"rem", 20, 1, 64}, TArithRow{"rem", 25, 13, 736},
        TArithRow{"rem", 27, 14, 768}, TArithRow{"rem", 33, 17, 4064},
        TArithRow{"rem", 35, 18, 4096}, TArithRow{"rem", 41, 21, 2016},
        TArithRow{"rem", 43, 22, 2048}, TArithRow{"rem", 45, 23, 1184},
        TArithRow{"rem", 47, 24, 992}, TArithRow{"rem", 49, 25, 736},
        TArithRow{"rem", 49, 25, 768}, TArithRow{"rem", 599, 300, 256},
        TArithRow{"rem", 200, 30, 128},
        // Powering with N as the exponent: linear and full bases.
        TArithRow{"powmod", 1, 8, 64}, TArithRow{"powmod", 12, 13, 256},
        TArithRow{"powmod", 29, 30, 736}, TArithRow{"powmod", 29, 30, 768},
        TArithRow{"powmod", 1, 30, 768}, TArithRow{"powmod", 1, 100, 128}, TArithRow{"powmod", 150, 200, 96},
        TArithRow{"powmod", 1, 200, 64},
        TArithRow{"gcd", 1, 1, 64}, TArithRow{"gcd", 5, 20, 128}, TArithRow{"gcd", 60, 90, 512},
        TArithRow{"gcd", 0, 40, 1024}, TArithRow{"disc", 1, 1, 64},
        TArithRow{"disc", 2, 1, 64}, TArithRow{"disc", 7, 1, 100}, TArithRow{"disc", 20, 1, 64},
        TArithRow{"disc", 30, 1, 20}));

}  // namespace
}  // namespace karvo::test
