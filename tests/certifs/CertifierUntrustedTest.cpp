// Working files are untrusted input: a file of a format that cannot be
// resumed is refused as an abort, a damaged one as "Invalid file", and
// either way it stays byte for byte as it was. A tampered file must never
// end as a certified candidate whose certificate the verifier rejects.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "CertifierTestSupport.h"
#include "base/Errors.h"
#include "files/FileFormats.h"

namespace karvo::test {
namespace {

using TEdit = std::function<void(TXFile&)>;

class CertifierUntrustedTest : public CertifierTest {
 protected:
  // A working file of prime stopped at the stop point; returns its name.
  std::string StoppedFile(const TCertifiable& prime, TStopPoint stop,
                          int32_t fileIndex) {
    PollingOn polling;
    TCertifier certifier;
    ArmAbort(certifier, stop);
    const std::string input =
        WriteInput(NumberedName("c", fileIndex, ".in"), {{"N$", prime.Hex}});
    const TCertifyOutcome outcome = RunCertify(certifier, input, fileIndex);
    EXPECT_EQ(outcome.Raised, "EKVAbort");
    return WorkingName(fileIndex, ".tmp");
  }

  // A copy of the working file changed by edit, under a name of its own.
  std::string EditedCopy(const std::string& tmp, const std::string& name, const TEdit& edit) {
    TXFile file(tmp);
    edit(file);
    file.FileName = Path(name + ".tmp");
    file.Save();
    return file.FileName;
  }

  // Resumes the file and expects "Invalid file" with the file untouched and
  // nothing written beside it.
  void ExpectInvalid(const std::string& path) {
    const std::string before = ReadBytes(path);
    const std::vector<std::string> content = FolderContent();
    TCertifier certifier;
    const TCertifyOutcome outcome = RunCertify(certifier, path, 1);
    EXPECT_EQ(outcome.Status, CertifyRejected);
    EXPECT_EQ(outcome.Message, "Invalid file");
    EXPECT_EQ(outcome.Raised, "");
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(FolderContent(), content);
  }

  // Resumes a tampered file and expects "Invalid file". A tampered file that
  // gets certified fails the test with the verifier's verdict on the
  // certificate, and gives false.
  bool ExpectRefused(const std::string& path) {
    TCertifier certifier;
    const TCertifyOutcome outcome = RunCertify(certifier, path, 1);
    if (outcome.Message == CertifiedText) {
      ADD_FAILURE() << "certified, verifier says: " << VerifyCopy(ChangeFileExtension(path, ".out"));
      return false;
    }
    EXPECT_EQ(outcome.Status, CertifyRejected);
    EXPECT_EQ(outcome.Message, "Invalid file");
    return true;
  }
};

// The first test of the working file with the given type, or 0.
int32_t FirstOfType(const TXFile& file, int32_t type) {
  const int32_t count = file.ReadInteger(HeaderSection, "TestCount", 0);
  for (int32_t i = 1; i <= count; ++i) {
    if (file.ReadInteger(std::to_string(i), "Type", -100) == type) {
      return i;
    }
  }
  return 0;
}

// The N of test i: the candidate or the R of the test before.
std::string TestN(const TXFile& file, int32_t i) {
  return i == 1 ? Value(file, "Candidate", "N$") : Value(file, std::to_string(i - 1), "R$");
}

// The number of leading tests of the chain that holds its first N-1 and its
// first N+1 test; the chain ends with one step of each kind.
int32_t BothKindsWithin(const TCertifiable& prime, int32_t& firstMinus, int32_t& firstPlus) {
  firstMinus = firstPlus = 0;
  for (size_t i = 0; i < prime.Tests.size(); ++i) {
    int32_t& slot = prime.Tests[i].Type == 1 ? firstMinus : firstPlus;
    if (prime.Tests[i].Type != 0 && slot == 0) {
      slot = static_cast<int32_t>(i + 1);
    }
  }
  EXPECT_GT(firstMinus, 0);
  EXPECT_GT(firstPlus, 0);
  return std::max(firstMinus, firstPlus);
}

std::string HexPlus(const std::string& hex, long delta) {
  MpzValue x;
  GmpFromHex(x, hex);
  if (delta >= 0) {
    mpz_add_ui(x, x, static_cast<unsigned long>(delta));
  } else {
    mpz_sub_ui(x, x, static_cast<unsigned long>(-delta));
  }
  return GmpHex(x);
}

TEST_F(CertifierUntrustedTest, FormatsThatCannotBeResumed) {
  const std::string tmp = StoppedFile(CertifiablePrime(200), {1, 2}, 1);
  std::vector<std::string> informed;
  SetInformHandler([&informed](const std::string& message) { informed.push_back(message); });
  const std::vector<std::pair<std::string, TEdit>> edits = {
      {"format 2", [](TXFile& f) { f.WriteString(HeaderSection, "Format", "2"); }},
      {"no format", [](TXFile& f) { f.DeleteKey(HeaderSection, "Format"); }},
      {"layout 3000", [](TXFile& f) { f.WriteString(ResumeSection, "ve", "3000"); }},
      {"no layout", [](TXFile& f) { f.DeleteKey(ResumeSection, "ve"); }},
  };
  int32_t k = 0;
  for (const auto& [name, edit] : edits) {
    SCOPED_TRACE(name);
    const std::string path = EditedCopy(tmp, NumberedName("old", k++, ""), edit);
    const std::string before = ReadBytes(path);
    const std::vector<std::string> content = FolderContent();
    informed.clear();
    TCertifier certifier;
    const TCertifyOutcome outcome = RunCertify(certifier, path, 1);
    EXPECT_EQ(outcome.Status, CertifyRejected);
    EXPECT_EQ(outcome.Message, "Aborted by user");
    EXPECT_EQ(outcome.Raised, "EKVAbort");
    EXPECT_EQ(informed, std::vector<std::string>{"Cannot resume this certificate"});
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(FolderContent(), content);
  }
}

TEST_F(CertifierUntrustedTest, DamagedWorkingFilesInPhase1) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(240, 1);
  int32_t minus = 0;
  int32_t plus = 0;
  const int32_t stop = BothKindsWithin(prime, minus, plus);
  const std::string tmp = StoppedFile(prime, {1, stop}, 1);
  const TXFile base(tmp);
  ASSERT_EQ(base.ReadInteger(HeaderSection, "TestCount", -1), stop);
  ASSERT_EQ(FirstOfType(base, -1), minus);
  ASSERT_EQ(FirstOfType(base, -2), plus);
  const std::string m = std::to_string(minus);
  const std::string p = std::to_string(plus);
  const char* X = ResumeSection;
  const char* H = HeaderSection;
  const std::string sM = Value(base, m, "S$");
  const std::string rM = Value(base, m, "R$");
  const std::string nM = TestN(base, minus);

