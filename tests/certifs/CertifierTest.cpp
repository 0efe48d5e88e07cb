// The certifier on real files: primes built with GMP from chains of k·R ± 1 steps, whose certificates the verifier
// accepts and whose chain is the one GMP predicts; rejected inputs; untrusted working files; resumption; the curve
// seam. Then the pre-tests and the N-1/N+1 steps against GMP.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>

#include "arith/PrimeTable.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "base/Settings.h"
#include "certifs/Certifier.h"
#include "certifs/NSplit.h"
#include "certifs/PreTests.h"
#include "checks/Verifier.h"
#include "files/FileFormats.h"
#include "files/FilesTestSupport.h"
#include "support/Carmichael.h"
#include "support/EngineRuns.h"
#include "support/MpzValue.h"
#include "support/TestEnv.h"

namespace karvo::test {
namespace {
constexpr const char *H = "KARVO - Primality Certificate", *X = "X", *Id = "0123456789ABC";
constexpr const char *Certified = "Candidate certified prime", *Impossible = "Failed, impossible to certify last N";
std::string SeedText() { return "KARVO_TEST_SEED=" + std::to_string(TestSeed()); }
std::string Text(mpz_srcptr x, int base = -16) {
  std::string s(mpz_sizeinbase(x, base < 0 ? -base : base) + 2, '\0');
  return mpz_get_str(s.data(), base, x);
}
int32_t Bits(mpz_srcptr x) { return static_cast<int32_t>(mpz_sizeinbase(x, 2)); }
MpzValue FromHex(const std::string& hex) { MpzValue x; mpz_set_str(x, hex.c_str(), 16); return x; }
BigInt Big(mpz_srcptr x) { BigInt b; BigFromMpz(b, x); return b; }
// A generator of its own for each kind of number, from the suite's seed.
struct TRandom {
  explicit TRandom(unsigned long tag) { gmp_randinit_mt(state), gmp_randseed_ui(state, TestSeed() ^ tag); }
  ~TRandom() { gmp_randclear(state); }
  unsigned long Below(unsigned long n) { return gmp_urandomm_ui(state, n); }
  gmp_randstate_t state;
};
// The primes up to the first past 2^20, from GMP.
const std::vector<unsigned long>& Primes() {
  static std::vector<unsigned long> primes;
  for (MpzValue p(1L); primes.empty() || primes.back() < (1UL << 20); primes.push_back(mpz_get_ui(p))) {
    mpz_nextprime(p, p);
  }
  return primes;
}
// The step the descent takes from n when N - 1 (method 1) or N + 1 rid of its factors among the first count
// (PrimeBoundFor) primes leaves a probable prime R above isqrt(N) (+1 for N + 1) and shorter than N.
bool Split(mpz_srcptr n, int method, mpz_ptr s, mpz_ptr r, int32_t count = 0) {
  MpzValue bound;
  mpz_sqrt(bound, n), mpz_add_ui(bound, bound, method == 2 ? 1 : 0);
  (method == 1 ? mpz_sub_ui : mpz_add_ui)(r, n, 1), mpz_set_ui(s, 1);
  for (int32_t i = 0; i < (count > 0 ? count : TCertifier::PrimeBoundFor(Bits(n))); ++i) {
    for (const unsigned long p = Primes()[static_cast<size_t>(i)]; mpz_divisible_ui_p(r, p) != 0;) mpz_divexact_ui(r, r, p), mpz_mul_ui(s, s, p);
  }
  return mpz_cmp(r, bound) > 0 && Bits(r) < Bits(n) && mpz_probab_prime_p(r, 2) > 0;
}
struct TStep { int32_t Type; std::string S, R; };
// The tests the descent records: N - 1 tried first, down to 48 bits.
std::vector<TStep> Chain(const std::string& hex) {
  std::vector<TStep> steps;
  MpzValue n = FromHex(hex), s, r;
  for (int method = 1; Bits(n) > 48; mpz_set(n, r), method = 1) {
    if (!Split(n, 1, s, r) && !Split(n, method = 2, s, r)) return {};
    steps.push_back({method, Text(s), Text(r)});
  }
  return steps.push_back({0, "", ""}), steps;
}
// A prime of about bits bits grown from a 40-bit prime by steps k·R + 1 (kind '+'), k·R - 1 ('-') or both ('x', one
// of each first) that the descent takes back.
std::string Built(int32_t bits, char kind) {
  static std::map<std::pair<int32_t, char>, std::string> cache;
  std::string& hex = cache[{bits, kind}];
  TRandom random(bits * 131UL + static_cast<unsigned long>(kind));
  MpzValue p, n, s, r;
  mpz_urandomb(p, random.state, 40), mpz_nextprime(p, p);
  for (int32_t step = 0; hex.empty() && Bits(p) + 10 <= bits; mpz_set(p, n), ++step) {
    const auto room = static_cast<unsigned long>(std::min(bits - Bits(p), 14));
    bool plus = kind == '+' || (kind == 'x' && (step < 2 ? step == 0 : random.Below(2) != 0));
    for (int32_t tries = 1;; ++tries) {
      plus ^= kind == 'x' && tries % 1000 == 0;
      mpz_mul_ui(n, p, 2 * ((1UL << (room - 2)) + random.Below(1UL << (room - 2))));
      (plus ? mpz_add_ui : mpz_sub_ui)(n, n, 1);
      if (mpz_probab_prime_p(n, 2) > 0 && (plus || !Split(n, 1, s, r)) && Split(n, plus ? 1 : 2, s, r) &&
          mpz_cmp(r, p) == 0) break;
    }
  }
  return hex.empty() ? hex = Text(p) : hex;
}
// A prime of bits bits neither of whose N - 1 and N + 1 splits.
std::string Unsplittable(int32_t bits) {
  MpzValue p, s, r;
  for (TRandom random(static_cast<unsigned long>(bits)); Bits(p) != bits || Split(p, 1, s, r) || Split(p, 2, s, r);) {
    mpz_urandomb(p, random.state, static_cast<mp_bitcnt_t>(bits)), mpz_nextprime(p, p);
  }
  return Text(p);
}
bool StrongBase2(mpz_srcptr n) {
  MpzValue m, d, x(2);
  const mp_bitcnt_t twos = (mpz_sub_ui(m, n, 1), mpz_scan1(m, 0));
  mpz_fdiv_q_2exp(d, m, twos), mpz_powm(x, x, d, n);
  bool pass = mpz_cmp_ui(x, 1) == 0;
  for (mp_bitcnt_t i = 0; i < twos && !pass; ++i, mpz_powm_ui(x, x, 2, n)) pass = mpz_cmp(x, m) == 0;
  return pass;
}
// A copy of the certificate verified in full or signatures only.
std::string Verify(const std::string& certificate, bool signaturesOnly) {
  const std::string copy = certificate + ".check";
  const TSettings saved = Settings;
  TVerifier verifier;
  WriteBytes(copy, ReadBytes(certificate)), Settings.CheckSignaturesOnly = signaturesOnly ? 1 : 0;
  const std::string raised = RaisedBy([&] { verifier.Verify(copy, 1); });
  Settings = saved, std::filesystem::remove(copy), std::filesystem::remove(copy + "old");
  return verifier.Message + raised + (verifier.Status == VerifyValid ? "" : " (invalid)");
}
// The real file calls without the syncs, which would only wait for the disk.
struct QuickOps : FailingOps { int Fsync(int) override { return 0; } };
struct TOutcome { int Status; std::string Message, Raised; };
using TStop = std::function<bool(int32_t, int32_t)>;

class CertifierTest : public testing::Test {
 protected:
  CertifierTest() {
    WorkFolder = folder_.Folder().string() + "/", TaskID = Id;
    Settings.CertificationReports = 1, Settings.DoubleFileManagement = Settings.CheckSignaturesOnly = 0;
    Settings.NM1 = Settings.NP1 = 1;
    if (PrimeTableCount == 0) BuildPrimeTable();
    SetFileSystemOps(&ops_);
  }
  ~CertifierTest() override {
    ResetPolling(), SetInformHandler(nullptr), SetFileSystemOps(nullptr);
    Settings = settings_, WorkFolder = workFolder_, TaskID = taskId_, LastInternalError = "";
  }
  std::string Path(const std::string& name) const { return folder_.Path(name); }
  static std::string Name(int32_t index, const char* ext) { return CertificationFileName(WorkFolder, TaskID, index, ext); }
  std::string Input(const std::string& name, const TXKeyValues& keys, const std::string& comments = "") const {
    TXFile file;
    file.FileName = Path(name), file.WriteStrings("KARVO - Input", {{"Version", Version}, {"Format", "1"}});
    return file.AddComments(comments), file.WriteStrings("Candidate", keys), file.Save(), file.FileName;
  }
  std::vector<std::string> Content() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Folder())) names.push_back(entry.path().filename());
    return std::sort(names.begin(), names.end()), names;
  }
  // Certifies, stopped by the user when stop(phase, n) holds: in phase 1 at the n-th OnStep call from 0 (n tests
  // recorded in this run), in phase 2 at the n-th OnTest call (tests 1..n complete).
  static TOutcome Run(TCertifier& c, const std::string& file, int32_t index = 1, const TStop& stop = nullptr) {
    if (stop) {
      SetPollHandler([] {});
      auto state = std::make_shared<std::pair<int32_t, int32_t>>(1, 0);
      // Phase 0: the OnTest calls of phase 1, the first before the pre-tests.
      auto check = [state, stop](int32_t phase) {
        if ((phase == 0 || state->first == phase) && stop(phase, phase == 0 ? 0 : state->second++)) {
          RequestAbort(), PollFlag.store(1);  // what the timer thread would raise
        }
      };
      c.OnStep = [check](int32_t, int32_t, int32_t, int32_t) { check(1); };
      c.OnPhase = [state](int32_t phase) { *state = phase == 2 ? std::make_pair(2, 0) : *state; };
      c.OnTest = [check, state](int32_t, int32_t, int32_t) { check(state->first == 2 ? 2 : 0); };
    }
    const std::string raised = RaisedBy([&] { c.Certify(file, index); });
    ResetPolling();
    return {c.Status, c.Message, raised};
  }
  static TOutcome Run(const std::string& file, int32_t index = 1, const TStop& stop = nullptr) {
    TCertifier c;  // a certifier of its own
    return Run(c, file, index, stop);
  }
  // Rejected with the folder and the file left as they were.
  void ExpectRejected(const std::string& file, const std::string& message, const std::string& raised = "",
                      const TStop& stop = nullptr) {
    const std::vector<std::string> before = Content();
    const auto bytes = [&] { return std::filesystem::is_regular_file(file) ? ReadBytes(file) : ""; };
    const std::string original = bytes();
    const TOutcome outcome = Run(file, 1, stop);
    EXPECT_EQ(std::to_string(outcome.Status) + outcome.Message + "/" + outcome.Raised, "4" + message + "/" + raised);
    EXPECT_TRUE(Content() == before && bytes() == original);
  }
  // Type, S$, R$ and witness of each test of a certificate or working file.
  static std::vector<std::string> Tests(const TXFile& f) {
    std::vector<std::string> tests;
    for (int32_t i = 1; i <= f.ReadInteger(H, "TestCount", 0); ++i) {
      const std::string s = std::to_string(i), type = f.ReadString(s, "Type");
      tests.push_back(type + " " + f.ReadString(s, "S$") + " " + f.ReadString(s, "R$") + " " +
                      f.ReadString(s, type == "2" ? "Q$" : "B$"));
    }
    return tests;
  }
  // Accepted by the verifier in both modes, and no working file left.
  static void ExpectCertified(const TOutcome& outcome, const std::string& out) {
    EXPECT_EQ(std::to_string(outcome.Status) + outcome.Message + outcome.Raised, "3" + std::string(Certified));
    EXPECT_EQ(Verify(out, false) + "/" + Verify(out, true), "Valid certificate/Valid signature");
    for (const char* extension : {".tmp", ".tmpold", ".tmpnew", ".outnew"}) EXPECT_FALSE(Exists(ChangeFileExtension(out, extension)));
  }
  static void ExpectImpossible(const TOutcome& outcome, int32_t index) {
    EXPECT_EQ(std::to_string(outcome.Status) + outcome.Message + outcome.Raised, "5" + std::string(Impossible));
    const TXFile out(Name(index, ".out"));
    EXPECT_EQ(out.ReadString(H, "Status") + out.ReadString(H, "TestCount"), std::string(Impossible) + "0");
    EXPECT_FALSE(out.SectionExists(X) || Exists(Name(index, ".tmp")));
  }
  QuickOps ops_;
  TSettings settings_ = Settings;
  std::string workFolder_ = WorkFolder, taskId_ = TaskID;
  TempFolder folder_;
};

