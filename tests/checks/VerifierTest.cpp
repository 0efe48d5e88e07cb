// The verifier on the shared certificates in both modes, on single changes
// to valid certificates with the exact outcome each must give, and under an
// abort that must leave a partial signature to resume from.

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "checks/Verifier.h"
#include "files/FilesTestSupport.h"
#include "files/TXFile.h"
#include "support/EngineRuns.h"
#include "support/TestEnv.h"
#include "support/TsvRows.h"

namespace karvo::test {
namespace {

constexpr const char* Header = "KARVO - Primality Certificate";

std::string Shared(const std::string& name) {
  return std::string(KARVO_TESTDATA_DIR) + "/certificates/" + name;
}

std::string CopyShared(const TempFolder& folder, const std::string& name) {
  const std::string bytes = ReadBytes(Shared(name));
  EXPECT_FALSE(bytes.empty()) << "cannot read " << Shared(name);
  WriteBytes(folder.Path(name), bytes);
  return folder.Path(name);
}

struct TOutcome { int Status = 0; int32_t ErrorPlace = 0; std::string Message, Raised; std::vector<int32_t> Phases; };

TOutcome Verify(const std::string& path, int signaturesOnly, TVerifier&& verifier = TVerifier()) {
  const TSettings saved = Settings;
  Settings.CheckSignaturesOnly = signaturesOnly;
  TOutcome o;
  verifier.OnPhase = [&o](int32_t phase) { o.Phases.push_back(phase); };
  o.Raised = RaisedBy([&] { verifier.Verify(path, 1); });
  Settings = saved;
  o = {verifier.Status, verifier.ErrorPlace, verifier.Message, o.Raised, o.Phases};
  // The place, the status and the form of the message agree.
  const std::string prefix = o.ErrorPlace < 0 ? "ERROR at test #" + std::to_string(-o.ErrorPlace) + ": "
                             : o.ErrorPlace > 0 ? "ERROR: " : "";
  EXPECT_EQ(o.Message.compare(0, prefix.size(), prefix), 0) << o.Message;
  EXPECT_EQ(o.Status == VerifyNotValid, o.Message.compare(0, 5, "ERROR") == 0) << o.Message;
  EXPECT_EQ(o.ErrorPlace == 3, o.Message == "ERROR: Invalid signature") << o.Message;
  EXPECT_TRUE(o.Raised.empty() || o.Status == VerifyNotProcessed) << o.Raised;
  return o;
}

std::vector<TRow> ExpectedRows() {
  std::vector<TRow> rows;
  std::string error;
  return ReadRows(Shared("expected.tsv"), rows, error) ? rows : std::vector<TRow>();
}

TEST(VerifierCertificatesTest, TableIsThere) {
  ASSERT_GE(ExpectedRows().size(), 30u) << Shared("expected.tsv") << " missing or short";
}

class VerifierCertificatesTest : public testing::TestWithParam<TRow> {};

TEST_P(VerifierCertificatesTest, OutcomeMatchesTheTable) {
  const TRow& row = GetParam();
  ASSERT_GE(row.size(), 5u);
  // p1000 is for timing; under the sanitizers p400 and p500 take long too.
  bool soakOnly = row[0] == "p1000.out";
#ifdef KARVO_SANITIZE
  soakOnly = soakOnly || row[0] == "p400.out" || row[0] == "p500.out";
#endif
  if (soakOnly && TestMultiplier() < 2) GTEST_SKIP() << row[0] << " runs with KARVO_TEST_MULTIPLIER >= 2";
  const std::string& signature = row[2];
  TXFile proof(Shared(row[0]));
  const std::string seed = proof.ReadString("Signature", "1$"), chain = proof.ReadString("Signature", "2$");
  proof.EraseSection("Signature");
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    TempFolder folder;
    const std::string path = CopyShared(folder, row[0]);
    const std::string before = ReadBytes(path);
    const TOutcome o = Verify(path, mode);
    EXPECT_EQ(o.Raised, "");
    EXPECT_TRUE(row[3 + mode] == "-" ? o.Status == VerifyNotValid : o.Message == row[3 + mode]) << o.Message;
    EXPECT_TRUE(row[1] == "VALID" || o.Status != VerifyValid);
    // Without a complete signature both settings verify in full mode, which
    // alone writes, and only the signature.
    const bool full = mode == 0 || signature == "absent" || signature == "partial";
    EXPECT_TRUE(full || ReadBytes(path) == before) << "signature-only mode wrote";
    TXFile after(path);
    if (o.Status == VerifyValid) {
      std::vector<int32_t> phases = {VerifyPhaseStructure, full ? VerifyPhaseFull : VerifyPhaseSignature};
      phases.insert(phases.begin() + 1, signature == "partial" ? 1 : 0, VerifyPhasePartial);
      EXPECT_EQ(o.Phases, phases);
    }
    if (o.Status == VerifyValid && full) {
      // Signed again over every test: a complete signature keeps its seed
      // and, when it was right, its chain; the rest must now check.
      EXPECT_FALSE(after.ValueExists("Signature", "ce"));
      EXPECT_EQ(after.ReadString("Signature", "1$") == seed, signature == "valid" || signature == "invalid");
      EXPECT_TRUE(signature == "valid" ? after.ReadString("Signature", "2$") == chain
                                       : Verify(path, 1).Message == "Valid signature");
    }
    after.EraseSection("Signature");
    EXPECT_EQ(after.SaveToBytes(), proof.SaveToBytes()) << "only the signature may change";
  }
}

std::string CaseName(const testing::TestParamInfo<TRow>& info) {
  std::string name = info.param[0].substr(0, info.param[0].rfind('.'));
  std::replace_if(name.begin(), name.end(), [](char c) { return std::isalnum(c) == 0; }, '_');
  return name;
}
INSTANTIATE_TEST_SUITE_P(Shared, VerifierCertificatesTest, testing::ValuesIn(ExpectedRows()), CaseName);

// One line per key changed, fields split by ";": file, test, changes made
// first ("section:key=value" split by ",", "^" for the header), the key
// ("section:" for the whole section), then cases "value>outcome". "~" removes; "@" values come from the
// test of the file as changed so far: N (its N), H (floor(N/2)), R, S, SR
// (S R) or BIG (2^131072 - 1), with an optional sign and a last +d, -d or *d.
// Outcome "." passes the structure pass; one without "ERROR" or "Valid" fails
// at the test; "_" stands for a non-breaking space.
constexpr const char* MutationTable = R"(
mixed70.out;1;;1:S$;6D3>S is odd;0>S < 2;-2>S < 2;~>S < 2;x>Invalid certificate
mixed70.out;1;;1:R$;@R+1>R is even;~>R is even
mixed70.out;1;;1:B$;1>B < 2;-7>B < 2;~>B < 2;12G4>Invalid certificate;@N>(B^(N-1) mod N) <> 1;@N+1>gcd(B^S - 1, N) <> 1
mixed70.out;1;1:S$=@R+1;Candidate:N$;@SR+1>S >= R
mixed70.out;1;1:S$=@R-1;Candidate:N$;@SR+1>.
mixed70.out;1;;Candidate:N$;@N+2>(S*R + 1) <> N;@-N>ERROR: Candidate < 0;@N+1>ERROR: Candidate is even;12X4>ERROR: Invalid certificate;@BIG+2>ERROR: Candidate binary size > 131072;@BIG>(S*R + 1) <> N;@BIG-1>ERROR: Candidate is even
mixed70.out;1;^:TestCount=1,1:Type=0;Candidate:N$;FFFF>ERROR: Candidate binary size < 17;1>ERROR: Candidate binary size < 17;10000>ERROR: Candidate is even;10001>Valid certificate;1FFFF>Valid certificate;FFFFFFFFFFC5>Valid certificate;FFFFFFFFFFC3>Invalid certificate;BFA17DC7>Invalid certificate;32907381CDF>Invalid certificate;1000000000015>N bit size > 48
mixed70.out;2;;2:S$;E23>S is odd;0>S < 2
mixed70.out;2;;2:R$;@R-1>R is even;@R+2>(S*R - 1) <> N
mixed70.out;2;;2:Q$;0>Q < 1;-3>Q < 1;~>Q < 1;@N>Q >= N;@N+5>Q >= N;1>Jacobi(Q,N) <> -1;4>Jacobi(Q,N) <> -1;Q>Invalid certificate
np1_50.out;1;1:S$=@R+1;Candidate:N$;@SR-1>S >= R
np1_50.out;1;^:TestCount=2,2:Type=0,1:S$=1F64,1:R$=41ADB9CD,1:Q$=2;Candidate:N$;80DB15C6713>(V[(N+1)/2] mod N) <> 0
np1_50.out;1;^:TestCount=2,2:Type=0,1:S$=1D4,1:R$=15A099,1:Q$=77F;Candidate:N$;278997B3>(V[S/2] mod N) = 0
mixed70.out;4;;4:S$;1>S < 2;~>S < 2
mixed70.out;4;;4:R$;@R+1>R is even;@N>R >= N;@N+2>R >= N
mixed70.out;4;;4:T$;@N-1>.;~>.;@N>T >= N;-1>T < 0;1Z>Invalid certificate
mixed70.out;4;;4:A$;@H+1>.;@H+2>|A| > N/2;@-H>.;@-H-1>|A| > N/2;~>.
mixed70.out;4;;4:B$;@H>.;@H+1>|B| > N/2;@-H>.;@-H-1>|B| > N/2
mixed70.out;4;4:A$=@H+2;4:B$;@H+1>|A| > N/2
type4_70.out;1;;1:J$;@H>.;@H+1>|J| > N/2;@-H>.;@-H-1>|J| > N/2;0>E(A,B)/N is not a valid curve;6C0>E(A,B)/N is not a valid curve
type4_70.out;1;;Candidate:N$;@N*3>N is not a valid curve modulus
composite_sticky_z.out;1;Candidate:N$=17293C1EC0A48D1C37E47513AD,1:A$=-51B51B7984041EE7AE68758D0,1:B$=976FD7EF33EC6AC65F7FD3567,1:T$=1;1:S$;B87A69536EF3>Invalid inversion modulo N
mixed70.out;5;^:TestCount=6,6:Type=0;5:R$;FFFFFFFFFFC5>R <= N^(1/2) + 2 N^(1/4)_+_10
mixed70.out;1;;^:TestCount;~>ERROR: Invalid test count;0>ERROR: Invalid test count;-1>ERROR: Invalid test count;abc>ERROR: Invalid test count;12>ERROR at test #11: Only the last test can be of type 0;10>ERROR at test #10: Invalid certificate
mixed70.out;9;^:TestCount=9;9:Type;0>N bit size > 48
mixed70.out;1;;4:;~>ERROR: Invalid certificate (Section [4] not found)
mixed70.out;2;;2:Type;5>Invalid test type;-1>Invalid test type
mixed70.out;5;;5:Type;0>Only the last test can be of type 0
mixed70.out;1;;Signature:1$;XYZ>Valid certificate
expr_2p255m19.out;1;;Candidate:Expression;2^255-20+1>Valid certificate;~>Valid certificate;(2^255-19)>Valid certificate;2^255+19>ERROR: Expression <> Candidate;2^255->ERROR: Invalid Expression;(2^255-19>ERROR: Invalid Expression;1/0>ERROR: Invalid Expression
)";

std::string ValueOf(const TXFile& file, int test, const std::string& text) {
  if (text.empty() || text[0] != '@') return text;
  const std::string i = std::to_string(test);
  const auto hex = [&](const std::string& section, const char* key) {
    return mpz_class(file.ReadString(section, key), 16);
  };
  const mpz_class n = test == 1 ? hex("Candidate", "N$") : hex(std::to_string(test - 1), "R$");
  const size_t at = text[1] == '-' ? 2 : 1;
  const size_t end = std::min(text.find_first_of("+-*", at), text.size());
  const std::string name = text.substr(at, end - at);
  mpz_class v = name == "N" ? n : name == "H" ? mpz_class(n / 2) : name == "R" ? hex(i, "R$")
              : name == "S" ? hex(i, "S$") : name == "SR" ? mpz_class(hex(i, "S$") * hex(i, "R$"))
              : mpz_class((mpz_class(1) << 131072) - 1);
  v = at == 2 ? mpz_class(-v) : v;
  const long d = end < text.size() ? std::stol(text.substr(end + 1)) : 0;
  v = text[end] == '+' ? v + d : text[end] == '-' ? v - d : text[end] == '*' ? v * d : v;
  std::string out = v.get_str(16);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) { return std::toupper(c); });
  return out;
}

