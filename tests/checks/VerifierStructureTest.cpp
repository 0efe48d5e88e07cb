// The structure pass on hand-made certificates: the ranges of every test
// type at their edges, the candidate, the test count and the sections; then
// the Expression check and the file names Verify refuses.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "EcTestSupport.h"
#include "VerifierTestSupport.h"

namespace karvo::test {
namespace {

// A certificate under construction: the candidate and its tests.
struct TCert {
  std::string N;
  std::vector<TMadeTest> Tests;

  // Sets (or, without a value, removes) key in test i.
  TCert With(int i, const std::string& key, std::optional<std::string> value) const {
    TCert copy = *this;
    TXKeyValues& values = copy.Tests[static_cast<size_t>(i - 1)].Values;
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (it->first == key) {
        if (value) {
          it->second = *value;
        } else {
          values.erase(it);
        }
        return copy;
      }
    }
    if (value) {
      values.emplace_back(key, *value);
    }
    return copy;
  }
  TCert WithN(const std::string& n) const {
    TCert copy = *this;
    copy.N = n;
    return copy;
  }
};

struct TStructure {
  bool Ok = false;
  int32_t Place = 0;
  std::string Message;
};

TStructure Structure(const TXFile& file) {
  TVerifier verifier;
  TStructure result;
  result.Ok = verifier.CheckStructure(file);
  result.Place = verifier.ErrorPlace;
  result.Message = BareMessage(verifier.Message);
  return result;
}

TStructure Structure(const TCert& cert, const std::string& testCount = "#") {
  return Structure(CertificateFile(cert.N, cert.Tests, testCount));
}

// Passes, or fails in test place with message.
void ExpectStructure(const TCert& cert, const std::string& message, int32_t place = -1) {
  const TStructure result = Structure(cert);
  if (message.empty()) {
    EXPECT_TRUE(result.Ok) << result.Message;
    return;
  }
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(result.Message, message);
  EXPECT_EQ(result.Place, place) << message;
}

std::string Hex(mpz_srcptr x) { return MpzHex(x); }

// The last N of every chain below: 48 bits, odd.
constexpr const char* LastR = "B504F333F9DB";

MpzValue FromHex(const std::string& hex) {
  MpzValue x;
  if (hex[0] == '-') {
    mpz_set_str(x, hex.c_str() + 1, 16);
    mpz_neg(x, x);
  } else {
    mpz_set_str(x, hex.c_str(), 16);
  }
  return x;
}

// N = S R + 1 with S = 0x1000: only the structure, not the arithmetic.
TCert NMinus1Cert() {
  MpzValue n = FromHex(LastR);
  mpz_mul_ui(n, n, 0x1000);
  mpz_add_ui(n, n, 1);
  return {Hex(n), {{1, {{"S$", "1000"}, {"R$", LastR}, {"B$", "2"}}}, {0, {}}}};
}

// N = S R - 1 and the first Q from 2 up with Jacobi(Q, N) = -1.
TCert NPlus1Cert(const std::string& s = "1000") {
  MpzValue n = FromHex(LastR);
  mpz_mul(n, n, FromHex(s));
  mpz_sub_ui(n, n, 1);
  unsigned long q = 2;
  while (mpz_ui_kronecker(q, n) != -1) {
    ++q;
  }
  return {Hex(n), {{2, {{"S$", s}, {"R$", LastR}, {"Q$", MpzHex(q)}}}, {0, {}}}};
}

constexpr const char* CurveN = "C5A1D3E7F9B20467";

TCert CurveCert(int type) {
  if (type == 3) {
    return {CurveN,
            {{3, {{"S$", "2"}, {"R$", LastR}, {"A$", "0"}, {"B$", "7"}, {"T$", "1"}}}, {0, {}}}};
  }
  return {CurveN, {{4, {{"S$", "2"}, {"R$", LastR}, {"J$", "5"}, {"T$", "1"}}}, {0, {}}}};
}

// floor(N/2) + delta, negated on request, in hexadecimal.
std::string HalfPlus(const std::string& nHex, long delta, bool negative = false) {
  MpzValue h = FromHex(nHex);
  mpz_fdiv_q_2exp(h, h, 1);
  if (delta >= 0) {
    mpz_add_ui(h, h, static_cast<unsigned long>(delta));
  } else {
    mpz_sub_ui(h, h, static_cast<unsigned long>(-delta));
  }
  if (negative) {
    mpz_neg(h, h);
  }
  return Hex(h);
}

std::string Plus(const std::string& hex, long delta) {
  MpzValue x = FromHex(hex);
  if (delta >= 0) {
    mpz_add_ui(x, x, static_cast<unsigned long>(delta));
  } else {
    mpz_sub_ui(x, x, static_cast<unsigned long>(-delta));
  }
  return Hex(x);
}

TEST(VerifierStructureTest, NMinus1TestRanges) {
  const TCert base = NMinus1Cert();
  ExpectStructure(base, "");
  ExpectStructure(base.With(1, "S$", "1001"), "S is odd");
  ExpectStructure(base.With(1, "S$", "0"), "S < 2");
  ExpectStructure(base.With(1, "S$", "-2"), "S < 2");
  ExpectStructure(base.With(1, "S$", std::nullopt), "S < 2");
  ExpectStructure(base.With(1, "R$", Plus(LastR, 1)), "R is even");
  ExpectStructure(base.With(1, "R$", "0"), "R is even");
  ExpectStructure(base.With(1, "R$", std::nullopt), "R is even");
  ExpectStructure(base.WithN(Plus(base.N, 2)), "(S*R + 1) <> N");
  ExpectStructure(base.With(1, "B$", "1"), "B < 2");
  ExpectStructure(base.With(1, "B$", "-7"), "B < 2");
  ExpectStructure(base.With(1, "B$", std::nullopt), "B < 2");
  ExpectStructure(base.With(1, "B$", "12G4"), "Invalid certificate");
  ExpectStructure(base.With(1, "S$", "x"), "Invalid certificate");
}

// S just below R passes and S just above fails, with N = S R + 1 both times.
TEST(VerifierStructureTest, NMinus1SMustStayBelowR) {
  for (const long delta : {-1L, 1L}) {
    const std::string s = Plus(LastR, delta);
    MpzValue n = FromHex(s);
    mpz_mul(n, n, FromHex(LastR));
    mpz_add_ui(n, n, 1);
    const TCert cert{Hex(n), {{1, {{"S$", s}, {"R$", LastR}, {"B$", "2"}}}, {0, {}}}};
    ExpectStructure(cert, delta < 0 ? "" : "S >= R");
  }
}

TEST(VerifierStructureTest, NPlus1TestRanges) {
  const TCert base = NPlus1Cert();
  ExpectStructure(base, "");
  ExpectStructure(base.With(1, "S$", "FFF"), "S is odd");
  ExpectStructure(base.With(1, "S$", "0"), "S < 2");
  ExpectStructure(base.With(1, "R$", Plus(LastR, -1)), "R is even");
  ExpectStructure(NPlus1Cert(Plus(LastR, -1)), "");
  ExpectStructure(NPlus1Cert(Plus(LastR, 1)), "S >= R");
  ExpectStructure(base.WithN(Plus(base.N, 2)), "(S*R - 1) <> N");
  ExpectStructure(base.With(1, "Q$", "0"), "Q < 1");
  ExpectStructure(base.With(1, "Q$", "-3"), "Q < 1");
  ExpectStructure(base.With(1, "Q$", std::nullopt), "Q < 1");
  ExpectStructure(base.With(1, "Q$", base.N), "Q >= N");
  ExpectStructure(base.With(1, "Q$", Plus(base.N, 5)), "Q >= N");
  ExpectStructure(base.With(1, "Q$", "1"), "Jacobi(Q,N) <> -1");
  ExpectStructure(base.With(1, "Q$", "4"), "Jacobi(Q,N) <> -1");
  ExpectStructure(base.With(1, "Q$", "Q"), "Invalid certificate");
}

TEST(VerifierStructureTest, CurveTestRanges) {
  for (const int type : {3, 4}) {
    SCOPED_TRACE(type);
    const TCert base = CurveCert(type);
    ExpectStructure(base, "");
    ExpectStructure(base.With(1, "S$", "1"), "S < 2");
    ExpectStructure(base.With(1, "S$", std::nullopt), "S < 2");
    ExpectStructure(base.With(1, "R$", Plus(LastR, 1)), "R is even");
    ExpectStructure(base.With(1, "R$", CurveN), "R >= N");
    ExpectStructure(base.With(1, "R$", Plus(CurveN, 2)), "R >= N");
    ExpectStructure(base.With(1, "T$", Plus(CurveN, -1)), "");
    ExpectStructure(base.With(1, "T$", std::nullopt), "");
    ExpectStructure(base.With(1, "T$", CurveN), "T >= N");
    ExpectStructure(base.With(1, "T$", "-1"), "T < 0");
    ExpectStructure(base.With(1, "T$", "1Z"), "Invalid certificate");
  }
}

// A may reach floor(N/2) + 1 on the positive side only; B and J stay within
// floor(N/2) on both sides.
TEST(VerifierStructureTest, CurveCoefficientEdges) {
  const TCert type3 = CurveCert(3);
  ExpectStructure(type3.With(1, "A$", HalfPlus(CurveN, 0)), "");
  ExpectStructure(type3.With(1, "A$", HalfPlus(CurveN, 1)), "");
  ExpectStructure(type3.With(1, "A$", HalfPlus(CurveN, 2)), "|A| > N/2");
  ExpectStructure(type3.With(1, "A$", HalfPlus(CurveN, 0, true)), "");
  ExpectStructure(type3.With(1, "A$", HalfPlus(CurveN, 1, true)), "|A| > N/2");
  ExpectStructure(type3.With(1, "A$", std::nullopt), "");
  ExpectStructure(type3.With(1, "B$", HalfPlus(CurveN, 0)), "");
  ExpectStructure(type3.With(1, "B$", HalfPlus(CurveN, 1)), "|B| > N/2");
  ExpectStructure(type3.With(1, "B$", HalfPlus(CurveN, 0, true)), "");
  ExpectStructure(type3.With(1, "B$", HalfPlus(CurveN, 1, true)), "|B| > N/2");
  // A is checked before B.
  ExpectStructure(type3.With(1, "A$", HalfPlus(CurveN, 2)).With(1, "B$", HalfPlus(CurveN, 1)),
                  "|A| > N/2");

  const TCert type4 = CurveCert(4);
  ExpectStructure(type4.With(1, "J$", HalfPlus(CurveN, 0)), "");
  ExpectStructure(type4.With(1, "J$", HalfPlus(CurveN, 1)), "|J| > N/2");
  ExpectStructure(type4.With(1, "J$", HalfPlus(CurveN, 0, true)), "");
  ExpectStructure(type4.With(1, "J$", HalfPlus(CurveN, 1, true)), "|J| > N/2");
}

// The edges once more through Verify, for the message as the user sees it.
TEST(VerifierStructureTest, VerifyReportsTheFailingTest) {
  TempFolder folder;
  const std::string path = folder.Path("made.out");
  const TCert type3 = CurveCert(3);
  // A three-test chain: the failing test is the second.
  TCert chain{CurveN,
              {type3.Tests[0],
               {3, {{"S$", "2"}, {"R$", "1FFFF"}, {"A$", "0"}, {"B$", "1"}, {"T$", "1"}}},
               {0, {}}}};
  struct TCase {
    TCert Cert;
    const char* Message;
  };
  const TCase cases[] = {
      {type3.With(1, "A$", HalfPlus(CurveN, 2)), "ERROR at test #1: |A| > N/2"},
      {type3.With(1, "A$", HalfPlus(CurveN, 1, true)), "ERROR at test #1: |A| > N/2"},
      {chain.With(2, "B$", HalfPlus(LastR, 1, true)), "ERROR at test #2: |B| > N/2"},
      {chain.With(2, "R$", LastR), "ERROR at test #2: R >= N"},
      {chain.With(2, "S$", std::nullopt), "ERROR at test #2: S < 2"},
      {type3.With(1, "T$", "-5"), "ERROR at test #1: T < 0"},
      {type3.WithN(std::string("-").append(CurveN)), "ERROR: Candidate < 0"},
      {type3.WithN("C5A1D3E7F9B2046G"), "ERROR: Invalid certificate"},
      {CurveCert(4).With(1, "J$", HalfPlus(CurveN, 1)), "ERROR at test #1: |J| > N/2"},
  };
  for (const TCase& c : cases) {
    for (int mode : {0, 1}) {
      WriteBytes(path, CertificateText(c.Cert.N, c.Cert.Tests));
      const std::string before = ReadBytes(path);
      const TOutcome outcome = RunVerify(path, mode);
      ExpectConsistent(outcome);
      EXPECT_EQ(outcome.Message, c.Message);
      EXPECT_EQ(outcome.Status, VerifyNotValid);
      // Nothing is written before the structure pass has succeeded.
      EXPECT_EQ(ReadBytes(path), before) << c.Message;
    }
  }
}

TEST(VerifierStructureTest, CandidateLimits) {
  const TCert type3 = CurveCert(3);
  // With a one-test chain the candidate itself is the last N.
  auto single = [](const std::string& n) { return TCert{n, {{0, {}}}}; };
  struct TCase {
    TCert Cert;
    const char* Message;  // "" passes
  };
  std::string big(131072 / 4, 'F');       // 131072 bits, odd
  std::string tooBig = std::string("1").append(big);       // 131073 bits
  std::string even = big;
  even.back() = 'E';
  const TCase cases[] = {
      {type3.WithN(std::string("-").append(CurveN)), "Candidate < 0"},
      {single("FFFF"), "Candidate binary size < 17"},
      {single("1"), "Candidate binary size < 17"},
      {single("10001"), ""},
      {single("1FFFF"), ""},
      {single("10000"), "Candidate is even"},
      {type3.WithN(Plus(CurveN, 1)), "Candidate is even"},
      {TCert{tooBig, {{3, {{"S$", "2"}, {"R$", LastR}, {"T$", "1"}}}, {0, {}}}},
       "Candidate binary size > 131072"},
      {TCert{big, {{3, {{"S$", "2"}, {"R$", LastR}, {"T$", "1"}}}, {0, {}}}}, ""},
      {TCert{even, {{3, {{"S$", "2"}, {"R$", LastR}, {"T$", "1"}}}, {0, {}}}},
       "Candidate is even"},
      {type3.WithN("12X4"), "Invalid certificate"},
  };
  for (const TCase& c : cases) {
    ExpectStructure(c.Cert, c.Message, 1);
  }
  // No N$ at all reads as zero, which is no candidate.
  TXFile file = CertificateFile(CurveN, type3.Tests);
  file.DeleteKey("Candidate", "N$");
  const TStructure missing = Structure(file);
  EXPECT_FALSE(missing.Ok);
  EXPECT_EQ(missing.Place, 1);
}

TEST(VerifierStructureTest, TestCountAndSections) {
  const TCert type3 = CurveCert(3);
  for (const char* count : {"", "0", "-1", "abc"}) {
    const TStructure result = Structure(type3, count);
    EXPECT_FALSE(result.Ok) << count;
    EXPECT_EQ(result.Message, "Invalid test count") << count;
    EXPECT_EQ(result.Place, 1) << count;
  }
  // A count larger than the chain: section [3] is looked for after the
  // type 0 test [2], which is then no longer the last.
  const TStructure longer = Structure(type3, "3");
  EXPECT_FALSE(longer.Ok);
  EXPECT_EQ(longer.Message, "Only the last test can be of type 0");
  EXPECT_EQ(longer.Place, -2);

  // Four tests, section [3] removed.
  const TCert four{CurveN,
                   {type3.Tests[0],
                    {3, {{"S$", "2"}, {"R$", "1FFFF"}, {"T$", "1"}}},
                    {3, {{"S$", "2"}, {"R$", "101"}, {"T$", "1"}}},
                    {0, {}}}};
  ExpectStructure(four, "");
  TXFile file = CertificateFile(four.N, four.Tests);
  file.EraseSection("3");
  const TStructure missing = Structure(file);
  EXPECT_FALSE(missing.Ok);
  EXPECT_EQ(missing.Message, "Invalid certificate (Section [3] not found)");
  EXPECT_EQ(missing.Place, 1);

  TempFolder folder;
  const std::string path = folder.Path("missing.out");
  WriteBytes(path, file.SaveToBytes());
  EXPECT_EQ(RunVerify(path, 1).Message, "ERROR: Invalid certificate (Section [3] not found)");
  WriteBytes(path, CertificateText(type3.N, type3.Tests, ""));
  EXPECT_EQ(RunVerify(path, 0).Message, "ERROR: Invalid test count");
}

TEST(VerifierStructureTest, Type0TestsAndTestTypes) {
  const TCert type3 = CurveCert(3);
  const TCert three{CurveN,
                    {type3.Tests[0],
                     {3, {{"S$", "2"}, {"R$", "1FFFF"}, {"T$", "1"}}},
                     {0, {}}}};
  ExpectStructure(three, "");
  // Type 0 in the middle of three tests.
  TCert middle = three;
  middle.Tests[1] = {0, {}};
  ExpectStructure(middle, "Only the last test can be of type 0", -2);
  // The last N: 48 bits pass, 49 do not.
  ExpectStructure(type3.With(1, "R$", "FFFFFFFFFFC5"), "");
  ExpectStructure(type3.With(1, "R$", "1000000000015"), "N bit size > 48", -2);
  ExpectStructure(TCert{"1000000000015", {{0, {}}}}, "N bit size > 48", -1);
  // Unknown types.
  for (const int type : {5, 7, -1}) {
    TCert other = three;
    other.Tests[1].Type = type;
    ExpectStructure(other, "Invalid test type", -2);
  }
  // No type 0 test at the end: the last R would never be proven prime.
  TCert open = three;
  open.Tests.pop_back();
  ExpectStructure(open, "Invalid certificate", -2);
  ExpectStructure(TCert{CurveN, {type3.Tests[0]}}, "Invalid certificate", -1);
  ExpectStructure(TCert{NMinus1Cert().N, {NMinus1Cert().Tests[0]}}, "Invalid certificate", -1);

  TempFolder folder;
  const std::string path = folder.Path("middle.out");
  WriteBytes(path, CertificateText(middle.N, middle.Tests));
  EXPECT_EQ(RunVerify(path, 0).Message, "ERROR at test #2: Only the last test can be of type 0");
  WriteBytes(path, CertificateText("1000000000015", {{0, {}}}));
  EXPECT_EQ(RunVerify(path, 1).Message, "ERROR at test #1: N bit size > 48");
  WriteBytes(path, CertificateText(open.N, open.Tests));
  EXPECT_EQ(RunVerify(path, 1).Message, "ERROR at test #2: Invalid certificate");
}

// A certificate of one type 0 test proves a prime of 17 to 48 bits by
// itself; composites, strong pseudoprimes to the small bases included, fail.
TEST(VerifierStructureTest, SingleType0Certificate) {
  TempFolder folder;
  const std::string path = folder.Path("small.out");
  struct TCase {
    const char* Decimal;
    bool Prime;
  };
  const TCase cases[] = {
      {"65537", true},
      {"131071", true},
      {"281474976710597", true},  // the largest prime below 2^48
      {"281474976710595", false},
      {"3215031751", false},      // strong pseudoprime to bases 2, 3, 5, 7
      {"3474749660383", false},   // strong pseudoprime to bases 2 to 13
  };
  for (const TCase& c : cases) {
    MpzValue n;
    mpz_set_str(n, c.Decimal, 10);
    ASSERT_EQ(mpz_probab_prime_p(n, 30) > 0, c.Prime) << c.Decimal;
    for (int mode : {0, 1}) {
      WriteBytes(path, CertificateText(Hex(n), {{0, {}}}));
      const TOutcome outcome = RunVerify(path, mode);
      ExpectConsistent(outcome);
      EXPECT_EQ(outcome.Message, c.Prime ? "Valid certificate" : "ERROR at test #1: Invalid certificate")
          << c.Decimal;
    }
    if (c.Prime) {
      // Signed by the run above: the chain is N alone, fed as test 1.
      const TXFile signed_(path);
      EXPECT_TRUE(ChainMatches(signed_, 1)) << c.Decimal;
      EXPECT_EQ(RunVerify(path, 1).Message, "Valid signature") << c.Decimal;
    }
  }
}

// The Expression is evaluated, not compared as text, and is not signed.
TEST(VerifierStructureTest, ExpressionMustGiveTheCandidate) {
  TempFolder folder;
  struct TCase {
    const char* Expression;  // null: key removed
    const char* Full;
    const char* Signature;
  };
  const TCase cases[] = {
      {"2^255-19", "Valid certificate", "Valid signature"},
      {"2^255-20+1", "Valid certificate", "Valid signature"},
      {"(2^255-19)", "Valid certificate", "Valid signature"},
      {nullptr, "Valid certificate", "Valid signature"},
      {"", "Valid certificate", "Valid signature"},
      {"2^255-17", "ERROR: Expression <> Candidate", "ERROR: Expression <> Candidate"},
      {"2^255+19", "ERROR: Expression <> Candidate", "ERROR: Expression <> Candidate"},
      {"2^255-", "ERROR: Invalid Expression", "ERROR: Invalid Expression"},
      {"(2^255-19", "ERROR: Invalid Expression", "ERROR: Invalid Expression"},
      {"2^255-19x", "ERROR: Invalid Expression", "ERROR: Invalid Expression"},
      {"1/0", "ERROR: Invalid Expression", "ERROR: Invalid Expression"},
  };
  for (const TCase& c : cases) {
    for (int mode : {0, 1}) {
      const std::string path = CopyCertificate(folder, "expr_2p255m19.out");
      EditFile(path, [&](TXFile& file) {
        ASSERT_EQ(file.ReadString("Candidate", "Expression"), "2^255-19");
        if (c.Expression == nullptr) {
          file.DeleteKey("Candidate", "Expression");
        } else {
          file.WriteString("Candidate", "Expression", c.Expression);
        }
      });
      const TOutcome outcome = RunVerify(path, mode);
      ExpectConsistent(outcome);
      EXPECT_EQ(outcome.Message, mode == 0 ? c.Full : c.Signature)
          << (c.Expression == nullptr ? "(none)" : c.Expression);
    }
  }
}

TEST(VerifierStructureTest, InvalidFileNames) {
  TempFolder folder;
  WriteBytes(folder.Path("real.out"), ReadBytes(SharedCertificate("p50.out")));
  for (const std::string& name :
       {std::string(), folder.Path(""), folder.Path("absent.out"), folder.Path("real.out/x")}) {
    TVerifier verifier;
    int calls = 0;
    verifier.OnPhase = [&](int32_t) { ++calls; };
    verifier.OnProgress = [&](int32_t, int32_t, int32_t, int32_t) { ++calls; };
    const TOutcome outcome = RunVerify(verifier, name, 1);
    EXPECT_EQ(outcome.Raised, "") << name;
    EXPECT_EQ(outcome.Status, VerifyNotProcessed) << name;
    EXPECT_EQ(outcome.ErrorPlace, 0) << name;
    EXPECT_EQ(outcome.Message, "Invalid file name") << name;
    EXPECT_EQ(calls, 0) << name;
  }
  EXPECT_FALSE(Exists(folder.Path("absent.out")));
}

}  // namespace
}  // namespace karvo::test
