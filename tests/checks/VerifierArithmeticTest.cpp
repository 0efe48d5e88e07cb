// The arithmetic of one test on fields set by hand: the N-1 and N+1 tests on
// numbers built with GMP, whose answers GMP also gives, and the curve test on
// a small prime whose group order was counted beforehand.

#include <gtest/gtest.h>

#include <string>

#include "EcTestSupport.h"
#include "VerifierTestSupport.h"

namespace karvo::test {
namespace {

void Set(BigInt& x, mpz_srcptr v) { BigFromMpz(x, v); }

void Set(BigInt& x, const char* decimal) {
  MpzValue v;
  mpz_set_str(v, decimal, 10);
  Set(x, v);
}

// "" when the check holds, else its message (never empty then).
template <typename F>
std::string Outcome(TVerifier& verifier, F check) {
  verifier.Message.clear();
  if (check()) {
    return "";
  }
  EXPECT_FALSE(verifier.Message.empty());
  return verifier.Message.empty() ? "(no message)" : verifier.Message;
}

// ---- N-1 ------------------------------------------------------------------

std::string NMinus1(mpz_srcptr n, mpz_srcptr s, mpz_srcptr r, mpz_srcptr b) {
  TVerifier verifier;
  Set(verifier.N, n);
  Set(verifier.S, s);
  Set(verifier.R, r);
  Set(verifier.B, b);
  return Outcome(verifier, [&] { return verifier.CheckNMinus1(); });
}

// Whether b^S ≢ 1 and b^(N-1) ≡ 1 (mod the prime N).
bool GoodBase(mpz_srcptr b, mpz_srcptr n, mpz_srcptr s) {
  MpzValue t, m;
  mpz_powm(t, b, s, n);
  if (mpz_cmp_ui(t, 1) == 0) {
    return false;
  }
  mpz_sub_ui(m, n, 1);
  mpz_powm(t, b, m, n);
  return mpz_cmp_ui(t, 1) == 0;
}

TEST(VerifierArithmeticTest, NMinus1OnAPrime) {
  EcRandom random(0x4E4D31);
  MpzValue r, s, n, b, g, t;
  random.Prime(r, 61);
  do {
    random.Bits(s, 40);
    mpz_clrbit(s, 0);
    mpz_mul(n, s, r);
    mpz_add_ui(n, n, 1);
  } while (mpz_probab_prime_p(n, 30) == 0);

  mpz_set_ui(g, 2);
  while (!GoodBase(g, n, s)) {
    mpz_add_ui(g, g, 1);
  }
  EXPECT_EQ(NMinus1(n, s, r, g), "");

  // b = N - 1: an even power of -1 is 1.
  mpz_sub_ui(b, n, 1);
  EXPECT_EQ(NMinus1(n, s, r, b), "gcd(B^S - 1, N) <> 1");
  // b = g^R: b^S = g^(N-1) = 1 although b is no trivial base.
  mpz_powm(b, g, r, n);
  ASSERT_NE(mpz_cmp_ui(b, 1), 0);
  EXPECT_EQ(NMinus1(n, s, r, b), "gcd(B^S - 1, N) <> 1");
  // b = N: b^S - 1 = -1 is coprime to N, but b^(N-1) = 0.
  EXPECT_EQ(NMinus1(n, s, r, n), "(B^(N-1) mod N) <> 1");
  mpz_mul_ui(b, n, 3);
  EXPECT_EQ(NMinus1(n, s, r, b), "(B^(N-1) mod N) <> 1");
  // A base above N acts as its residue.
  mpz_add(b, g, n);
  EXPECT_EQ(NMinus1(n, s, r, b), "");
}

// On composites: a factor p of N with b^S ≡ 1 (mod p) only must be caught by
// the gcd, although b^S mod N is not 1; otherwise the Fermat condition fails.
TEST(VerifierArithmeticTest, NMinus1OnComposites) {
  EcRandom random(0x4E4D32);
  MpzValue r, s, n, t, two(2);
  // 6 | S, 7 ∤ S and S R ≡ -1 (mod 7): 7 | N and 2^S ≡ 1 (mod 7).
  random.Bits(s, 34);
  mpz_mul_ui(s, s, 6);
  if (mpz_divisible_ui_p(s, 7)) {
    mpz_add_ui(s, s, 6);
  }
  do {
    random.Prime(r, 61);
    mpz_mul(n, s, r);
    mpz_add_ui(n, n, 1);
  } while (!mpz_divisible_ui_p(n, 7));
  mpz_powm(t, two, s, n);
  ASSERT_NE(mpz_cmp_ui(t, 1), 0);
  mpz_sub_ui(t, t, 1);
  mpz_gcd(t, t, n);
  ASSERT_TRUE(mpz_divisible_ui_p(t, 7));
  EXPECT_EQ(NMinus1(n, s, r, two), "gcd(B^S - 1, N) <> 1");

  // A random composite N = S R + 1 where only the Fermat condition fails.
  for (int tries = 0;; ++tries) {
    ASSERT_LT(tries, 1000);
    random.Bits(s, 40);
    mpz_clrbit(s, 0);
    mpz_mul(n, s, r);
    mpz_add_ui(n, n, 1);
    if (mpz_probab_prime_p(n, 30) != 0) {
      continue;
    }
    mpz_powm(t, two, s, n);
    mpz_sub_ui(t, t, 1);
    mpz_gcd(t, t, n);
    if (mpz_cmp_ui(t, 1) == 0) {
      break;
    }
  }
  mpz_sub_ui(t, n, 1);
  mpz_powm(t, two, t, n);
  ASSERT_NE(mpz_cmp_ui(t, 1), 0);
  EXPECT_EQ(NMinus1(n, s, r, two), "(B^(N-1) mod N) <> 1");
}

// ---- N+1 ------------------------------------------------------------------

// V_k(P, Q) mod n by the doubling formulas.
void RefLucasV(mpz_ptr v, mpz_srcptr k, long p, mpz_srcptr q, mpz_srcptr n) {
  MpzValue vk(2), vk1(p), qk(1), t, u;
  mpz_mod(vk1, vk1, n);
  for (long i = static_cast<long>(mpz_sizeinbase(k, 2)) - 1; i >= 0; --i) {
    // t := V_(2k+1) = V_k V_(k+1) - P Q^k in both branches.
    mpz_mul(t, vk, vk1);
    mpz_submul_ui(t, qk, static_cast<unsigned long>(p));
    mpz_mod(t, t, n);
    if (mpz_tstbit(k, static_cast<mp_bitcnt_t>(i)) == 0) {
      mpz_mul(u, vk, vk);
      mpz_submul_ui(u, qk, 2);
      mpz_mod(vk, u, n);
      vk1 = t;
      mpz_mul(qk, qk, qk);
    } else {
      mpz_mul(u, qk, q);
      mpz_mul_ui(u, u, 2);
      mpz_neg(u, u);
      mpz_addmul(u, vk1, vk1);
      mpz_mod(vk1, u, n);
      vk = t;
      mpz_mul(qk, qk, qk);
      mpz_mul(qk, qk, q);
    }
    mpz_mod(qk, qk, n);
  }
  if (mpz_sgn(k) == 0) {
    mpz_set_ui(vk, 2);
  }
  mpz_set(v, vk);
}

struct TLucasCase {
  long Q = 0;
  long P = 0;
  int JacobiQ = 0;
  int JacobiD = 0;
  bool HalfZero = false;  // V[(N+1)/2] ≡ 0
  bool SZero = false;     // V[S/2] ≡ 0
};

TLucasCase Classify(long q, mpz_srcptr n, mpz_srcptr s) {
  TLucasCase c;
  c.Q = q;
  // P is not stored: 2 for a positive odd Q, else 1.
  c.P = q > 0 && q % 2 != 0 ? 2 : 1;
  MpzValue qq(q), d(c.P * c.P - 4 * q), k, v;
  mpz_mod(d, d, n);
  c.JacobiQ = mpz_jacobi(qq, n);
  c.JacobiD = mpz_jacobi(d, n);
  mpz_add_ui(k, n, 1);
  mpz_fdiv_q_2exp(k, k, 1);
  RefLucasV(v, k, c.P, qq, n);
  c.HalfZero = mpz_sgn(v) == 0;
  mpz_fdiv_q_2exp(k, s, 1);
  RefLucasV(v, k, c.P, qq, n);
  c.SZero = mpz_sgn(v) == 0;
  return c;
}

std::string NPlus1(mpz_srcptr n, mpz_srcptr s, mpz_srcptr r, const TLucasCase& c) {
  TVerifier verifier;
  Set(verifier.N, n);
  Set(verifier.S, s);
  Set(verifier.R, r);
  BigSetInt(verifier.A, static_cast<int32_t>(c.P));
  BigSetInt(verifier.B, static_cast<int32_t>(c.Q));
  return Outcome(verifier, [&] { return verifier.CheckNPlus1(); });
}

// A prime N = S R - 1 with S even and 40 bits, R prime of rBits bits (or R
// given).
void NPlus1Prime(EcRandom& random, mpz_ptr n, mpz_ptr s, mpz_ptr r, unsigned rBits) {
  if (rBits != 0) {
    random.Prime(r, rBits);
  }
  do {
    random.Bits(s, 40);
    mpz_clrbit(s, 0);
    mpz_mul(n, s, r);
    mpz_sub_ui(n, n, 1);
  } while (mpz_probab_prime_p(n, 30) == 0);
}

TEST(VerifierArithmeticTest, NPlus1OnAPrime) {
  EcRandom random(0x4E5031);
  MpzValue r, s, n;
  NPlus1Prime(random, n, s, r, 61);
  int good[3] = {0, 0, 0};  // by P
  int badD = 0;
  int badHalf = 0;
  for (long q = 2; q < 400; ++q) {
    const TLucasCase c = Classify(q, n, s);
    SCOPED_TRACE("Q = " + std::to_string(q));
    if (c.JacobiD != -1) {
      EXPECT_EQ(NPlus1(n, s, r, c), "Jacobi(D,N) <> -1");
      ++badD;
    } else if (c.JacobiQ == -1) {
      // For a prime N the two symbols make V[(N+1)/2] vanish.
      ASSERT_TRUE(c.HalfZero);
      ASSERT_FALSE(c.SZero) << "R is large: V[S/2] should not vanish";
      EXPECT_EQ(NPlus1(n, s, r, c), "");
      ++good[c.P];
    } else {
      ASSERT_FALSE(c.HalfZero);
      EXPECT_EQ(NPlus1(n, s, r, c), "(V[(N+1)/2] mod N) <> 0");
      ++badHalf;
    }
  }
  EXPECT_GT(good[1], 0);
  EXPECT_GT(good[2], 0);
  EXPECT_GT(badD, 0);
  EXPECT_GT(badHalf, 0);
}

// With R = 3, one Q in three or so has V[S/2] ≡ 0: the order of the Lucas
// element then divides S and says nothing of R.
TEST(VerifierArithmeticTest, NPlus1VanishingAtHalfS) {
  EcRandom random(0x4E5032);
  MpzValue r(3), s, n;
  NPlus1Prime(random, n, s, r, 0);
  int vanishing = 0;
  int holding = 0;
  for (long q = 2; q < 400 && (vanishing < 3 || holding < 3); ++q) {
    const TLucasCase c = Classify(q, n, s);
    if (c.JacobiD != -1 || c.JacobiQ != -1) {
      continue;
    }
    SCOPED_TRACE("Q = " + std::to_string(q));
    ASSERT_TRUE(c.HalfZero);
    EXPECT_EQ(NPlus1(n, s, r, c), c.SZero ? "(V[S/2] mod N) = 0" : "");
    ++(c.SZero ? vanishing : holding);
  }
  EXPECT_GE(vanishing, 3);
  EXPECT_GE(holding, 3);
}

// ---- Curves ---------------------------------------------------------------

// N = 1572853 is prime. With A = 29, B = 33 and T = 2 the point P = (T u, u^2),
// u = T^3 + A T + B, lies on y^2 = x^3 + A u^2 x + B u^3, whose group has
// 1570580 = 1180 · 1331 points; [1180]P is not the identity. R = 1331 is one
// above isqrt(N) + 2 isqrt(isqrt(N)) + 6 = 1254 + 70 + 6.
struct TSmallCurve {
  const char* N = "1572853";
  const char* A = "29";
  const char* B = "33";
  const char* T = "2";
  const char* S = "1180";
  const char* R = "1331";
  const char* Order = "1570580";
};

struct TCurveFields {
  std::string N, S, R, A, B, T;
};

std::string Curve(const TCurveFields& f, int type = 3) {
  TVerifier verifier;
  Set(verifier.N, f.N.c_str());
  Set(verifier.S, f.S.c_str());
  Set(verifier.R, f.R.c_str());
  Set(verifier.A, f.A.c_str());
  Set(verifier.B, f.B.c_str());
  Set(verifier.T, f.T.c_str());
  return Outcome(verifier, [&] { return verifier.CheckCurve(type); });
}

// The seed's point and the curve coefficient a = A u^2, modulo n.
RefPoint SeedPoint(mpz_ptr a, const char* aText, const char* bText, const char* tText,
                   mpz_srcptr n) {
  MpzValue b, t, u, u2;
  mpz_set_str(a, aText, 10);
  mpz_set_str(b, bText, 10);
  mpz_set_str(t, tText, 10);
  mpz_mul(u, t, t);
  mpz_add(u, u, a);
  mpz_mul(u, u, t);
  mpz_add(u, u, b);
  mpz_mod(u, u, n);
  RefPoint p;
  mpz_mul(p.X, t, u);
  mpz_mod(p.X, p.X, n);
  mpz_mul(u2, u, u);
  mpz_mod(p.Y, u2, n);
  p.Finite = true;
  mpz_mul(a, a, u2);
  mpz_mod(a, a, n);
  return p;
}

bool RefFiniteMultiple(const RefPoint& p, const char* k1, const char* k2, mpz_srcptr a,
                       mpz_srcptr n) {
  MpzValue k, f;
  mpz_set_str(k, k1, 10);
  mpz_set_str(f, k2, 10);
  mpz_mul(k, k, f);
  return RefMultiply(p, k, a, n).Finite;
}

TEST(VerifierArithmeticTest, SmallCurveIsAsClaimed) {
  const TSmallCurve c;
  MpzValue n, a, bound, root, order, s, r;
  mpz_set_str(n, c.N, 10);
  ASSERT_GT(mpz_probab_prime_p(n, 30), 0);
  mpz_sqrt(root, n);
  mpz_sqrt(bound, root);
  mpz_mul_ui(bound, bound, 2);
  mpz_add(bound, bound, root);
  mpz_add_ui(bound, bound, 6);
  mpz_set_str(r, c.R, 10);
  mpz_add_ui(bound, bound, 1);
  EXPECT_EQ(mpz_cmp(bound, r), 0);
  mpz_set_str(order, c.Order, 10);
  mpz_set_str(s, c.S, 10);
  mpz_mul(s, s, r);
  EXPECT_EQ(mpz_cmp(s, order), 0);
  const RefPoint p = SeedPoint(a, c.A, c.B, c.T, n);
  EXPECT_TRUE(RefFiniteMultiple(p, c.S, "1", a, n));
  EXPECT_FALSE(RefFiniteMultiple(p, c.S, c.R, a, n));
  EXPECT_FALSE(RefFiniteMultiple(p, c.Order, "1", a, n));
  EXPECT_TRUE(RefFiniteMultiple(p, c.S, "1333", a, n));
}

TEST(VerifierArithmeticTest, CurveTestOutcomes) {
  const TSmallCurve c;
  const TCurveFields base{c.N, c.S, c.R, c.A, c.B, c.T};
  EXPECT_EQ(Curve(base), "");

  // R one above the bound passes (above); at the bound it fails.
  TCurveFields f = base;
  f.R = "1330";
  EXPECT_EQ(Curve(f), RBoundMessage);
  f.R = "1";
  EXPECT_EQ(Curve(f), RBoundMessage);

  for (const char* n : {"1572855", "1572854", "3", "1", "9"}) {
    f = base;
    f.N = n;
    EXPECT_EQ(Curve(f), "N is not a valid curve modulus") << n;
  }
  // 4(-3)^3 + 27·2^2 = 0, and so on the seed's twist too.
  f = base;
  f.A = "-3";
  f.B = "2";
  f.T = "5";
  EXPECT_EQ(Curve(f), "E(A,B)/N is not a valid curve");
  // T a root of T^3 + A T + B: u = 0 gives the point (0, 0) on y^2 = x^3.
  f = base;
  f.A = "0";
  f.B = "1572845";  // -8
  f.T = "2";
  EXPECT_EQ(Curve(f), "E(A,B)/N is not a valid curve");

  f = base;
  f.S = c.Order;
  EXPECT_EQ(Curve(f), "(X,Y)#S is the identity point");
  f = base;
  f.R = "1333";
  EXPECT_EQ(Curve(f), "(X,Y)#(S*R) is not the identity point");
  f = base;
  f.T = "3";  // u is a square here: the point lies on the other twist
  {
    MpzValue n, a;
    mpz_set_str(n, c.N, 10);
    const RefPoint p = SeedPoint(a, c.A, c.B, "3", n);
    ASSERT_TRUE(RefFiniteMultiple(p, c.S, c.R, a, n));
  }
  EXPECT_EQ(Curve(f), "(X,Y)#(S*R) is not the identity point");
}

// N = 5 · 88758883374439. Modulo 5 the seed's point has order 10; modulo the
// large factor the test holds. A Z that vanishes modulo 5 only is not
// invertible, which must end the test.
TEST(VerifierArithmeticTest, CurveTestOnACompositeModulus) {
  const TCurveFields sticky{"443794416872195", "2",
                            "44379441437489",  "138702983495838",
                            "216585432994145", "355035533497757"};
  MpzValue five(5), large, a;
  mpz_set_str(large, "88758883374439", 10);
  {
    const RefPoint p = SeedPoint(a, sticky.A.c_str(), sticky.B.c_str(), sticky.T.c_str(), five);
    EXPECT_FALSE(RefFiniteMultiple(p, "10", "1", a, five));
    EXPECT_TRUE(RefFiniteMultiple(p, "2", "1", a, five));
    EXPECT_TRUE(RefFiniteMultiple(p, "2", sticky.R.c_str(), a, five));
  }
  {
    const RefPoint p = SeedPoint(a, sticky.A.c_str(), sticky.B.c_str(), sticky.T.c_str(), large);
    EXPECT_TRUE(RefFiniteMultiple(p, "10", "1", a, large));
    EXPECT_FALSE(RefFiniteMultiple(p, "2", sticky.R.c_str(), a, large));
  }
  // [R-1]Q meets the identity modulo 5 on the way.
  EXPECT_EQ(Curve(sticky), "Invalid inversion modulo N");
  // [S]P itself is the identity modulo 5 only.
  TCurveFields f = sticky;
  f.S = "10";
  EXPECT_EQ(Curve(f), "Invalid inversion modulo N");
}

// Type 4: the curve comes from J. Test 1 of type4_50.out holds; J = 0 and
// J = 1728 give A = B = 0, a singular curve.
TEST(VerifierArithmeticTest, CurveTestFromJ) {
  const TXFile file(SharedCertificate("type4_50.out"));
  ASSERT_EQ(file.ReadInteger("1", "Type", -1), 4);
  auto run = [&](const char* j) {
    TVerifier verifier;
    BigFromHex(verifier.N, file.ReadString("Candidate", "N$"));
    BigFromHex(verifier.S, file.ReadString("1", "S$"));
    BigFromHex(verifier.R, file.ReadString("1", "R$"));
    BigFromHex(verifier.A, j != nullptr ? j : file.ReadString("1", "J$"));
    BigFromHex(verifier.T, file.ReadString("1", "T$"));
    return Outcome(verifier, [&] { return verifier.CheckCurve(4); });
  };
  EXPECT_EQ(run(nullptr), "");
  EXPECT_EQ(run("0"), "E(A,B)/N is not a valid curve");
  EXPECT_EQ(run("6C0"), "E(A,B)/N is not a valid curve");
  const std::string changed = ChangeOneDigit(file.ReadString("1", "J$"));
  EXPECT_NE(run(changed.c_str()), "");
}

}  // namespace
}  // namespace karvo::test