// Built primes and primes of at most 48 bits (one last test) in every form of input, with and without reports and
// double files, at positions that name the files differently.
TEST_F(CertifierTest, CertifiesOnRealFiles) {
  SCOPED_TRACE(SeedText());
  // form: upper or lower hexadecimal, decimal, or the expression of the first step.
  struct TRow { int32_t bits; char kind, form; int32_t reports, doubleFiles, index; const char *suffix, *hex; };
  for (const TRow& row : std::vector<TRow>{
           {200, '+', 'H', 1, 0, 1, "-001", nullptr}, {230, '-', 'D', 0, 1, 10, "-00A", nullptr},
           {401, 'x', 'E', 1, 1, 0x1234, "-1234", nullptr}, {600, 'x', 'h', 0, 0, 0, "", nullptr},
           {17, 0, 'H', 1, 1, 2, "-002", "10001"}, {32, 0, 'D', 0, 0, 3, "-003", "FFFFFFFB"},
           {48, 0, 'h', 1, 0, 4, "-004", "FFFFFFFFFFC5"}}) {
    const std::string hex = row.hex != nullptr ? row.hex : Built(row.bits, row.kind);
    SCOPED_TRACE(hex);
    Settings.CertificationReports = row.reports, Settings.DoubleFileManagement = row.doubleFiles;
    const std::vector<TStep> chain = Chain(hex);
    ASSERT_FALSE(chain.empty());
    const MpzValue n = FromHex(hex), s = FromHex(chain[0].S), r = FromHex(chain[0].R);
    const std::string value = row.form == 'H' ? hex : row.form == 'h' ? Text(n, 16) : row.form == 'D' ? Text(n, 10)
                              : Text(r, 10) + "*" + Text(s, 10) + (chain[0].Type == 1 ? "+1" : "-1");
    const std::string input = Input("c.in", {{row.form == 'H' || row.form == 'h' ? "N$" : "N", value}}, "Kept");
    const std::string out = WorkFolder + "karvo-" + Id + row.suffix + ".out", report = ChangeFileExtension(out, ".cr");
    ExpectCertified(Run(input, row.index), out);
    std::vector<std::string> content = {"c.in", FileNameWithoutFolder(out)};
    if (row.reports != 0) content.insert(content.begin() + 1, FileNameWithoutFolder(report));
    EXPECT_EQ(Content(), content);
    const TXFile f(out), cr(row.reports != 0 ? report : out);
    const char* rh = "KARVO - Certification Report";
    const std::string count = std::to_string(chain.size());
    std::vector<std::tuple<const TXFile*, std::string, std::string, std::string>> keys = {
        {&f, H, "Version", Version}, {&f, H, "Format", "3"}, {&f, H, "ID", Id}, {&f, H, "Status", Certified},
        {&f, H, "TestCount", count}, {&f, "Candidate", "File", input}, {&f, "Candidate", "N$", hex},
        {&f, "Candidate", "BinarySize", std::to_string(Bits(n))}, {&f, "Signature", "ce", ""},
        {&f, "Candidate", "HexadecimalSize", std::to_string((Bits(n) + 3) / 4)},
        {&f, "Candidate", "DecimalSize", std::to_string(Text(n, 10).size())},
        {&f, "Candidate", "Expression", row.form == 'E' ? value : ""}};
    if (row.reports != 0) keys.insert(keys.end(), {{&cr, rh, "Certificate", out}, {&cr, rh, "ID", Id}, {&cr, rh, "TestCount", count}, {&cr, "Backtrack", "Count", "0"}});
    for (size_t i = 0; i < chain.size(); ++i) {
      const std::string section = std::to_string(i + 1), type = std::to_string(chain[i].Type);
      std::vector<std::string> names, final = {"Type", "S$", "R$", type == "1" ? "B$" : "Q$"};  // no working keys left
      f.ReadKeyNames(section, names);
      EXPECT_EQ(names, std::vector<std::string>(final.begin(), final.begin() + (chain[i].Type == 0 ? 1 : 4)));
      keys.insert(keys.end(), {{&f, section, "Type", type}, {&f, section, "S$", chain[i].S}, {&f, section, "R$", chain[i].R}});
      // The gain of a step is what it takes off the size of N.
      const int32_t gain = Bits(i == 0 ? n : FromHex(chain[i - 1].R)) - (i + 1 < chain.size() ? Bits(FromHex(chain[i].R)) : 0);
      if (row.reports != 0) keys.insert(keys.end(), {{&cr, section, "Type", type}, {&cr, section, "Run", "1"}, {&cr, section, "Gain", std::to_string(gain)}});
    }
    for (const auto& [file, section, key, expected] : keys) EXPECT_EQ(file->ReadString(section, key), expected) << section << " " << key;
    EXPECT_FALSE(f.SectionExists(std::to_string(chain.size() + 1)) || f.SectionExists(X));
    EXPECT_EQ(f.ReadComments() + (f.ReadString(H, "Created").empty() ? "" : "/created"), "Kept/created");
    for (const char* key : {"Initialization", "1stPhase", "2ndPhase", "Total"}) EXPECT_NE(f.ReadString("Running Times", key).find('s'), std::string::npos);
    for (const std::string& name : Content()) std::filesystem::remove(Path(name));
  }
}

