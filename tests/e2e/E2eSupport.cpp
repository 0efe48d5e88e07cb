#include "E2eSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/TestEnv.h"

namespace karvo::e2e {

namespace fs = std::filesystem;

namespace {

// Only a stuck child gets near this; it turns a hang into a failure.
constexpr auto StuckChildLimit = std::chrono::minutes(10);
constexpr auto PollPeriod = std::chrono::milliseconds(20);
constexpr unsigned long SmallPrimeLimit = 1UL << 14;
constexpr int32_t ChainStartBits = 40;
// The certifier divides the orders of N up to 192 bits by the primes below
// 2^16 only, whatever the size of its prime table.
constexpr unsigned long SplitTrialLimit = 1UL << 16;
constexpr int32_t MaxUncertifiableBits = 192;

class GmpInt {
 public:
  GmpInt() { mpz_init(v_); }
  ~GmpInt() { mpz_clear(v_); }
  GmpInt(const GmpInt&) = delete;
  GmpInt& operator=(const GmpInt&) = delete;
  operator mpz_ptr() { return v_; }
  operator mpz_srcptr() const { return v_; }

 private:
  mpz_t v_;
};

class GmpRandom {
 public:
  explicit GmpRandom(uint64_t seed) {
    gmp_randinit_default(state_);
    GmpInt s;
    mpz_import(s, 1, 1, sizeof seed, 0, 0, &seed);
    gmp_randseed(state_, s);
  }
  ~GmpRandom() { gmp_randclear(state_); }
  GmpRandom(const GmpRandom&) = delete;
  GmpRandom& operator=(const GmpRandom&) = delete;

  unsigned long Below(unsigned long n) { return gmp_urandomm_ui(state_, n); }
  // A random number of exactly bits bits.
  void Bits(mpz_ptr x, int32_t bits) {
    mpz_urandomb(x, state_, static_cast<mp_bitcnt_t>(bits - 1));
    mpz_setbit(x, static_cast<mp_bitcnt_t>(bits - 1));
  }

 private:
  gmp_randstate_t state_;
};

std::string Text(mpz_srcptr x, int base) {
  char* text = mpz_get_str(nullptr, base, x);
  std::string result(text);
  void (*release)(void*, size_t) = nullptr;
  mp_get_memory_functions(nullptr, nullptr, &release);
  release(text, result.size() + 1);
  return result;
}

int32_t BitSize(mpz_srcptr x) { return static_cast<int32_t>(mpz_sizeinbase(x, 2)); }

TCandidate Candidate(mpz_srcptr x) {
  TCandidate candidate;
  candidate.Decimal = Text(x, 10);
  candidate.Hex = Text(x, -16);
  candidate.Bits = BitSize(x);
  return candidate;
}

bool IsProbablePrime(mpz_srcptr x) { return mpz_probab_prime_p(x, 25) != 0; }

// A random small prime below 2^14 (3 and up).
unsigned long SmallPrime(GmpRandom& random) {
  for (;;) {
    const unsigned long p = 3 + random.Below(SmallPrimeLimit - 3);
    GmpInt x;
    mpz_set_ui(x, p);
    if (mpz_probab_prime_p(x, 25) != 0) {
      return p;
    }
  }
}

// Whether m has no split the certifier could use at N = n: once the primes
// below 2^16 are divided out (all it tries up to 192 bits), the cofactor is
// at most √N or not prime.
bool SplitImpossible(mpz_srcptr m, mpz_srcptr n) {
  GmpInt q;
  GmpInt root;
  mpz_sqrt(root, n);
  mpz_tdiv_q_2exp(q, m, mpz_scan1(m, 0));
  for (unsigned long p = 3; p < SplitTrialLimit; p += 2) {
    while (mpz_divisible_ui_p(q, p) != 0) {
      mpz_divexact_ui(q, q, p);
    }
  }
  return mpz_cmp(q, root) <= 0 || !IsProbablePrime(q);
}

}  // namespace

// --- TCliProcess -----------------------------------------------------------

TCliProcess::TCliProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& folder, const std::string& outFile,
                         const std::string& errFile)
    : outFile_(outFile), errFile_(errFile) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls until exec.
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(folder.c_str()) != 0) {
      _exit(127);
    }
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    signal(SIGINT, SIG_DFL);
    execv(argv[0], argv.data());
    _exit(127);
  }
  EXPECT_GT(pid_, 0) << "fork failed";
}

