#include "CommandLine.h"

#include <utility>

namespace karvo::cli {

namespace {

struct TChoiceFlag {
  const char* Name;
  int32_t TCommandLine::*Field;
  int32_t Value;
};

constexpr TChoiceFlag ChoiceFlags[] = {
    {"--reports", &TCommandLine::CertificationReports, 1},
    {"--no-reports", &TCommandLine::CertificationReports, 0},
    {"--signatures-only", &TCommandLine::CheckSignaturesOnly, 1},
    {"--full", &TCommandLine::CheckSignaturesOnly, 0},
    {"--double-file", &TCommandLine::DoubleFileManagement, 1},
    {"--no-double-file", &TCommandLine::DoubleFileManagement, 0},
    {"--idle", &TCommandLine::IdlePriority, 1},
    {"--no-idle", &TCommandLine::IdlePriority, 0},
};

bool ApplyFlag(const std::string& arg, TCommandLine& line) {
  for (const TChoiceFlag& flag : ChoiceFlags) {
    if (arg == flag.Name) {
      line.*flag.Field = flag.Value;
      return true;
    }
  }
  return false;
}

bool CommandFromWord(const std::string& word, TCommand& command) {
  static const std::pair<const char*, TCommand> words[] = {{"certify", TCommand::Certify},
                                                           {"verify", TCommand::Verify},
                                                           {"new", TCommand::New},
                                                           {"settings", TCommand::Settings}};
  for (const auto& [name, value] : words) {
    if (word == name) {
      command = value;
      return true;
    }
  }
  return false;
}

// The rules that depend on the command once every word is read.
std::string CheckCommand(const TCommandLine& line) {
  switch (line.Command) {
    case TCommand::None:
      return "no command given";
    case TCommand::Certify:
    case TCommand::Verify:
      if (line.Files.empty()) {
        return std::string("no file given to ") +
               (line.Command == TCommand::Certify ? "certify" : "verify");
      }
      break;
    case TCommand::New:
      if (line.Files.size() != 1) {
        return "new takes exactly one file name";
      }
      break;
    case TCommand::Settings:
      if (!line.Files.empty()) {
        return "unexpected argument '" + line.Files.front() + "'";
      }
      break;
    default:
      break;
  }
  if (line.HasCandidate && line.Command != TCommand::New) {
    return "--candidate goes with the new command only";
  }
  if (line.Save && line.Command != TCommand::Settings) {
    return "--save goes with the settings command only";
  }
  return "";
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine line;
  bool help = false;
  bool version = false;
  bool optionsEnded = false;
  bool candidateNext = false;
  for (const std::string& arg : args) {
    const bool option = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (std::exchange(candidateNext, false)) {
      line.Candidate = arg;  // an expression may start with "-"
    } else if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (option && arg == "--help") {
      help = true;
    } else if (option && arg == "--version") {
      version = true;
    } else if (option && arg == "--save") {
      line.Save = true;
    } else if (option && (arg == "--candidate" || arg.starts_with("--candidate="))) {
      line.HasCandidate = true;
      candidateNext = arg == "--candidate";
      line.Candidate = candidateNext ? "" : arg.substr(arg.find('=') + 1);
    } else if (option && ApplyFlag(arg, line)) {
    } else if (option) {
      if (line.Error.empty()) {
        line.Error = "unknown option '" + arg + "'";
      }
    } else if (line.Command == TCommand::None) {
      if (!CommandFromWord(arg, line.Command) && line.Error.empty()) {
        line.Error = "unknown command '" + arg + "'";
      }
    } else {
      if (arg.empty() && line.Error.empty()) {
        line.Error = "empty file name";
      }
      line.Files.push_back(arg);
    }
  }
  // Help and version answer whatever else was typed, as most programs do.
  if (help) {
    line.Command = TCommand::Help;
    line.Error.clear();
    return line;
  }
  if (version) {
    line.Command = TCommand::Version;
    line.Error.clear();
    return line;
  }
  if (candidateNext && line.Error.empty()) {
    line.Error = "--candidate needs a value";
  }
  if (line.Error.empty()) {
    line.Error = CheckCommand(line);
  }
  return line;
}

void ApplyChoices(const TCommandLine& line, TSettings& settings) {
  auto apply = [](int32_t choice, int32_t& field) {
    if (choice != Unset) {
      field = choice;
    }
  };
  apply(line.CertificationReports, settings.CertificationReports);
  apply(line.CheckSignaturesOnly, settings.CheckSignaturesOnly);
  apply(line.DoubleFileManagement, settings.DoubleFileManagement);
  apply(line.IdlePriority, settings.IdlePriority);
}

std::vector<std::string> SettingsLines(const TSettings& settings) {
  const std::pair<const char*, int32_t> values[] = {
      {"CertificationReports", settings.CertificationReports},
      {"CheckSignaturesOnly", settings.CheckSignaturesOnly},
      {"DoubleFileManagement", settings.DoubleFileManagement},
      {"IdlePriority", settings.IdlePriority},
      {"BT1", settings.BT1},
      {"BT2", settings.BT2},
      {"BT3", settings.BT3},
      {"BT4", settings.BT4},
      {"BT5", settings.BT5},
      {"MRF", settings.MRF},
      {"MSC", settings.MSC},
      {"CPC", settings.CPC},
      {"QAV", settings.QAV},
      {"NM1", settings.NM1},
      {"NP1", settings.NP1},
      {"BHB", settings.BHB},
  };
  std::vector<std::string> lines;
  for (const auto& [key, value] : values) {
    lines.push_back(std::string(key) + "=" + std::to_string(value));
  }
  return lines;
}

const char* UsageText() {
  return "Usage: karvo-cli [OPTION]... certify FILE...\n"
         "       karvo-cli [OPTION]... verify FILE...\n"
         "       karvo-cli new FILE.in [--candidate EXPR]\n"
         "       karvo-cli [OPTION]... settings [--save]\n"
         "       karvo-cli --help | --version\n"
         "Proves large integers prime and checks primality certificates.\n"
         "\n"
         "Commands:\n"
         "  certify FILE...   certify the candidates of input files (*.in) or resume\n"
         "                    working files (*.tmp); up to 999 files, in path order\n"
         "                    (letter case aside); the working files, certificates\n"
         "                    (*.out), reports (*.cr) and the task report\n"
         "                    (karvo-ID.tr) go to the folder of the first file\n"
         "  verify FILE...    verify certificates (*.out); the task report goes to\n"
         "                    the folder of the first file\n"
         "  new FILE.in       write the template of an input file (never replaces a\n"
         "                    file; .in is added when missing); with --candidate,\n"
         "                    its candidate is EXPR (decimal or expression)\n"
         "  settings          print the settings in effect, one Key=value a line;\n"
         "                    with --save, also store the four choices below in\n"
         "                    karvo.ini beside the program\n"
         "\n"
         "Options (for this run only, unless stored by settings --save):\n"
         "  --reports, --no-reports          write a certification report (*.cr)\n"
         "  --signatures-only, --full        verify a signed certificate without\n"
         "                                   rewriting it (\"Valid signature\"), or\n"
         "                                   check and sign it again in full\n"
         "                                   (\"Valid certificate\")\n"
         "  --double-file, --no-double-file  keep the previous version of a file\n"
         "                                   being rewritten as FILEold\n"
         "  --idle, --no-idle                run at idle priority (nice 19)\n"
         "  --help                           print this help and exit\n"
         "  --version                        print the version and exit\n"
         "\n"
         "Progress goes to standard error, the task report to standard output.\n"
         "Ctrl-C asks to abort; a second Ctrl-C within 7 s aborts the current file,\n"
         "which stays resumable, and skips the files after it.\n"
         "\n"
         "Exit status: 0 every file certified or valid; 1 some file failed, was\n"
         "rejected or is not valid; 2 usage or start-up error; 130 aborted.\n";
}

const char* UsageHint() { return "Try 'karvo-cli --help' for more information.\n"; }

}  // namespace karvo::cli
