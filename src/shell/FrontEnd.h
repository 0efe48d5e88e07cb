#pragma once

// What the task driver needs from a front end (a window, a terminal): named
// fields to show texts in, the abort commands, one pass of pending events,
// and message boxes.

#include <string>
#include <vector>

#include "files/TaskReport.h"

namespace karvo {

// How one file of a task ended.
struct TFileOutcome {
  std::string File;
  bool Succeeded = false;  // certified, or a valid certificate or signature
  std::string Message;
};

// The progress fields of the Certification and Verification pages. The
// Verification page has no Phase or Run field; its Number is the
// "Certificate" field.
enum class TField { Number, Phase, Test, Run, Bits, Status, Elapsed };

class TFrontEnd {
 public:
  virtual ~TFrontEnd() = default;
  virtual void ShowField(TTaskKind kind, TField field, const std::string& text) = 0;
  // The Abort command, and the Confirm-to-abort command shown after it.
  virtual void EnableAbort(bool enabled) = 0;
  virtual void ShowConfirmAbort(bool shown) = 0;
  // Runs the pending user-interface events once; this is where the user's
  // commands (an abort, a confirmation) reach the driver during a task.
  virtual void ProcessEvents() = 0;
  virtual void ShowError(const std::string& message) = 0;
  // A file of the task has ended, with this outcome.
  virtual void FileEnded(TTaskKind kind, const TFileOutcome& outcome) = 0;
  // The Task Report page after a task: its lines (DisplayLines).
  virtual void ShowTaskReport(const std::vector<std::string>& lines) = 0;
};

}  // namespace karvo
