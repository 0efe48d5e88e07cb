#include "CertifierTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>

#include "arith/PrimeTable.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "checks/Verifier.h"
#include "files/FileFormats.h"
#include "support/EngineRuns.h"
#include "support/TestEnv.h"

namespace karvo::test {

namespace {

// Enough primes for the trial division of every size the tests use.
constexpr uint32_t SievedPrimesLimit = uint32_t{1} << 20;

const std::vector<uint32_t>& SievedPrimes() {
  static const std::vector<uint32_t> primes = [] {
    std::vector<bool> composite(SievedPrimesLimit, false);
    std::vector<uint32_t> list;
    for (uint32_t p = 2; p < SievedPrimesLimit; ++p) {
      if (!composite[p]) {
        list.push_back(p);
        for (uint64_t m = uint64_t{p} * p; m < SievedPrimesLimit; m += p) {
          composite[m] = true;
        }
      }
    }
    return list;
  }();
  return primes;
}

bool IsPrime(mpz_srcptr x) { return mpz_probab_prime_p(x, 2) > 0; }

// A generator of its own for each kind of number, size and variant, so that
// any one of them replays alone from the printed seed.
class SeededState {
 public:
  SeededState(uint64_t tag, int32_t bits, int32_t variant) {
    gmp_randinit_mt(state_);
    const uint64_t seed = TestSeed() ^ (tag * 0x9E3779B97F4A7C15ULL) ^
                          (static_cast<uint64_t>(bits) << 20) ^ static_cast<uint64_t>(variant);
    gmp_randseed_ui(state_, static_cast<unsigned long>(seed ^ (seed >> 32)));
  }
  ~SeededState() { gmp_randclear(state_); }
  SeededState(const SeededState&) = delete;
  SeededState& operator=(const SeededState&) = delete;

  // A prime of exactly bits bits.
  void Prime(mpz_ptr out, int32_t bits) {
    do {
      mpz_urandomb(out, state_, static_cast<mp_bitcnt_t>(bits));
      mpz_setbit(out, static_cast<mp_bitcnt_t>(bits - 1));
      mpz_nextprime(out, out);
    } while (GmpBits(out) != bits);
  }
  // Uniform in [lo, hi).
  unsigned long Below(unsigned long lo, unsigned long hi) {
    return lo + gmp_urandomm_ui(state_, hi - lo);
  }

