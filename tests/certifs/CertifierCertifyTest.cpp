// Whole certifications of primes that the N-1 and N+1 steps reduce: the
// outcome, the chain of tests against the one GMP predicts, the layout of the
// certificate and its report, the names of the files, and the verifier's
// verdict on every certificate written.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "CertifierTestSupport.h"
#include "base/Constants.h"
#include "base/Globals.h"
#include "checks/Verifier.h"
#include "files/FileFormats.h"

namespace karvo::test {
namespace {

class CertifierCertifyTest : public CertifierTest {
 protected:
  // Certifies the input at fileIndex and expects the certificate at outName.
  void ExpectCertified(const std::string& input, const std::string& outName,
                       int32_t fileIndex = 1) {
    TCertifier certifier;
    const TCertifyOutcome outcome = RunCertify(certifier, input, fileIndex);
    EXPECT_EQ(outcome.Status, CertifyCertified) << outcome.Message;
    EXPECT_EQ(outcome.Message, CertifiedText);
    EXPECT_EQ(outcome.Raised, "");
    ASSERT_TRUE(Exists(outName)) << outName;
    EXPECT_EQ(VerifyCopy(outName), "Valid certificate") << outName;
    EXPECT_EQ(VerifyCopy(outName, true), "Valid signature") << outName;
  }
};

void ExpectChain(const TXFile& certificate, const std::vector<TExpectedTest>& expected) {
  const std::vector<TTestRecord> tests = ReadTests(certificate);
  ASSERT_EQ(tests.size(), expected.size());
  for (size_t i = 0; i < tests.size(); ++i) {
    SCOPED_TRACE(NumberedName("test ", static_cast<int32_t>(i + 1), ""));
    EXPECT_EQ(tests[i].Type, expected[i].Type);
    EXPECT_EQ(tests[i].S, expected[i].S);
    EXPECT_EQ(tests[i].R, expected[i].R);
    EXPECT_EQ(tests[i].Witness.empty(), expected[i].Type == 0) << tests[i];
  }
}

// The [Candidate] keys every certificate carries, computed with GMP.
void ExpectCandidateKeys(const TXFile& certificate, const std::string& hex) {
  MpzValue n;
  GmpFromHex(n, hex);
  const int32_t bits = GmpBits(n);
  EXPECT_EQ(Value(certificate, "Candidate", "N$"), hex);
  EXPECT_EQ(Value(certificate, "Candidate", "BinarySize"), std::to_string(bits));
  EXPECT_EQ(Value(certificate, "Candidate", "HexadecimalSize"), std::to_string((bits + 3) / 4));
  EXPECT_EQ(Value(certificate, "Candidate", "DecimalSize"),
            std::to_string(GmpDecimal(n).size()));
}

TEST_F(CertifierCertifyTest, BuiltPrimesGetThePredictedChain) {
  SCOPED_TRACE(SeedText());
  int32_t index = 1;
  for (const auto& [bits, variant] :
       std::vector<std::pair<int32_t, int32_t>>{{200, 0}, {401, 1}, {600, 0}}) {
    const TCertifiable& prime = CertifiablePrime(bits, variant);
    SCOPED_TRACE(std::to_string(bits) + " bits: " + prime.Hex);
    // Both kinds of step, so both witnesses are searched for.
    int32_t kinds[3] = {0, 0, 0};
    for (const TExpectedTest& step : prime.Tests) {
      ++kinds[step.Type];
    }
    ASSERT_GT(kinds[1], 0);
    ASSERT_GT(kinds[2], 0);
    ASSERT_EQ(kinds[0], 1);
    ASSERT_GE(prime.Bits, bits - 14);

    const std::string input =
        WriteInput(NumberedName("c", index, ".in"), {{"N$", prime.Hex}});
    const std::string outName = WorkingName(index, ".out");
    ExpectCertified(input, outName, index);
    const TXFile certificate(outName);
    ExpectChain(certificate, prime.Tests);
    ExpectCandidateKeys(certificate, prime.Hex);
    EXPECT_EQ(Value(certificate, HeaderSection, "TestCount"), std::to_string(prime.Tests.size()));
    EXPECT_FALSE(Exists(WorkingName(index, ".tmp")));
    ++index;
  }
}

TEST_F(CertifierCertifyTest, CertificateLayout) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200);
  const std::string input = WriteInput("layout.in", {{"N$", prime.Hex}}, "A comment to carry over");
  const std::string outName = WorkingName(1, ".out");
  ExpectCertified(input, outName);
  const TXFile certificate(outName);

  EXPECT_EQ(Value(certificate, HeaderSection, "Version"), Version);
  EXPECT_EQ(Value(certificate, HeaderSection, "Format"), "3");
  EXPECT_EQ(Value(certificate, HeaderSection, "ID"), TestTaskId);
  EXPECT_EQ(Value(certificate, HeaderSection, "Status"), CertifiedText);
  EXPECT_FALSE(Value(certificate, HeaderSection, "Created").empty());
  EXPECT_EQ(certificate.ReadComments(), "A comment to carry over");

