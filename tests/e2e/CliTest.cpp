// karvo-cli as a user meets it: a process on real files, in a private folder
// holding a copy of the program (bin/, beside its own karvo.ini) and the
// files (work/).

#include <gmp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "support/TestEnv.h"

namespace karvo {
namespace {

namespace fs = std::filesystem;
const std::string Certified = "Candidate certified prime", Aborted = "Aborted by user";
const std::string Confirm = "Press Ctrl-C again within 7 s to abort";
const std::string Broken = "[KARVO - Primality Certificate]\nFormat=3\nTestCount=1\n";
const std::string Defaults =
    "CertificationReports=1\nCheckSignaturesOnly=1\nDoubleFileManagement=0\nIdlePriority=1\n"
    "BT1=12\nBT2=24\nBT3=48\nBT4=96\nBT5=192\nMRF=8\nMSC=23\nCPC=100\nQAV=0\nNM1=1\nNP1=1\nBHB=0\n";

std::string Read(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}
void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The value of key in [section] of a file's text, "" when absent.
std::string Value(std::string text, const std::string& section, const std::string& key) {
  std::erase(text, '\r');
  const size_t start = text.find("[" + section + "]\n");
  const size_t at = start == std::string::npos ? start : text.find("\n" + key + "=", start);
  if (at == std::string::npos || at > text.find("\n[", start + 1)) return "";
  const size_t from = at + key.size() + 2;
  return text.substr(from, text.find('\n', from) - from);
}

std::string Input(const std::string& n, const std::string& key = "N") {
  return "[KARVO - Input]\nVersion=3.0.9\nFormat=1\n\n[Candidate]\n" + key + "=" + n + "\n";
}

struct TNumber {
  std::string dec, hex;  // hexadecimal in upper case, as karvo writes it
  size_t bits;
};

// A prime of at least `bits` bits that the N-1 and N+1 steps certify all the
// way down: a chain from a 40-bit prime R, each step k·R ± 1 with k even and
// made of primes near 2^14, short enough that R > √N. Times `times`: 3 makes
// a composite.
TNumber ChainPrime(size_t bits, uint64_t seed, unsigned long times = 1) {
  gmp_randstate_t random;
  gmp_randinit_default(random);
  gmp_randseed_ui(random, seed);
  mpz_t r, k, n;
  mpz_inits(r, k, n, nullptr);
  mpz_urandomb(r, random, 39);
  mpz_setbit(r, 39);
  mpz_nextprime(r, r);
  while (mpz_sizeinbase(r, 2) < bits) {
    const size_t size = mpz_sizeinbase(r, 2), gain = std::min(bits - size, std::max<size_t>(8, size / 3));
    do {
      mpz_set_ui(k, 2);
      do {  // at least one random factor, or a short last step would loop
        mpz_urandomb(n, random, 14);
        mpz_nextprime(n, n);
        mpz_mul(k, k, n);
      } while (mpz_sizeinbase(k, 2) + 6 < gain);
      mpz_mul(n, k, r);
      (gmp_urandomb_ui(random, 1) != 0 ? mpz_add_ui : mpz_sub_ui)(n, n, 1);
    } while (mpz_probab_prime_p(n, 25) == 0);
    mpz_swap(r, n);
  }
  mpz_mul_ui(r, r, times);
  const size_t size = mpz_sizeinbase(r, 2);
  std::string dec(mpz_sizeinbase(r, 10) + 2, '\0'), hex(mpz_sizeinbase(r, 16) + 2, '\0');
  mpz_get_str(dec.data(), 10, r);
  mpz_get_str(hex.data(), -16, r);
  mpz_clears(r, k, n, nullptr);
  gmp_randclear(random);
  return {dec.c_str(), hex.c_str(), size};
}

// 2000 bits, built once: a few tenths of a second of certification, long
// enough to be watched and interrupted.
const TNumber& MediumPrime() {
  static const TNumber prime = ChainPrime(2000, test::TestSeed() ^ 0x4D454449554DULL);
  return prime;
}

struct TRun {
  int status;  // the exit status, or minus the signal that ended the program
  std::string out, err;
};

// The test's folder, kept when the test failed. Commands run by the shell in
// work/, their output going to files in the folder.
struct TBox {
  std::string root = [] {
    std::string path = (fs::temp_directory_path() / "karvo-e2e-XXXXXX").string();
    EXPECT_NE(mkdtemp(path.data()), nullptr);
    return path;
  }();
  std::string work = root + "/work", ini = root + "/bin/karvo.ini";
  pid_t pid = -1;