TEST_F(CertifierTest, ExistingFilesAreNeverOverwritten) {
  const std::string planted = "[Planted]\r\nKeep=me\r\n\r\n";
  // Left by an earlier task with the same identifier, or ("") a certificate appearing while the certification runs.
  for (const std::string extension : {".tmp", ".out", ".cr", ""}) {
    SCOPED_TRACE(extension);
    const std::string input = Input(extension + "p.in", {{"N$", "FFFFFFFFFFC5"}});
    const std::string old = Name(1, extension.empty() ? ".out" : extension.c_str());
    for (const std::string& name : {old, Name(1, ".tmp"), Name(1, ".out"), Name(1, ".cr")}) std::filesystem::remove(name);
    TCertifier c;
    c.OnPhase = [&](int32_t phase) { phase == 2 && extension.empty() ? WriteBytes(old, planted) : void(); };
    if (!extension.empty()) WriteBytes(old, planted);
    ExpectCertified(Run(c, input), Name(1, "-2.out"));
    EXPECT_EQ(ReadBytes(old) + std::to_string(std::filesystem::remove(Name(1, "-2.cr"))) + std::to_string(Exists(Name(1, ".tmp"))),
              planted + (extension.empty() ? "0" : "1") + (extension == ".tmp" ? "1" : "0"));
    std::filesystem::remove(Name(1, "-2.out"));
  }
}

