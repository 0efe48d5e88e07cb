// One certification from end to end: start or resume, the two phases, the
// output, and the outcome in the task report.

#include "certifs/Certifier.h"

#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>

#include "arith/BigMod.h"
#include "arith/PrimeTable.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/SaveTimer.h"
#include "certifs/CurveCompletion.h"
#include "certifs/CurveSearch.h"
#include "files/Chrono.h"
#include "files/FileFormats.h"
#include "files/TaskReport.h"

namespace karvo {

namespace {

constexpr int32_t SmallPrimeBound = 6542;  // the primes below 2^16

// The extension from the last "." of the name part, compared exactly.
std::string FileExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return "";
  }
  return path.substr(dot);
}

}  // namespace

const char* CertifierStageText(int32_t stage) {
  switch (stage) {
    case StageInitializing:
      return "Initializing";
    case StageNMinus1:
      return "N-1 test";
    case StageNPlus1:
      return "N+1 test";
    case StageCurveSearch:
      return "EC test, trying discriminants";
    case StageUpdatingFiles:
      return "Updating files";
    case StageCurveAndPoint:
      return "EC test, computing curve and point";
    case StageClassPolynomial:
      return "EC test, building and factoring polynomial";
    default:
      return "Testing";
  }
}

TCertifier::TCertifier()
    : OnPhase([](int32_t) {}),
      OnLevel([](int32_t) {}),
      OnStage([](int32_t) {}),
      OnTest([](int32_t, int32_t, int32_t) {}),
      OnStep([](int32_t, int32_t, int32_t, int32_t) {}),
      CurveSearch(SearchCurve),
      CurveCompletion(CompleteCurveTest) {}

int32_t TCertifier::PrimeBoundFor(int32_t bits) {
  int32_t bound = PrimeTableCount;
  if (bits <= 192) {
    bound = SmallPrimeBound;
  } else if (bits <= 4096) {
    const double grown = std::exp(8.2211785393328 + 0.00292652678116846 * bits);
    bound = grown >= PrimeTableCount ? PrimeTableCount
                                      : std::max(static_cast<int32_t>(grown), SmallPrimeBound);
  }
  return std::min(bound, PrimeTableCount);
}

void TCertifier::Reset() {
  Status = CertifyRunning;
  Message = StatusRunning;
  Level = 1;
  Run = 1;
  TestCount = 0;
  Bits = 0;
  CandidateBits = 0;
  StageCode = 0;
  InitTime = Phase1Time = Phase2Time = 0;
  RestartIndex = 0;
  AfterBacktrack = false;
  PrimeBound = NMod8 = D = DIndex = 0;
  Phase = 0;
  FoundType = FoundDiscriminant = 0;
  FoundKeys.clear();
  InputName.clear();
  TempName.clear();
  Expression.clear();
  TempFile.Clear();
  for (BigInt* x : {&Candidate, &N, &SqrtN, &NPlus1, &Bound, &Order, &S, &R, &Sig, &Work1, &Work2}) {
    BigSetZero(*x);
  }
  workingFileReady_ = false;
  reportOpen_ = false;
  saveTimerOn_ = false;
  signedCount_ = 0;
}