  EXPECT_EQ(Value(certificate, "Candidate", "File"), input);
  EXPECT_FALSE(certificate.ValueExists("Candidate", "Expression"));
  ExpectCandidateKeys(certificate, prime.Hex);

  // The working state goes; the signature is complete.
  EXPECT_FALSE(certificate.SectionExists("X"));
  EXPECT_FALSE(certificate.ValueExists("Signature", "ce"));
  EXPECT_TRUE(certificate.ValueExists("Signature", "1$"));
  EXPECT_TRUE(certificate.ValueExists("Signature", "2$"));

  // Times are written for people now, not as centisecond counts.
  for (const char* key : {"Initialization", "1stPhase", "2ndPhase", "Total"}) {
    const std::string text = Value(certificate, "Running Times", key);
    EXPECT_NE(text.find('s'), std::string::npos) << key << "=" << text;
  }

  // Final records only: no working keys of the descent are left behind.
  const int32_t count = certificate.ReadInteger(HeaderSection, "TestCount", 0);
  ASSERT_EQ(count, static_cast<int32_t>(prime.Tests.size()));
  for (int32_t i = 1; i <= count; ++i) {
    const std::string section = std::to_string(i);
    std::vector<std::string> keys;
    certificate.ReadKeyNames(section, keys);
    const int32_t type = certificate.ReadInteger(section, "Type", -1);
    const std::vector<std::string> expected =
        type == 0 ? std::vector<std::string>{"Type"}
                  : std::vector<std::string>{"Type", "S$", "R$", type == 1 ? "B$" : "Q$"};
    EXPECT_EQ(keys, expected) << "test " << i;
  }
  EXPECT_FALSE(certificate.SectionExists(std::to_string(count + 1)));
}

TEST_F(CertifierCertifyTest, ReportsAndDoubleFileManagement) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200);
  int32_t index = 1;
  for (int32_t reports : {1, 0}) {
    for (int32_t doubleFiles : {0, 1}) {
      SCOPED_TRACE(NumberedName("reports ", reports, ", double files ") +
                   std::to_string(doubleFiles));
      Settings.CertificationReports = reports;
      Settings.DoubleFileManagement = doubleFiles;
      const std::string inputName = NumberedName("r", index, ".in");
      const std::string input = WriteInput(inputName, {{"N$", prime.Hex}});
      const std::string outName = WorkingName(index, ".out");
      const std::string reportName = WorkingName(index, ".cr");
      ExpectCertified(input, outName, index);

      // Nothing but the certificate and its report is left of the run.
      std::vector<std::string> expected = {FileNameWithoutFolder(outName), inputName};
      if (reports != 0) {
        expected.insert(expected.begin(), FileNameWithoutFolder(reportName));
      }
      EXPECT_EQ(FolderContent(), expected);

      if (reports != 0) {
        const TXFile report(reportName);
        const char* header = "KARVO - Certification Report";
        EXPECT_EQ(Value(report, header, "Certificate"), outName);
        EXPECT_EQ(Value(report, header, "ID"), TestTaskId);
        EXPECT_EQ(Value(report, header, "TestCount"), std::to_string(prime.Tests.size()));
        EXPECT_EQ(Value(report, "Backtrack", "Count"), "0");
        for (size_t i = 0; i < prime.Tests.size(); ++i) {
          const std::string section = std::to_string(i + 1);
          EXPECT_EQ(report.ReadInteger(section, "Type", -1), prime.Tests[i].Type) << section;
          EXPECT_EQ(report.ReadInteger(section, "Run", -1), 1) << section;
        }
        // The gain of a step is what it takes off the size of N.
        MpzValue n;
        GmpFromHex(n, prime.Hex);
        for (size_t i = 0; i + 1 < prime.Tests.size(); ++i) {
          MpzValue r;
          GmpFromHex(r, prime.Tests[i].R);
          EXPECT_EQ(report.ReadInteger(std::to_string(i + 1), "Gain", -1),
                    GmpBits(n) - GmpBits(r));
          n = r;
        }
        EXPECT_EQ(report.ReadInteger(std::to_string(prime.Tests.size()), "Gain", -1),
                  GmpBits(n));
      }
      // Remove the files, so that each case sees only its own.
      for (const std::string& name : FolderContent()) {
        std::filesystem::remove(Path(name));
      }
      ++index;
    }
  }
}

