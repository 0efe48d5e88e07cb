// What a verification tells the outside while it runs: phases, progress, the
// save timer, the backup of double file management and the task report.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VerifierTestSupport.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/SaveTimer.h"
#include "files/TaskReport.h"

namespace karvo::test {
namespace {

class RecordingSaveTimer : public TSaveTimer {
 public:
  std::vector<bool> Calls;
  void SetEnabled(bool enabled) override { Calls.push_back(enabled); }
};

struct TProgress {
  int32_t Phase = 0;
  int32_t Test = 0;
  int32_t Count = 0;
  int32_t Bits = 0;
  int32_t CandidateBits = 0;
};

// A verifier that records its phases and its progress calls.
struct TRecorder {
  TVerifier Verifier;
  std::vector<int32_t> Phases;
  std::vector<TProgress> Progress;
  TRecorder() {
    Verifier.OnPhase = [this](int32_t phase) { Phases.push_back(phase); };
    Verifier.OnProgress = [this](int32_t i, int32_t count, int32_t bits, int32_t candidateBits) {
      Progress.push_back({Phases.empty() ? 0 : Phases.back(), i, count, bits, candidateBits});
    };
  }
  TOutcome Run(const std::string& path, int checkSignaturesOnly) {
    Phases.clear();
    Progress.clear();
    return RunVerify(Verifier, path, checkSignaturesOnly);
  }
};

// Bit lengths of the N of each test: the candidate, then each R in turn.
std::vector<int32_t> ChainBits(const TXFile& file) {
  std::vector<int32_t> bits;
  BigInt n;
  BigFromHex(n, file.ReadString("Candidate", "N$"));
  const int32_t count = file.ReadInteger(CertificateHeader, "TestCount", 0);
  for (int32_t i = 1; i <= count; ++i) {
    bits.push_back(BigBitSize(n));
    const std::string r = file.ReadString(std::to_string(i), "R$");
    if (!r.empty()) {
      BigFromHex(n, r);
    }
  }
  return bits;
}

// Every call names a test and carries the sizes of that test.
void ExpectProgressValues(const std::vector<TProgress>& progress, const std::vector<int32_t>& bits) {
  const auto count = static_cast<int32_t>(bits.size());
  for (const TProgress& p : progress) {
    SCOPED_TRACE("test " + std::to_string(p.Test) + " in phase " + std::to_string(p.Phase));
    ASSERT_GE(p.Test, 1);
    ASSERT_LE(p.Test, count);
    EXPECT_EQ(p.Count, count);
    EXPECT_EQ(p.Bits, bits[static_cast<size_t>(p.Test - 1)]);
    EXPECT_EQ(p.CandidateBits, bits.front());
  }
}

// The tests of the calls from position first on.
std::vector<int32_t> TestsFrom(const std::vector<TProgress>& progress, size_t first) {
  std::vector<int32_t> tests;
  for (size_t i = first; i < progress.size(); ++i) {
    tests.push_back(progress[i].Test);
  }
  return tests;
}

std::vector<int32_t> OneTo(int32_t count) {
  std::vector<int32_t> tests;
  for (int32_t i = 1; i <= count; ++i) {
    tests.push_back(i);
  }
  return tests;
}

TEST(VerifierCallbacksTest, PhaseTexts) {
  std::vector<std::string> texts;
  for (const int32_t phase : {VerifyPhaseStructure, VerifyPhaseFull, VerifyPhaseSignature,
                              VerifyPhasePartial}) {
    const std::string text = VerifierPhaseText(phase);
    EXPECT_FALSE(text.empty()) << phase;
    EXPECT_EQ(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
    texts.push_back(text);
  }
  for (const int32_t phase : {0, 5, -1}) {
    EXPECT_EQ(std::string(VerifierPhaseText(phase)), "") << phase;
  }
}

TEST(VerifierCallbacksTest, PhasesOfEachMode) {
  TempFolder folder;
  TRecorder recorder;
  const std::vector<int32_t> full = {VerifyPhaseStructure, VerifyPhaseFull};
  const std::vector<int32_t> signature = {VerifyPhaseStructure, VerifyPhaseSignature};
  const std::vector<int32_t> structure = {VerifyPhaseStructure};

  recorder.Run(CopyCertificate(folder, "p50.out"), 0);
  EXPECT_EQ(recorder.Phases, full);
  recorder.Run(CopyCertificate(folder, "p50.out"), 1);
  EXPECT_EQ(recorder.Phases, signature);
  recorder.Run(CopyCertificate(folder, "t_sig2_broken.out"), 1);
  EXPECT_EQ(recorder.Phases, signature);
  for (int mode : {0, 1}) {
    const std::string path = CopyCertificate(folder, "p50.out");
    EditFile(path, [](TXFile& file) { file.EraseSection("Signature"); });
    EXPECT_EQ(recorder.Run(path, mode).Message, "Valid certificate");
    EXPECT_EQ(recorder.Phases, full) << mode;
    EXPECT_EQ(recorder.Run(CopyCertificate(folder, "t_type7.out"), mode).Message,
              "ERROR at test #2: Invalid test type");
    EXPECT_EQ(recorder.Phases, structure) << mode;
    EXPECT_TRUE(recorder.Progress.empty()) << "no test runs after a failed structure pass";
  }
}

TEST(VerifierCallbacksTest, ProgressNamesEachTestWithItsSizes) {
  TempFolder folder;
  TRecorder recorder;
  const std::vector<int32_t> bits = ChainBits(TXFile(SharedCertificate("p50.out")));
  ASSERT_EQ(bits.size(), 7u);
  EXPECT_EQ(bits.front(), 166);

  // Full mode: once per test, in order, after the full phase has begun.
  EXPECT_EQ(recorder.Run(CopyCertificate(folder, "p50.out"), 0).Message, "Valid certificate");
  ExpectProgressValues(recorder.Progress, bits);
  size_t first = 0;
  while (first < recorder.Progress.size() && recorder.Progress[first].Phase != VerifyPhaseFull) {
    ++first;
  }
  EXPECT_EQ(TestsFrom(recorder.Progress, first), OneTo(7));

  // Signature-only mode: the chain and the arithmetic may each go through
  // the tests; the last pass is the whole chain in order.
  EXPECT_EQ(recorder.Run(CopyCertificate(folder, "p50.out"), 1).Message, "Valid signature");
  ExpectProgressValues(recorder.Progress, bits);
  ASSERT_GE(recorder.Progress.size(), 7u);
  EXPECT_EQ(TestsFrom(recorder.Progress, recorder.Progress.size() - 7), OneTo(7));

  // A failing test is the last one reported.
  EXPECT_EQ(recorder.Run(CopyCertificate(folder, "t_A_digit_type3.out"), 0).Message,
            "ERROR at test #4: (X,Y)#(S*R) is not the identity point");
  ASSERT_FALSE(recorder.Progress.empty());
  EXPECT_EQ(recorder.Progress.back().Test, 4);

  // Partial signature: the partial chain covers tests 1 and 2 at most.
  const std::vector<int32_t> partialBits =
      ChainBits(TXFile(SharedCertificate("p150_partial.out")));
  EXPECT_EQ(recorder.Run(CopyCertificate(folder, "p150_partial.out"), 1).Message,
            "Valid certificate");
  ExpectProgressValues(recorder.Progress, partialBits);
  for (const TProgress& p : recorder.Progress) {
    if (p.Phase == VerifyPhasePartial) {
      EXPECT_LE(p.Test, 2);
    }
  }
}

TEST(VerifierCallbacksTest, SaveTimerOnlyForLargeCandidatesInFullMode) {
  TempFolder folder;
  RecordingSaveTimer timer;
  TRecorder recorder;
  recorder.Verifier.SaveTimer = &timer;

  EXPECT_EQ(recorder.Run(CopyCertificate(folder, "p50.out"), 0).Message, "Valid certificate");
  EXPECT_TRUE(timer.Calls.empty());

  // Up to 2048 bits no periodic save.
  const TLargeChain& edge = LargeChain(2048);
  ASSERT_EQ(edge.Bits.front(), 2048);
  const std::string path = folder.Path("large.out");
  WriteBytes(path, edge.Text);
  EXPECT_EQ(recorder.Run(path, 0).Message, "Valid certificate");
  EXPECT_TRUE(timer.Calls.empty());
  ExpectProgressValues(recorder.Progress, edge.Bits);

  const TLargeChain& large = LargeChain(2049);
  ASSERT_EQ(large.Bits.front(), 2049);
  WriteBytes(path, large.Text);
  EXPECT_EQ(recorder.Run(path, 0).Message, "Valid certificate");
  EXPECT_EQ(timer.Calls, (std::vector<bool>{true, false}));
  ExpectProgressValues(recorder.Progress, large.Bits);

  timer.Calls.clear();
  EXPECT_EQ(recorder.Run(path, 1).Message, "Valid signature");
  EXPECT_TRUE(timer.Calls.empty());

  // Switched off again when an exception ends the run.
  timer.Calls.clear();
  WriteBytes(path, large.Text);
  recorder.Verifier.OnProgress = [](int32_t i, int32_t, int32_t, int32_t) {
    if (i == 3) {
      throw EKVAbortSilent(TextOperationAborted);
    }
  };
  const TOutcome aborted = recorder.Run(path, 0);
  EXPECT_EQ(aborted.Raised, "EKVAbortSilent");
  EXPECT_EQ(aborted.Message, "Aborted");
  EXPECT_EQ(timer.Calls, (std::vector<bool>{true, false}));
}

// A save requested by the timer during the run writes the progress so far;
// with double file management the previous version stays beside it as
// FileName + "old" until the verification succeeds.
TEST(VerifierCallbacksTest, PeriodicSaveAndBackup) {
  const PollGuard pollGuard;  // lowers SaveRequested whatever happens
  const SettingsGuard settingsGuard;
  const TLargeChain& large = LargeChain(2049);
  for (const int doubleFiles : {1, 0}) {
    SCOPED_TRACE(doubleFiles);
    Settings.DoubleFileManagement = doubleFiles;
    TempFolder folder;
    const std::string path = folder.Path("large.out");
    WriteBytes(path, large.Text);
    RecordingSaveTimer timer;
    TVerifier verifier;
    verifier.SaveTimer = &timer;
    int32_t phase = 0;
    bool sawBackup = false;
    std::string midRun;
    verifier.OnPhase = [&](int32_t p) { phase = p; };
    verifier.OnProgress = [&](int32_t i, int32_t, int32_t, int32_t) {
      sawBackup = sawBackup || Exists(path + "old");
      if (phase != VerifyPhaseFull) {
        return;
      }
      if (i == 2) {
        SaveRequested.store(1);  // as the timer would
      } else if (i == 4) {
        midRun = ReadBytes(path);
      }
    };
    const TOutcome outcome = RunVerify(verifier, path, 0);
    EXPECT_EQ(outcome.Message, "Valid certificate");
    EXPECT_EQ(sawBackup, doubleFiles == 1);
    EXPECT_FALSE(Exists(path + "old"));
    EXPECT_FALSE(Exists(path + "new"));
    EXPECT_EQ(SaveRequested.load(), 0);
    TXFile saved;
    saved.LoadFromBytes(midRun);
    EXPECT_EQ(saved.ReadString("Signature", "ce"), "2");
    EXPECT_TRUE(ChainMatches(saved, 2));
    EXPECT_EQ(saved.ReadString("Candidate", "N$"), TXFile(path).ReadString("Candidate", "N$"));
  }
}

// Keeps the task report's globals and closes any report left open.
class TaskReportGuard {
 public:
  TaskReportGuard() : workFolder_(WorkFolder), taskId_(TaskID) {}
  ~TaskReportGuard() {
    TaskReportClose();
    WorkFolder = workFolder_;
    TaskID = taskId_;
  }
  TaskReportGuard(const TaskReportGuard&) = delete;
  TaskReportGuard& operator=(const TaskReportGuard&) = delete;

 private:
  std::string workFolder_;
  std::string taskId_;
};

TEST(VerifierCallbacksTest, TaskReportHasStartAndFinishOfEachFile) {
  const TaskReportGuard guard;
  TempFolder work;
  TempFolder certificates;
  WorkFolder = work.Path("");
  ASSERT_EQ(WorkFolder.back(), '/');
  TaskID = "B4906034A6F1C";
  TaskReportOpen(3, TTaskKind::Verification);
  ASSERT_TRUE(TaskReportIsOpen());
  TVerifier verifier;
  EXPECT_EQ(RunVerify(verifier, CopyCertificate(certificates, "p50.out"), 1, 1).Message,
            "Valid signature");
  EXPECT_EQ(RunVerify(verifier, CopyCertificate(certificates, "t_type7.out"), 1, 2).Message,
            "ERROR at test #2: Invalid test type");
  EXPECT_EQ(RunVerify(verifier, certificates.Path("absent.out"), 1, 3).Message,
            "Invalid file name");
  TaskReportClose();

  const std::string name = work.Path("karvo-B4906034A6F1C.tr");
  ASSERT_TRUE(Exists(name));
  const TXFile report(name);
  EXPECT_EQ(report.ReadString("Common", "Processed"), "3");
  EXPECT_EQ(report.ReadString("Common", "Valid"), "1");
  struct TEntry {
    const char* Input;
    const char* Status;
    const char* Outcome;
  };
  const TEntry entries[] = {{"p50.out", "Valid signature", "Valid, "},
                            {"t_type7.out", "ERROR at test #2: Invalid test type", "NOT VALID, "},
                            {"absent.out", "Invalid file name", "Aborted, "}};
  int position = 0;
  for (const TEntry& e : entries) {
    const std::string section = "Certificate #" + std::to_string(++position);
    SCOPED_TRACE(section);
    EXPECT_EQ(report.ReadString(section, "Input"), e.Input);
    EXPECT_EQ(report.ReadString(section, "Status"), e.Status);
    EXPECT_EQ(report.ReadString("Common", section).rfind(e.Outcome, 0), 0u)
        << report.ReadString("Common", section);
  }
}

}  // namespace
}  // namespace karvo::test