TEST_F(CertifierTest, RejectedInputs) {
  const std::string run = "Run parameter should be in 1..6", p127 = "(2^127-1)*", lucas = "Candidate not Lucas strong pseudoprime";
  const std::vector<std::pair<TXKeyValues, std::string>> rows = {
      {{{"N$", "12G4"}}, "Invalid expression"}, {{{"M", "65537"}}, "Invalid expression"},
      {{{"N", "x+1"}}, "Error in expression, code = 1"}, {{{"N", "2^127-"}}, "Error in expression, code = 3"},
      {{{"N", "(2^127-1"}}, "Error in expression, code = 5"}, {{{"N", "10/0"}}, "Error in expression, code = 10"},
      {{{"N", "3-100000"}}, "Candidate < 0"}, {{{"N$", "-10001"}}, "Candidate < 0"},
      {{{"N", "65535"}}, "Candidate binary size < 17"}, {{{"N$", "1"}}, "Candidate binary size < 17"},
      {{{"N", "0"}}, "Candidate binary size < 17"}, {{{"N", "2^131072"}}, "Candidate binary size > 131072"},
      {{{"N$", "10001"}, {"Run", "0"}}, run}, {{{"N$", "10001"}, {"Run", "7"}}, run}, {{{"N$", "10001"}, {"Run", "-1"}}, run},
      {{{"N", "2^131072-1"}}, "Candidate divisible by 3"}, {{{"N", p127 + "3"}}, "Candidate divisible by 3"},
      {{{"N", p127 + "2"}}, "Candidate divisible by 2"}, {{{"N", p127 + "65521"}}, "Candidate divisible by 65521"},
      {{{"N", "65521*65519"}}, "Candidate divisible by 65519"}, {{{"N", "65537^4*15"}}, "Candidate divisible by 3"},
      // Past the trial division (the pre-test harness below checks these numbers with GMP): a square, Carmichael
      // numbers (6k+1)(12k+1)(18k+1) and Fermat and Mersenne strong pseudoprimes to base 2.
      {{{"N", "1000003^8"}}, "Candidate not strong pseudoprime to the base 2"},
      {{{"N", "(6*10975+1)*(12*10975+1)*(18*10975+1)"}}, "Candidate not strong pseudoprime to the base 2"},
      {{{"N", "(6*11326+1)*(12*11326+1)*(18*11326+1)"}}, lucas + " for (P=1,Q=3)"},
      {{{"N", "2^64+1"}}, lucas + " for (P=1,Q=-1)"}, {{{"N", "2^101-1"}}, lucas + " for (P=1,Q=2)"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].first.front().second);
    ExpectRejected(Input("e" + std::to_string(i) + ".in", rows[i].first), rows[i].second);
  }
  // Only the exact lower-case extensions start or resume a certification.
  for (const char* name : {"a.IN", "a.In", "a.TMP", "a.out", "a.txt", "a", "a.in.bak", "a.in "}) ExpectRejected(Input(name, {{"N$", "10001"}}), "Invalid file name extension");
  std::filesystem::create_directory(Path("folder.in"));
  for (const std::string& name : {Path("missing.in"), std::string(), Path(""), Path("folder.in")}) ExpectRejected(name, "Invalid file name");
  // An abort in the pre-tests, which poll first, leaves no file either.
  ExpectRejected(Input("z.in", {{"N$", Built(200, 'x')}}), "Aborted by user", "EKVAbort",
                 [](int32_t phase, int32_t) { return phase == 0; });
}

