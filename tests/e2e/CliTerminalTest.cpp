// The progress line: rewritten in place on a terminal, plain lines into a
// file or a pipe.

#include <gtest/gtest.h>

#include <cstdio>

#include "E2eSupport.h"

namespace karvo::e2e {
namespace {

// util-linux script(1): runs a command on a pseudo-terminal and copies what
// it shows.
std::string ScriptProgram() {
  for (const char* path : {"/usr/bin/script", "/bin/script"}) {
    if (FileExists(path)) {
      return path;
    }
  }
  return "";
}

// Control characters made visible, for the test log.
std::string Visible(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\x1b') {
      shown += "\\e";
    } else if (c == '\n') {
      shown += "\\n\n";
    } else {
      shown += c;
    }
  }
  return shown;
}

TEST(CliTerminal, ProgressIsOneLineRewrittenInPlace) {
  const std::string script = ScriptProgram();
  ASSERT_FALSE(script.empty()) << "script(1) is missing: scripts/install-deps.sh installs it";
  TSandbox box;
  WriteText(box.WorkPath("p.in"), InputText(MediumChainPrime().Decimal));
  const std::string command =
      "stty cols 120 && TERM=xterm '" + box.Program() + "' --no-idle certify p.in";
  const TRunResult run = box.RunProgram(script, {"-q", "-e", "-c", command, "/dev/null"});
  std::printf("Terminal capture:\n%s\n", Visible(run.Out).c_str());
  ASSERT_EQ(run.Status, 0) << run.Err;

  const std::string& shown = run.Out;
  const std::string closing = " | " + std::string(CertifiedText);
  const size_t first = shown.find("\rCandidate 1/1 | Phase ");
  const size_t last = shown.find(closing);
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(last, std::string::npos);
  // The terminal shows a line feed as CR LF.
  const size_t lineEnd = shown.find("\r\n", last);
  ASSERT_NE(lineEnd, std::string::npos);
  // Up to the end of the closing line, the line is only ever rewritten:
  // carriage returns, each redraw cleared to the end of the line, no line
  // feed.
  const std::string progress = shown.substr(first, lineEnd - first);
  EXPECT_EQ(progress.find('\n'), std::string::npos) << Visible(progress);
  // At least the line shown when the file starts, then the closing one.
  EXPECT_GE(CountOf(progress, "\r"), 2) << Visible(progress);
  EXPECT_EQ(CountOf(progress, "\r"), CountOf(progress, "\x1b[K")) << Visible(progress);
  EXPECT_EQ(CountOf(progress, "\r"), CountOf(progress, "\rCandidate 1/1 | Phase "))
      << Visible(progress);
  EXPECT_TRUE(Contains(progress, "\rCandidate 1/1 | Phase 0 | Test 0 | Run -\x1b[K"))
      << Visible(progress);
  const std::string candidateBits = std::to_string(MediumChainPrime().Bits);
  const std::string closingLine = progress.substr(progress.rfind('\r'));
  EXPECT_TRUE(Contains(closingLine, "| Phase 2 | Test ")) << Visible(closingLine);
  EXPECT_TRUE(Contains(closingLine, " | Run - | Bits ")) << Visible(closingLine);
  EXPECT_TRUE(Contains(closingLine, "/" + candidateBits + " | ")) << Visible(closingLine);
  EXPECT_TRUE(Contains(closingLine, " | Elapsed ")) << Visible(closingLine);
  // The closing line stays, followed by the report.
  EXPECT_TRUE(Contains(shown.substr(last), "\n[KARVO - Task Report]")) << Visible(shown);
}

TEST(CliTerminal, ProgressLinesAreCutToTheTerminalsWidth) {
  const std::string script = ScriptProgram();
  ASSERT_FALSE(script.empty());
  TSandbox box;
  WriteText(box.WorkPath("p.in"), InputText(MediumChainPrime().Decimal));
  const std::string command =
      "stty cols 30 && TERM=xterm '" + box.Program() + "' --no-idle certify p.in";
  const TRunResult run = box.RunProgram(script, {"-q", "-e", "-c", command, "/dev/null"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const size_t closing = run.Out.find(" | " + std::string(CertifiedText));
  ASSERT_NE(closing, std::string::npos) << Visible(run.Out);
  // Every redraw but the closing line fits: a wrapped line could not be
  // rewritten in place.
  const std::string progress = run.Out.substr(0, run.Out.rfind('\r', closing));
  size_t redraws = 0;
  for (size_t at = progress.find('\r'); at != std::string::npos; at = progress.find('\r', at + 1)) {
    const size_t end = progress.find("\x1b[K", at);
    ASSERT_NE(end, std::string::npos) << Visible(progress);
    EXPECT_LE(end - at - 1, 29u) << Visible(progress.substr(at, end - at));
    ++redraws;
  }
  EXPECT_GE(redraws, 1u) << Visible(run.Out);
}

TEST(CliTerminal, PlainLinesWhenStandardErrorIsNotATerminal) {
  TSandbox box;
  WriteText(box.WorkPath("p.in"), InputText(MediumChainPrime().Decimal));
  const TRunResult run = box.Run({"--no-idle", "certify", "p.in"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err.find('\r'), std::string::npos);
  EXPECT_EQ(run.Err.find('\x1b'), std::string::npos);
  ASSERT_FALSE(run.Err.empty());
  ASSERT_EQ(run.Err.back(), '\n');
  size_t start = 0;
  std::string line;
  while (start < run.Err.size()) {
    const size_t end = run.Err.find('\n', start);
    line = run.Err.substr(start, end - start);
    EXPECT_EQ(line.rfind("Candidate 1/1 | Phase ", 0), 0u) << line;
    start = end + 1;
  }
  EXPECT_EQ(line.substr(line.size() - std::string(CertifiedText).size()), CertifiedText);
  EXPECT_TRUE(Contains(line, "| Elapsed ")) << line;
}

}  // namespace
}  // namespace karvo::e2e