  const std::vector<std::pair<std::string, TEdit>> edits = {
      {"ar 7", [&](TXFile& f) { f.WriteString(X, "ar", "7"); }},
      {"ar 0", [&](TXFile& f) { f.WriteString(X, "ar", "0"); }},
      {"ap -1", [&](TXFile& f) { f.WriteString(X, "ap", "-1"); }},
      {"ap 2^25", [&](TXFile& f) { f.WriteString(X, "ap", "33554432"); }},
      {"ce 5", [&](TXFile& f) { f.WriteString(X, "ce", "5"); }},
      {"pe 0", [&](TXFile& f) { f.WriteString(X, "pe", "0"); }},
      {"pe 4", [&](TXFile& f) { f.WriteString(X, "pe", "4"); }},
      {"pe missing", [&](TXFile& f) { f.DeleteKey(X, "pe"); }},
      {"pe 2 before the last test", [&](TXFile& f) { f.WriteString(X, "pe", "2"); }},
      {"tx -1", [&](TXFile& f) { f.WriteString(X, "tx", "-1"); }},
      {"1stPhase -5", [&](TXFile& f) { f.WriteString("Running Times", "1stPhase", "-5"); }},
      {"rn 9", [&](TXFile& f) { f.WriteString(m, "rn", "9"); }},
      {"rn 0", [&](TXFile& f) { f.WriteString(m, "rn", "0"); }},
      {"rn 65", [&](TXFile& f) { f.WriteString(m, "rn", "65"); }},
      {"pm -1", [&](TXFile& f) { f.WriteString(m, "pm", "-1"); }},
      {"dc 5 on N-1", [&](TXFile& f) { f.WriteString(m, "dc", "5"); }},
      {"dc 1 on N+1", [&](TXFile& f) { f.WriteString(p, "dc", "1"); }},
      {"S$ 1", [&](TXFile& f) { f.WriteString(m, "S$", "1"); }},
      {"S$ 0", [&](TXFile& f) { f.WriteString(m, "S$", "0"); }},
      {"S$ negative", [&](TXFile& f) { f.WriteString(m, "S$", "-" + sM); }},
      {"R$ even", [&](TXFile& f) { f.WriteString(m, "R$", HexPlus(rM, 1)); }},
      {"R$ N", [&](TXFile& f) { f.WriteString(m, "R$", nM); }},
      {"R$ negative", [&](TXFile& f) { f.WriteString(m, "R$", "-" + rM); }},
      {"S*R+1 <> N", [&](TXFile& f) { f.WriteString(m, "S$", HexPlus(sM, 2)); }},
      {"S*R-1 <> N", [&](TXFile& f) { f.WriteString(p, "S$", HexPlus(Value(f, p, "S$"), 2)); }},
      {"R$ unreadable", [&](TXFile& f) { f.WriteString(m, "R$", "12X4"); }},
      {"S$ missing", [&](TXFile& f) { f.DeleteKey(m, "S$"); }},
      {"G$ unreadable", [&](TXFile& f) { f.WriteString(m, "G$", "G"); }},
      {"Type 5", [&](TXFile& f) { f.WriteString(m, "Type", "5"); }},
      {"Type missing", [&](TXFile& f) { f.DeleteKey(m, "Type"); }},
      {"Type 1 without B$", [&](TXFile& f) { f.WriteString(m, "Type", "1"); }},
      {"Type 0 before the end", [&](TXFile& f) { f.WriteString("1", "Type", "0"); }},
      {"section missing", [&](TXFile& f) { f.EraseSection("2"); }},
      {"TestCount missing", [&](TXFile& f) { f.DeleteKey(H, "TestCount"); }},
      {"TestCount -1", [&](TXFile& f) { f.WriteString(H, "TestCount", "-1"); }},
      {"TestCount beyond the tests",
       [&](TXFile& f) { f.WriteString(H, "TestCount", std::to_string(stop + 1)); }},
      {"BinarySize 0", [&](TXFile& f) { f.WriteString("Candidate", "BinarySize", "0"); }},
      {"BinarySize off by one",
       [&](TXFile& f) {
         f.WriteString("Candidate", "BinarySize", std::to_string(prime.Bits + 1));
       }},
      {"N$ unreadable", [&](TXFile& f) { f.WriteString("Candidate", "N$", "XYZ"); }},
      {"N$ missing", [&](TXFile& f) { f.DeleteKey("Candidate", "N$"); }},
      {"N$ even", [&](TXFile& f) { f.WriteString("Candidate", "N$", HexPlus(prime.Hex, 1)); }},
      {"signature unreadable",
       [&](TXFile& f) {
         f.WriteStrings("Signature", {{"1$", "ZZ"}, {"2$", "ZZ"}, {"ce", "0"}});
       }},
  };
  int32_t k = 0;
  for (const auto& [name, edit] : edits) {
    SCOPED_TRACE(name);
    ExpectInvalid(EditedCopy(tmp, NumberedName("d", k++, ""), edit));
  }
  // The unchanged file still resumes.
  TCertifier certifier;
  EXPECT_EQ(RunCertify(certifier, tmp, 1).Message, CertifiedText);
}

TEST_F(CertifierUntrustedTest, TamperedFinalRecordsInPhase2) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(230, 1);
  // Phase 2 stopped once the first N-1 and the first N+1 test are complete
  // and signed.
  int32_t first[3] = {0, 0, 0};
  const std::string tmp = StoppedFile(prime, {2, BothKindsWithin(prime, first[1], first[2])}, 1);