// Working files are untrusted: each edit gives "Invalid file" (or, for a layout that cannot be resumed, an abort) and
// leaves the file as it was.
TEST_F(CertifierTest, DamagedWorkingFiles) {
  SCOPED_TRACE(SeedText());
  const std::string hex = Built(240, 'x'), del = "<delete>", dec = Text(FromHex(hex), 10);
  const auto count = static_cast<int32_t>(Chain(hex).size());
  // Phase 1 before the last test, and phase 2 with every step signed.
  Run(Input("c.in", {{"N$", hex}}), 1, [&](int32_t phase, int32_t n) { return phase == 1 && n == count - 1; });
  Run(Input("c.in", {{"N$", hex}}), 2, [&](int32_t phase, int32_t n) { return phase == 2 && n == count - 1; });
  const TXFile one(Name(1, ".tmp")), two(Name(2, ".tmp"));
  int32_t first[3] = {0, 0, 0};
  for (int32_t i = count - 1; i >= 1; --i) first[-one.ReadInteger(std::to_string(i), "Type", 0)] = i;
  ASSERT_TRUE(first[1] > 0 && first[2] > 0);
  const std::string m = std::to_string(first[1]), p = std::to_string(first[2]);
  const auto plus = [](const std::string& x, long delta) {
    MpzValue y = FromHex(x), d(delta);
    return mpz_add(y, y, d), Text(y);
  };
  const auto testN = [&](int32_t i) { return i == 1 ? hex : one.ReadString(std::to_string(i - 1), "R$"); };
  const std::string sM = one.ReadString(m, "S$"), rM = one.ReadString(m, "R$");
  MpzValue q = FromHex(two.ReadString(p, "Q$")), q2N = FromHex(testN(first[2]));
  mpz_mul_ui(q2N, q2N, 2), mpz_add(q2N, q2N, q);  // the parity and residue of Q, out of range
  mpz_mul(q, q, q);                               // a residue: V((N+1)/2) cannot vanish
  // Also the descent cut short after the first N-1 step, and that step final in phase 2 but not yet signed.
  TXFile cut(one.FileName), low(two.FileName);
  for (int32_t i = first[1] + 1; i < count; ++i) cut.EraseSection(std::to_string(i));
  cut.WriteString(H, "TestCount", m), low.WriteString("Signature", "ce", std::to_string(first[1] - 1));
  cut.FileName = Path("cut.tmp"), low.FileName = Path("low.tmp"), cut.Save(), low.Save();
  const TXFile* o = &one;
  struct TEdit { const TXFile* file; std::string section, key, value, key2 = "", value2 = ""; };
  const std::vector<TEdit> edits = {
      {o, X, "ar", "7"}, {o, X, "ar", "0"}, {o, X, "ap", "-1"}, {o, X, "ap", "33554432"}, {o, X, "ce", "5"},
      {o, X, "pe", "0"}, {o, X, "pe", "4"}, {o, X, "pe", del}, {o, X, "pe", "2"}, {o, X, "tx", "-1"},
      {o, "Running Times", "1stPhase", "-5"}, {o, m, "rn", "9"}, {o, m, "rn", "0"}, {o, m, "rn", "65"},
      {o, m, "pm", "-1"}, {o, m, "dc", "5"}, {o, p, "dc", "1"}, {o, m, "S$", "1"}, {o, m, "S$", "0"},
      {o, m, "S$", "-" + sM}, {o, m, "R$", plus(rM, 1)}, {o, m, "R$", testN(first[1])}, {o, m, "R$", "-" + rM},
      {o, m, "S$", plus(sM, 2)}, {o, p, "S$", plus(one.ReadString(p, "S$"), 2)}, {o, m, "R$", "12X4"},
      {o, m, "S$", del}, {o, m, "G$", "G"}, {o, m, "Type", "5"}, {o, m, "Type", del}, {o, m, "Type", "1"},
      {o, "1", "Type", "0"}, {o, "2", "", del}, {o, H, "TestCount", del}, {o, H, "TestCount", "-1"},
      {o, H, "TestCount", std::to_string(count)}, {o, "Candidate", "BinarySize", "0"},
      {o, "Candidate", "BinarySize", std::to_string(Bits(FromHex(hex)) + 1)}, {o, "Candidate", "N$", "XYZ"},
      {o, "Candidate", "N$", del}, {o, "Candidate", "N$", plus(hex, 1)}, {o, "Signature", "1$", "ZZ"},
      {o, "Candidate", "Expression", "2^127-1"}, {o, "Candidate", "Expression", "2^^3"},
      {o, "Candidate", "Expression", dec + "+2"}, {&two, m, "B$", plus(testN(first[1]), -1)},
      {&two, m, "B$", "1"}, {&two, p, "Q$", Text(q)}, {&two, p, "Q$", "1"}, {&two, p, "Q$", Text(q2N)},
      {&cut, m, "S$", rM, "R$", sM}, {&low, m, "B$", plus(testN(first[1]), -1)},  // a small cofactor; a bad witness
      {&cut, m, "G$", "G"},
      {o, H, "Format", "2"}, {o, H, "Format", del}, {o, X, "ve", "3000"}, {o, X, "ve", del}};
  std::vector<std::string> informed;
  SetInformHandler([&informed](const std::string& message) { informed.push_back(message); });
  for (size_t i = 0; i < edits.size(); ++i) {
    const auto& [file, section, key, value, key2, value2] = edits[i];
    SCOPED_TRACE(section + " " + key + "=" + value);
    TXFile f(file->FileName);
    if (key.empty()) f.EraseSection(section); else if (value == del) f.DeleteKey(section, key); else f.WriteString(section, key, value);
    if (!key2.empty()) f.WriteString(section, key2, value2);
    f.FileName = Path("d" + std::to_string(i) + ".tmp"), f.Save(), informed.clear();
    const bool old = key == "Format" || key == "ve";
    ExpectRejected(f.FileName, old ? "Aborted by user" : "Invalid file", old ? "EKVAbort" : "");
    EXPECT_EQ(informed, std::vector<std::string>(old ? 1 : 0, "Cannot resume this certificate"));
  }
  // Untouched, each resumes; a right expression is carried to the certificate.
  ExpectCertified(Run(one.FileName, 1), Name(1, ".out"));
  TXFile f(two.FileName);
  f.WriteString("Candidate", "Expression", dec + "+0"), f.Save();
  ExpectCertified(Run(two.FileName, 2), Name(2, ".out"));
  EXPECT_EQ(TXFile(Name(2, ".out")).ReadString("Candidate", "Expression"), dec + "+0");
}