  TBox() {
    fs::create_directories(work);
    fs::create_directories(root + "/bin");
    fs::copy_file(KARVO_CLI_PATH, root + "/bin/karvo-cli");
  }
  ~TBox() {
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    if (!testing::Test::HasFailure()) fs::remove_all(root);
  }
  std::string Cli(const std::vector<std::string>& args) const {
    std::string command = "exec '" + root + "/bin/karvo-cli'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    return command;
  }
  void Start(const std::string& command) {
    const std::string line = command + " </dev/null >'" + root + "/out' 2>'" + root + "/err'";
    pid = fork();
    if (pid == 0) {
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
  TRun Run(const std::vector<std::string>& args, const std::string& before = "") {
    Start(before + Cli(args));
    return Wait();
  }
  std::string Err() const { return Read(root + "/err"); }
  // Polls until condition holds; false once the program has ended without it.
  bool Until(const std::function<bool()>& condition) const {
    for (int i = 0; i < 30000; ++i) {  // ten minutes: only a stuck program gets there
      siginfo_t info{};
      if (condition()) return true;
      if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
  }
};

TEST(Cli, CertifyThenVerify) {
  TBox box;
  const uint64_t seed = test::TestSeed();
  const TNumber primes[] = {ChainPrime(130, seed), ChainPrime(160, seed + 1),
                            ChainPrime(200, seed + 2), ChainPrime(90, seed + 3)};
  fs::create_directories(box.work + "/a-dir");
  fs::create_directories(box.work + "/B-dir");
  // `new` writes the template, never over a file; filled in, it certifies.
  TRun run = box.Run({"new", "a-dir/Zeta"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "a-dir/Zeta.in\n");
  run = box.Run({"new", "a-dir/Zeta.in"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.err, "already exists")) << run.err;
  std::string form = Read(box.work + "/a-dir/Zeta.in");
  ASSERT_TRUE(Has(form, "\nN=")) << form;
  Write(box.work + "/a-dir/Zeta.in", form.insert(form.find("\nN=") + 3, primes[2].dec));
  Write(box.work + "/a-dir/Beta.in", Input(primes[0].dec));
  Write(box.work + "/a-dir/beta.in", Input(primes[1].hex, "N$"));
  Write(box.work + "/B-dir/alpha.in", Input(primes[3].dec));

  // Paths in order regardless of case (upper case first on a tie), a path
  // given twice counted once, every output in the folder of the first one.
  run = box.Run({"certify", "B-dir/alpha.in", "a-dir/Zeta.in", "a-dir/beta.in", "a-dir/Beta.in",
                 "a-dir/Zeta.in"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string id = Value(run.out, "KARVO - Task Report", "ID"), dir = box.work + "/a-dir/";
  EXPECT_EQ(Value(Read(dir + "karvo-" + id + ".tr"), "Common", "Certified"), "4");
  EXPECT_EQ(Value(run.out, "Common", "Selected") + Value(run.out, "Common", "Processed") +
                Value(run.out, "Common", "Certified"), "444");
  const char* inputs[] = {"Beta.in", "beta.in", "Zeta.in", "alpha.in"};
  const auto out = [&](int i) { return "karvo-" + id + "-00" + std::to_string(i) + ".out"; };
  for (int i = 1; i <= 4; ++i) {
    const std::string section = "Candidate #" + std::to_string(i);
    EXPECT_EQ(Value(run.out, section, "Input"), inputs[i - 1]);
    EXPECT_EQ(Value(run.out, section, "Status"), Certified);
    EXPECT_EQ(Value(run.out, section, "Output"), out(i));
    EXPECT_EQ(Value(run.out, "Common", section).rfind("Certified, ", 0), 0u);
    EXPECT_EQ(Value(Read(dir + out(i)), "Candidate", "N$"), primes[i - 1].hex);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(box.work + "/B-dir"), {}), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(box.work), {}), 2);
  // Off a terminal the progress is plain lines, each file closed by its outcome.
  EXPECT_EQ(Count(run.err, "| " + Certified + "\n"), 4) << run.err;
  EXPECT_EQ(Count("\n" + run.err, "\nCandidate "), Count(run.err, "\n")) << run.err;
  EXPECT_TRUE(Has(run.err, "Candidate 4/4 | Phase ") && !Has(run.err, "\r")) << run.err;

  run = box.Run({"--full", "verify", "a-dir/" + out(3), "a-dir/" + out(1), "a-dir/" + out(4),
                 "a-dir/" + out(2)});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Count(run.out, "Status=Valid certificate"), 4) << run.out;
  EXPECT_EQ(Value(run.out, "Common", "Valid"), "4");
  EXPECT_EQ(Value(run.out, "Certificate #1", "Input"), out(1));
  EXPECT_TRUE(Has(run.err, "Certificate 4/4")) << run.err;
  std::string changed = Read(dir + out(1));
  const size_t digit = changed.find("\n2$=") + 4;
  ASSERT_LT(digit, changed.size());
  changed[digit] = changed[digit] == '1' ? '2' : '1';
  Write(dir + "changed.out", changed);
  Write(dir + "broken.out", Broken);
  const struct {
    std::string flag, file, shows;
    int status;
  } checks[] = {{"--signatures-only", out(1), "Status=Valid signature", 0},
                {"--signatures-only", "changed.out", "NOT VALID", 1},
                {"--full", "changed.out", "Status=Valid certificate", 0},  // signed again
                {"--signatures-only", "changed.out", "Status=Valid signature", 0},
                {"--full", "broken.out", "NOT VALID", 1}};
  for (const auto& check : checks) {
    run = box.Run({check.flag, "verify", "a-dir/" + check.file});
    EXPECT_EQ(run.status, check.status) << check.flag << " " << check.file;
    EXPECT_TRUE(Has(run.out, check.shows)) << check.flag << " " << check.file << "\n" << run.out;
  }

  // A file that fails, even one alone, makes the exit status 1.
  Write(box.work + "/b.in", Input(ChainPrime(120, seed, 3).dec));
  Write(box.work + "/c.in", Input("2^127-1"));  // no N-1 or N+1 split: needs curves
  run = box.Run({"certify", "c.in", "b.in", "a-missing.in"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Value(run.out, "Candidate #1", "Status"), "Invalid file name");
  EXPECT_EQ(Value(run.out, "Candidate #2", "Status"), "Candidate divisible by 3");
  EXPECT_EQ(Value(run.out, "Candidate #3", "Status"), "Failed, impossible to certify last N");
  EXPECT_EQ(Value(run.out, "Common", "Candidate #3").rfind("Failed, ", 0), 0u);
}

TEST(Cli, ATaskTakes999FilesAtMost) {
  for (const int files : {999, 1000}) {
    TBox box;
    std::vector<std::string> args = {"verify"};
    for (int i = 0; i < files; ++i) {
      args.push_back(std::to_string(10000 + i) + ".out");
      Write(box.work + "/" + args.back(), Broken);
    }
    const TRun run = box.Run(args);
    EXPECT_EQ(run.status, files == 999 ? 1 : 2);
    EXPECT_EQ(Has(run.err, "Karvo cannot manage more than 999 files"), files == 1000) << files;
    EXPECT_EQ(Value(run.out, "Common", "Processed"), files == 999 ? "999" : "");
    EXPECT_EQ(Value(run.out, "Certificate #999", "Input"), files == 999 ? "10998.out" : "");
    EXPECT_EQ(Read(box.work + "/10000.out"), Broken);
  }
}

// One Ctrl-C is forgotten after 7 s, a second one within 7 s aborts the file
// under way (resumable) and skips the rest.
TEST(Cli, CtrlCTwiceAbortsOnceIsForgotten) {
  TBox box;
  const int copies = 400;  // more than 7 s of work on any machine
  std::vector<std::string> args = {"--no-idle", "--no-reports", "certify"};
  for (int i = 0; i < copies; ++i) {
    args.push_back(std::to_string(1000 + i) + ".in");
    Write(box.work + "/" + args.back(), Input(MediumPrime().dec));
  }
  box.Start(box.Cli(args));
  const auto shown = [&](const std::string& text, int times) {
    return box.Until([&] { return Count(box.Err(), text) >= times; });
  };
  ASSERT_TRUE(shown("| " + Certified, 1)) << box.Err();
  kill(box.pid, SIGINT);
  ASSERT_TRUE(shown("Abort request dropped", 1)) << box.Err();
  kill(box.pid, SIGINT);
  ASSERT_TRUE(shown(Confirm, 2)) << box.Err();
  kill(box.pid, SIGINT);
  TRun run = box.Wait();
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_EQ(Count(run.err, "Abort request dropped"), 1);
  EXPECT_EQ(Value(run.out, "Common", "Selected"), std::to_string(copies));
  const int processed = std::atoi(Value(run.out, "Common", "Processed").c_str());
  ASSERT_GE(processed, 2);
  ASSERT_LT(processed, copies);
  EXPECT_EQ(Value(run.out, "Common", "Certified"), std::to_string(processed - 1));
  EXPECT_EQ(Value(run.out, "Candidate #" + std::to_string(processed - 1), "Status"), Certified);
  const std::string section = "Candidate #" + std::to_string(processed);
  EXPECT_EQ(Value(run.out, section, "Status"), Aborted);
  EXPECT_EQ(Value(run.out, "Candidate #" + std::to_string(processed + 1), "Input"), "");
  EXPECT_TRUE(Has(run.err, "| " + Aborted)) << run.err;

  const std::string working = Value(run.out, section, "Output");
  EXPECT_EQ(Value(Read(box.work + "/" + working), "KARVO - Primality Certificate", "Status"), Aborted);
  run = box.Run({"--no-idle", "certify", working});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Value(run.out, "Candidate #1", "Status"), Certified);
  EXPECT_FALSE(fs::exists(box.work + "/" + working));
  run = box.Run({"--full", "verify", working.substr(0, working.size() - 4) + ".out"});
  EXPECT_EQ(run.status, 0) << run.out;
}

// A working file in phase 2 made from a real certificate, its first test
// turned back into a pending curve test (class number one, discriminant code
// 3): the curve step does not exist yet, so completing it is an internal
// error, which ends that file alone.
TEST(Cli, AnInternalErrorEndsItsFileAlone) {
  TBox box;
  const uint64_t seed = test::TestSeed();
  Write(box.work + "/real.in", Input(ChainPrime(300, seed).dec));
  TRun run = box.Run({"--no-reports", "certify", "real.in"});
  ASSERT_EQ(run.status, 0);
  std::string text = Read(box.work + "/" + Value(run.out, "Candidate #1", "Output"));
  std::erase(text, '\r');
  const size_t second = text.find("\n[2]\n"), signature = text.find("[Signature]");
  ASSERT_LT(second, signature) << text;
  text = text.substr(0, text.find("[1]\n")) + "[1]\nType=-3\nS$=" + Value(text, "1", "S$") +
         "\nR$=" + Value(text, "1", "R$") + "\ndc=3\nrn=1\npm=3\n" +
         text.substr(second, signature - second) + "[X]\nve=3009\npe=2\ntx=0\n";
  text.replace(text.find(Certified), Certified.size(), "Running");
  Write(box.work + "/a-curve.tmp", text);
  Write(box.work + "/b-good.in", Input(ChainPrime(150, seed + 1).dec));
  Write(box.work + "/c-curve.tmp", text);
  run = box.Run({"certify", "c-curve.tmp", "b-good.in", "a-curve.tmp"});
  EXPECT_EQ(run.status, 1) << run.err;
  const std::string internal = "ABORTED DUE TO INTERNAL ERROR 2.15.1";
  EXPECT_EQ(Value(run.out, "Common", "Processed") + Value(run.out, "Common", "Certified"), "31");
  EXPECT_EQ(Value(run.out, "Candidate #1", "Input"), "a-curve.tmp");
  EXPECT_EQ(Value(run.out, "Candidate #1", "Status"), internal);
  EXPECT_EQ(Value(run.out, "Common", "Candidate #1").rfind("Aborted, ", 0), 0u);
  EXPECT_EQ(Value(run.out, "Candidate #2", "Status"), Certified);
  EXPECT_EQ(Value(run.out, "Candidate #3", "Status"), internal);
  EXPECT_EQ(Count(run.err, "| " + internal), 2) << run.err;
  // The working files stay, marked with the outcome, for a later run.
  text = Read(box.work + "/a-curve.tmp");
  EXPECT_EQ(Value(text, "KARVO - Primality Certificate", "Status"), internal);
  EXPECT_EQ(Value(text, "1", "Type"), "-3");
  EXPECT_TRUE(fs::exists(box.work + "/c-curve.tmp"));
}

TEST(Cli, CommandsAndUsageErrors) {
  const std::string ini = "[Setup]\nCertificationReports=0\nIdlePriority=0\nOwnKey=kept\n\n"
                          "[Setup+]\nBT1=5\nMSC=20\nCPC=900\n\n[System]\nQAV=1\n\n[Elsewhere]\nx=y\n";
  const std::string edited = "CertificationReports=0\nCheckSignaturesOnly=1\nDoubleFileManagement=0\n"
                             "IdlePriority=0\nBT1=5\nBT2=24\nBT3=48\nBT4=96\nBT5=192\nMRF=8\nMSC=20\n"
                             "CPC=500\nQAV=1\nNM1=1\nNP1=1\nBHB=0\n";  // CPC within 100..500
  // "karvo-cli: " and a message, then the hint.
  const std::string usage = "\nTry 'karvo-cli --help' for more information.\n";
  const struct {
    std::string ini;
    std::vector<std::string> args;
    int status;
    std::string out, err, before = "";
  } rows[] = {
      {"", {"--version"}, 0, "karvo-cli 3.0.9\n", ""},
      {"", {"settings"}, 0, Defaults, ""},
      {"", {"--no-reports", "--full", "settings", "--double-file", "--no-idle"}, 0,
       "CertificationReports=0\nCheckSignaturesOnly=0\nDoubleFileManagement=1\nIdlePriority=0\n" +
           Defaults.substr(Defaults.find("BT1")), ""},
      {"", {"--full", "--signatures-only", "settings"}, 0, Defaults, ""},  // the last one wins
      {ini, {"settings"}, 0, edited, ""},
      {"", {}, 2, "", usage},
      {"", {"frobnicate"}, 2, "", usage},
      {"", {"--bogus", "settings"}, 2, "", usage},
      {"", {"certify"}, 2, "", usage},
      {"", {"verify"}, 2, "", usage},
      {"", {"new"}, 2, "", usage},
      {"", {"new", "a.in", "b.in"}, 2, "", usage},
      {"", {"settings", "extra"}, 2, "", usage},
      {"", {"--save", "certify", "a.in"}, 2, "", usage},
      {"", {"certify", ""}, 2, "", usage},
      {"", {"certify", "/proc/version"}, 2, "", "Impossible to write on current disk"},
      // Primes below 2^26 take some 50 MB, more than the address space allowed.
      {"[Setup+]\nMSC=26\n", {"certify", "a.in"}, 2, "",
       "An error occurred while creating the prime table\nKarvo cannot run", "ulimit -v 32768 && "},
  };
  for (const auto& row : rows) {
    TBox box;
    if (!row.ini.empty()) Write(box.ini, row.ini);
    const TRun run = box.Run(row.args, row.before);
    std::string shown;
    for (const std::string& arg : row.args) shown += " '" + arg + "'";
    EXPECT_EQ(run.status, row.status) << shown;
    EXPECT_EQ(run.out, row.out) << shown;
    EXPECT_TRUE(Has(run.err, row.err)) << shown << "\n" << run.err;
    EXPECT_TRUE(row.err != usage || run.err.rfind("karvo-cli: ", 0) == 0) << shown;
    EXPECT_EQ(Read(box.ini), row.ini) << shown;
    EXPECT_TRUE(fs::is_empty(box.work)) << shown;
  }
}

TEST(Cli, SettingsSaveWritesTheChoicesAndKeepsTheRest) {
  TBox box;
  Write(box.ini, "[Setup]\nIdlePriority=0\nOwnKey=kept\n\n[Setup+]\nCPC=900\n\n[Elsewhere]\nx=y\n");
  const TRun run = box.Run({"--no-reports", "--full", "settings", "--save"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string ini = Read(box.ini);
  EXPECT_EQ(Value(ini, "Setup", "CertificationReports") + Value(ini, "Setup", "CheckSignaturesOnly") +
                Value(ini, "Setup", "DoubleFileManagement") + Value(ini, "Setup", "IdlePriority"),
            "0000") << ini;
  EXPECT_EQ(Value(ini, "Setup", "OwnKey") + Value(ini, "Setup+", "CPC") + Value(ini, "Elsewhere", "x"),
            "kept900y") << ini;
  EXPECT_EQ(box.Run({"settings"}).out.substr(0, 80), run.out.substr(0, 80));
}

// On a terminal the progress is one line, each redraw a carriage return then
// the line cleared to its end, until the closing line with the outcome.
TEST(Cli, ProgressIsOneLineRewrittenOnATerminal) {
  TBox box;
  Write(box.work + "/p.in", Input(MediumPrime().dec));
  box.Start("exec script -q -e -c \"stty cols 120 && TERM=xterm " +
            box.Cli({"--no-idle", "certify", "p.in"}) + "\" /dev/null");
  const TRun run = box.Wait();
  ASSERT_EQ(run.status, 0) << run.err;
  const size_t first = run.out.find("\rCandidate 1/1 | Phase "), last = run.out.find(" | " + Certified);
  ASSERT_LT(first, last) << run.out;
  const std::string progress = run.out.substr(first, run.out.find("\r\n", last) - first);
  EXPECT_FALSE(Has(progress, "\n")) << progress;
  EXPECT_GE(Count(progress, "\r"), 2);
  EXPECT_EQ(Count(progress, "\r"), Count(progress, "\x1b[K"));
  EXPECT_EQ(Count(progress, "\r"), Count(progress, "\rCandidate 1/1 | Phase "));
  EXPECT_TRUE(Has(progress, "\rCandidate 1/1 | Phase 0 | Test 0 | Run -\x1b[K")) << progress;
  const std::string closing = progress.substr(progress.rfind('\r'));
  EXPECT_TRUE(Has(closing, "| Phase 2 | Test ") && Has(closing, " | Run - | Bits ") &&
              Has(closing, "/" + std::to_string(MediumPrime().bits) + " | ") && Has(closing, " | Elapsed ")) << closing;
  EXPECT_TRUE(Has(run.out.substr(last), "\n[KARVO - Task Report]")) << run.out;
}

}  // namespace
}  // namespace karvo
