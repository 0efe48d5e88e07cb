// karvo-cli as a user meets it: a process on real files, in a private folder
// with a copy of the program (bin/, beside its own karvo.ini) and work/.

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include "support/TestEnv.h"

namespace karvo {
namespace {
namespace fs = std::filesystem;
using Text = const std::string&;
const std::string Certified = "Candidate certified prime", Aborted = "Aborted by user";
const std::string Broken = "[KARVO - Primality Certificate]\nFormat=3\nTestCount=1\n";
const std::string Defaults =
    "CertificationReports=1\nCheckSignaturesOnly=1\nDoubleFileManagement=0\nIdlePriority=1\n"
    "BT1=12\nBT2=24\nBT3=48\nBT4=96\nBT5=192\nMRF=8\nMSC=23\nCPC=100\nQAV=0\nNM1=1\nNP1=1\nBHB=0\n";
std::string Read(Text path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void Write(Text path, Text text) { std::ofstream(path, std::ios::binary) << text; }
bool Has(Text text, Text part) { return text.find(part) != std::string::npos; }
int Count(Text text, Text part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}
// The value of key in [section] of a file's text, "" when absent.
std::string Value(std::string text, Text section, Text key) {
  std::erase(text, '\r');
  const size_t start = text.find("[" + section + "]\n");
  const size_t at = start == std::string::npos ? start : text.find("\n" + key + "=", start);
  if (at == std::string::npos || at > text.find("\n[", start + 1)) return "";
  return text.substr(at + key.size() + 2, text.find('\n', at + 1) - at - key.size() - 2);
}
std::string Counts(Text report) {  // selected/processed/certified or valid
  return Value(report, "Common", "Selected") + "/" + Value(report, "Common", "Processed") + "/" +
         Value(report, "Common", "Certified") + Value(report, "Common", "Valid");
}
// One key of each file's section of a report, each followed by "|".
std::string Column(Text report, Text key, Text kind = "Candidate") {
  std::string column;
  for (int i = 1; Has(report, "[" + kind + " #" + std::to_string(i) + "]"); ++i)
    column += Value(report, kind + " #" + std::to_string(i), key) + "|";
  return column;
}
std::string Input(Text n, Text key = "N") { return "[KARVO - Input]\n[Candidate]\n" + key + "=" + n + "\n"; }
struct TNumber { std::string dec, hex; size_t bits; };  // hex in upper case, as karvo writes it
// A prime of at least `bits` bits that the N-1 and N+1 steps certify all the way
// down: from a 40-bit prime R, steps k·R ± 1, k even, of primes near 2^14, R > √N.
TNumber ChainPrime(size_t bits, uint64_t seed) {
  gmp_randclass random(gmp_randinit_default);
  random.seed(seed);
  mpz_class r = random.get_z_bits(39) + (mpz_class(1) << 39), k, n;
  mpz_nextprime(r.get_mpz_t(), r.get_mpz_t());
  for (size_t size; (size = mpz_sizeinbase(r.get_mpz_t(), 2)) < bits; r = n) {
    const size_t gain = std::min(bits - size, std::max<size_t>(8, size / 3));
    do {
      // At least one random factor, or a short last step would loop.
      for (k = 2; k == 2 || mpz_sizeinbase(k.get_mpz_t(), 2) + 6 < gain; k *= n) {
        n = random.get_z_bits(14), mpz_nextprime(n.get_mpz_t(), n.get_mpz_t());
      }
      n = k * r + (random.get_z_bits(1) == 0 ? 1 : -1);
    } while (mpz_probab_prime_p(n.get_mpz_t(), 25) == 0);
  }
  return {r.get_str(10), r.get_str(-16), mpz_sizeinbase(r.get_mpz_t(), 2)};
}
const TNumber& MediumPrime() {  // built once: a few tenths of a second to certify
  static const TNumber prime = ChainPrime(2000, test::TestSeed() ^ 0x4D454449554DULL);
  return prime;
}
struct TRun { int status; std::string out, err; };  // status: minus a signal that ended the program
// The test's folder, kept when the test failed; the shell runs commands in work/.
struct TBox {
  std::string root = mkdtemp((fs::temp_directory_path() / "karvo-e2e-XXXXXX").string().data());
  std::string work = root + "/work", ini = root + "/bin/karvo.ini";
  pid_t pid = -1;
  TBox() {
    fs::create_directories(work), fs::create_directories(root + "/bin");
    fs::copy_file(KARVO_CLI_PATH, root + "/bin/karvo-cli");
    for (const char* name : {"xd1", "xd2", "xd3", "xd4", "xd5", "xp1", "xp2", "xp3", "xp4"})
      fs::copy_file(fs::path(KARVO_CLI_PATH).parent_path() / ("karvo." + std::string(name)),
                    root + "/bin/karvo." + name);
  }
  ~TBox() {
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    if (!testing::Test::HasFailure()) fs::remove_all(root);
  }
  // Runs before + "exec karvo-cli args" + after.
  void Start(const std::vector<std::string>& args, Text before = "", Text after = "") {
    std::string line = before + "exec '" + root + "/bin/karvo-cli'";
    for (const std::string& arg : args) line += " '" + arg + "'";
    line += after + " </dev/null >'" + root + "/out' 2>'" + root + "/err'";
    if ((pid = fork()) == 0) {
      signal(SIGINT, SIG_DFL);
      if (chdir(work.c_str()) == 0) execl("/bin/sh", "sh", "-c", line.c_str(), nullptr);
      _exit(127);
    }
  }
  TRun Wait() {
    int status = 0;
    waitpid(std::exchange(pid, -1), &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), Read(root + "/out"), Err()};
  }
  TRun Run(const std::vector<std::string>& args, Text before = "") { return Start(args, before), Wait(); }
  std::string Err() const { return Read(root + "/err"); }
  // Polls until standard error shows text `times` times; false once the program ended without.
  bool Shown(Text text, int times = 1) const {
    for (int i = 0; i < 30000; ++i) {  // ten minutes: only a stuck program gets there
      siginfo_t info{};
      if (Count(Err(), text) >= times) return true;
      if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Count(Err(), text) >= times;
  }
};

TEST(Cli, CertifyThenVerify) {
  TBox box;
  const uint64_t seed = test::TestSeed();
  const TNumber p[] = {ChainPrime(130, seed), ChainPrime(160, seed + 1), ChainPrime(200, seed + 2),
                       ChainPrime(90, seed + 3)};
  const std::string dir = box.work + "/a-dir/";
  fs::create_directories(dir), fs::create_directories(box.work + "/B-dir");
  // `new` writes the template, never over a file; filled in, it certifies.
  TRun run = box.Run({"new", "a-dir/Zeta"});
  EXPECT_TRUE(run.status == 0 && run.out == "a-dir/Zeta.in\n") << run.out;
  run = box.Run({"new", "a-dir/Zeta.in"});
  EXPECT_TRUE(run.status == 1 && Has(run.err, "already exists")) << run.err;
  std::string form = Read(dir + "Zeta.in");
  Write(dir + "Zeta.in", form.insert(form.find("\nN=") + 3, p[2].dec));
  Write(dir + "Beta.in", Input(p[0].dec));
  Write(dir + "beta.in", Input(p[1].hex, "N$"));
  Write(box.work + "/B-dir/alpha.in", Input(p[3].dec));
  // Paths in order regardless of case (upper case first on a tie), a path
  // given twice counted once, every output in the folder of the first one.
  run = box.Run({"certify", "B-dir/alpha.in", "a-dir/Zeta.in", "a-dir/beta.in", "a-dir/Beta.in",
                 "a-dir/Zeta.in"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string id = Value(run.out, "KARVO - Task Report", "ID");
  const auto out = [&](int i) { return "karvo-" + id + "-00" + std::to_string(i) + ".out"; };
  EXPECT_EQ(Counts(run.out) + Counts(Read(dir + "karvo-" + id + ".tr")), "4/4/44/4/4");
  const std::string outs = out(1) + "|" + out(2) + "|" + out(3) + "|" + out(4) + "|";
  EXPECT_EQ(Column(run.out, "Input") + Column(run.out, "Output"), "Beta.in|beta.in|Zeta.in|alpha.in|" + outs);
  EXPECT_EQ(Count(Column(run.out, "Status"), Certified + "|"), 4) << run.out;
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(Value(Read(dir + out(i)), "Candidate", "N$"), p[i - 1].hex);
  EXPECT_EQ(Value(run.out, "Common", "Candidate #4").rfind("Certified, ", 0), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(box.work + "/B-dir"), {}) +
                std::distance(fs::directory_iterator(box.work), {}), 1 + 2);
  // Off a terminal the progress is plain lines, each file closed by its outcome.
  EXPECT_TRUE(Count(run.err, "| " + Certified + "\n") == 4 && !Has(run.err, "\r") &&
              Count("\n" + run.err, "\nCandidate ") == Count(run.err, "\n")) << run.err;
  run = box.Run({"--full", "verify", "a-dir/" + out(3), "a-dir/" + out(1), "a-dir/" + out(4),
                 "a-dir/" + out(2)});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Counts(run.out) + Column(run.out, "Input", "Certificate"), "4/4/4" + outs);
  EXPECT_EQ(Count(Column(run.out, "Status", "Certificate"), "Valid certificate|"), 4) << run.out;
  std::string changed = Read(dir + out(1));
  char& digit = changed.at(changed.find("\n2$=") + 4);
  digit = digit == '1' ? '2' : '1';
  Write(dir + "changed.out", changed);
  const struct { std::string flag, file, shows; int status; } checks[] = {
      {"--signatures-only", out(1), "Status=Valid signature", 0},
      {"--signatures-only", "changed.out", "NOT VALID", 1},
      {"--full", "changed.out", "Status=Valid certificate", 0},  // signed again
      {"--signatures-only", "changed.out", "Status=Valid signature", 0}};
  for (const auto& check : checks) {
    run = box.Run({check.flag, "verify", "a-dir/" + check.file});
    EXPECT_TRUE(run.status == check.status && Has(run.out, check.shows)) << check.file << run.out;
  }
  // A file that fails makes the exit status 1.
  Write(box.work + "/b.in", Input("3*(" + p[0].dec + ")"));
  Write(box.work + "/c.in", Input("2^127-1"));  // no N-1 or N+1 split: needs curves
  run = box.Run({"certify", "c.in", "b.in", "a-missing.in"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Counts(run.out) + Column(run.out, "Status"),
            "3/3/1Invalid file name|Candidate divisible by 3|" + Certified + "|");
}

TEST(Cli, ATaskTakes999FilesAtMost) {
  for (const int files : {999, 1000}) {
    TBox box;
    std::vector<std::string> args = {"verify"};
    for (int i = 0; i < files; ++i) Write(box.work + "/" + args.emplace_back(std::to_string(10000 + i) + ".out"), Broken);
    const TRun run = box.Run(args);
    EXPECT_EQ(run.status, files == 999 ? 1 : 2);
    EXPECT_EQ(Has(run.err, "Karvo cannot manage more than 999 files"), files == 1000) << files;
    EXPECT_EQ(Counts(run.out) + Value(run.out, "Certificate #999", "Input"),
              files == 999 ? "999/999/010998.out" : "//");
    EXPECT_EQ(Read(box.work + "/10000.out"), Broken);
  }
}

// One Ctrl-C is forgotten after 7 s; a second one within 7 s aborts the file
// under way, which stays resumable, and skips the rest.
TEST(Cli, CtrlCTwiceAbortsOnceIsForgotten) {
  TBox box;
  const int copies = 400;  // more than 7 s of work on any machine
  std::vector<std::string> args = {"--no-idle", "--no-reports", "certify"};
  for (int i = 0; i < copies; ++i) Write(box.work + "/" + args.emplace_back(std::to_string(1000 + i) + ".in"), Input(MediumPrime().dec));
  box.Start(args);
  ASSERT_TRUE(box.Shown("| " + Certified)) << box.Err();
  kill(box.pid, SIGINT);
  ASSERT_TRUE(box.Shown("Abort request dropped")) << box.Err();
  kill(box.pid, SIGINT);
  ASSERT_TRUE(box.Shown("Press Ctrl-C again within 7 s to abort", 2)) << box.Err();
  kill(box.pid, SIGINT);
  TRun run = box.Wait();
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_TRUE(Count(run.err, "Abort request dropped") == 1 && Has(run.err, "| " + Aborted)) << run.err;
  const int processed = std::atoi(Value(run.out, "Common", "Processed").c_str());
  ASSERT_TRUE(processed >= 2 && processed < copies) << processed;
  const std::string statuses = Column(run.out, "Status");
  EXPECT_TRUE(Count(statuses, Certified + "|") == processed - 1 && statuses.ends_with(Aborted + "|")) << statuses;
  EXPECT_EQ(Counts(run.out), "400/" + std::to_string(processed) + "/" + std::to_string(processed - 1));
  // A Ctrl-C during the pre-tests ends the candidate before its working file exists.
  const std::string last = "Candidate #" + std::to_string(processed);
  const std::string working = Value(run.out, last, "Output");
  if (!working.empty()) {
    EXPECT_EQ(Value(Read(box.work + "/" + working), "KARVO - Primality Certificate", "Status"), Aborted);
  }
  run = box.Run({"--no-idle", "certify", working.empty() ? Value(run.out, last, "Input") : working});
  EXPECT_TRUE(run.status == 0 && Column(run.out, "Status") == Certified + "|") << run.out;
  EXPECT_FALSE(!working.empty() && fs::exists(box.work + "/" + working));
}

// A working file in phase 2 from a real certificate, its first test turned
// back into a pending curve test (class number one, discriminant code 7; or
// code 5 with its curve from j and one root entry): its order is no curve
// order, so no point is found, an internal error that ends that file alone.
// (An N+1 test would not do: N + 1 points is the order of supersingular curves.)
TEST(Cli, AnInternalErrorEndsItsFileAlone) {
  TBox box;
  const uint64_t seed = test::TestSeed();
  TRun run;
  std::string text;
  for (uint64_t k = 0; Value(text, "1", "Type") != "1"; ++k) {
    Write(box.work + "/real.in", Input(ChainPrime(300, seed + 7 * k).dec));
    run = box.Run({"--no-reports", "certify", "real.in"});
    ASSERT_EQ(run.status, 0);
    text = Read(box.work + "/" + Value(run.out, "Candidate #1", "Output"));
    std::erase(text, '\r');
  }
  const size_t second = text.find("\n[2]\n"), signature = text.find("[Signature]");
  text = text.substr(0, text.find("[1]\n")) + "[1]\nType=-3\nS$=" + Value(text, "1", "S$") +
         "\nR$=" + Value(text, "1", "R$") + "\ndc=7\nrn=1\npm=3\n" +
         text.substr(second, signature - second) + "[X]\nve=3009\npe=2\ntx=0\n";
  text.replace(text.find(Certified), Certified.size(), "Running");
  Write(box.work + "/a-curve.tmp", text);
  Write(box.work + "/b-good.in", Input(ChainPrime(150, seed + 1).dec));
  std::string fromJ = text;
  fromJ.replace(fromJ.find("Type=-3"), 7, "Type=-4").replace(fromJ.find("dc=7\n"), 5, "dc=5\nrs=1\nf0=5\n0$=3\n");
  Write(box.work + "/c-curve.tmp", fromJ);
  run = box.Run({"certify", "c-curve.tmp", "b-good.in", "a-curve.tmp"});
  EXPECT_EQ(run.status, 1) << run.err;
  // The bogus root of c-curve fails in the root search or in the point search, depending on N.
  const std::string internal = "ABORTED DUE TO INTERNAL ERROR ", statuses = Column(run.out, "Status");
  EXPECT_EQ(Counts(run.out) + Column(run.out, "Input") + statuses.substr(0, statuses.rfind(internal)),
            "3/3/1a-curve.tmp|b-good.in|c-curve.tmp|" + internal + "2.14.8|" + Certified + "|");
  EXPECT_EQ(Value(run.out, "Common", "Candidate #1").rfind("Aborted, ", 0), 0u);
  EXPECT_EQ(Count(run.err, "| " + internal), 2) << run.err;
  // The working files stay, marked with the outcome, for a later run.
  text = Read(box.work + "/a-curve.tmp");
  EXPECT_EQ(Value(text, "KARVO - Primality Certificate", "Status") + Value(text, "1", "Type"),
            internal + "2.14.8-3");
}

// The curve tests of a certificate recomputed by PARI/GP: the point of T lies on the twisted curve, [S]P is not
// the identity, [R][S]P is, R is a probable prime above (N^(1/4) + 1)^2; the last N is prime. "" when all pass.
std::string GpCheck(Text certificate) {
  const auto number = [&](Text section, Text key) {
    const std::string hex = Value(certificate, section, key);
    return mpz_class(hex.empty() ? "0" : hex, 16).get_str();
  };
  std::string script = "c(N,a,b,T,S,R)=my(u=(T^3+a*T+b)%N,E=ellinit(Mod([a*u^2,b*u^3],N)),P=Mod([T*u,u^2],N),"
                       "Q=ellmul(E,P,S));ellisoncurve(E,P)&&Q!=[0]&&ellmul(E,Q,R)==[0]&&ispseudoprime(R)"
                       "&&N<(sqrtint(R)-1)^4;\n";
  std::string n = number("Candidate", "N$");
  for (int i = 1;; ++i) {
    const std::string t = std::to_string(i), type = Value(certificate, t, "Type");
    if (type == "0" || type.empty()) {
      script += "print(isprime(" + n + "))\n";
      break;
    }
    std::string j = number(t, "J$");
    j.insert(0, 1, '(').push_back(')');
    const std::string abc = type == "4" ? "3*" + j + "*(1728-" + j + "),2*" + j + "*(1728-" + j + ")^2"
                                        : number(t, "A$") + "," + number(t, "B$");
    if (type == "3" || type == "4")
      script += "print(c(" + n + "," + abc + "," + number(t, "T$") + "," + number(t, "S$") + "," + number(t, "R$") + "))\n";
    n = number(t, "R$");
  }
  const std::string path = fs::temp_directory_path() / ("karvo-gp-" + std::to_string(getpid()));
  Write(path, script);
  const std::string command = "gp -q -f -D parisizemax=1G < '" + path + "' 2>&1";
  std::string result;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    for (char buffer[256]; fgets(buffer, sizeof buffer, pipe) != nullptr;) result += buffer;
    pclose(pipe);
  }
  fs::remove(path);
  return result.find_first_not_of("1\n") == std::string::npos && !result.empty() ? "" : result;
}

// Primes of any form are certified through the curve step: expressions written by `new --candidate`, random
// primes of 20 to 100 digits (300 with a larger multiplier), every residue mod 8 and mod 3, and a run forced to
// each effort level. Each certificate is valid in both modes of the verifier and for PARI/GP.
TEST(Cli, CurveStepCertifiesAnyPrime) {
  TBox box;
  gmp_randclass random(gmp_randinit_default);
  random.seed(test::TestSeed());
  const bool gp = std::system("command -v gp >/dev/null 2>&1") == 0;
  std::vector<std::string> inputs;
  for (const char* expression : {"2^521-1", "10^200+357"}) {
    const TRun run = box.Run({"new", "a" + std::to_string(inputs.size()), "--candidate", expression});
    ASSERT_EQ(run.status, 0) << run.err;
    inputs.push_back(run.out.substr(0, run.out.size() - 1));
  }
  const auto add = [&](const mpz_class& p, int run) {
    inputs.push_back("p" + std::to_string(inputs.size() + 10) + ".in");  // in the order certified
    Write(box.work + "/" + inputs.back(), Input(p.get_str()) + "Run=" + std::to_string(run) + "\n");
  };
  std::vector<int> digits = {20, 45, 70, 100};
  if (test::TestMultiplier() >= 2) digits.insert(digits.end(), {150, 200, 300});
  const auto prime = [](mpz_class p) { return mpz_nextprime(p.get_mpz_t(), p.get_mpz_t()), p; };
  for (const int size : digits) {
    mpz_class low;
    mpz_ui_pow_ui(low.get_mpz_t(), 10, size - 1);
    add(prime(random.get_z_range(9 * low) + low), 1);
  }
  for (const int residue : {1, 5, 7, 11, 13, 17, 19, 23}) {  // mod 24: every class mod 8 and mod 3
    mpz_class p = random.get_z_bits(100) * 24 + residue;
    while (mpz_probab_prime_p(p.get_mpz_t(), 25) == 0) p += 24;
    add(p, 1);
  }
  for (int run = 1; run <= 6; ++run) add(prime(random.get_z_bits(120) | (mpz_class(1) << 120)), run);
  std::vector<std::string> args = {"--no-idle", "certify"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  TRun run = box.Run(args);
  const std::string total = std::to_string(inputs.size());
  ASSERT_EQ(Counts(run.out), total + "/" + total + "/" + total) << run.out;
  std::vector<std::string> outs = {"--full", "verify"};
  for (size_t i = 1; i <= inputs.size(); ++i) outs.push_back(Value(run.out, "Candidate #" + std::to_string(i), "Output"));
  const std::string reports = run.out;
  for (const char* mode : {"--full", "--signatures-only"}) {
    outs[0] = mode;
    run = box.Run(outs);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Count(run.out, "Status=Valid "), static_cast<int>(inputs.size())) << run.out;
  }
  for (size_t i = 2; i < outs.size(); ++i) {
    const std::string certificate = Read(box.work + "/" + outs[i]);
    if (gp) {
      EXPECT_EQ(GpCheck(certificate), "") << outs[i];
    }
    // The forced level is the first step's.
    const std::string report = Read(box.work + "/" + Value(reports, "Candidate #" + std::to_string(i - 1), "Report"));
    if (i + 6 >= outs.size()) {
      EXPECT_EQ(Value(report, "1", "Run"), std::to_string(i + 7 - outs.size())) << outs[i];
    }
  }
  EXPECT_EQ(Value(Read(box.work + "/a0.in"), "Candidate", "N"), "2^521-1");
  run = box.Run({"new", "bad", "--candidate", "2^^3"});
  EXPECT_TRUE(run.status == 1 && Has(run.err, "Error in expression, code = ") && !fs::exists(box.work + "/bad.in"))
      << run.err;
}

// SIGKILL at random moments of a certification, each time resumed from the working file, until it ends: the
// certificate is valid, for our verifier and for PARI/GP.
TEST(Cli, KilledAndResumedCertificationsEndValid) {
  TBox box;
  gmp_randclass random(gmp_randinit_default);
  random.seed(test::TestSeed() ^ 0x4B494C4CULL);
  // 300 digits take over a second, so the first kill always lands before the end.
  const int digits = test::TestMultiplier() >= 2 ? 500 : 300;
  mpz_class p = random.get_z_bits(digits * 332 / 100) | (mpz_class(1) << (digits * 332 / 100));
  mpz_nextprime(p.get_mpz_t(), p.get_mpz_t());
  Write(box.work + "/k.in", Input(p.get_str()));
  std::string file = "k.in";
  int kills = 0;
  for (int round = 0; round < 200; ++round) {
    box.Start({"--no-idle", "--no-reports", "certify", file});
    // The first kill comes before the end; later ones leave time for the longest single step.
    const long span = round == 0 ? 200 : digits * 10;
    std::this_thread::sleep_for(std::chrono::milliseconds(100 + mpz_class(random.get_z_range(span)).get_si()));
    kill(box.pid, SIGKILL);
    const TRun run = box.Wait();
    if (run.status == 0 && Has(run.out, Certified)) {
      file = Value(run.out, "Candidate #1", "Output");
      break;
    }
    ++kills;
    for (const auto& entry : fs::directory_iterator(box.work))
      if (entry.path().extension() == ".tmp") file = entry.path().filename().string();
  }
  ASSERT_TRUE(file.ends_with(".out")) << kills << " kills, last " << file;
  EXPECT_GE(kills, 1);
  const TRun run = box.Run({"--full", "verify", file});
  EXPECT_TRUE(run.status == 0 && Has(run.out, "Status=Valid certificate")) << run.out;
  if (std::system("command -v gp >/dev/null 2>&1") == 0) {
    EXPECT_EQ(GpCheck(Read(box.work + "/" + file)), "");
  }
}

TEST(Cli, CommandsAndUsageErrors) {
  struct TRow { std::string ini; std::vector<std::string> args; int status; std::string out, err, before = ""; };
  std::vector<TRow> rows = {
      {"", {"--version"}, 0, "karvo-cli 3.0.9\n", ""},
      {"", {"settings"}, 0, Defaults, ""},
      {"", {"--no-reports", "--full", "settings", "--double-file", "--no-idle"}, 0,
       "CertificationReports=0\nCheckSignaturesOnly=0\nDoubleFileManagement=1\nIdlePriority=0\n" +
           Defaults.substr(Defaults.find("BT1")), ""},
      {"", {"--full", "--signatures-only", "settings"}, 0, Defaults, ""},  // the last one wins
      {"", {"certify", "/proc/version"}, 2, "", "karvo-cli: Impossible to write on current disk"},
      // Primes below 2^26 take some 50 MB, more than the address space allowed.
      {"[Setup+]\nMSC=26\n", {"certify", "a.in"}, 2, "",
       "An error occurred while creating the prime table\nKarvo cannot run", "ulimit -v 32768 && "}};
  // A missing or damaged data file is named; the others are not even looked at.
  for (const char* damage : {"rm ../bin/karvo.xd3", "truncate -s -1 ../bin/karvo.xd5",
                             "rm ../bin/karvo.xp2"}) {
    const std::string name = std::string(damage).substr(std::string(damage).find("karvo."), 9);
    rows.push_back({"", {"certify", "a.in"}, 2, "",
                    "karvo-cli: An error occurred while loading the " + name +
                        " data file\nKarvo cannot run\n",
                    damage + std::string(" && ")});
  }
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"--bogus", "settings"}, {"certify"}, {"verify"}, {"new"},
           {"new", "a.in", "b.in"}, {"settings", "extra"}, {"--save", "certify", "a.in"}, {"certify", ""}}) {
    rows.push_back({"", args, 2, "", "\nTry 'karvo-cli --help' for more information.\n"});
  }
  for (const TRow& row : rows) {
    TBox box;
    if (!row.ini.empty()) Write(box.ini, row.ini);
    const TRun run = box.Run(row.args, row.before);
    EXPECT_TRUE(run.status == row.status && run.out == row.out && Has(run.err, row.err) &&
                (row.status != 2 || !row.before.empty() || run.err.rfind("karvo-cli: ", 0) == 0) &&
                Read(box.ini) == row.ini && fs::is_empty(box.work))
        << testing::PrintToString(row.args) << " exit " << run.status << "\n" << run.out << run.err;
  }
}