// Applies "section:key" := value to test `test`'s file.
void Change(TXFile& file, int test, const std::string& target, const std::string& value) {
  const size_t colon = target.find(':');
  const std::string section = target[0] == '^' ? Header : target.substr(0, colon);
  const std::string key = target.substr(colon + 1);
  if (value != "~") file.WriteString(section, key, ValueOf(file, test, value));
  else if (key.empty()) file.EraseSection(section);
  else file.DeleteKey(section, key);
}

TEST(VerifierMutationsTest, EachChangeHasItsOutcome) {
  TempFolder folder;
  const std::string path = folder.Path("changed.out");
  for (const std::string& line : SplitText(MutationTable, '\n')) {
    const std::vector<std::string> fields = SplitText(line, ';');
    for (size_t c = 4; c < fields.size(); ++c) {
      const size_t split = fields[c].find('>');
      const std::string value = fields[c].substr(0, split);
      std::string outcome = fields[c].substr(split + 1);
      SCOPED_TRACE(fields[0] + " " + fields[2] + " " + fields[3] + " := " + value.substr(0, 40));
      std::replace(outcome.begin(), outcome.end(), '_', '\xA0');
      const bool bare = outcome.compare(0, 5, "ERROR") != 0 && outcome.compare(0, 5, "Valid") != 0 && outcome != ".";
      outcome = (bare ? "ERROR at test #" + fields[1] + ": " : std::string()) + outcome;
      const int test = std::stoi(fields[1]);
      TXFile file(Shared(fields[0]));
      for (const std::string& edit : SplitText((fields[2].empty() ? "" : fields[2] + ",") + fields[3] + "=" + value, ',')) {
        Change(file, test, edit.substr(0, edit.find('=')), edit.substr(edit.find('=') + 1));
      }
      if (outcome == ".") {
        TVerifier verifier;
        EXPECT_TRUE(verifier.CheckStructure(file)) << verifier.Message;
        continue;
      }
      WriteBytes(path, file.SaveToBytes());
      const TOutcome o = Verify(path, 0);
      EXPECT_EQ(o.Message, outcome);
      if (o.Phases == std::vector<int32_t>{VerifyPhaseStructure}) {
        // Rejected before any test ran: left as it was, and so in both modes.
        EXPECT_EQ(ReadBytes(path), file.SaveToBytes());
        EXPECT_EQ(Verify(path, 1).Message, outcome);
      }
    }
  }
}

