#pragma once

// The task driver: turns a choice of files into a task, a certification
// (TCertifier on each *.in or *.tmp) or a verification (TVerifier on each
// *.out), with a task report, progress in the front end's fields and a
// two-step abort. Everything runs on the caller's thread; the front end's
// events are processed from the poll handler while a file is worked on.

#include <cstdint>
#include <string>
#include <vector>

#include "certifs/Certifier.h"
#include "checks/Verifier.h"
#include "files/TaskReport.h"
#include "shell/EventTimer.h"
#include "shell/FrontEnd.h"

namespace karvo {

inline constexpr int32_t MaxTaskFiles = 999;
inline constexpr int32_t AbortTimerMs = 7000;
inline constexpr int32_t SaveTimerMs = 360000;

inline constexpr const char* TextCannotWriteDisk = "Impossible to write on current disk";
inline constexpr const char* TextTooManyFiles = "Karvo cannot manage more than 999 files";
inline constexpr const char* TextPrimeTableError =
    "An error occurred while creating the prime table\r\nKarvo cannot run";
inline constexpr const char* TextDataFileError =
    "An error occurred while loading the %s data file\r\nKarvo cannot run";

// The order of a task's files: case-insensitive order of the full paths,
// paths that differ only in case ordered case-sensitively (both are kept).
bool SelectedFileLess(const std::string& a, const std::string& b);

// Sets the process to the idle (nice 19) or normal priority.
void ApplyIdlePriority(bool idle);

class TTaskDriver {
 public:
  explicit TTaskDriver(TFrontEnd& frontEnd);
  ~TTaskDriver();
  TTaskDriver(const TTaskDriver&) = delete;
  TTaskDriver& operator=(const TTaskDriver&) = delete;

  bool Initialized = false;
  bool Busy = false;
  bool TaskRunning = false;
  std::vector<std::string> SelectedFiles;  // kept in SelectedFileLess order
  uint32_t LastTick = 0;
  uint64_t StartProcessTime = 0;
  int64_t ElapsedTime = 0;
  TCertifier Certifier;
  TVerifier Verifier;
  TEventTimer AbortTimer;
  TEventTimer SaveTimer;
  // The files of the last task that were started, and whether it was
  // stopped by a confirmed abort.
  std::vector<TFileOutcome> Outcomes;
  bool StoppedByUser = false;

  // The start-up checks once the settings are loaded: builds the prime
  // table, loads discriminant table 1 after proving all five and the
  // class-group files present, applies the idle priority and starts the
  // timer thread. "" when a task may run, else the error shown.
  std::string Start();

  // Takes the chosen files (full paths) for the next task. False (nothing
  // selected) when the current folder cannot be written or when more than
  // MaxTaskFiles are chosen, with the error shown.
  bool SelectFiles(const std::vector<std::string>& chosen);
  // Runs the task over SelectedFiles, which it empties.
  void RunTask(TTaskKind kind);

  // The Abort command, its confirmation, and the abort timer running out.
  void AbortCommand();
  void ConfirmAbort();
  void AbortTimerFired();
  bool ConfirmAbortShown() const { return confirmShown_; }

  // Fires the due timers; for front ends without timers of their own, from
  // their event pass.
  void FireTimers();

 private:
  void InstallCallbacks();
  // Shows and returns the start-up error naming a data file.
  std::string DataFileError(const std::string& name);
  // Certifies or verifies file i of n; false when the task must stop.
  bool ProcessOne(TTaskKind kind, const std::string& file, int32_t i, int32_t n);
  void PollHandler(TTaskKind kind);
  void ShowStageText();

  TFrontEnd& ui_;
  bool confirmShown_ = false;
};

}  // namespace karvo