TEST(Cli, SettingsSaveWritesTheChoicesAndKeepsTheRest) {
  TBox box;
  Write(box.ini, "[Setup]\nIdlePriority=0\nOwnKey=kept\n\n[Setup+]\nBT1=5\nCPC=900\n\n[System]\nQAV=1\n"
                 "\n[Elsewhere]\nx=y\n");
  const TRun run = box.Run({"--no-reports", "--full", "settings", "--save"});
  ASSERT_EQ(run.status, 0) << run.err;  // CPC held within 100..500
  EXPECT_TRUE(Has(run.out, "IdlePriority=0\nBT1=5\n") && Has(run.out, "\nCPC=500\nQAV=1\n")) << run.out;
  const std::string ini = Read(box.ini);  // the flags, the file's choice, and the rest as it was
  std::string saved = Value(ini, "Setup+", "BT1") + Value(ini, "Setup+", "CPC") + Value(ini, "Elsewhere", "x");
  for (const char* key : {"CertificationReports", "CheckSignaturesOnly", "DoubleFileManagement", "IdlePriority", "OwnKey"})
    saved += Value(ini, "Setup", key);
  EXPECT_EQ(saved, "5900y0000kept") << ini;
  EXPECT_EQ(box.Run({"settings"}).out.substr(0, 80), run.out.substr(0, 80));
}

