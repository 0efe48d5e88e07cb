// Every way a certification ends without a certificate: names and
// extensions, unreadable or out-of-range input, composite candidates caught
// by the pre-tests (with witnesses found by GMP), and primes that no step
// reduces. A rejection before the working file exists leaves no file behind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CertifierTestSupport.h"
#include "base/Poll.h"
#include "base/Settings.h"
#include "files/FileFormats.h"

namespace karvo::test {
namespace {

class CertifierRejectTest : public CertifierTest {
 protected:
  // Certifies the input and expects a rejection with message and no file
  // beside the inputs.
  void ExpectRejected(const std::string& input, const std::string& message) {
    const std::vector<std::string> before = FolderContent();
    TCertifier certifier;
    const TCertifyOutcome outcome = RunCertify(certifier, input, 1);
    EXPECT_EQ(outcome.Status, CertifyRejected);
    EXPECT_EQ(outcome.Message, message);
    EXPECT_EQ(outcome.Raised, "");
    EXPECT_EQ(FolderContent(), before);
  }

  // A certification that runs and ends "Failed, impossible to certify last
  // N": the certificate carries the status, the working files are gone.
  void ExpectImpossible(const std::string& input, int32_t fileIndex) {
    TCertifier certifier;
    const TCertifyOutcome outcome = RunCertify(certifier, input, fileIndex);
    EXPECT_EQ(outcome.Status, CertifyFailed);
    EXPECT_EQ(outcome.Message, ImpossibleText);
    EXPECT_EQ(outcome.Raised, "");
    const std::string outName = WorkingName(fileIndex, ".out");
    ASSERT_TRUE(Exists(outName));
    const TXFile out(outName);
    EXPECT_EQ(Value(out, HeaderSection, "Status"), ImpossibleText);
    EXPECT_FALSE(out.SectionExists(ResumeSection));
    EXPECT_FALSE(Exists(WorkingName(fileIndex, ".tmp")));
    EXPECT_FALSE(Exists(WorkingName(fileIndex, ".tmpold")));
  }
};

// The strong test to base 2, for odd n > 2.
bool StrongBase2(mpz_srcptr n) {
  MpzValue m, d, x(2);
  mpz_sub_ui(m, n, 1);
  const mp_bitcnt_t s = mpz_scan1(m, 0);
  mpz_fdiv_q_2exp(d, m, s);
  mpz_powm(x, x, d, n);
  if (mpz_cmp_ui(x, 1) == 0 || mpz_cmp(x, m) == 0) {
    return true;
  }
  for (mp_bitcnt_t r = 1; r < s; ++r) {
    mpz_powm_ui(x, x, 2, n);
    if (mpz_cmp(x, m) == 0) {
      return true;
    }
  }
  return false;
}

bool HasFactorBelow2To16(mpz_srcptr n) {
  for (unsigned long p = 3; p < 65536; p += 2) {
    if (mpz_divisible_ui_p(n, p) != 0) {
      return true;
    }
  }
  return false;
}

TEST_F(CertifierRejectTest, FileNamesAndExtensions) {
  TCertifier certifier;
  for (const std::string& name : {Path("missing.in"), std::string(), Path("")}) {
    const TCertifyOutcome outcome = RunCertify(certifier, name, 1);
    EXPECT_EQ(outcome.Status, CertifyRejected) << name;
    EXPECT_EQ(outcome.Message, "Invalid file name") << name;
  }
  // Only the exact lower-case extensions start or resume a certification.
  for (const char* name : {"a.IN", "a.In", "a.TMP", "a.out", "a.txt", "a", "a.in.bak", "a.in "}) {
    const std::string path = WriteInput(name, {{"N$", "10001"}});
    ExpectRejected(path, "Invalid file name extension");
  }
  std::filesystem::create_directory(Path("folder.in"));
  ExpectRejected(Path("folder.in"), "Invalid file name");
}

TEST_F(CertifierRejectTest, InputErrors) {
  struct TCase {
    TXKeyValues keys;
    std::string message;
  };
  const std::vector<TCase> cases = {
      {{{"N$", "12G4"}}, "Invalid expression"},
      {{{"M", "65537"}}, "Invalid expression"},
      {{{"N", "x+1"}}, "Error in expression, code = 1"},
      {{{"N", "2^127-"}}, "Error in expression, code = 3"},
      {{{"N", "(2^127-1"}}, "Error in expression, code = 5"},
      {{{"N", "10/0"}}, "Error in expression, code = 10"},
      {{{"N", "3-100000"}}, "Candidate < 0"},
      {{{"N$", "-10001"}}, "Candidate < 0"},
      {{{"N", "65535"}}, "Candidate binary size < 17"},
      {{{"N$", "1"}}, "Candidate binary size < 17"},
      {{{"N", "0"}}, "Candidate binary size < 17"},
      {{{"N", "2^131072"}}, "Candidate binary size > 131072"},
      {{{"N$", "10001"}, {"Run", "0"}}, "Run parameter should be in 1..6"},
      {{{"N$", "10001"}, {"Run", "7"}}, "Run parameter should be in 1..6"},
      {{{"N$", "10001"}, {"Run", "-1"}}, "Run parameter should be in 1..6"},
      // The largest size passes the size check and meets the trial division.
      {{{"N", "2^131072-1"}}, "Candidate divisible by 3"},
  };
  int32_t index = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.keys.front().first + "=" + c.keys.front().second);
    ExpectRejected(WriteInput(NumberedName("e", index++, ".in"), c.keys), c.message);
  }
}