TEST_F(CertifierCertifyTest, CandidateForms) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200, 1);
  const TExpectedTest& first = prime.Tests.front();
  MpzValue s, r;
  GmpFromHex(s, first.S);
  GmpFromHex(r, first.R);
  // The candidate as an expression of its first step.
  const std::string expression =
      GmpDecimal(r) + "*" + GmpDecimal(s) + (first.Type == 1 ? "+1" : "-1");
  std::string lower = prime.Hex;
  for (char& c : lower) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  struct TCase {
    std::string key;
    std::string value;
    bool expression;
  };
  int32_t index = 1;
  for (const TCase& c : std::vector<TCase>{
           {"N", expression, true}, {"N", prime.Decimal, false}, {"N$", lower, false}}) {
    SCOPED_TRACE(c.key + "=" + c.value);
    const std::string input = WriteInput(NumberedName("f", index, ".in"), {{c.key, c.value}});
    const std::string outName = WorkingName(index, ".out");
    ExpectCertified(input, outName, index);
    const TXFile certificate(outName);
    ExpectCandidateKeys(certificate, prime.Hex);
    EXPECT_EQ(certificate.ValueExists("Candidate", "Expression"), c.expression);
    if (c.expression) {
      EXPECT_EQ(Value(certificate, "Candidate", "Expression"), expression);
    }
    ExpectChain(certificate, prime.Tests);
    ++index;
  }
}

TEST_F(CertifierCertifyTest, PrimesOfAtMost48BitsEndWithOneLastTest) {
  // 65537 is the smallest candidate size; the others are the largest
  // primes of their sizes up to the last-test bound.
  const std::vector<std::string> primes = {"10001", "FFFFFFFB", "FFFFFFFFFFC5"};
  int32_t index = 1;
  for (const std::string& hex : primes) {
    SCOPED_TRACE(hex);
    MpzValue n;
    GmpFromHex(n, hex);
    ASSERT_GT(mpz_probab_prime_p(n, 30), 0);
    const std::string input = WriteInput(NumberedName("s", index, ".in"), {{"N$", hex}});
    const std::string outName = WorkingName(index, ".out");
    ExpectCertified(input, outName, index);
    const TXFile certificate(outName);
    EXPECT_EQ(Value(certificate, HeaderSection, "TestCount"), "1");
    const std::vector<TTestRecord> tests = ReadTests(certificate);
    ASSERT_EQ(tests.size(), 1u);
    EXPECT_EQ(tests[0].Type, 0);
    EXPECT_EQ(tests[0].S, "");
    EXPECT_FALSE(certificate.SectionExists("2"));
    ExpectCandidateKeys(certificate, hex);
    ++index;
  }
}

TEST_F(CertifierCertifyTest, NamesFollowTheFilePosition) {
  const std::string input = WriteInput("small.in", {{"N$", "FFFFFFFB"}});
  // Position 0 has no number; others have at least three upper-case digits.
  for (const auto& [index, suffix] :
       std::vector<std::pair<int32_t, std::string>>{{0, ""}, {10, "-00A"}, {0x1234, "-1234"}}) {
    const std::string outName = WorkFolder + "karvo-" + TestTaskId + suffix + ".out";
    ExpectCertified(input, outName, index);
  }
}

TEST_F(CertifierCertifyTest, ExistingFilesAreNeverOverwritten) {
  const std::string input = WriteInput("p.in", {{"N$", "FFFFFFFFFFC5"}});
  const std::string planted = "[Planted]\r\nKeep=me\r\n\r\n";
  // Left behind by an earlier task with the same identifier.
  for (const char* extension : {".tmp", ".out", ".cr"}) {
    SCOPED_TRACE(extension);
    for (const std::string& name : FolderContent()) {
      if (name != "p.in") {
        std::filesystem::remove(Path(name));
      }
    }
    const std::string old = WorkingName(1, extension);
    WriteBytes(old, planted);
    ExpectCertified(input, WorkingName(1, "-2.out"));
    EXPECT_EQ(ReadBytes(old), planted);
    EXPECT_TRUE(Exists(WorkingName(1, "-2.cr")));
    EXPECT_FALSE(Exists(WorkingName(1, "-2.tmp")));
  }

  // A certificate of that name appearing while the certification runs.
  for (const std::string& name : FolderContent()) {
    if (name != "p.in") {
      std::filesystem::remove(Path(name));
    }
  }
  TCertifier certifier;
  const std::string old = WorkingName(1, ".out");
  certifier.OnPhase = [&](int32_t phase) {
    if (phase == 2) {
      WriteBytes(old, planted);
    }
  };
  const TCertifyOutcome outcome = RunCertify(certifier, input, 1);
  EXPECT_EQ(outcome.Message, CertifiedText);
  EXPECT_EQ(ReadBytes(old), planted);
  EXPECT_EQ(VerifyCopy(WorkingName(1, "-2.out")), "Valid certificate");
  EXPECT_FALSE(Exists(WorkingName(1, ".tmp")));
}

}  // namespace
}  // namespace karvo::test