void TCertifier::Certify(const std::string& fileName, int32_t fileIndex) {
  Reset();
  InputName = fileName;
  TaskReportBeginCandidate(fileIndex, fileName);
  if (!IsExistingFile(fileName)) {
    Status = CertifyRejected;
    Message = TextInvalidFileName;
    TaskReportEndCandidate(Message, Status, 0);
    return;
  }
  if (PrimeTableCount == 0) {
    BuildPrimeTable();
  }
  std::exception_ptr failure;
  try {
    bool ready = false;
    const std::string extension = FileExtension(fileName);
    if (extension == ".in") {
      ready = StartNew(fileName, fileIndex);
    } else if (extension == ".tmp") {
      ready = Resume(fileName);
    } else {
      Status = CertifyRejected;
      Message = "Invalid file name extension";
    }
    if (ready) {
      RunPhases();
    }
  } catch (...) {
    failure = std::current_exception();
    Status = CertifyRejected;
    Message = AbortOutcomeText(failure);
  }
  SwitchSaveTimer(SaveTimer, saveTimerOn_, false);
  SaveRequested.store(0);
  BigClearModulus();
  if (failure && workingFileReady_) {
    // Keep the work done so far resumable; a second failure while saving
    // must not hide the first.
    try {
      TempFile.WriteString(SectionCertificateHeader, "Status", Message);
      SavePhaseEnd();
    } catch (...) {
    }
  }
  CloseReport();
  TaskReportEndCandidate(Message, Status,
                         workingFileReady_ ? InitTime + Phase1Time + Phase2Time : 0);
  TempFile.Clear();
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void TCertifier::RunPhases() {
  if (Phase == 1) {
    OnPhase(1);
    phaseStart_ = ProcessTime();
    Descent();
    if (Status == CertifyFailed) {
      WriteOutput();
      return;
    }
    CommitPhaseTime();
    Phase = 2;
    SavePhaseEnd();
    CloseReport();
  }
  if (Phase == 2) {
    OnPhase(2);
    phaseStart_ = ProcessTime();
    if (!RunPhase2()) {
      Status = CertifyRejected;
      Message = TextInvalidFile;
      return;
    }
    CommitPhaseTime();
    Phase = 3;
    SavePhaseEnd();
  }
  Status = CertifyCertified;
  Message = "Candidate certified prime";
  WriteOutput();
}

int64_t TCertifier::UncommittedTime() const {
  return Phase == 1 || Phase == 2 ? ElapsedCentiseconds(phaseStart_) : 0;
}

void TCertifier::CommitPhaseTime() {
  const int64_t spent = UncommittedTime();
  if (Phase == 1) {
    Phase1Time += spent;
  } else if (Phase == 2) {
    Phase2Time += spent;
  }
  phaseStart_ = ProcessTime();
}

void TCertifier::SavePhaseEnd() {
  CommitPhaseTime();
  TempFile.WriteStrings(SectionRunningTimes, {{"Initialization", std::to_string(InitTime)},
                                              {"1stPhase", std::to_string(Phase1Time)},
                                              {"2ndPhase", std::to_string(Phase2Time)}});
  TempFile.WriteStrings(SectionResumeState, {{"pe", std::to_string(Phase)}, {"tx", "0"}});
  TempFile.SaveReplace();
}

void TCertifier::WriteOutput() {
  CommitPhaseTime();
  TempFile.EraseSection(SectionResumeState);
  TempFile.WriteStrings(SectionRunningTimes,
                        {{"Initialization", FormatRunningTime(true, InitTime)},
                         {"1stPhase", FormatRunningTime(true, Phase1Time)},
                         {"2ndPhase", FormatRunningTime(true, Phase2Time)},
                         {"Total", FormatRunningTime(true, InitTime + Phase1Time + Phase2Time)}});
  TempFile.WriteString(SectionCertificateHeader, "Status", Message);
  const std::string stem = ChangeFileExtension(TempName, "");
  const std::string outName = FreshBaseName(stem, {".out"}) + ".out";
  TempFile.FileName = outName;
  TempFile.Save();
  std::error_code error;
  std::filesystem::remove(TempName, error);
  std::filesystem::remove(TempName + "old", error);
  TaskReportSetOutput(outName);
}

void TCertifier::CloseReport() {
  reportOpen_ = false;
}

std::string TCertifier::FreshBaseName(const std::string& base,
                                      std::initializer_list<const char*> extensions) {
  // A task identifier repeats when the clock is set back; existing files of
  // an earlier task must never be overwritten.
  auto taken = [&extensions](const std::string& candidate) {
    for (const char* extension : extensions) {
      std::error_code error;
      if (std::filesystem::exists(candidate + extension, error) || error) {
        return true;
      }
    }
    return false;
  };
  std::string name = base;
  for (int32_t k = 2; taken(name); ++k) {
    name = base + "-" + std::to_string(k);
  }
  return name;
}

}  // namespace karvo
