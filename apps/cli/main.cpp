// karvo-cli: certifies and verifies from the command line what the window
// does with its file dialogs, with the same task driver behind both.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "CommandLine.h"
#include "arith/BigInt.h"
#include "arith/Expression.h"
#include "Interrupts.h"
#include "TerminalFrontEnd.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Settings.h"
#include "files/FileFormats.h"
#include "files/SettingsFile.h"
#include "shell/TaskDriver.h"

namespace karvo::cli {

namespace {

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

void PrintError(const std::string& message) {
  std::fprintf(stderr, "karvo-cli: %s\n", message.c_str());
}

int RunNew(std::string name, const std::string& candidate) {
  // The template is an input file, which the certifier recognizes by its
  // extension.
  if (name.size() < 3 || name.compare(name.size() - 3, 3, ".in") != 0) {
    name += ".in";
  }
  std::error_code error;
  if (std::filesystem::symlink_status(name, error).type() !=
      std::filesystem::file_type::not_found) {
    PrintError(name + " already exists");
    return ExitFailure;
  }
  BigInt value;
  const int code = BigIsNumberText(candidate, 10) ? 0 : EvaluateExpression(value, candidate);
  if (!candidate.empty() && code != 0) {
    PrintError(candidate + ": Error in expression, code = " + std::to_string(code));
    return ExitFailure;
  }
  try {
    NewInputFile(name, candidate);
  } catch (const std::exception& e) {
    PrintError(name + ": " + e.what());
    return ExitFailure;
  }
  std::printf("%s\n", name.c_str());
  return ExitSuccess;
}

int RunSettings(const TCommandLine& line, const TTerminalFrontEnd& ui) {
  for (const std::string& text : SettingsLines(Settings)) {
    std::printf("%s\n", text.c_str());
  }
  std::fflush(stdout);
  if (!line.Save) {
    return ExitSuccess;
  }
  // SaveSettings reports a failure as a message only.
  const int before = ui.MessagesShown();
  SaveSettings();
  return ui.MessagesShown() == before ? ExitSuccess : ExitFailure;
}

// Full, normalized paths without repeats; paths that differ in letter case
// only are different files and both stay.
std::vector<std::string> FullPaths(const std::vector<std::string>& files) {
  std::vector<std::string> paths;
  for (const std::string& file : files) {
    const std::string path = std::filesystem::absolute(file).lexically_normal().string();
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) {
      paths.push_back(path);
    }
  }
  return paths;
}

int RunTask(TTaskKind kind, const std::vector<std::string>& files, TTerminalFrontEnd& ui) {
  TTaskDriver driver(ui);
  ui.Attach(driver);
  if (!driver.Start().empty()) {
    return ExitUsage;
  }
  const std::vector<std::string> paths = FullPaths(files);
  // As a file dialog closing in that folder would, the first file's folder
  // becomes the current one; the driver checks that it can be written.
  const std::string& first = *std::min_element(paths.begin(), paths.end(), SelectedFileLess);
  const std::string folder = std::filesystem::path(first).parent_path().string();
  if (chdir(folder.c_str()) != 0) {
    PrintError("cannot use the folder " + folder + ": " + std::strerror(errno));
    return ExitUsage;
  }
  if (!driver.SelectFiles(paths)) {
    return ExitUsage;
  }
  const size_t selected = driver.SelectedFiles.size();
  SetTaskActive(true);
  try {
    driver.RunTask(kind);
  } catch (const std::exception& e) {
    SetTaskActive(false);
    ui.ShowError(e.what());
    return ExitFailure;
  }
  SetTaskActive(false);
  if (driver.StoppedByUser) {
    return ExitInterrupted;
  }
  const bool allSucceeded =
      driver.Outcomes.size() == selected &&
      std::all_of(driver.Outcomes.begin(), driver.Outcomes.end(),
                  [](const TFileOutcome& outcome) { return outcome.Succeeded; });
  return allSucceeded ? ExitSuccess : ExitFailure;
}

int Run(const std::vector<std::string>& args) {
  const TCommandLine line = ParseCommandLine(args);
  if (!line.Error.empty()) {
    PrintError(line.Error);
    std::fputs(UsageHint(), stderr);
    return ExitUsage;
  }
  if (line.Command == TCommand::Help) {
    std::fputs(UsageText(), stdout);
    return ExitSuccess;
  }
  if (line.Command == TCommand::Version) {
    std::printf("karvo-cli %s\n", Version);
    return ExitSuccess;
  }
  InstallInterruptHandler();
  TTerminalFrontEnd ui(stderr, stdout, StandardErrorIsTerminal());
  SetInformHandler([&ui](const std::string& message) { ui.ShowInformation(message); });
  BaseStartup();
  LoadSettings();
  // Flags hold for this run only; nothing is saved at exit.
  ApplyChoices(line, Settings);
  switch (line.Command) {
    case TCommand::New:
      return RunNew(line.Files.front(), line.Candidate);
    case TCommand::Settings:
      return RunSettings(line, ui);
    case TCommand::Certify:
      return RunTask(TTaskKind::Certification, line.Files, ui);
    case TCommand::Verify:
      return RunTask(TTaskKind::Verification, line.Files, ui);
    default:
      return ExitUsage;
  }
}

}  // namespace

}  // namespace karvo::cli

int main(int argc, char** argv) {
  int status = karvo::cli::ExitUsage;
  try {
    status = karvo::cli::Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    // A task's own errors end as outcomes; what reaches here happened while
    // starting up (a current folder that vanished, say).
    karvo::cli::PrintError(e.what());
  }
  // The information handler refers to the front end, which is gone.
  karvo::SetInformHandler(nullptr);
  return status;
}