// Runs stopped again and again in both phases, with and without double files, and files of the older layout or marked
// at the wrong phase, end with the tests of an uninterrupted run.
TEST_F(CertifierTest, ResumesAfterAborts) {
  SCOPED_TRACE(SeedText());
  const std::string hex = Built(260, 'x'), input = Input("c.in", {{"N$", hex}});
  ExpectCertified(Run(input, 0x100), Name(0x100, ".out"));
  const std::vector<std::string> reference = Tests(TXFile(Name(0x100, ".out")));
  const auto count = static_cast<int32_t>(reference.size());
  ASSERT_GE(count, 7);
  using TStops = std::vector<std::pair<int32_t, int32_t>>;
  const TStops full = {{1, 0}, {1, 1}, {1, 2}, {1, count - 5}, {1, 1}, {2, 0}, {2, 1}, {2, count / 2}, {2, count - 1}};
  for (const auto& [index, stops, edit] : std::vector<std::tuple<int32_t, TStops, std::string>>{
           {1, full, ""}, {2, full, ""}, {3, {{2, 2}}, "ve=3004"}, {4, {{2, 0}}, "pe=1"}, {5, {{2, 2}}, "pe=3"}}) {
    Settings.DoubleFileManagement = index % 2;
    const std::string tmp = Name(index, ".tmp");
    int32_t done = -1;
    for (const auto& [phase, n] : stops) {
      SCOPED_TRACE(std::to_string(phase) + "/" + std::to_string(n));
      const TStop stop = [phase, n](int32_t ph, int32_t k) { return ph == phase && k == n; };
      EXPECT_EQ(Run(done < 0 ? input : tmp, index, stop).Raised, "EKVAbort");
      const TXFile f(tmp);
      EXPECT_EQ(f.ReadString(H, "Status") + f.ReadString(X, "pe"), "Aborted by user" + std::to_string(phase));
      EXPECT_EQ(Exists(tmp + "old"), index % 2 == 1);
      done = phase == 1 ? std::max(done, 0) + n : count;
      std::vector<std::string> expected;
      for (int32_t i = 0; i < done; ++i) {
        // Pending tests are recorded with the type negated and no witness.
        std::string t = reference[static_cast<size_t>(i)];
        if (i + 1 < count && (phase == 1 || i >= n)) t = '-' + t.erase(t.rfind(' ') + 1);
        expected.push_back(t);
      }
      EXPECT_EQ(Tests(f), expected);
      EXPECT_EQ(f.ReadInteger("Signature", "ce", n), n);
    }
    TXFile f(tmp);
    if (!edit.empty()) f.WriteString(X, edit.substr(0, 2), edit.substr(3)), f.Save();
    const std::string edited = ReadBytes(tmp);
    ExpectCertified(Run(tmp, index), Name(index, ".out"));
    EXPECT_EQ(Tests(TXFile(Name(index, ".out"))), reference);
    EXPECT_EQ(TXFile(Name(index, ".cr")).ReadInteger("KARVO - Certification Report", "TestCount", -1), count);
    // An older layout is copied before it is converted.
    EXPECT_EQ(Exists(tmp + ".dup") ? ReadBytes(tmp + ".dup") : "", edit[0] == 'v' ? edited : "");
  }
  // A disk that fills up once three tests are saved: the last complete save resumes.
  TCertifier c;
  c.OnStep = [this](int32_t tests, int32_t, int32_t, int32_t) { ops_.WriteBudget = tests == 3 ? 0 : -1; };
  const TOutcome failed = Run(c, input, 6);
  EXPECT_EQ(std::to_string(failed.Status) + failed.Message + "/" + failed.Raised,
            "4ABORTED DUE TO INTERNAL ERROR File error #2001/EKV: File error #2001\r\nOperation aborted");
  EXPECT_EQ(TXFile(Name(6, ".tmp")).ReadInteger(H, "TestCount", -1), 3);
  ops_.WriteBudget = -1;
  ExpectCertified(Run(Name(6, ".tmp"), 6), Name(6, ".out"));
  EXPECT_EQ(Tests(TXFile(Name(6, ".out"))), reference);
  // The smallest candidate, 17 bits, resumes as well.
  EXPECT_EQ(Run(Input("s.in", {{"N$", "10001"}}), 7, [](int32_t ph, int32_t) { return ph == 2; }).Raised, "EKVAbort");
  ExpectCertified(Run(Name(7, ".tmp"), 7), Name(7, ".out"));
}

// Primes no N-1 or N+1 step reduces go to the curve search at every level from the input's Run on; a dead end is
// backtracked out of; a search state saved before an abort is where the resumed search goes on.
TEST_F(CertifierTest, CurveSearchLevelsAndBacktracking) {
  SCOPED_TRACE(SeedText());
  using TCall = std::tuple<int32_t, int32_t, std::string>;  // position, level, N
  const auto levels = [](const std::string& n, int32_t from, std::vector<TCall> calls) {
    for (int32_t level = from; level <= 6; ++level) calls.emplace_back(level == 1 ? 2 : 1, level, n);
    return calls;
  };
  // The dead end N = k·R + 1: N - 1 gives R, and neither R nor N + 1 splits.
  const std::string hex = Unsplittable(200), rHex = Unsplittable(207);
  MpzValue r = FromHex(rHex), n, s, q;
  for (unsigned long k = 4096; mpz_probab_prime_p(n, 2) == 0 || !Split(n, 1, s, q) || mpz_cmp(q, r) != 0 || Split(n, 2, s, q);
       k += 2) {
    mpz_mul_ui(n, r, k), mpz_add_ui(n, n, 1);
  }
  struct TRow { std::string hex; int32_t run; TCurveSearchResult result; int32_t reports; std::vector<TCall> calls; std::vector<int32_t> steps; };
  const auto notFound = TCurveSearchResult::NotFound;
  int32_t index = 0;
  for (const TRow& row : std::vector<TRow>{{hex, 1, notFound, 1, levels(hex, 1, {}), {0}},
                                          {hex, 3, notFound, 0, levels(hex, 3, {}), {0}},
                                          {hex, 1, TCurveSearchResult::Failure, 1, {{2, 1, hex}}, {0}},
                                          {Text(n), 1, notFound, 1, levels(Text(n), 1, {{2, 1, rHex}}), {0, 1, 0}},
                                          {Text(n), 1, notFound, 0, levels(Text(n), 1, {{2, 1, rHex}}), {0, 1, 0}},
                                          {Built(200, 'x'), 1, notFound, 1, {}, {}}}) {
    SCOPED_TRACE(row.hex);
    Settings.CertificationReports = row.reports;
    std::vector<TCall> calls;
    std::vector<int32_t> steps, levelCalls, levelsReached;
    TCertifier c;  // a search that finds nothing and remembers where it was asked
    c.CurveSearch = [&](TCertifier& k, int32_t& position) { return calls.emplace_back(position, k.Level, BigToHex(k.N)), row.result; };
    c.OnStep = [&steps](int32_t tests, int32_t, int32_t, int32_t) { steps.push_back(tests); };
    c.OnLevel = [&levelCalls](int32_t level) { levelCalls.push_back(level); };
    const TOutcome outcome = Run(c, Input("u.in", {{"N$", row.hex}, {"Run", std::to_string(row.run)}}), ++index);
    EXPECT_EQ(calls, row.calls);
    if (row.calls.empty()) {
      ExpectCertified(outcome, Name(index, ".out"));
      continue;
    }
    ExpectImpossible(outcome, index);
    EXPECT_EQ(steps, row.steps);
    for (int32_t level = row.run + 1; level <= 6 && row.result == notFound; ++level) levelsReached.push_back(level);
    EXPECT_EQ(levelCalls, levelsReached);
    EXPECT_EQ(Exists(Name(index, ".cr")), row.reports != 0);
    const TXFile cr(Name(index, ".cr"));
    const std::string backtrack = "1, backtrack #1";
    EXPECT_EQ(cr.ReadString("KARVO - Certification Report", "TestCount") + "/" + cr.ReadString("Backtrack", "Rejected") +
                  cr.ReadString(backtrack, "R$") + cr.ReadString(backtrack, "Type"),
              row.reports == 0 ? "/" : row.steps.size() > 1 ? "0/1" + rHex + "1" : "0/");
  }
  TCertifier first, second;
  std::vector<std::string> calls;
  // At level 3 the search saves its place and the user stops it.
  first.CurveSearch = second.CurveSearch = [&calls](TCertifier& k, int32_t& position) {
    calls.push_back(std::to_string(k.Level) + "/" + std::to_string(position));
    if (calls.size() == 3) k.SaveSearchState(77), RequestAbort(), PollFlag.store(1), CheckPoll();
    return TCurveSearchResult::NotFound;
  };
  SetPollHandler([] {});
  EXPECT_EQ(Run(first, Input("s.in", {{"N$", hex}}), 7).Raised, "EKVAbort");
  const TXFile saved(Name(7, ".tmp"));
  EXPECT_EQ(saved.ReadString(X, "ar") + "/" + saved.ReadString(X, "ap"), "3/77");
  ExpectImpossible(Run(second, Name(7, ".tmp"), 7), 7);
  EXPECT_EQ(calls, (std::vector<std::string>{"1/2", "2/1", "3/1", "3/77", "4/1", "5/1", "6/1"}));
  // Without the N-1 and N+1 steps the curve step alone reduces the prime.
  Settings.NM1 = Settings.NP1 = 0;
  ExpectCertified(Run(Input("e.in", {{"N$", Built(200, 'x')}}), 9), Name(9, ".out"));
  for (const std::string& test : Tests(TXFile(Name(9, ".out")))) EXPECT_TRUE(test[0] != '1' && test[0] != '2') << test;
}

