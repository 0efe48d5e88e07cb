#include "shell/TaskDriver.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "arith/BigInt.h"
#include "arith/BigMod.h"
#include "arith/PrimeTable.h"
#include "arith/Words.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "base/Settings.h"
#include "base/TaskId.h"
#include "base/TimerThread.h"
#include "classpolys/BigFloat.h"
#include "classpolys/DataFiles.h"
#include "files/Chrono.h"
#include "files/TXFile.h"
#include "polys/ZPoly.h"

namespace karvo {

namespace {

constexpr int IdleNice = 19;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Milliseconds of a monotonic clock with the low 10 bits cleared, so the
// display refreshes at most once per 1024 ms.
uint32_t CurrentTick() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count()) & ~uint32_t{1023};
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool SelectedFileLess(const std::string& a, const std::string& b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const char x = LowerAscii(a[i]);
    const char y = LowerAscii(b[i]);
    if (x != y) {
      return x < y;
    }
  }
  if (a.size() != b.size()) {
    return a.size() < b.size();
  }
  return a < b;
}

void ApplyIdlePriority(bool idle) {
  // Raising the priority back may need privileges; failing is harmless.
  setpriority(PRIO_PROCESS, 0, idle ? IdleNice : 0);
}

TTaskDriver::TTaskDriver(TFrontEnd& frontEnd)
    : AbortTimer(AbortTimerMs, [this] { AbortTimerFired(); }),
      SaveTimer(SaveTimerMs, [] { SaveRequested.store(1); }),
      ui_(frontEnd) {
  InstallCallbacks();
}

TTaskDriver::~TTaskDriver() {
  FreeTimerThread();
  for (int32_t k = 1; k <= DiscriminantTableLevels; ++k) {
    FreeDiscriminantTable(k);
  }
}

std::string TTaskDriver::DataFileError(const std::string& name) {
  const std::string pattern = TextDataFileError;
  const size_t at = pattern.find("%s");
  const std::string text = pattern.substr(0, at) + name + pattern.substr(at + 2);
  ui_.ShowError(text);
  return text;
}

std::string TTaskDriver::Start() {
  if (PrimeTableCount == 0) {
    BuildPrimeTable();
  }
  if (PrimeTableCount != WantedPrimeTableSize()) {
    ui_.ShowError(TextPrimeTableError);
    return TextPrimeTableError;
  }
  // Table 1 serves every curve step and stays; the others are loaded by the
  // engine when it reaches their level, so here they are only proven sound.
  for (int32_t k = 1; k <= DiscriminantTableLevels; ++k) {
    if (!LoadDiscriminantTable(k)) {
      return DataFileError(DiscriminantTableName(k));
    }
    if (k > 1) {
      FreeDiscriminantTable(k);
    }
  }
  for (int32_t f = 1; f <= ClassGroupFileCount; ++f) {
    std::error_code error;
    if (!std::filesystem::exists(ProgramFolder + ClassGroupFileName(f), error)) {
      return DataFileError(ClassGroupFileName(f));
    }
  }
  Initialized = true;
  ApplyIdlePriority(Settings.IdlePriority != 0);
  CreateTimerThread();
  return "";
}

