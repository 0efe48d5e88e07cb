#pragma once

// The command line of karvo-cli: one command, its files, and flags that
// override the user choices of karvo.ini for this run.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Settings.h"

namespace karvo::cli {

enum class TCommand { None, Help, Version, Certify, Verify, New, Settings };

// A choice left unset keeps the value read from karvo.ini.
inline constexpr int32_t Unset = -1;

struct TCommandLine {
  TCommand Command = TCommand::None;
  std::vector<std::string> Files;
  bool Save = false;  // settings --save
  bool HasCandidate = false;  // new --candidate EXPR
  std::string Candidate;
  int32_t CertificationReports = Unset;
  int32_t CheckSignaturesOnly = Unset;
  int32_t DoubleFileManagement = Unset;
  int32_t IdlePriority = Unset;
  // Why the command line is unusable; empty when it is fine.
  std::string Error;
};

TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// Puts the flags that were given into settings.
void ApplyChoices(const TCommandLine& line, TSettings& settings);

// "Key=value" lines: the four user choices, then the tuning values.
std::vector<std::string> SettingsLines(const TSettings& settings);

// The --help text, and the short reminder printed after a usage error.
const char* UsageText();
const char* UsageHint();

}  // namespace karvo::cli