// A composite passes the pre-tests' screening into the descent only through a working file: strong pseudoprimes
// to the bases up to 41 and 37 and a Carmichael number, put in place of a prime of their size, meet the curve step
// alone, which fails or finds a factor; none is ever certified.
TEST_F(CertifierTest, CompositeFromAWorkingFileIsNeverCertified) {
  SCOPED_TRACE(SeedText());
  Settings.NM1 = Settings.NP1 = 0;
  MpzValue carmichael, k(1UL << 40);
  NextCarmichael(carmichael, k);
  int32_t index = 0x200;
  for (const MpzValue& n : {MpzValue("3317044064679887385961981"), MpzValue("318665857834031151167461"), carmichael}) {
    MpzValue p;
    mpz_nextprime(p, n);
    ASSERT_EQ(Bits(p), Bits(n));
    EXPECT_EQ(Run(Input("c.in", {{"N$", Text(p)}}), ++index, [](int32_t ph, int32_t) { return ph == 1; }).Raised,
              "EKVAbort");
    TXFile tmp(Name(index, ".tmp"));
    tmp.WriteString("Candidate", "N$", Text(n)), tmp.Save();
    const TOutcome outcome = Run(Name(index, ".tmp"), index);
    EXPECT_NE(outcome.Status, CertifyCertified) << outcome.Message << outcome.Raised;
    EXPECT_FALSE(Exists(Name(index, ".out")) && TXFile(Name(index, ".out")).ReadString(H, "Status") == Certified);
  }
}

