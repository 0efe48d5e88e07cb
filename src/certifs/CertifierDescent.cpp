// Phase 1: from the candidate down to a prime of at most 48 bits, one
// recorded step at a time, backtracking or raising the effort level where no
// step is found.

#include "arith/BigMod.h"
#include "arith/PrimeTable.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "base/SaveTimer.h"
#include "base/Settings.h"
#include "certifs/Certifier.h"
#include "certifs/NSplit.h"
#include "checks/Verifier.h"
#include "files/FileFormats.h"

namespace karvo {

namespace {

constexpr int32_t MaxLevel = 6;
constexpr int32_t StageReportBits = 384;
constexpr int32_t RegisteredModulusWords = 168;
// From this size on, a step may be undone only when its gain was small.
constexpr int32_t GainLimitWords = 32;
constexpr int32_t MethodNMinus1 = 1;
constexpr int32_t MethodNPlus1 = 2;

int32_t BacktrackGainLimit(int32_t level) {
  const int32_t limits[] = {Settings.BT1, Settings.BT2, Settings.BT3, Settings.BT4, Settings.BT5};
  return limits[level - 1];
}

}  // namespace

void TCertifier::ReportStage(int32_t stage) {
  if (BigBitSize(N) >= StageReportBits) {
    StageCode = stage;
    OnStage(stage);
  }
}

void TCertifier::Descent() {
  StageCode = 0;
  ReportStage(StageInitializing);
  OnStep(TestCount, Level, BigBitSize(N), CandidateBits);
  for (;;) {
    CheckPoll();
    Bits = BigBitSize(N);
    if (Bits <= MaxLastTestBits) {
      if (!IsLastTestPrime(N)) {
        Status = CertifyFailed;
        Message = "Failed, last N composite";
        return;
      }
      RecordLastTest();
      Status = CertifyPhase1Done;
      OnTest(TestCount, 0, CandidateBits);
      OnLevel(-1);
      return;
    }
    PrepareN();
    bool found = Level == 1 && TrySplits();
    if (!found) {
      // At level 1 positions 1 and 2 stand for the N-1 and N+1 methods.
      int32_t position = AfterBacktrack ? RestartIndex : (Level == 1 ? 2 : 1);
      AfterBacktrack = false;
      const TCurveSearchResult result = SearchCurveStep(position);
      if (result == TCurveSearchResult::Failure) {
        Status = CertifyFailed;
        Message = "Failed, impossible to certify last N";
        return;
      }
      found = result == TCurveSearchResult::Found;
      if (found) {
        ReportStage(StageUpdatingFiles);
        RecordPendingTest(FoundType, position, FoundDiscriminant, FoundKeys);
      }
    }
    if (found) {
      BigAssign(N, R);
      Level = 1;
      AfterBacktrack = false;
      RestartIndex = 0;
      if (StageCode != 0 && BigBitSize(N) < StageReportBits) {
        StageCode = 0;
        OnStage(0);
      }
      OnStep(TestCount, Level, BigBitSize(N), CandidateBits);
      continue;
    }
    if (CanUndoLastTest()) {
      Backtrack();
      OnStep(TestCount, Level, BigBitSize(N), CandidateBits);
      continue;
    }
    AfterBacktrack = false;
    RestartIndex = 0;
    if (++Level > MaxLevel) {
      Status = CertifyFailed;
      Message = "Failed, impossible to certify last N";
      return;
    }
    OnLevel(Level);
  }
}

void TCertifier::PrepareN() {
  if (N.Length >= RegisteredModulusWords) {
    BigSetModulus(N);
  } else {
    BigClearModulus();
  }
  BigAssign(SqrtN, N);
  BigIsqrt(SqrtN);
  BigAssign(NPlus1, N);
  BigIncrement(NPlus1);
  NMod8 = static_cast<int32_t>(N.Words[0] & 7);
  PrimeBound = PrimeBoundFor(Bits);
  PrimeTableResidues(NPlus1, PrimeBound);
}

bool TCertifier::TrySplits() {
  bool skipNMinus1 = false;
  bool skipNPlus1 = false;
  if (AfterBacktrack) {
    // The methods already used for this N; a curve position (3 and up) is
    // left for the curve search to continue after.
    skipNMinus1 = RestartIndex >= MethodNMinus1;
    skipNPlus1 = RestartIndex >= MethodNPlus1;
    if (RestartIndex <= MethodNPlus1) {
      AfterBacktrack = false;
    }
  }
  if (Settings.NM1 != 0 && !skipNMinus1) {
    ReportStage(StageNMinus1);
    if (TrySplit(MethodNMinus1)) {
      return true;
    }
  }
  if (Settings.NP1 != 0 && !skipNPlus1) {
    ReportStage(StageNPlus1);
    if (TrySplit(MethodNPlus1)) {
      return true;
    }
  }
  return false;
}

bool TCertifier::TrySplit(int32_t method) {
  BigAssign(Bound, SqrtN);
  if (method == MethodNMinus1) {
    BigAssign(Order, N);
    BigDecrement(Order);
  } else {
    BigAssign(Order, NPlus1);
    BigIncrement(Bound);
  }
  const Word residue = method == MethodNMinus1 ? NMinus1Residue : NPlus1Residue;
  if (!SplitOrder(S, R, Order, residue, Bound, Bits, PrimeBound)) {
    return false;
  }
  RecordPendingTest(-method, method, 0, {});
  return true;
}

TCurveSearchResult TCertifier::SearchCurveStep(int32_t& position) {
  ReportStage(StageCurveSearch);
  const bool periodicSaves = N.Length > PeriodicSaveWords;
  if (periodicSaves) {
    SwitchSaveTimer(SaveTimer, saveTimerOn_, true);
    SaveRequested.store(0);
  }
  FoundKeys.clear();
  const TCurveSearchResult result = CurveSearch(*this, position);
  SwitchSaveTimer(SaveTimer, saveTimerOn_, false);
  return result;
}

void TCertifier::SaveSearchState(int32_t position) {
  TempFile.WriteStrings(SectionResumeState, {{"ce", "4"},
                                             {"pe", "1"},
                                             {"tx", std::to_string(UncommittedTime())},
                                             {"ar", std::to_string(Level)},
                                             {"ap", std::to_string(position)}});
  TempFile.SaveReplace();
}

bool TCertifier::CanUndoLastTest() {
  if (TestCount < 1) {
    return false;
  }
  const std::string section = std::to_string(TestCount);
  if (TempFile.ReadInteger(section, "rn", 1) > Level) {
    return false;
  }
  if (Level < MaxLevel && N.Length >= GainLimitWords) {
    return TempFile.ReadInteger(section, "ga", 0) < BacktrackGainLimit(Level);
  }
  return true;
}

void TCertifier::Backtrack() {
  const int32_t i = TestCount;
  const std::string section = std::to_string(i);
  const int32_t level = TempFile.ReadInteger(section, "rn", 1);
  const int32_t position = TempFile.ReadInteger(section, "pm", 0);
  if (reportOpen_) {
    TempFile.ReadBigHex(section, "R$", Work1);
    ReportFile.RecordBacktrack(i, Work1);
  }
  LoadTestN(i, N);
  TempFile.EraseSection(section);
  TestCount = i - 1;
  TempFile.WriteString(SectionCertificateHeader, "TestCount", std::to_string(TestCount));
  TempFile.WriteStrings(SectionResumeState,
                        {{"ar", std::to_string(level)}, {"ap", std::to_string(position)}});
  TempFile.SaveReplace();
  Level = level;
  RestartIndex = position;
  AfterBacktrack = true;
}

void TCertifier::LoadTestN(int32_t i, BigInt& n) const {
  if (i <= 1) {
    BigAssign(n, Candidate);
  } else {
    TempFile.ReadBigHex(std::to_string(i - 1), "R$", n);
  }
}

void TCertifier::RecordPendingTest(int32_t type, int32_t method, int32_t discriminant,
                                   const TXKeyValues& extra) {
  ++TestCount;
  const int32_t gain = Bits - BigBitSize(R);
  TXKeyValues keys = {{"Type", std::to_string(type)}, {"S$", BigToHex(S)},
                      {"R$", BigToHex(R)},            {"dc", std::to_string(discriminant)},
                      {"rn", std::to_string(Level)},  {"pm", std::to_string(method)},
                      {"ga", std::to_string(gain)}};
  keys.insert(keys.end(), extra.begin(), extra.end());
  TempFile.WriteStrings(std::to_string(TestCount), keys);
  TReportTest reportTest;
  reportTest.Type = -type;
  reportTest.Run = Level;
  reportTest.Gain = gain;
  reportTest.DiscriminantCode = discriminant;
  if (type <= -3) {
    reportTest.ClassNumber = FoundClassNumber;
    reportTest.Genera = FoundGenera;
  }
  FinishTestRecord(reportTest);
}

void TCertifier::RecordLastTest() {
  ++TestCount;
  TempFile.WriteString(std::to_string(TestCount), "Type", "0");
  TReportTest reportTest;
  reportTest.Type = 0;
  reportTest.Run = Level;
  reportTest.Gain = Bits;
  FinishTestRecord(reportTest);
}

void TCertifier::FinishTestRecord(const TReportTest& reportTest) {
  TempFile.WriteString(SectionCertificateHeader, "TestCount", std::to_string(TestCount));
  TempFile.WriteStrings(SectionResumeState, {{"ce", "1"},
                                             {"tx", std::to_string(UncommittedTime())},
                                             {"ar", "1"},
                                             {"ap", "0"},
                                             {"sf", "0"}});
  if (reportOpen_) {
    ReportFile.AddTest(TestCount, reportTest);
  }
  TempFile.SaveReplace();
}

}  // namespace karvo
