#pragma once

// Shared helpers of the end-to-end tests: a private folder per test holding
// a copy of karvo-cli (so karvo.ini is the test's own) and a work folder;
// karvo-cli run as a child process, its output captured in files; certifiable
// candidates built with GMP; readers of the sectioned files karvo-cli writes.

#include <gmp.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace karvo::e2e {

// The outcome texts karvo-cli copies into reports.
inline constexpr const char* CertifiedText = "Candidate certified prime";
inline constexpr const char* ImpossibleText = "Failed, impossible to certify last N";
inline constexpr const char* AbortedByUserText = "Aborted by user";
inline constexpr const char* ValidCertificateText = "Valid certificate";
inline constexpr const char* ConfirmText = "Press Ctrl-C again within 7 s to abort";
inline constexpr const char* TooManyFilesText = "Karvo cannot manage more than 999 files";

inline constexpr int ExitInterrupted = 130;

// A finished run of karvo-cli. Status is the exit status, or 128 + the
// signal that ended it (Signaled then true).
struct TRunResult {
  int Status = -1;
  bool Signaled = false;
  std::string Out;
  std::string Err;
};

// karvo-cli running in the background, its output going to two files.
class TCliProcess {
 public:
  TCliProcess(const std::string& program, const std::vector<std::string>& args,
              const std::string& folder, const std::string& outFile, const std::string& errFile);
  ~TCliProcess();  // kills a child still running
  TCliProcess(const TCliProcess&) = delete;
  TCliProcess& operator=(const TCliProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  void Interrupt();  // SIGINT, as Ctrl-C sends
  // Waits for the end; the result carries the captured output.
  TRunResult Wait();
  // The standard error written so far.
  std::string ErrorText() const;
  // Polls until condition holds (true) or the child has ended (false when
  // the condition still fails then). A stuck child fails the test after a
  // generous limit rather than blocking the suite.
  bool WaitUntil(const std::function<bool()>& condition);

 private:
  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = -1;
  bool signaled_ = false;
  std::string outFile_;
  std::string errFile_;
};

// A folder of the test's own, removed at the end unless the test failed:
//   Root()/bin/karvo-cli   the copy of the program, beside its karvo.ini
//   Root()/work/           where the test's files go
class TSandbox {
 public:
  TSandbox();
  ~TSandbox();
  TSandbox(const TSandbox&) = delete;
  TSandbox& operator=(const TSandbox&) = delete;

  const std::string& Root() const { return root_; }
  std::string Program() const { return root_ + "/bin/karvo-cli"; }
  std::string IniFile() const { return root_ + "/bin/karvo.ini"; }
  std::string Work() const { return root_ + "/work"; }
  // Work() + "/" + name.
  std::string WorkPath(const std::string& name) const;

  // Runs karvo-cli in folder (Work() when empty) to its end.
  TRunResult Run(const std::vector<std::string>& args, const std::string& folder = "");
  // Starts karvo-cli in folder (Work() when empty) without waiting.
  std::unique_ptr<TCliProcess> Start(const std::vector<std::string>& args,
                                     const std::string& folder = "");
  // Runs another program the same way, with its output captured.
  TRunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                        const std::string& folder = "");

 private:
  std::string NextCaptureName(const char* stream);

  std::string root_;
  int runs_ = 0;
};

// Files.
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
// Writes a sibling and renames it over path, so a reader never sees half.
void ReplaceText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Names (not paths) of the files in folder whose name ends with suffix,
// sorted.
std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix);
bool Contains(const std::string& text, const std::string& part);
int CountOf(const std::string& text, const std::string& part);

// The sections of a file karvo-cli writes: section -> key -> value (first
// occurrence wins, as karvo's own reader does); keys and sections as written.
using TSections = std::map<std::string, std::map<std::string, std::string>>;
TSections ReadSections(const std::string& path);
std::string Value(const TSections& sections, const std::string& section, const std::string& key);

// The task report of a run: karvo-ID.tr in folder, ID read from the report
// the run printed. "" (and a failure) when the run printed none.
std::string TaskReportPath(const std::string& folder, const TRunResult& run);

// A candidate in the forms the files take.
struct TCandidate {
  std::string Decimal;
  std::string Hex;  // upper case, as karvo writes it
  int32_t Bits = 0;
};

// Input files.
std::string InputText(const std::string& decimalN);
std::string InputTextHex(const std::string& hexN);
// A working file as a new certification writes it after the pre-tests:
// phase 1, no test yet. Resuming it runs the whole certification.
std::string FreshWorkingFileText(const TCandidate& candidate);

// Certifiable primes: a chain from a prime of about 40 bits, each step
// k·R ± 1 with k even and made of primes below 2^14, so that the N-1 or
// N+1 the certifier tries has a prime cofactor R > √N. At least bits bits;
// deterministic for a given seed.
TCandidate ChainPrime(int32_t bits, uint64_t seed);
// A 2000-bit chain prime, built once per run of the suite: long enough for
// its certification to be watched and interrupted (a few tenths of a second
// of processor time), quick enough to build.
const TCandidate& MediumChainPrime();
// A prime of bits bits (at most 192) whose N-1 and N+1 cannot be split:
// "Failed, impossible to certify last N" while the curve step is missing.
TCandidate UncertifiablePrime(int32_t bits, uint64_t seed);
// The odd composite 3 · (a chain prime).
TCandidate CompositeNumber(int32_t bits, uint64_t seed);

}  // namespace karvo::e2e
