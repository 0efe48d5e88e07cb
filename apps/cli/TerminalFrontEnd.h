#pragma once

// The front end of karvo-cli. The fields of the window's progress page
// become one progress line on standard error: rewritten in place on a
// terminal, printed as plain lines (at most one a second, plus a closing one
// per file) when standard error is a file or a pipe. The task report goes to
// standard output. Ctrl-C drives the window's Abort and Confirm commands.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/FrontEnd.h"

namespace karvo {
class TTaskDriver;
}

namespace karvo::cli {

inline constexpr size_t FieldCount = 7;
using TFieldTexts = std::array<std::string, FieldCount>;

// "Candidate 1/3 | Phase 1 | Test 5 | Run 1 | Bits 300/400 | N-1 test |
// Elapsed 2s"; a verification has no Phase or Run, and its Number is the
// certificate's. Fields not shown yet are left out.
std::string ProgressLineText(TTaskKind kind, const TFieldTexts& fields);

class TTerminalFrontEnd : public TFrontEnd {
 public:
  // terminal: progress is an in-place line rather than a stream of lines.
  TTerminalFrontEnd(std::FILE* progress, std::FILE* report, bool terminal);

  // The driver the Ctrl-C commands and the timers go to.
  void Attach(TTaskDriver& driver) { driver_ = &driver; }

  void ShowField(TTaskKind kind, TField field, const std::string& text) override;
  void EnableAbort(bool enabled) override;
  void ShowConfirmAbort(bool shown) override;
  void ProcessEvents() override;
  void ShowError(const std::string& message) override;
  void ShowTaskReport(const std::vector<std::string>& lines) override;
  // Closes the file's progress line with its outcome.
  void FileEnded(TTaskKind kind, const TFileOutcome& outcome) override;

  // An information message of the engine (InformUser), shown as an error
  // line would be.
  void ShowInformation(const std::string& message);
  // The number of errors and information messages shown so far.
  int MessagesShown() const { return messagesShown_; }

 private:
  using TClock = std::chrono::steady_clock;

  void HandleInterrupts();
  // Draws the line when it changed and the refresh interval has passed.
  void Refresh();
  void DrawLine(const std::string& text);
  // A line of its own, above the progress line on a terminal.
  void PrintNote(const std::string& text);
  void ClearLine();
  size_t TerminalColumns() const;

  std::FILE* progress_;
  std::FILE* report_;
  bool terminal_;
  TTaskDriver* driver_ = nullptr;
  TTaskKind kind_ = TTaskKind::Certification;
  TFieldTexts fields_;
  bool fileActive_ = false;
  bool dirty_ = false;
  bool lineShown_ = false;  // a terminal line waits to be overwritten
  std::string lastPrinted_;
  TClock::time_point lastDraw_{};
  bool confirmShown_ = false;
  bool confirming_ = false;
  bool abortConfirmed_ = false;
  int messagesShown_ = 0;
};

// Whether standard error is a terminal that understands the line rewrite.
bool StandardErrorIsTerminal();

}  // namespace karvo::cli