void TTaskDriver::InstallCallbacks() {
  constexpr TTaskKind certification = TTaskKind::Certification;
  constexpr TTaskKind verification = TTaskKind::Verification;
  auto bits = [](int32_t current, int32_t candidate) {
    return std::to_string(current) + "/" + std::to_string(candidate);
  };
  Certifier.SaveTimer = &SaveTimer;
  Certifier.OnPhase = [this](int32_t phase) {
    ui_.ShowField(certification, TField::Phase, std::to_string(phase));
  };
  Certifier.OnLevel = [this](int32_t level) {
    ui_.ShowField(certification, TField::Run, level < 0 ? "-" : std::to_string(level));
  };
  Certifier.OnStage = [this](int32_t stage) {
    ui_.ShowField(certification, TField::Status, CertifierStageText(stage));
  };
  Certifier.OnTest = [this, bits](int32_t index, int32_t current, int32_t candidate) {
    ui_.ShowField(certification, TField::Test, std::to_string(index + 1));
    ui_.ShowField(certification, TField::Bits, bits(current, candidate));
  };
  Certifier.OnStep = [this, bits](int32_t index, int32_t level, int32_t current,
                                  int32_t candidate) {
    ui_.ShowField(certification, TField::Test, std::to_string(index + 1));
    ui_.ShowField(certification, TField::Bits, bits(current, candidate));
    ui_.ShowField(certification, TField::Run, std::to_string(level));
  };
  Verifier.SaveTimer = &SaveTimer;
  Verifier.OnProgress = [this, bits](int32_t test, int32_t count, int32_t current,
                                     int32_t candidate) {
    ui_.ShowField(verification, TField::Test, std::to_string(test) + "/" + std::to_string(count));
    ui_.ShowField(verification, TField::Bits, bits(current, candidate));
  };
  Verifier.OnPhase = [this](int32_t phase) {
    const std::string text = VerifierPhaseText(phase);
    ui_.ShowField(verification, TField::Status, text.empty() ? "Checking" : text);
  };
}

bool TTaskDriver::SelectFiles(const std::vector<std::string>& chosen) {
  if (!Initialized || Busy) {
    return false;
  }
  Busy = true;
  bool selected = false;
  if (!CanWriteCurrentFolder()) {
    ui_.ShowError(TextCannotWriteDisk);
  } else if (SelectedFiles.size() + chosen.size() > static_cast<size_t>(MaxTaskFiles)) {
    ui_.ShowError(TextTooManyFiles);
  } else if (!chosen.empty()) {
    SelectedFiles.insert(SelectedFiles.end(), chosen.begin(), chosen.end());
    std::sort(SelectedFiles.begin(), SelectedFiles.end(), SelectedFileLess);
    selected = true;
  }
  Busy = false;
  return selected;
}

void TTaskDriver::RunTask(TTaskKind kind) {
  if (!Initialized || SelectedFiles.empty() || Busy) {
    return;
  }
  Busy = true;
  Outcomes.clear();
  StoppedByUser = false;
  AbortRequested.store(0);
  // The clean-up runs whatever ends the task, a foreign exception included,
  // which then goes on to the front end.
  struct TCleanUp {
    TTaskDriver& driver;
    ~TCleanUp() {
      driver.TaskRunning = false;
      driver.AbortTimer.SetEnabled(false);
      driver.confirmShown_ = false;
      driver.ui_.ShowConfirmAbort(false);
      driver.SelectedFiles.clear();
      BigReleaseScratch();
      BigModReleaseScratch();
      WordsReleaseScratch();
      ZPolyReleaseScratch();
      FloatPool().Trim();
      ComplexPool().Trim();
      TaskReportToDisplay();
      TaskReportClose();
      driver.ui_.ShowTaskReport(DisplayLines);
      driver.Busy = false;
    }
  } cleanUp{*this};
  WorkFolder = FolderOf(SelectedFiles.front());
  DisplayLines.clear();
  DisplayPaths.clear();
  NewTaskID();
  const auto n = static_cast<int32_t>(SelectedFiles.size());
  TaskReportOpen(n, kind);
  TaskRunning = true;
  const std::vector<std::string> files = SelectedFiles;
  for (int32_t i = 1; i <= n; ++i) {
    if (!ProcessOne(kind, files[static_cast<size_t>(i - 1)], i, n)) {
      StoppedByUser = true;
      break;
    }
  }
}