  // A witness that fails: N - 1 has order 2, so B^S - 1 shares N with N.
  const auto failingBase = [](const TXFile& f, int32_t i) { return HexPlus(TestN(f, i), -1); };
  std::vector<std::tuple<std::string, std::string, TEdit>> edits;
  const std::string m = std::to_string(first[1]);
  const std::string p = std::to_string(first[2]);
  edits.emplace_back("B$ N-1 in signed N-1 test", tmp,
                     [=](TXFile& f) { f.WriteString(m, "B$", failingBase(f, first[1])); });
  edits.emplace_back("B$ 1 in signed N-1 test", tmp,
                     [=](TXFile& f) { f.WriteString(m, "B$", "1"); });
  // A square Q is a residue, so V((N+1)/2) cannot vanish; Q = 1 makes D = 0.
  edits.emplace_back("Q$ squared in signed N+1 test", tmp, [=](TXFile& f) {
    MpzValue q;
    GmpFromHex(q, Value(f, p, "Q$"));
    mpz_mul(q, q, q);
    f.WriteString(p, "Q$", GmpHex(q));
  });
  edits.emplace_back("Q$ 1 in signed N+1 test", tmp,
                     [=](TXFile& f) { f.WriteString(p, "Q$", "1"); });
  // Q + 2N has the parity and the residue of Q, so only the range check of
  // the verifier tells it apart.
  edits.emplace_back("Q$ + 2N in signed N+1 test", tmp, [=](TXFile& f) {
    MpzValue q, n;
    GmpFromHex(q, Value(f, p, "Q$"));
    GmpFromHex(n, TestN(f, first[2]));
    mpz_addmul_ui(q, n, 2);
    f.WriteString(p, "Q$", GmpHex(q));
  });
  // A final record written but not yet signed: the second test, after a
  // stop once the first is signed.
  const std::string early = StoppedFile(prime, {2, 1}, 2);
  const int32_t pending = TXFile(early).ReadInteger("2", "Type", -100);
  ASSERT_EQ(pending, -prime.Tests[1].Type);
  edits.emplace_back("unsigned final record", early, [=](TXFile& f) {
    const std::string witness = pending == -1 ? failingBase(f, 2) : "1";
    f.WriteStrings("2",
                   {{"Type", std::to_string(-pending)}, {pending == -1 ? "B$" : "Q$", witness}});
    f.DeleteKeys("2", {"dc", "rn", "pm", "ga"});
  });
  int32_t k = 0;
  for (const auto& [name, file, edit] : edits) {
    SCOPED_TRACE(name);
    const std::string path = EditedCopy(file, NumberedName("t", k++, ""), edit);
    const std::string before = ReadBytes(path);
    if (!ExpectRefused(path)) {
      continue;
    }
    EXPECT_FALSE(Exists(ChangeFileExtension(path, ".out")));
    EXPECT_EQ(ReadBytes(path), before);
  }
}

