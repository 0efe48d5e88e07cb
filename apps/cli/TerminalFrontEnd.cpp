#include "TerminalFrontEnd.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "Interrupts.h"
#include "files/Chrono.h"
#include "shell/TaskDriver.h"

namespace karvo::cli {

namespace {

// A terminal line is cheap to rewrite; a log gets one line a second.
constexpr auto TerminalRefresh = std::chrono::milliseconds(100);
constexpr auto PlainRefresh = std::chrono::seconds(1);
constexpr size_t DefaultColumns = 80;

size_t Index(TField field) { return static_cast<size_t>(field); }

// The engine's texts use CR LF line ends, as the window's message boxes do.
std::string WithUnixLineEnds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;
    }
    result += text[i];
  }
  return result;
}

void Write(std::FILE* stream, const std::string& text) {
  // One write per line, so the terminal never shows half a redraw.
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

std::string ProgressLineText(TTaskKind kind, const TFieldTexts& fields) {
  const bool certification = kind == TTaskKind::Certification;
  struct TPart {
    TField Field;
    const char* Label;
  };
  const TPart parts[] = {
      {TField::Number, certification ? "Candidate " : "Certificate "},
      {TField::Phase, "Phase "},
      {TField::Test, "Test "},
      {TField::Run, "Run "},
      {TField::Bits, "Bits "},
      {TField::Status, ""},
      {TField::Elapsed, "Elapsed "},
  };
  std::string line;
  for (const TPart& part : parts) {
    if (!certification && (part.Field == TField::Phase || part.Field == TField::Run)) {
      continue;
    }
    const std::string& text = fields[Index(part.Field)];
    if (text.empty()) {
      continue;
    }
    if (!line.empty()) {
      line += " | ";
    }
    line += part.Label;
    line += text;
  }
  return line;
}

bool StandardErrorIsTerminal() {
  if (isatty(STDERR_FILENO) == 0) {
    return false;
  }
  const char* term = std::getenv("TERM");
  return term == nullptr || std::strcmp(term, "dumb") != 0;
}

TTerminalFrontEnd::TTerminalFrontEnd(std::FILE* progress, std::FILE* report, bool terminal)
    : progress_(progress), report_(report), terminal_(terminal) {}

void TTerminalFrontEnd::ShowField(TTaskKind kind, TField field, const std::string& text) {
  if (kind != kind_) {
    kind_ = kind;
    fields_ = TFieldTexts{};
  }
  std::string& current = fields_[Index(field)];
  if (current != text) {
    current = text;
    dirty_ = true;
  }
  if (field != TField::Number) {
    Refresh();
    return;
  }
  // A new file. The driver sets its own fields again; the others still
  // describe the previous file. The line waits for the next field: a
  // terminal shows it at once, a log only once the file has run a second,
  // so that a quick file gets its closing line alone.
  for (TField stale : {TField::Bits, TField::Status, TField::Elapsed}) {
    fields_[Index(stale)].clear();
  }
  fileActive_ = true;
  lastDraw_ = terminal_ ? TClock::time_point{} : TClock::now();
}

// Ctrl-C is the abort command, always at hand; there is nothing to enable.
void TTerminalFrontEnd::EnableAbort(bool) {}

void TTerminalFrontEnd::ShowConfirmAbort(bool shown) {
  if (shown) {
    PrintNote("Press Ctrl-C again within 7 s to abort");
  } else if (confirmShown_) {
    PrintNote(confirming_ ? "Aborting: the current file stays resumable"
                          : "Abort request dropped: no second Ctrl-C within 7 s");
  }
  confirmShown_ = shown;
}

void TTerminalFrontEnd::ProcessEvents() {
  HandleInterrupts();
  if (driver_ != nullptr) {
    driver_->FireTimers();
  }
  Refresh();
}

void TTerminalFrontEnd::HandleInterrupts() {
  const int32_t count = TakeInterrupts();
  if (driver_ == nullptr) {
    return;
  }
  for (int32_t i = 0; i < count && !abortConfirmed_; ++i) {
    if (driver_->ConfirmAbortShown()) {
      confirming_ = true;
      driver_->ConfirmAbort();
      confirming_ = false;
      abortConfirmed_ = true;
    } else {
      driver_->AbortCommand();
    }
  }
}

void TTerminalFrontEnd::ShowError(const std::string& message) {
  ++messagesShown_;
  PrintNote("karvo-cli: " + WithUnixLineEnds(message));
}

void TTerminalFrontEnd::ShowInformation(const std::string& message) { ShowError(message); }

void TTerminalFrontEnd::ShowTaskReport(const std::vector<std::string>& lines) {
  ClearLine();
  fileActive_ = false;
  abortConfirmed_ = false;
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  Write(report_, text);
}

void TTerminalFrontEnd::Refresh() {
  if (!dirty_ || !fileActive_) {
    return;
  }
  const TClock::time_point now = TClock::now();
  if (lastDraw_ != TClock::time_point{} &&
      now - lastDraw_ < (terminal_ ? TClock::duration(TerminalRefresh) : PlainRefresh)) {
    return;
  }
  DrawLine(ProgressLineText(kind_, fields_));
  lastDraw_ = now;
  dirty_ = false;
}

void TTerminalFrontEnd::DrawLine(const std::string& text) {
  if (!terminal_) {
    if (text != lastPrinted_) {
      Write(progress_, text + "\n");
      lastPrinted_ = text;
    }
    return;
  }
  // A line as wide as the terminal would wrap, and the carriage return
  // would then rewrite only its second half.
  const size_t columns = TerminalColumns();
  const std::string shown = text.size() >= columns ? text.substr(0, columns - 1) : text;
  Write(progress_, "\r" + shown + "\x1b[K");
  lineShown_ = true;
}

void TTerminalFrontEnd::FileEnded(TTaskKind, const TFileOutcome& outcome) {
  // The last refresh may be up to a second old.
  if (driver_ != nullptr) {
    fields_[Index(TField::Elapsed)] =
        FormatRunningTime(false, ElapsedCentiseconds(driver_->StartProcessTime));
  }
  const std::string text = ProgressLineText(kind_, fields_) + " | " + outcome.Message;
  // The closing line stays: on a terminal it may wrap, as any printed line.
  Write(progress_, (terminal_ ? "\r" + text + "\x1b[K" : text) + "\n");
  lineShown_ = false;
  lastPrinted_.clear();
  lastDraw_ = TClock::now();
  dirty_ = false;
  fileActive_ = false;
}

void TTerminalFrontEnd::PrintNote(const std::string& text) {
  ClearLine();
  Write(progress_, text + "\n");
  if (terminal_ && fileActive_) {
    DrawLine(ProgressLineText(kind_, fields_));
  } else if (fileActive_) {
    // The plain line printed next must not be skipped as a repeat.
    lastPrinted_.clear();
  }
}

void TTerminalFrontEnd::ClearLine() {
  if (lineShown_) {
    Write(progress_, "\r\x1b[K");
    lineShown_ = false;
  }
}

size_t TTerminalFrontEnd::TerminalColumns() const {
  winsize size{};
  if (ioctl(fileno(progress_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    return size.ws_col;
  }
  return DefaultColumns;
}

}  // namespace karvo::cli