// The pre-tests stage by stage with GMP: smallest factor below 2^16, strong base 2, Selfridge's D (0 at a symbol 0 or
// past 5000), then GMP's Baillie-PSW test, which is the strong Lucas test with that D.
TEST(CertifsArith, PreTestsAgreeWithGmp) {
  SCOPED_TRACE(SeedText());
  TRandom random(1);
  std::vector<MpzValue> cases;
  MpzValue x, y;
  for (int32_t i = 0; i < 60 * TestMultiplier(); ++i) {  // random odd numbers, primes, products, squares
    mpz_urandomb(x, random.state, 17 + random.Below(700)), mpz_setbit(x, 16), mpz_setbit(x, 0);
    cases.push_back(x), mpz_nextprime(x, x), cases.push_back(x);
    mpz_nextprime(y, MpzValue(70000 + random.Below(1UL << 30))), mpz_mul(y, y, x), cases.push_back(y);
    mpz_mul(x, x, x), cases.push_back(x);
  }
  // Fermat and Mersenne numbers: strong pseudoprimes to base 2, and primes with N + 1 = 2^e, some past the Barrett
  // thresholds of 168 and 640 words.
  for (const unsigned long e : {64, 128, 256, 512, 1024, 2048, 89, 101, 107, 127, 521, 1279, 5987, 20483}) {
    mpz_ui_pow_ui(x, 2, e), (e % 64 == 0 ? mpz_add_ui : mpz_sub_ui)(x, x, 1), cases.push_back(x);
  }
  for (unsigned long k = 65536 / 6 + 1, found = 0; found < 20; ++k) {  // Carmichael numbers (6k+1)(12k+1)(18k+1)
    MpzValue a(6 * k + 1), b(12 * k + 1), c(18 * k + 1);
    if (mpz_probab_prime_p(a, 30) == 0 || mpz_probab_prime_p(b, 30) == 0 || mpz_probab_prime_p(c, 30) == 0) continue;
    mpz_mul(a, a, b), mpz_mul(a, a, c), cases.push_back(a), ++found;
  }
  for (mpz_set_ui(x, 1UL << 16); cases.size() < static_cast<size_t>(60 * TestMultiplier() * 4 + 60);) {  // p(2p-1)
    mpz_nextprime(x, x), mpz_mul_2exp(y, x, 1), mpz_sub_ui(y, y, 1), mpz_mul(y, y, x);
    if (StrongBase2(y)) cases.push_back(y);
  }
  int32_t lucas = 0;
  for (const MpzValue& n : cases) {
    SCOPED_TRACE(Text(n));
    std::string verdict;
    long D = 5;
    int symbol = 0;
    while ((symbol = mpz_si_kronecker(D, n)) == 1 && std::abs(D) < 4999) D = D > 0 ? -(D + 2) : -D + 2;
    for (unsigned long p = 2; p < 65536 && verdict.empty(); ++p) {
      if (mpz_divisible_ui_p(n, p) != 0) verdict = "Candidate divisible by " + std::to_string(p);
    }
    if (verdict.empty() && !StrongBase2(n)) verdict = "Candidate not strong pseudoprime to the base 2";
    if (verdict.empty() && symbol != -1) verdict = "Candidate is presumably a square";
    if (verdict.empty() && mpz_probab_prime_p(n, 1) == 0) {
      verdict = "Candidate not Lucas strong pseudoprime for (P=1,Q=" + std::to_string((1 - D) / 4) + ")", ++lucas;
    }
    EXPECT_EQ(CandidatePreTests(Big(n)), verdict);
    EXPECT_EQ(LucasParameterD(Big(n)), symbol == -1 ? D : 0);
    if (Bits(n) > 2100) continue;  // the long paths once only
    EXPECT_EQ(IsStrongProbablePrimeBase2(Big(n)), StrongBase2(n));
    EXPECT_EQ(IsCofactorProbablePrime(Big(n)), mpz_probab_prime_p(n, 1) > 0);
  }
  EXPECT_GT(lucas, 20);
  // Exact on one word, never even; strong Lucas pseudoprimes fail base 2 only.
  for (unsigned long v = 0; v < (1UL << 17); ++v) {
    EXPECT_EQ(IsCofactorProbablePrime(Big(MpzValue(v))), v % 2 == 1 && mpz_probab_prime_p(MpzValue(v), 1) > 0) << v;
  }
  for (const unsigned long v : {5459, 5777, 10877, 16109, 18971, 22499, 24569, 25199, 40309, 58519}) {
    EXPECT_TRUE(IsStrongLucasProbablePrime(Big(MpzValue(v)), LucasParameterD(Big(MpzValue(v))))) << v;
    EXPECT_FALSE(IsCofactorProbablePrime(Big(MpzValue(v)))) << v;
  }
}
// SplitOrder against GMP on N = k·q ± 1 with k made of table primes, prime or not, at any prime bound; the witness of
// a split prime passes what a verifier checks of B (its Q, the certificates above), none for S = 2 on a composite.
TEST(CertifsArith, SplitsAndWitnessesAgreeWithGmp) {
  SCOPED_TRACE(SeedText());
  BuildPrimeTable();
  TRandom random(2);
  int32_t splits[3] = {0, 0, 0};
  for (int32_t i = 0; i < 90 * TestMultiplier(); ++i) {
    const int method = 1 + i % 2;
    const auto bound = static_cast<int32_t>(i % 3 == 0 ? 6542 : 2 + random.Below(6540));
    MpzValue n, q, s, r, m, root, k, cofactor;
    do {
      mpz_urandomb(q, random.state, 40 + random.Below(260)), mpz_nextprime(q, q), mpz_set_ui(n, 2);
      for (auto j = random.Below(8); j > 0; --j) mpz_mul_ui(n, n, Primes()[random.Below(static_cast<unsigned long>(bound))]);
      mpz_mul(n, n, q), (method == 1 ? mpz_add_ui : mpz_sub_ui)(n, n, 1);
    } while (i % 5 != 0 && mpz_probab_prime_p(n, 30) == 0);
    (method == 1 ? mpz_sub_ui : mpz_add_ui)(m, n, 1), mpz_sqrt(root, n);
    mpz_add_ui(root, root, static_cast<unsigned long>(method - 1)), mpz_add_ui(k, n, 1), PrimeTableResidues(Big(k), bound);
    BigInt bk, bq;
    const bool ok = SplitOrder(bk, bq, Big(m), method == 1 ? NMinus1Residue : NPlus1Residue, Big(root), Bits(n), bound);
    ASSERT_EQ(ok, Split(n, method, s, r, bound)) << Text(n) << " " << bound;
    MpzFromBig(k, bk), MpzFromBig(cofactor, bq);
    EXPECT_TRUE(!ok || (mpz_cmp(k, s) == 0 && mpz_cmp(cofactor, r) == 0)) << Text(n);
    const bool prime = mpz_probab_prime_p(n, 30) != 0;
    if (!prime) mpz_set_ui(s, 2), (method == 1 ? mpz_sub_ui : mpz_add_ui)(r, n, 1), mpz_fdiv_q_2exp(r, r, 1);
    if (!ok && prime) continue;
    splits[method] += ok ? 1 : 0;
    const Word witness = (method == 1 ? FindNMinus1Base : FindNPlus1Q)(Big(n), Big(s), Big(r));
    MpzValue x, g, e;
    mpz_powm(x, MpzValue(witness), s, n), mpz_sub_ui(g, x, 1), mpz_gcd(g, g, n), mpz_sub_ui(e, n, 1), mpz_powm(e, MpzValue(witness), e, n);
    EXPECT_EQ(witness != 0, prime) << Text(n);
    EXPECT_TRUE(!prime || method == 2 || (mpz_cmp_ui(g, 1) == 0 && mpz_cmp_ui(e, 1) == 0)) << Text(n) << " " << witness;
  }
  EXPECT_GT(splits[1] * splits[2], 0);
  MpzValue one(1L);
  for (const unsigned long v : {0, 1, 2, 100}) {  // no witness for even or tiny N
    EXPECT_EQ(FindNMinus1Base(Big(MpzValue(v)), Big(one), Big(one)) + FindNPlus1Q(Big(MpzValue(v)), Big(one), Big(one)), 0u);
  }
  // S = N + 1: V(S/2) vanishes for every Q with (Q/N) = -1, so the search must give up after its rounds.
  EXPECT_EQ(FindNPlus1Q(Big(MpzValue(1000003L)), Big(MpzValue(1000004L)), Big(one)), 0u);
}
}  // namespace
}  // namespace karvo::test