TEST_F(CertifierRejectTest, SmallFactors) {
  SCOPED_TRACE(SeedText());
  const std::string prime = CertifiablePrime(200).Decimal;
  struct TCase {
    std::string expression;
    std::string message;
  };
  const std::vector<TCase> cases = {
      {prime + "*3", "Candidate divisible by 3"},
      {prime + "*65521", "Candidate divisible by 65521"},
      {prime + "*2", "Candidate divisible by 2"},
      {"65521*65519", "Candidate divisible by 65519"},
      // Factors above 2^16 are left to the next tests.
      {"65537*65537*65537*65537*3*5", "Candidate divisible by 3"},
  };
  int32_t index = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.expression);
    ExpectRejected(WriteInput(NumberedName("f", index++, ".in"), {{"N", c.expression}}),
                   c.message);
  }
}

TEST_F(CertifierRejectTest, NotStrongPseudoprimeToBase2) {
  // A Carmichael number (6k+1)(12k+1)(18k+1) with no factor below 2^16:
  // every coprime base passes Fermat's test, base 2 still fails the strong
  // one.
  MpzValue a, b, c, n;
  for (unsigned long k = 65536 / 6 + 1;; ++k) {
    mpz_set_ui(a, 6 * k + 1);
    mpz_set_ui(b, 12 * k + 1);
    mpz_set_ui(c, 18 * k + 1);
    if (mpz_probab_prime_p(a, 30) == 0 || mpz_probab_prime_p(b, 30) == 0 ||
        mpz_probab_prime_p(c, 30) == 0) {
      continue;
    }
    mpz_mul(n, a, b);
    mpz_mul(n, n, c);
    if (!StrongBase2(n)) {
      break;
    }
  }
  MpzValue power(2), minusOne;
  mpz_sub_ui(minusOne, n, 1);
  mpz_powm(power, power, minusOne, n);
  ASSERT_EQ(mpz_cmp_ui(power, 1), 0);
  ASSERT_FALSE(HasFactorBelow2To16(n));
  ExpectRejected(WriteInput("carmichael.in", {{"N", GmpDecimal(n)}}),
                 "Candidate not strong pseudoprime to the base 2");

  // A composite of 200 bits and more, failing base 2 like almost all.
  MpzValue big;
  GmpFromHex(big, UnsplittablePrime(100));
  mpz_mul(big, big, big);
  ASSERT_FALSE(StrongBase2(big));
  ExpectRejected(WriteInput("square.in", {{"N$", GmpHex(big)}}),
                 "Candidate not strong pseudoprime to the base 2");
}