// On a terminal the progress is one line: each redraw a carriage return, then the
// line cleared to its end, up to the closing line with the outcome.
TEST(Cli, ProgressIsOneLineRewrittenOnATerminal) {
  TBox box;
  Write(box.work + "/p.in", Input(MediumPrime().dec));
  box.Start({"--no-idle", "certify", "p.in"}, "exec script -q -e -c \"stty cols 120 && TERM=xterm ",
            "\" /dev/null");
  const TRun run = box.Wait();
  const size_t first = run.out.find("\rCandidate 1/1 | Phase "), last = run.out.find(" | " + Certified);
  ASSERT_TRUE(run.status == 0 && first < last) << run.out;
  const std::string progress = run.out.substr(first, run.out.find("\r\n", last) - first);
  const int redraws = Count(progress, "\r");
  EXPECT_TRUE(!Has(progress, "\n") && redraws >= 2 && redraws == Count(progress, "\x1b[K") &&
              redraws == Count(progress, "\rCandidate 1/1 | Phase ") &&
              Has(progress, "\rCandidate 1/1 | Phase 0 | Test 0 | Run -\x1b[K")) << progress;
  const std::string closing = progress.substr(progress.rfind('\r'));
  EXPECT_TRUE(Has(closing, "| Phase 2 | Test ") && Has(closing, " | Run - | Bits ") &&
              Has(closing, "/" + std::to_string(MediumPrime().bits) + " | ") && Has(closing, " | Elapsed "))
      << closing;
  EXPECT_TRUE(Has(run.out.substr(last), "\n[KARVO - Task Report]")) << run.out;
}

}  // namespace
}  // namespace karvo
