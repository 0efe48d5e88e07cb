// The signature hash and chain against the known answers of an independent
// implementation (tests/data/hash-vectors.tsv); the curve arithmetic against
// plain affine formulas over GMP on random curves modulo random primes.

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Clock.h"
#include "checks/EcCurves.h"
#include "checks/Hash.h"
#include "checks/Signature.h"
#include "support/EngineRuns.h"
#include "support/MpzValue.h"
#include "support/TestEnv.h"
#include "support/TsvRows.h"

namespace karvo::test {
namespace {

// The digest of |x| fed in random pieces, the last one cut to the bit length.
std::string PieceWiseHash(const BigInt& x, std::mt19937_64& random) {
  const int64_t bits = BigBitSize(x);
  std::vector<uint8_t> bytes(static_cast<size_t>((bits + 7) / 8));
  for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(x.Words[k / 4] >> (8 * (k % 4)));
  THashContext context;
  HashInit(context);
  HashUpdate(context, bytes.data(), 0);
  for (int64_t at = 0, take = 0; at < bits; at += take) {
    take = std::min<int64_t>(bits - at, 8 * static_cast<int64_t>(1 + random() % 130));
    HashUpdate(context, bytes.data() + at / 8, take);
  }
  THashDigest digest;
  HashFinal(context, digest);
  BigInt h;
  BigSetFromBytes(h, digest.data(), HashDigestBytes);
  return SignatureText(h);
}

TEST(SignatureHashTest, MatchesEveryKnownAnswer) {
  const std::string path = std::string(KARVO_TESTDATA_DIR) + "/hash-vectors.tsv";
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(ReadRows(path, rows, error)) << error;
  ASSERT_GE(rows.size(), 20u) << "too few rows in " << path;
  std::mt19937_64 random(TestSeed());
  for (const TRow& row : rows) {
    SCOPED_TRACE(row[0] + ": " + row[1]);
    BigInt x;
    if (row[0] == "HashBigInt" && row.size() == 5) {
      BigFromString(x, row[3], 16);
      ASSERT_EQ(BigBitSize(x), std::stoi(row[2]));
      EXPECT_EQ(PieceWiseHash(x, random), row[4]);
      HashBigInt(x);
      EXPECT_FALSE(BigIsNegative(x));
      EXPECT_EQ(SignatureText(x), row[4]);
    } else if (row[0] == "SignatureSeed" && row.size() == 4) {
      std::vector<int> f;
      for (const std::string& field : SplitText(row[2], ',')) f.push_back(std::stoi(field));
      ASSERT_EQ(f.size(), 8u);
      using namespace std::chrono;
      const auto when = time_point_cast<system_clock::duration>(
          sys_days(year{f[0]} / f[1] / f[3]) + hours{f[4]} + minutes{f[5]} + seconds{f[6]} + milliseconds{f[7]});
      SetClock([when] { return when; });
      ASSERT_EQ(UtcNow().DayOfWeek, f[2]);
      SignatureSeed(x);
      SetClock(nullptr);
      EXPECT_EQ(SignatureText(x), row[3]);
    } else if (row[0] == "SignatureUpdate" && row.size() == 6) {
      // Read as a certificate keeps its chain: a zero chain is stored empty.
      SignatureFromText(x, row[2] == "0" ? "" : row[2]);
      const std::vector<std::string> items = SplitText(row[4], ',');
      std::vector<BigInt> values(items.size());
      std::vector<const BigInt*> pointers;
      for (size_t k = 0; k < items.size(); ++k) {
        BigFromString(values[k], items[k], 16);
        pointers.push_back(&values[k]);
      }
      SignatureUpdate(x, static_cast<uint32_t>(std::stoul(row[3])), pointers);
      EXPECT_TRUE(SignatureMatches(x, row[5])) << SignatureText(x);
    } else {
      ADD_FAILURE() << "malformed row in " << path;
    }
  }
}

using TRef = std::optional<std::pair<mpz_class, mpz_class>>;  // empty: the identity

// Between BigInt and mpz_class, and arithmetic modulo n.
mpz_class M(const BigInt& x) { mpz_class m; MpzFromBig(m.get_mpz_t(), x); return m; }
BigInt Big(const mpz_class& m) { BigInt x; BigFromMpz(x, m.get_mpz_t()); return x; }
mpz_class Mod(const mpz_class& x, const mpz_class& n) { mpz_class r = x % n; return r < 0 ? mpz_class(r + n) : r; }
mpz_class Inv(const mpz_class& x, const mpz_class& n) {
  mpz_class r;
  EXPECT_NE(mpz_invert(r.get_mpz_t(), Mod(x, n).get_mpz_t(), n.get_mpz_t()), 0);
  return r;
}

TRef Add(const TRef& p, const TRef& q, const mpz_class& a, const mpz_class& n) {
  if (!p || !q) return p ? p : q;
  const auto& [x1, y1] = *p;
  const auto& [x2, y2] = *q;
  if (Mod(x1 - x2, n) == 0 && Mod(y1 + y2, n) == 0) return std::nullopt;
  const mpz_class l = Mod(x1 - x2, n) != 0 ? mpz_class((y1 - y2) * Inv(x1 - x2, n))
                                           : mpz_class((3 * x1 * x1 + a) * Inv(2 * y1, n));
  const mpz_class x3 = Mod(l * l - x1 - x2, n);
  return std::pair{x3, Mod(l * (x1 - x3) - y1, n)};
}

TRef Mul(const TRef& p, const mpz_class& k, const mpz_class& a, const mpz_class& n) {
  TRef r;
  for (size_t i = mpz_sizeinbase(k.get_mpz_t(), 2); i-- > 0;) {
    r = Add(r, r, a, n);
    r = mpz_tstbit(k.get_mpz_t(), i) != 0 ? Add(r, p, a, n) : r;
  }
  return r;
}

TRef FromJacobian(const BigInt& X, const BigInt& Y, const BigInt& Z, const mpz_class& n) {
  const mpz_class zi = Mod(M(Z), n) == 0 ? mpz_class(0) : Inv(M(Z), n);
  return zi == 0 ? TRef() : TRef(std::pair{Mod(M(X) * zi * zi, n), Mod(M(Y) * zi * zi * zi, n)});
}
TRef FromAffine(const BigInt& x, const BigInt& y, bool finite) { return finite ? TRef(std::pair{M(x), M(y)}) : TRef(); }

template <typename F>
void ExpectInternalError(F f, const std::string& code) {
  const int32_t mark = BigTempPool::Instance().Mark();
  EXPECT_EQ(RaisedBy(f), "EKV: Internal error " + code);
  EXPECT_EQ(BigTempPool::Instance().Mark(), mark) << code;
}

TEST(EcCurvesTest, RandomCurvesMatchTheAffineReference) {
  gmp_randclass random(gmp_randinit_mt);
  random.seed(TestSeed());
  for (int round = 0; round < 24 * TestMultiplier(); ++round) {
    const unsigned bits = round % 4 == 0 ? 20 : 60 + 97 * static_cast<unsigned>(round % 5);
    mpz_class n = random.get_z_bits(bits);
    mpz_setbit(n.get_mpz_t(), bits - 1);
    mpz_nextprime(n.get_mpz_t(), n.get_mpz_t());
    // Every sixth curve goes through a point of order two.
    const mpz_class a = random.get_z_range(n), y0 = round % 6 == 5 ? mpz_class(0) : mpz_class(random.get_z_range(n - 1) + 1);
    const TRef p = std::pair{mpz_class(random.get_z_range(n)), y0};
    const mpz_class b = Mod(y0 * y0 - (p->first * p->first + a) * p->first, n);
    BigInt A = Big(a), B = Big(b), N = Big(n);
    SCOPED_TRACE("round " + std::to_string(round) + ", N = " + n.get_str(16));
    EXPECT_EQ(EcCurveCoprimeDiscriminant(A, B, N), Mod(4 * a * a * a + 27 * b * b, n) != 0);
    // Multipliers at the edges of the window rules, random ones and runs of
    // ones (a signed digit above the top bit), with reduced or centred
    // coordinates.
    const mpz_class k = random.get_z_bits(1 + static_cast<unsigned>(round * 37) % 300);
    const mpz_class ones = (mpz_class(1) << (3 + round * 29 % 200)) - 1;
    const mpz_class shift = round % 2 == 1 ? n : mpz_class(0);
    for (const mpz_class& m :
         {mpz_class(0), mpz_class(1), mpz_class(2), k, mpz_class(k + 1), ones}) {
      for (int32_t width : {0, 1 + round % 8}) {
        BigInt X = Big(p->first - shift), Y = Big(p->second), Z = Big(1);
        EcMultiply(X, Y, Z, Big(m), Big(a - shift), N, width);
        EXPECT_EQ(FromJacobian(X, Y, Z, n), Mul(p, m, a, n)) << m << " width " << width;
      }
    }
    // Adding Q to the identity, to Q (doubling), to -Q and to P.
    const TRef q = Mul(p, k + 3, a, n);
    if (!q) continue;
    const TRef minusQ = std::pair{q->first, Mod(-q->second, n)};
    const BigInt x = Big(q->first), y = Big(q->second);
    for (const TRef& start : {TRef(), q, minusQ, p}) {
      const TRef want = Add(start, q, a, n);
      // Mixed Jacobian addition from any Z of the start, then doubling.
      TEcPoint P;
      EcSetIdentity(P);
      if (start) {
        const mpz_class z = random.get_z_range(n - 1) + 1;
        P = {Big(start->first * z * z), Big(start->second * z * z * z), Big(z), Big(Mod(a * z * z * z * z, n))};
      }
      EcAddMixed(P, x, y, A, N);
      EXPECT_EQ(FromJacobian(P.X, P.Y, P.Z, n), want);
      EXPECT_TRUE(!want || Mod(M(P.T) - a * M(P.Z) * M(P.Z) * M(P.Z) * M(P.Z), n) == 0);
      EcDouble(P, round % 3, N);
      const TRef doubled = Mul(want, mpz_class(1) << (round % 3), a, n);
      EXPECT_EQ(FromJacobian(P.X, P.Y, P.Z, n), doubled);
      BigInt X = Big(M(P.X)), Y = Big(M(P.Y)), Z = Big(M(P.Z));
      EXPECT_EQ(EcToAffine(X, Y, Z, N), doubled.has_value());
      EXPECT_EQ(FromAffine(X, Y, BigIsOne(Z)), doubled);
      BigNegate(Y);
      EXPECT_TRUE(!doubled || EcIsNegativeOf(P.X, P.Y, P.Z, X, Y, N));
      EXPECT_TRUE(!doubled || EcIsNegativeOf(P.X, P.Y, P.Z, x, y, N) == (doubled == minusQ));
      // The affine routines on the same cases.
      X = Big(start ? start->first : 1);
      Y = Big(start ? start->second : 1);
      const bool finite = EcAddAffine(X, Y, start.has_value(), x, y, A, N);
      EXPECT_EQ(FromAffine(X, Y, finite), want);
      EXPECT_EQ(FromAffine(X, Y, EcDoubleAffine(X, Y, finite, A, N)), Add(want, want, a, n));
    }
    // A = 3J(1728 - J), B = 2J(1728 - J)^2, all three centred.
    BigInt J = Big(k);
    EcCurveFromJ(A, B, J, N);
    const mpz_class j = Mod(k, n), c = 1728 - j;
    EXPECT_EQ(Mod(M(A) - 3 * j * c, n), 0);
    EXPECT_EQ(Mod(M(B) - 2 * j * c * c, n), 0);
    EXPECT_EQ(Mod(M(J), n), j);
    EXPECT_TRUE(2 * abs(M(A)) <= n && 2 * abs(M(B)) <= n && 2 * abs(M(J)) <= n);
  }
}

// The curves of class number one have the j-invariants of their
// discriminants; any other index is an internal error.
TEST(EcCurvesTest, WindowsNeedAModulusOf96BitsAtLeast) {
  const int32_t width = PowWindowSize(256, 128);
  ASSERT_GT(width, 2);
  EXPECT_EQ(EcMultiplyWidth(256, 128, 96), width);
  EXPECT_EQ(EcMultiplyWidth(256, 128, 95), 1);
}

TEST(EcCurvesTest, ClassOneCurvesHaveTheirJInvariants) {
  const std::pair<int32_t, const char*> rows[] = {{1, "1728"}, {2, "8000"}, {3, "0"}, {7, "-3375"},
      {11, "-32768"}, {19, "-884736"}, {43, "-884736000"}, {67, "-147197952000"}, {163, "-262537412640768000"}};
  BigInt A, B;
  for (const auto& [d, j] : rows) {
    EcClassOneCurve(A, B, d);
    const mpz_class a3 = 4 * M(A) * M(A) * M(A), disc = a3 + 27 * M(B) * M(B);
    EXPECT_TRUE(disc != 0 && 1728 * a3 == mpz_class(j) * disc) << d;
  }
  for (int32_t d : {0, -3, 4, 5, 8, 164}) ExpectInternalError([&] { EcClassOneCurve(A, B, d); }, "1003.10.1");
}

// The point search on curves whose orders are counted: the seed gives a point
// on the twist by u with [S]P not the identity and [S R]P the identity.
TEST(EcCurvesTest, FindPointMeetsItsContract) {
  const mpz_class n = 10007;
  for (const auto& [a, b] : {std::pair{2L, 3L}, std::pair{5L, 11L}}) {
    long order = n.get_si() + 1;
    for (long x = 0; x < n; ++x) order += mpz_kronecker(mpz_class((x * x + a) * x + b).get_mpz_t(), n.get_mpz_t());
    const long twist = 2 * n.get_si() + 2 - order;
    for (const auto& [r, sign] : {std::pair{order / 2, 1}, std::pair{twist / 2, -1}, std::pair{twist / 2, 0}}) {
      BigInt T, x, y, a2, u;
      ASSERT_TRUE(EcFindPoint(T, Big(2), Big(r), Big(a), Big(b), Big(n), sign)) << r;
      EcSeedPoint(x, y, a2, u, T, Big(a), Big(b), Big(n));
      EXPECT_TRUE(sign == 0 || mpz_kronecker(M(u).get_mpz_t(), n.get_mpz_t()) == sign);
      EXPECT_EQ(Mod(M(y) * M(y) - (M(x) * M(x) + M(a2)) * M(x) - b * M(u) * M(u) * M(u), n), 0);
      const TRef P = std::pair{Mod(M(x), n), Mod(M(y), n)};
      EXPECT_TRUE(Mul(P, 2, M(a2), n) && !Mul(P, 2 * r, M(a2), n)) << r;
    }
    BigInt T;  // 10009 divides neither order
    EXPECT_FALSE(EcFindPoint(T, Big(1), Big(10009), Big(a), Big(b), Big(n), 0));
    // [S]P is the identity for every seed on both twists: the search gives up.
    EXPECT_FALSE(EcFindPoint(T, Big(order * twist), Big(3), Big(a), Big(b), Big(n), 0));
    // Modulo 10007 [S]P is the identity, modulo 10009 hardly ever.
    ExpectInternalError([&] { EcFindPoint(T, Big(order * twist), Big(1), Big(a), Big(b), Big(n * 10009), 0); },
                        "1003.4.1");
  }
}

// N = p q, and B, 2y or x1 - x2 shares a factor with it.
TEST(EcCurvesTest, ImpossibleInverseIsAnInternalError) {
  const mpz_class p = 1000000007, q = 1000000009;
  const BigInt A = Big(-3), K = Big(mpz_class("123456789ABCDEF123456789ABCDEF", 16)), N = Big(p * q);
  ExpectInternalError([&] { EcCheckCurve(A, Big(2), Big(p)); }, "1003.1.1");  // 4(-27) + 27 * 4
  EcCheckCurve(A, Big(3), Big(p));
  EXPECT_TRUE(EcCurveCoprimeDiscriminant(A, Big(3), N));
  EXPECT_FALSE(EcCurveCoprimeDiscriminant(A, Big(q), N));  // q is 2 modulo p
  BigInt x = Big(5), y = Big(q), Z = Big(1);
  ExpectInternalError([&] { EcMultiply(x, y, Z, Big(-1), A, N); }, "1003.3.1");
  Z = Big(2);
  ExpectInternalError([&] { EcMultiply(x, y, Z, K, A, N); }, "1003.3.2");
  Z = Big(1);
  // The window table doubles first.
  ExpectInternalError([&] { EcMultiply(x, y, Z, K, A, N, 4); }, "1003.3.3");
  x = Big(5);
  y = Big(q);
  ExpectInternalError([&] { EcDoubleAffine(x, y, true, A, N); }, "1003.3.3");
  x = Big(q + 5);
  ExpectInternalError([&] { EcAddAffine(x, y, true, Big(5), Big(11), A, N); }, "1003.3.4");
  Z = Big(q);
  EXPECT_FALSE(EcToAffine(x, y, Z, N));
}

}  // namespace
}  // namespace karvo::test
