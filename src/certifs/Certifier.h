#pragma once

// The certification engine: turns one input file into a primality
// certificate. The candidate is pre-tested, then phase 1 descends from it to
// a prime of at most 48 bits by N-1, N+1 and curve steps, backtracking or
// working harder where no step is found; phase 2 completes every step with
// its witness and signs the chain. All progress lives in the working file
// (*.tmp), which a later run resumes and which finally becomes the
// certificate (*.out).

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "arith/BigInt.h"
#include "files/CertificationReport.h"
#include "files/TXFile.h"

namespace karvo {

class TSaveTimer;
class TCertifier;

// Status values of a certification.
enum : uint8_t {
  CertifyRunning = 0,
  CertifyPhase1Done = 2,
  CertifyCertified = 3,
  CertifyRejected = 4,  // input rejected, candidate composite, or aborted
  CertifyFailed = 5,
};

// Stage codes reported through OnStage (only while N has 384 bits or more).
enum : int32_t {
  StageInitializing = 1,
  StageNMinus1 = 2,
  StageNPlus1 = 3,
  StageCurveSearch = 4,
  StageCurveSearchLevel1 = 5,
  StageCurveSearchLevels2To5 = 6,
  StageCurveSearchLevel6 = 7,
  StageUpdatingFiles = 8,
  StageCurveAndPoint = 10,
  StageClassPolynomial = 11,
};

// The text the front ends show for a stage code.
const char* CertifierStageText(int32_t stage);

enum class TCurveSearchResult { Found, NotFound, Failure };

// The curve search of one N at the certifier's Level, continuing after
// `position` and leaving there the position it stopped at. On Found it has
// set S, R, FoundType (-3 or -4), FoundDiscriminant and FoundKeys (the extra
// keys phase 2 needs). Between discriminants it calls SaveSearchState when
// SaveRequested is set.
using TCurveSearch = std::function<TCurveSearchResult(TCertifier&, int32_t& position)>;
// Phase 2 of a pending curve test i (type -3 or -4, N and the section's keys
// loaded): writes the final keys of the test into the working file.
using TCurveCompletion = std::function<void(TCertifier&, int32_t i, int32_t type)>;

class TCertifier {
 public:
  std::function<void(int32_t)> OnPhase;
  std::function<void(int32_t)> OnLevel;  // -1 when phase 1 ends
  std::function<void(int32_t)> OnStage;
  // test index from 0, bits of the current N, bits of the candidate
  std::function<void(int32_t, int32_t, int32_t)> OnTest;
  // tests recorded, level, bits of the current N, bits of the candidate
  std::function<void(int32_t, int32_t, int32_t, int32_t)> OnStep;
  TSaveTimer* SaveTimer = nullptr;  // not owned; may stay null
  // The curve step (replaceable, for tests of the descent).
  TCurveSearch CurveSearch;
  TCurveCompletion CurveCompletion;

  int32_t StageCode = 0;
  int64_t InitTime = 0;  // centiseconds of process time
  int64_t Phase1Time = 0;
  int64_t Phase2Time = 0;
  std::string InputName;
  std::string TempName;
  TXFile TempFile;
  TCertificationReport ReportFile;
  std::string Expression;
  int32_t CandidateBits = 0;
  int32_t Run = 1;
  int32_t RestartIndex = 0;
  bool AfterBacktrack = false;

  BigInt Candidate;
  BigInt N;
  BigInt SqrtN;   // isqrt(N)
  BigInt NPlus1;
  BigInt Bound;   // a split's cofactor must exceed it
  BigInt Order;   // N - 1 or N + 1 under trial
  BigInt S;
  BigInt R;
  BigInt Sig;     // signature chain of phase 2
  BigInt Work1;
  BigInt Work2;

  int32_t TestCount = 0;
  int32_t Level = 1;
  int32_t Bits = 0;
  uint8_t Status = CertifyRunning;
  std::string Message;
  int32_t PrimeBound = 0;
  int32_t NMod8 = 0;
  int32_t D = 0;
  int32_t DIndex = 0;
  int32_t Phase = 0;  // 0 not started, 1 and 2 the phases, 3 done

  // Set by a successful curve search.
  int32_t FoundType = 0;
  int32_t FoundDiscriminant = 0;
  int32_t FoundClassNumber = 0;
  int32_t FoundGenera = 0;
  TXKeyValues FoundKeys;

  TCertifier();

  // Certifies one file (*.in starts, *.tmp resumes) and writes its task
  // report entries; afterwards Status and Message hold the outcome. An
  // exception (abort, internal error, file error) becomes the outcome, the
  // working file is saved so that it can be resumed, and the exception is
  // raised again for the task driver.
  void Certify(const std::string& fileName, int32_t fileIndex);

  // Saves the curve search's level and position into the working file.
  void SaveSearchState(int32_t position);

  // Replaces the keys of test i by the final record, in place.
  void WriteFinalTest(int32_t i, const TXKeyValues& keys);

  // Reports the stage code while N has 384 bits or more.
  void ReportStage(int32_t stage);

  // Number of table primes for trial division of N - 1, N + 1 and curve
  // orders at an N of the given bits (capped by the table's size).
  static int32_t PrimeBoundFor(int32_t bits);

 private:
  void Reset();
  bool StartNew(const std::string& fileName, int32_t fileIndex);
  bool Resume(const std::string& fileName);
  bool ValidateWorkingFile();
  bool ValidateTest(int32_t i, BigInt& testN, bool& last);
  bool ValidateRootEntries(const std::string& section);
  void ConvertOldWorkingFile(const std::string& fileName);
  void RestoreState();
  void RunPhases();
  void Descent();
  void PrepareN();
  bool TrySplits();
  bool TrySplit(int32_t method);
  TCurveSearchResult SearchCurveStep(int32_t& position);
  bool CanUndoLastTest();
  void Backtrack();
  void RecordPendingTest(int32_t type, int32_t method, int32_t discriminant,
                         const TXKeyValues& extra);
  void RecordLastTest();
  void FinishTestRecord(const TReportTest& reportTest);
  bool RunPhase2();
  void CompleteSplitTest(int32_t i, int32_t type);
  bool SignLastTest();
  void LoadTestN(int32_t i, BigInt& n) const;
  // Process time of the current phase not yet added to its total.
  int64_t UncommittedTime() const;
  void CommitPhaseTime();
  void SavePhaseEnd();
  void WriteOutput();
  void CloseReport();
  // base, or base + "-2", "-3", ... : the first for which no file base +
  // extension exists.
  static std::string FreshBaseName(const std::string& base,
                                   std::initializer_list<const char*> extensions);

  uint64_t phaseStart_ = 0;
  bool workingFileReady_ = false;
  bool reportOpen_ = false;
  bool saveTimerOn_ = false;
  int32_t signedCount_ = 0;
};

}  // namespace karvo