 private:
  gmp_randstate_t state_;
};

bool Splits(mpz_srcptr n, int method) {
  MpzValue s, r;
  return ReferenceSplit(n, method, s, r);
}

}  // namespace

std::string NumberedName(const std::string& stem, int32_t i, const std::string& extension) {
  std::string name = stem;
  name += std::to_string(i);
  name += extension;
  return name;
}

std::string SeedText() { return "KARVO_TEST_SEED=" + std::to_string(TestSeed()); }

std::string GmpHex(mpz_srcptr x) {
  std::vector<char> text(mpz_sizeinbase(x, 16) + 2);
  mpz_get_str(text.data(), -16, x);
  return text.data();
}

std::string GmpDecimal(mpz_srcptr x) {
  std::vector<char> text(mpz_sizeinbase(x, 10) + 2);
  mpz_get_str(text.data(), 10, x);
  return text.data();
}

void GmpFromHex(mpz_ptr x, const std::string& hex) { mpz_set_str(x, hex.c_str(), 16); }

int32_t GmpBits(mpz_srcptr x) {
  return mpz_sgn(x) == 0 ? 0 : static_cast<int32_t>(mpz_sizeinbase(x, 2));
}

CertifierGlobalsGuard::CertifierGlobalsGuard()
    : settings_(Settings),
      workFolder_(WorkFolder),
      taskId_(TaskID),
      lastInternalError_(LastInternalError) {}

CertifierGlobalsGuard::~CertifierGlobalsGuard() {
  ResetPolling();
  SetInformHandler(nullptr);
  SetFileSystemOps(nullptr);
  Settings = settings_;
  WorkFolder = workFolder_;
  TaskID = taskId_;
  LastInternalError = lastInternalError_;
}

PollingOn::PollingOn() {
  SetPollHandler([] {});
}

PollingOn::~PollingOn() {
  ClearPollHandler();
  AbortRequested.store(0);
  InPoll.store(0);
  PollFlag.store(0);
}

void AbortNow() {
  RequestAbort();
  // No timer thread runs in the tests: raise the flag it would raise.
  PollFlag.store(1);
}

void ArmAbort(TCertifier& certifier, TStopPoint stop) {
  auto calls = std::make_shared<int32_t>(0);
  if (stop.Phase == 1) {
    // The first call comes before any test of this run.
    certifier.OnStep = [calls, stop](int32_t, int32_t, int32_t, int32_t) {
      if ((*calls)++ == stop.Count) {
        AbortNow();
      }
    };
    return;
  }
  auto inPhase2 = std::make_shared<bool>(false);
  certifier.OnPhase = [inPhase2, stop](int32_t phase) {
    *inPhase2 = phase == 2;
    if (*inPhase2 && stop.Count == 0) {
      AbortNow();
    }
  };
  // Each call comes before the work of its test, whose arithmetic polls
  // before the test's record is written.
  certifier.OnTest = [inPhase2, calls, stop](int32_t, int32_t, int32_t) {
    if (*inPhase2 && (*calls)++ == stop.Count && stop.Count > 0) {
      AbortNow();
    }
  };
}

TCertifyOutcome RunCertify(TCertifier& certifier, const std::string& fileName, int32_t fileIndex) {
  TCertifyOutcome outcome;
  outcome.Raised = RaisedBy([&] { certifier.Certify(fileName, fileIndex); });
  outcome.Status = certifier.Status;
  outcome.Message = certifier.Message;
  return outcome;
}

CertifierTest::CertifierTest() {
  WorkFolder = folder_.Folder().string() + "/";
  TaskID = TestTaskId;
  Settings.CertificationReports = 1;
  Settings.DoubleFileManagement = 0;
  Settings.CheckSignaturesOnly = 0;
  Settings.NM1 = 1;
  Settings.NP1 = 1;
  if (PrimeTableCount == 0) {
    BuildPrimeTable();
  }
}

std::string CertifierTest::Path(const std::string& name) const { return folder_.Path(name); }

std::string CertifierTest::WorkingName(int32_t fileIndex, const std::string& extension) const {
  return CertificationFileName(WorkFolder, TaskID, fileIndex, extension);
}

std::string CertifierTest::WriteInput(const std::string& name, const TXKeyValues& keys,
                                      const std::string& comments) const {
  TXFile file;
  file.FileName = Path(name);
  file.WriteStrings("KARVO - Input", {{"Version", Version}, {"Format", "1"}});
  if (!comments.empty()) {
    file.AddComments(comments);
  }
  file.WriteStrings("Candidate", keys);
  file.Save();
  return file.FileName;
}

std::vector<std::string> CertifierTest::FolderContent() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Folder())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<TTestRecord> ReadTests(const TXFile& file) {
  std::vector<TTestRecord> tests;
  const int32_t count = file.ReadInteger(HeaderSection, "TestCount", 0);
  for (int32_t i = 1; i <= count; ++i) {
    const std::string section = std::to_string(i);
    TTestRecord test;
    test.Type = file.ReadInteger(section, "Type", -100);
    test.S = file.ReadString(section, "S$");
    test.R = file.ReadString(section, "R$");
    test.Witness = file.ReadString(section, test.Type == 2 ? "Q$" : "B$");
    tests.push_back(test);
  }
  return tests;
}

std::ostream& operator<<(std::ostream& out, const TTestRecord& test) {
  return out << "{Type " << test.Type << ", S " << test.S << ", R " << test.R << ", witness "
             << test.Witness << "}";
}

bool ReferenceSplit(mpz_srcptr n, int method, mpz_ptr s, mpz_ptr r) {
  const int32_t bits = GmpBits(n);
  MpzValue bound;
  mpz_sqrt(bound, n);
  if (method == 1) {
    mpz_sub_ui(r, n, 1);
  } else {
    mpz_add_ui(r, n, 1);
    mpz_add_ui(bound, bound, 1);
  }
  const mp_bitcnt_t twos = mpz_scan1(r, 0);
  mpz_fdiv_q_2exp(r, r, twos);
  mpz_set_ui(s, 1);
  mpz_mul_2exp(s, s, twos);
  const std::vector<uint32_t>& primes = SievedPrimes();
  const int32_t count = TCertifier::PrimeBoundFor(bits);
  EXPECT_LE(static_cast<size_t>(count), primes.size()) << "sieve too short for " << bits << " bits";
  for (int32_t i = 1; i < count && static_cast<size_t>(i) < primes.size(); ++i) {
    while (mpz_divisible_ui_p(r, primes[i]) != 0) {
      mpz_divexact_ui(r, r, primes[i]);
      mpz_mul_ui(s, s, primes[i]);
    }
  }
  return mpz_cmp(r, bound) > 0 && bits - GmpBits(r) >= 1 && mpz_odd_p(r) != 0 && IsPrime(r);
}

bool ReferenceChain(mpz_srcptr n, std::vector<TExpectedTest>& tests) {
  tests.clear();
  MpzValue current, s, r;
  mpz_set(current, n);
  while (GmpBits(current) > 48) {
    int method = 1;
    if (!ReferenceSplit(current, 1, s, r)) {
      method = 2;
      if (!ReferenceSplit(current, 2, s, r)) {
        return false;
      }
    }
    tests.push_back({method, GmpHex(s), GmpHex(r)});
    mpz_set(current, r);
  }
  tests.push_back({0, "", ""});
  return true;
}