// An inversion that fails in the curve's table means a factor of N; an abort
// raised at the same place must still end the task as an abort.
TEST(VerifierAbortTest, AnAbortAtAnyPollOfACurveTestIsAnAbort) {
  for (int k : {1, 64, 256, 1024, 4096}) {
    TempFolder folder;
    const std::string path = CopyShared(folder, "p150_nosig.out");
    int polls = 0;
    bool armed = false;
    SetPollHandler([&] {
      if (armed && ++polls == k) RequestAbort();
      else if (armed) PollFlag.store(1);
    });
    TVerifier verifier;
    verifier.OnProgress = [&](int32_t i, int32_t, int32_t, int32_t) {
      if (i == 2) armed = true, PollFlag.store(1);
    };
    const TOutcome o = Verify(path, 0, std::move(verifier));
    ResetPolling();
    EXPECT_EQ(o.Raised + ": " + o.Message, "EKVAbort: Aborted by user") << k;
  }
}

TEST(VerifierAbortTest, AbortLeavesAPartialSignatureToResumeFrom) {
  TempFolder folder;
  const std::string path = CopyShared(folder, "p150_nosig.out");
  const TXFile original(path);
  const int32_t count = original.ReadInteger(Header, "TestCount", 0);
  std::vector<size_t> bits;  // of the N of each test
  for (int32_t i = 0; i < count; ++i) {
    const mpz_class n(original.ReadString(i == 0 ? "Candidate" : std::to_string(i), i == 0 ? "N$" : "R$"), 16);
    bits.push_back(mpz_sizeinbase(n.get_mpz_t(), 2));
  }
  int handlerCalls = 0;
  SetPollHandler([&] { ++handlerCalls; });
  std::vector<int32_t> tests;
  TVerifier verifier;
  verifier.OnProgress = [&](int32_t i, int32_t total, int32_t nBits, int32_t candidateBits) {
    tests.push_back(i);
    EXPECT_EQ(total, count);
    EXPECT_EQ(static_cast<size_t>(nBits), bits.at(static_cast<size_t>(i - 1)));
    EXPECT_EQ(static_cast<size_t>(candidateBits), bits[0]);
    if (i == 6) { RequestAbort(); PollFlag.store(1); }
  };
  const TOutcome aborted = Verify(path, 1, std::move(verifier));
  ResetPolling();
  EXPECT_TRUE(aborted.Status == VerifyNotProcessed && aborted.ErrorPlace == 0);
  EXPECT_EQ(aborted.Raised + ": " + aborted.Message, "EKVAbort: Aborted by user");
  EXPECT_GE(handlerCalls, 1);
  EXPECT_EQ(tests, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(aborted.Phases, (std::vector<int32_t>{VerifyPhaseStructure, VerifyPhaseFull}));
  EXPECT_TRUE(TXFile(path).ValueExists("Signature", "ce"));
  const TOutcome resumed = Verify(path, 1);
  EXPECT_EQ(resumed.Message, "Valid certificate");
  EXPECT_EQ(resumed.Phases, (std::vector<int32_t>{VerifyPhaseStructure, VerifyPhasePartial, VerifyPhaseFull}));
  EXPECT_FALSE(TXFile(path).ValueExists("Signature", "ce"));
  EXPECT_EQ(Verify(path, 1).Message, "Valid signature");
  for (const std::string& name : {std::string(), folder.Path("absent.out"), path + "/x"}) {
    const TOutcome o = Verify(name, 1);
    EXPECT_TRUE(o.Message == "Invalid file name" && o.Phases.empty()) << name << ": " << o.Message;
  }
}

}  // namespace
}  // namespace karvo::test