TCliProcess::~TCliProcess() {
  if (pid_ > 0 && !done_) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

bool TCliProcess::Running() {
  if (done_ || pid_ <= 0) {
    return false;
  }
  int status = 0;
  const pid_t ended = waitpid(pid_, &status, WNOHANG);
  if (ended == pid_) {
    done_ = true;
    signaled_ = WIFSIGNALED(status);
    status_ = signaled_ ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return false;
  }
  return ended == 0;
}

void TCliProcess::Interrupt() {
  if (Running()) {
    kill(pid_, SIGINT);
  }
}

TRunResult TCliProcess::Wait() {
  WaitUntil([] { return false; });
  TRunResult result;
  result.Status = status_;
  result.Signaled = signaled_;
  result.Out = ReadText(outFile_);
  result.Err = ReadText(errFile_);
  return result;
}

std::string TCliProcess::ErrorText() const { return ReadText(errFile_); }

bool TCliProcess::WaitUntil(const std::function<bool()>& condition) {
  const auto limit = std::chrono::steady_clock::now() + StuckChildLimit;
  for (;;) {
    if (condition()) {
      return true;
    }
    if (!Running()) {
      return condition();
    }
    if (std::chrono::steady_clock::now() > limit) {
      ADD_FAILURE() << "karvo-cli seems stuck; killed";
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      done_ = true;
      signaled_ = true;
      status_ = 128 + SIGKILL;
      return false;
    }
    std::this_thread::sleep_for(PollPeriod);
  }
}

// --- TSandbox --------------------------------------------------------------

TSandbox::TSandbox() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/karvo-e2e-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary folder";
  }
  root_ = pattern;
  fs::create_directories(root_ + "/bin");
  fs::create_directories(Work());
  fs::copy_file(KARVO_CLI_PATH, Program());
  fs::permissions(Program(), fs::perms::owner_all);
}

TSandbox::~TSandbox() {
  if (testing::Test::HasFailure()) {
    std::printf("Kept for inspection: %s\n", root_.c_str());
    return;
  }
  std::error_code error;
  fs::remove_all(root_, error);
}

std::string TSandbox::WorkPath(const std::string& name) const { return Work() + "/" + name; }

std::string TSandbox::NextCaptureName(const char* stream) {
  return root_ + "/run-" + std::to_string(runs_) + "." + stream;
}

TRunResult TSandbox::Run(const std::vector<std::string>& args, const std::string& folder) {
  return Start(args, folder)->Wait();
}

std::unique_ptr<TCliProcess> TSandbox::Start(const std::vector<std::string>& args,
                                             const std::string& folder) {
  ++runs_;
  return std::make_unique<TCliProcess>(Program(), args, folder.empty() ? Work() : folder,
                                       NextCaptureName("out"), NextCaptureName("err"));
}

TRunResult TSandbox::RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::string& folder) {
  ++runs_;
  TCliProcess process(program, args, folder.empty() ? Work() : folder, NextCaptureName("out"),
                      NextCaptureName("err"));
  return process.Wait();
}

// --- Files -----------------------------------------------------------------

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void ReplaceText(const std::string& path, const std::string& text) {
  const std::string sibling = path + ".new-e2e";
  WriteText(sibling, text);
  fs::rename(sibling, path);
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TSections ReadSections(const std::string& path) {
  TSections sections;
  std::istringstream in(ReadText(path));
  std::string line;
  std::string current;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = line.substr(1, line.size() - 2);
      sections[current];
      continue;
    }
    const size_t equal = line.find('=');
    if (equal != std::string::npos) {
      sections[current].emplace(line.substr(0, equal), line.substr(equal + 1));
    }
  }
  return sections;
}