const TCertifiable& CertifiablePrime(int32_t bits, int32_t variant) {
  static std::map<std::pair<int32_t, int32_t>, TCertifiable> cache;
  const auto key = std::make_pair(bits, variant);
  if (auto found = cache.find(key); found != cache.end()) {
    return found->second;
  }
  if (PrimeTableCount == 0) {
    BuildPrimeTable();
  }
  SeededState random(1, bits, variant);
  MpzValue p, n, s, r;
  random.Prime(p, 40);
  // Each step grows by up to 14 bits; the last one fits the size, with
  // enough k left to choose from.
  for (int32_t step = 0; GmpBits(p) + 10 <= bits; ++step) {
    const int32_t room = std::min(bits - GmpBits(p), 14);
    const unsigned long lo = 1UL << (room - 2);
    const unsigned long hi = 1UL << (room - 1);
    // The first two steps are one of each kind, the others drawn.
    bool plus = step < 2 ? (step + variant) % 2 == 0 : random.Below(0, 2) == 0;
    for (int32_t tries = 1;; ++tries) {
      if (step >= 2 && tries % 1000 == 0) {
        plus = !plus;
      }
      const unsigned long k = 2 * random.Below(lo, hi);
      mpz_mul_ui(n, p, k);
      if (plus) {
        mpz_add_ui(n, n, 1);
      } else {
        mpz_sub_ui(n, n, 1);
      }
      if (!IsPrime(n)) {
        continue;
      }
      // The descent tries N - 1 first: an N = k·R - 1 whose N - 1 splits
      // too would lead elsewhere.
      if (plus ? ReferenceSplit(n, 1, s, r) && mpz_cmp(r, p) == 0
               : !Splits(n, 1) && ReferenceSplit(n, 2, s, r) && mpz_cmp(r, p) == 0) {
        break;
      }
    }
    mpz_set(p, n);
  }
  TCertifiable made;
  made.Hex = GmpHex(p);
  made.Decimal = GmpDecimal(p);
  made.Bits = GmpBits(p);
  EXPECT_TRUE(ReferenceChain(p, made.Tests)) << made.Hex;
  return cache.emplace(key, made).first->second;
}

std::string UnsplittablePrime(int32_t bits, int32_t variant) {
  static std::map<std::pair<int32_t, int32_t>, std::string> cache;
  const auto key = std::make_pair(bits, variant);
  if (auto found = cache.find(key); found != cache.end()) {
    return found->second;
  }
  if (PrimeTableCount == 0) {
    BuildPrimeTable();
  }
  SeededState random(2, bits, variant);
  MpzValue p;
  do {
    random.Prime(p, bits);
  } while (Splits(p, 1) || Splits(p, 2));
  return cache.emplace(key, GmpHex(p)).first->second;
}

const TDeadEnd& DeadEndPrime(int32_t bits) {
  static std::map<int32_t, TDeadEnd> cache;
  if (auto found = cache.find(bits); found != cache.end()) {
    return found->second;
  }
  SeededState random(3, bits, 0);
  MpzValue r, n, s, q;
  GmpFromHex(r, UnsplittablePrime(bits - 13, 7));
  for (;;) {
    const unsigned long k = 2 * random.Below(1UL << 11, 1UL << 12);
    mpz_mul_ui(n, r, k);
    mpz_add_ui(n, n, 1);
    if (IsPrime(n) && ReferenceSplit(n, 1, s, q) && mpz_cmp(q, r) == 0 && !Splits(n, 2)) {
      break;
    }
  }
  return cache.emplace(bits, TDeadEnd{GmpHex(n), GmpHex(r)}).first->second;
}

std::string VerifyCopy(const std::string& certificate, bool signaturesOnly) {
  const std::string copy = certificate + ".check";
  WriteBytes(copy, ReadBytes(certificate));
  const TSettings saved = Settings;
  Settings.CheckSignaturesOnly = signaturesOnly ? 1 : 0;
  TVerifier verifier;
  std::string message;
  try {
    verifier.Verify(copy, 1);
    message = verifier.Message;
  } catch (const std::exception& error) {
    message = std::string("raised: ") + error.what();
  }
  Settings = saved;
  if (verifier.Status != VerifyValid) {
    message += " (status " + std::to_string(verifier.Status) + ")";
  }
  std::error_code error;
  std::filesystem::remove(copy, error);
  std::filesystem::remove(copy + "old", error);
  return message;
}

std::string Value(const TXFile& file, const std::string& section, const std::string& key) {
  return file.ReadString(section, key);
}

}  // namespace karvo::test