bool TTaskDriver::ProcessOne(TTaskKind kind, const std::string& file, int32_t i, int32_t n) {
  const bool certification = kind == TTaskKind::Certification;
  if (certification) {
    ui_.ShowField(kind, TField::Phase, "0");
    ui_.ShowField(kind, TField::Run, "-");
  }
  ui_.ShowField(kind, TField::Number, std::to_string(i) + "/" + std::to_string(n));
  ui_.ShowField(kind, TField::Test, "0");
  LastTick = CurrentTick();
  ElapsedTime = 0;
  SetPollHandler([this, kind] { PollHandler(kind); });
  StartProcessTime = ProcessTime();
  if (!confirmShown_) {
    ui_.EnableAbort(true);
  }
  struct TFileEnd {
    TFrontEnd& ui;
    ~TFileEnd() {
      ui.EnableAbort(false);
      ClearPollHandler();
    }
  } fileEnd{ui_};
  TFileOutcome outcome;
  outcome.File = file;
  bool goOn = true;
  try {
    if (certification) {
      Certifier.Certify(file, i);
    } else {
      Verifier.Verify(file, i);
    }
  } catch (const EKVAbortSilent&) {
  } catch (const EKVAbort&) {
    goOn = false;
  } catch (const EKV&) {
  }
  // An abort confirmed after the file's last poll still stops the task, and
  // must not hit the next file.
  if (AbortRequested.exchange(0) != 0) {
    goOn = false;
  }
  outcome.Succeeded = certification ? Certifier.Status == CertifyCertified
                                    : Verifier.Status == VerifyValid;
  outcome.Message = certification ? Certifier.Message : Verifier.Message;
  Outcomes.push_back(outcome);
  ui_.FileEnded(kind, outcome);
  return goOn;
}

void TTaskDriver::PollHandler(TTaskKind kind) {
  const uint32_t tick = CurrentTick();
  if (tick != LastTick) {
    LastTick = tick;
    ElapsedTime = ElapsedCentiseconds(StartProcessTime);
    ui_.ShowField(kind, TField::Elapsed, FormatRunningTime(false, ElapsedTime));
    if (kind == TTaskKind::Certification) {
      ShowStageText();
    }
  }
  ui_.ProcessEvents();
}

void TTaskDriver::ShowStageText() {
  constexpr TTaskKind kind = TTaskKind::Certification;
  const std::string search = "EC test, trying discriminants, ";
  switch (Certifier.StageCode) {
    case StageInitializing:
      ui_.ShowField(kind, TField::Status, "Initializing");
      break;
    case StageCurveSearchLevel1:
      ui_.ShowField(kind, TField::Status,
                    search + "index = " + std::to_string(Certifier.DIndex - 2));
      break;
    case StageCurveSearchLevels2To5:
      ui_.ShowField(kind, TField::Status, search + "index = " + std::to_string(Certifier.DIndex));
      break;
    case StageCurveSearchLevel6:
      ui_.ShowField(kind, TField::Status, search + "delta = -" + std::to_string(Certifier.D));
      break;
    case StageCurveAndPoint:
      ui_.ShowField(kind, TField::Status, "EC test, computing curve and point");
      break;
    case StageClassPolynomial:
      if (DegreeChanged) {
        DegreeChanged = false;
        ui_.ShowField(kind, TField::Status,
                      "EC test, factoring polynomial, degree " + std::to_string(CurrentDegree));
      }
      break;
    default:
      break;
  }
}

void TTaskDriver::AbortCommand() {
  if (!TaskRunning || confirmShown_) {
    return;
  }
  ui_.EnableAbort(false);
  AbortTimer.SetEnabled(true);
  confirmShown_ = true;
  ui_.ShowConfirmAbort(true);
}

void TTaskDriver::ConfirmAbort() {
  AbortTimer.SetEnabled(false);
  confirmShown_ = false;
  ui_.ShowConfirmAbort(false);
  if (TaskRunning) {
    RequestAbort();
  }
}

void TTaskDriver::AbortTimerFired() {
  confirmShown_ = false;
  ui_.ShowConfirmAbort(false);
  if (TaskRunning) {
    ui_.EnableAbort(true);
  }
  AbortTimer.SetEnabled(false);
}

void TTaskDriver::FireTimers() {
  const auto now = TEventTimer::TClock::now();
  AbortTimer.FireIfDue(now);
  SaveTimer.FireIfDue(now);
}

}  // namespace karvo