TEST_F(CertifierRejectTest, NotStrongLucasPseudoprime) {
  SCOPED_TRACE(SeedText());
  // n = p·(2p - 1): n - 1 is a multiple of p - 1, and 2 is a square mod
  // 2p - 1 half of the time, so n is often a strong pseudoprime to base 2;
  // the Lucas test then unmasks it.
  int32_t index = 0;
  for (const int32_t bits : {17, 100}) {
    MpzValue p, q, n;
    mpz_set_ui(p, 1);
    mpz_mul_2exp(p, p, static_cast<mp_bitcnt_t>(bits - 1));
    for (;;) {
      mpz_nextprime(p, p);
      mpz_mul_2exp(q, p, 1);
      mpz_sub_ui(q, q, 1);
      if (mpz_probab_prime_p(q, 30) == 0) {
        continue;
      }
      mpz_mul(n, p, q);
      // The Baillie–PSW test of GMP is the base-2 test and the strong Lucas
      // test with Selfridge's D: failing it after base 2 passed is failing
      // the Lucas test.
      if (StrongBase2(n) && mpz_probab_prime_p(n, 1) == 0) {
        break;
      }
    }
    ASSERT_FALSE(HasFactorBelow2To16(n));
    long D = 5;
    while (mpz_si_kronecker(D, n) != -1) {
      ASSERT_NE(mpz_si_kronecker(D, n), 0);
      D = D > 0 ? -(D + 2) : -D + 2;
    }
    SCOPED_TRACE("n = " + GmpDecimal(n) + NumberedName(", D = ", D, ""));
    ExpectRejected(
        WriteInput(NumberedName("l", index++, ".in"), {{"N", GmpDecimal(n)}}),
        "Candidate not Lucas strong pseudoprime for (P=1,Q=" + std::to_string((1 - D) / 4) + ")");
  }
}

TEST_F(CertifierRejectTest, AbortDuringThePreTestsLeavesNoFile) {
  SCOPED_TRACE(SeedText());
  PollingOn polling;
  TCertifier certifier;
  // The first progress call comes before the pre-tests, which poll first.
  certifier.OnTest = [](int32_t, int32_t, int32_t) { AbortNow(); };
  const std::string input = WriteInput("a.in", {{"N$", CertifiablePrime(200).Hex}});
  const TCertifyOutcome outcome = RunCertify(certifier, input, 1);
  EXPECT_EQ(outcome.Status, CertifyRejected);
  EXPECT_EQ(outcome.Message, "Aborted by user");
  EXPECT_EQ(outcome.Raised, "EKVAbort");
  EXPECT_EQ(FolderContent(), std::vector<std::string>{"a.in"});
}

TEST_F(CertifierRejectTest, PrimesNoStepReduces) {
  SCOPED_TRACE(SeedText());
  int32_t index = 1;
  for (const int32_t bits : {200, 331}) {
    const std::string hex = UnsplittablePrime(bits);
    SCOPED_TRACE(hex);
    ExpectImpossible(WriteInput(NumberedName("u", index, ".in"), {{"N$", hex}}), index);
    // The report of the attempt stays, without a test.
    const TXFile report(WorkingName(index, ".cr"));
    EXPECT_EQ(report.ReadInteger("KARVO - Certification Report", "TestCount", -1), 0);
    ++index;
  }
  // Without the N-1 and N+1 steps even an easy prime cannot be reduced.
  Settings.NM1 = 0;
  Settings.NP1 = 0;
  ExpectImpossible(WriteInput("easy.in", {{"N$", CertifiablePrime(200).Hex}}), index);
  const TXFile out(WorkingName(index, ".out"));
  EXPECT_EQ(out.ReadInteger(HeaderSection, "TestCount", -1), 0);
}

}  // namespace
}  // namespace karvo::test