std::string Value(const TSections& sections, const std::string& section, const std::string& key) {
  const auto found = sections.find(section);
  if (found == sections.end()) {
    return "";
  }
  const auto value = found->second.find(key);
  return value == found->second.end() ? "" : value->second;
}

std::string TaskReportPath(const std::string& folder, const TRunResult& run) {
  const std::string key = "\nID=";
  const size_t at = run.Out.find(key);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no task report printed:\n" << run.Out << run.Err;
    return "";
  }
  const size_t end = run.Out.find('\n', at + key.size());
  return folder + "/karvo-" + run.Out.substr(at + key.size(), end - at - key.size()) + ".tr";
}

std::string InputText(const std::string& decimalN) {
  return "[KARVO - Input]\nVersion=3.0.9\nFormat=1\n\n[Candidate]\nN=" + decimalN + "\n";
}

std::string InputTextHex(const std::string& hexN) {
  return "[KARVO - Input]\nVersion=3.0.9\nFormat=1\n\n[Candidate]\nN$=" + hexN + "\n";
}

std::string FreshWorkingFileText(const TCandidate& candidate) {
  return "[KARVO - Primality Certificate]\nVersion=3.0.9\nFormat=3\nID=0123456789ABC\n"
         "TestCount=0\nStatus=Running\n\n"
         "[Running Times]\nInitialization=0\n1stPhase=0\n2ndPhase=0\nTotal=0\n\n"
         "[Candidate]\nN$=" +
         candidate.Hex + "\nBinarySize=" + std::to_string(candidate.Bits) +
         "\n\n[X]\nve=3009\nce=1\npe=1\ntx=0\nsf=0\n";
}

// --- Candidates --------------------------------------------------------------

TCandidate ChainPrime(int32_t bits, uint64_t seed) {
  GmpRandom random(seed);
  GmpInt r;
  random.Bits(r, ChainStartBits);
  mpz_nextprime(r, r);
  GmpInt k;
  GmpInt n;
  while (BitSize(r) < bits) {
    // k < R keeps R above √N. Steps of at most a third of R's size give a
    // chain of many tests, still cheap to build.
    const int32_t gain = std::min(bits - BitSize(r), std::max(8, BitSize(r) / 3));
    for (;;) {
      // At least one random factor, or a short last step would retry the
      // same two numbers for ever.
      mpz_set_ui(k, 2);
      do {
        mpz_mul_ui(k, k, SmallPrime(random));
      } while (BitSize(k) < gain - 6);
      mpz_mul(n, k, r);
      if (random.Below(2) == 0) {
        mpz_add_ui(n, n, 1);
      } else {
        mpz_sub_ui(n, n, 1);
      }
      if (IsProbablePrime(n)) {
        break;
      }
    }
    mpz_set(r, n);
  }
  return Candidate(r);
}

const TCandidate& MediumChainPrime() {
  static const TCandidate prime = ChainPrime(2000, test::TestSeed() ^ 0x4D454449554DULL);
  return prime;
}

TCandidate UncertifiablePrime(int32_t bits, uint64_t seed) {
  EXPECT_LE(bits, MaxUncertifiableBits);
  GmpRandom random(seed);
  GmpInt n;
  GmpInt m;
  for (;;) {
    random.Bits(n, bits);
    mpz_nextprime(n, n);
    mpz_sub_ui(m, n, 1);
    if (!SplitImpossible(m, n)) {
      continue;
    }
    mpz_add_ui(m, n, 1);
    if (SplitImpossible(m, n)) {
      return Candidate(n);
    }
  }
}

TCandidate CompositeNumber(int32_t bits, uint64_t seed) {
  const TCandidate prime = ChainPrime(bits, seed);
  GmpInt n;
  mpz_set_str(n, prime.Decimal.c_str(), 10);
  mpz_mul_ui(n, n, 3);
  return Candidate(n);
}

}  // namespace karvo::e2e