// A step whose cofactor is a small factor f of N - 1: S·R + 1 = N holds and
// the arithmetic of the test passes, but R is not above the square root of
// N, so the step proves nothing and the verifier refuses it. Pending in phase
// 1, or final and signed in phase 2 (then followed by the last test of f).
TEST_F(CertifierUntrustedTest, StepsWithSmallCofactor) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200);
  // An N-1 step whose S has an odd factor; the chain starts with one of each
  // kind, and k is rarely a power of 2.
  int32_t chosen = 0;
  unsigned long factor = 0;
  for (size_t i = 0; i + 1 < prime.Tests.size() && chosen == 0; ++i) {
    MpzValue s;
    GmpFromHex(s, prime.Tests[i].S);
    for (unsigned long f = 3; f < 1UL << 14 && prime.Tests[i].Type == 1; f += 2) {
      if (mpz_divisible_ui_p(s, f) != 0) {
        chosen = static_cast<int32_t>(i + 1);
        factor = f;
        break;
      }
    }
  }
  ASSERT_GT(chosen, 0);
  SCOPED_TRACE(NumberedName("test ", chosen, ", R = ") + std::to_string(factor));
  const std::string section = std::to_string(chosen);
  int32_t index = 1;
  for (const int32_t phase : {1, 2}) {
    SCOPED_TRACE(NumberedName("phase ", phase, ""));
    const std::string tmp = StoppedFile(prime, {phase, chosen}, index);
    ASSERT_EQ(TXFile(tmp).ReadInteger(section, "Type", 0), phase == 1 ? -1 : 1);
    const std::string path =
        EditedCopy(tmp, NumberedName("small", index, ""), [&](TXFile& f) {
          MpzValue n, s;
          GmpFromHex(n, TestN(f, chosen));
          mpz_sub_ui(s, n, 1);
          mpz_divexact_ui(s, s, factor);
          f.WriteString(section, "S$", GmpHex(s));
          f.WriteString(section, "R$", GmpHex(MpzValue(factor)));
          const int32_t count = f.ReadInteger(HeaderSection, "TestCount", 0);
          for (int32_t i = chosen + 1; i <= count; ++i) {
            f.EraseSection(std::to_string(i));
          }
          int32_t last = chosen;
          if (phase == 2) {
            f.WriteString(std::to_string(++last), "Type", "0");
          }
          f.WriteString(HeaderSection, "TestCount", std::to_string(last));
        });
    ExpectRefused(path);
    ++index;
  }
}

// The expression is copied into the certificate, where the verifier checks
// it against N.
TEST_F(CertifierUntrustedTest, ExpressionThatIsNotTheCandidate) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200);
  const std::string tmp = StoppedFile(prime, {1, 2}, 1);
  int32_t k = 0;
  for (const std::string& expression :
       {std::string("2^127-1"), std::string("2^^3"), prime.Decimal + "+2"}) {
    SCOPED_TRACE(expression);
    const std::string path = EditedCopy(tmp, NumberedName("x", k++, ""), [&](TXFile& f) {
      f.WriteString("Candidate", "Expression", expression);
    });
    ExpectRefused(path);
  }
  // The right expression is kept.
  const std::string path = EditedCopy(tmp, "right", [&](TXFile& f) {
    f.WriteString("Candidate", "Expression", prime.Decimal + "+0");
  });
  TCertifier certifier;
  EXPECT_EQ(RunCertify(certifier, path, 1).Message, CertifiedText);
  const std::string outName = ChangeFileExtension(path, ".out");
  EXPECT_EQ(Value(TXFile(outName), "Candidate", "Expression"), prime.Decimal + "+0");
  EXPECT_EQ(VerifyCopy(outName), "Valid certificate");
}

}  // namespace
}  // namespace karvo::test
