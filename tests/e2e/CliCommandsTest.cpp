// The commands around the tasks: version, help, usage errors, new input
// files, and the settings with their flags.

#include <gtest/gtest.h>

#include <set>

#include "E2eSupport.h"
#include "support/TestEnv.h"

namespace karvo::e2e {
namespace {

const std::vector<std::string> DefaultSettings = {
    "CertificationReports=1", "CheckSignaturesOnly=1", "DoubleFileManagement=0",
    "IdlePriority=1",         "BT1=12",                "BT2=24",
    "BT3=48",                 "BT4=96",                "BT5=192",
    "MRF=8",                  "MSC=23",                "CPC=100",
    "QAV=0",                  "NM1=1",                 "NP1=1",
    "BHB=0"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  return lines;
}

// The long options named in a text: "--word-word", or "\-\-word" in roff.
std::set<std::string> LongOptions(const std::string& source) {
  // roff escapes each hyphen; unescaped, both spellings read alike.
  std::string text;
  for (size_t i = 0; i < source.size(); ++i) {
    if (!(source[i] == '\\' && i + 1 < source.size() && source[i + 1] == '-')) {
      text += source[i];
    }
  }
  auto isLower = [](char c) { return c >= 'a' && c <= 'z'; };
  std::set<std::string> options;
  for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at)) {
    size_t end = at + 2;
    // Words of lower-case letters joined by single hyphens.
    while (end < text.size() && isLower(text[end])) {
      ++end;
      if (end + 1 < text.size() && text[end] == '-' && isLower(text[end + 1])) {
        ++end;
      }
    }
    if (end > at + 2) {
      options.insert(text.substr(at, end - at));
    }
    at = end;
  }
  return options;
}

TEST(CliCommands, VersionPrintsTheProgramVersion) {
  TSandbox box;
  const TRunResult run = box.Run({"--version"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "karvo-cli 3.0.9\n");
  EXPECT_EQ(run.Err, "");
}

TEST(CliCommands, HelpNamesEveryCommandAndTheSameOptionsAsTheManualPage) {
  TSandbox box;
  const TRunResult run = box.Run({"--help"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_TRUE(Contains(run.Out, "Usage: karvo-cli"));
  for (const char* command : {" certify FILE", " verify FILE", " new FILE.in", " settings"}) {
    EXPECT_TRUE(Contains(run.Out, command)) << command;
  }
  const std::string manual = ReadText(std::string(KARVO_SOURCE_DIR) + "/docs/karvo-cli.1");
  ASSERT_FALSE(manual.empty());
  const std::set<std::string> inManual = LongOptions(manual);
  EXPECT_EQ(LongOptions(run.Out), inManual);
  EXPECT_TRUE(inManual.count("--signatures-only") == 1 && inManual.count("--no-idle") == 1);
}

TEST(CliCommands, UsageErrorsExitWithTwoAndTouchNothing) {
  TSandbox box;
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"frobnicate"},
      {"--bogus", "settings"},
      {"certify"},
      {"verify"},
      {"new"},
      {"new", "a.in", "b.in"},
      {"settings", "extra"},
      {"--save", "certify", "a.in"},
      {"certify", ""},
  };
  for (const std::vector<std::string>& args : wrong) {
    std::string shown;
    for (const std::string& arg : args) {
      shown += " '" + arg + "'";
    }
    const TRunResult run = box.Run(args);
    EXPECT_EQ(run.Status, 2) << shown;
    EXPECT_TRUE(Contains(run.Err, "karvo-cli: ")) << shown << "\n" << run.Err;
    EXPECT_TRUE(Contains(run.Err, "--help")) << shown;
    EXPECT_EQ(run.Out, "") << shown;
  }
  EXPECT_FALSE(FileExists(box.IniFile()));
  EXPECT_TRUE(FilesEndingWith(box.Work(), "").empty());
}

TEST(CliCommands, NewWritesATemplateThatCertifiesOnceFilledIn) {
  TSandbox box;
  TRunResult run = box.Run({"new", "candidate"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string path = box.WorkPath("candidate.in");
  EXPECT_EQ(run.Out, "candidate.in\n");
  const TSections sections = ReadSections(path);
  EXPECT_EQ(Value(sections, "KARVO - Input", "Version"), "3.0.9");
  ASSERT_EQ(sections.count("Candidate"), 1u);
  EXPECT_EQ(sections.at("Candidate").count("N"), 1u);
  EXPECT_EQ(Value(sections, "Candidate", "N"), "");

  // An existing file is never replaced.
  const std::string before = ReadText(path);
  run = box.Run({"new", "candidate.in"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Contains(run.Err, "already exists")) << run.Err;
  EXPECT_EQ(ReadText(path), before);

  // Filled in by hand, as the template asks.
  const TCandidate prime = ChainPrime(120, test::TestSeed());
  std::string filled = before;
  const size_t key = filled.find("\nN=");
  ASSERT_NE(key, std::string::npos);
  filled.insert(key + 3, prime.Decimal);
  WriteText(path, filled);
  run = box.Run({"certify", "candidate.in"});
  EXPECT_EQ(run.Status, 0) << run.Err << run.Out;
  EXPECT_TRUE(Contains(run.Out, "Status=" + std::string(CertifiedText))) << run.Out;
}

TEST(CliCommands, SettingsPrintsTheDefaultsWithoutASettingsFile) {
  TSandbox box;
  const TRunResult run = box.Run({"settings"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(Lines(run.Out), DefaultSettings);
  EXPECT_FALSE(FileExists(box.IniFile()));
}

TEST(CliCommands, FlagsHoldForOneRunUnlessSaved) {
  TSandbox box;
  TRunResult run = box.Run({"--no-reports", "--full", "settings", "--double-file", "--no-idle"});
  ASSERT_EQ(run.Status, 0);
  std::vector<std::string> lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), DefaultSettings.size());
  EXPECT_EQ(lines[0], "CertificationReports=0");
  EXPECT_EQ(lines[1], "CheckSignaturesOnly=0");
  EXPECT_EQ(lines[2], "DoubleFileManagement=1");
  EXPECT_EQ(lines[3], "IdlePriority=0");
  EXPECT_FALSE(FileExists(box.IniFile()));
  EXPECT_EQ(Lines(box.Run({"settings"}).Out), DefaultSettings);

  // The last of two opposite flags wins.
  lines = Lines(box.Run({"--full", "--signatures-only", "settings"}).Out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[1], "CheckSignaturesOnly=1");

  run = box.Run({"--no-reports", "--full", "settings", "--save"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  ASSERT_TRUE(FileExists(box.IniFile()));
  const TSections ini = ReadSections(box.IniFile());
  EXPECT_EQ(Value(ini, "Setup", "CertificationReports"), "0");
  EXPECT_EQ(Value(ini, "Setup", "CheckSignaturesOnly"), "0");
  EXPECT_EQ(Value(ini, "Setup", "DoubleFileManagement"), "0");
  EXPECT_EQ(Value(ini, "Setup", "IdlePriority"), "1");
  lines = Lines(box.Run({"settings"}).Out);
  ASSERT_EQ(lines.size(), DefaultSettings.size());
  EXPECT_EQ(lines[0], "CertificationReports=0");
  EXPECT_EQ(lines[1], "CheckSignaturesOnly=0");
}

TEST(CliCommands, SavingKeepsTheHandEditedSectionsAndShowsTheTuningValues) {
  TSandbox box;
  WriteText(box.IniFile(),
            "[Setup]\nCertificationReports=0\nIdlePriority=0\nOwnKey=kept\n\n"
            "[Setup+]\nBT1=5\nMSC=20\nCPC=900\n\n[System]\nQAV=1\n\n[Elsewhere]\nx=y\n");
  std::vector<std::string> lines = Lines(box.Run({"settings"}).Out);
  ASSERT_EQ(lines.size(), DefaultSettings.size());
  EXPECT_EQ(lines[0], "CertificationReports=0");
  EXPECT_EQ(lines[3], "IdlePriority=0");
  EXPECT_EQ(lines[4], "BT1=5");
  EXPECT_EQ(lines[10], "MSC=20");
  EXPECT_EQ(lines[11], "CPC=500");  // clamped to 100..500
  EXPECT_EQ(lines[12], "QAV=1");

  const TRunResult run = box.Run({"--reports", "settings", "--save"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const TSections ini = ReadSections(box.IniFile());
  EXPECT_EQ(Value(ini, "Setup", "CertificationReports"), "1");
  EXPECT_EQ(Value(ini, "Setup", "IdlePriority"), "0");
  EXPECT_EQ(Value(ini, "Setup", "OwnKey"), "kept");
  EXPECT_EQ(Value(ini, "Setup+", "BT1"), "5");
  EXPECT_EQ(Value(ini, "Setup+", "CPC"), "900");
  EXPECT_EQ(Value(ini, "Elsewhere", "x"), "y");
}

TEST(CliCommands, ReportFlagDecidesOnCertificationReportsForThatRunOnly) {
  TSandbox box;
  const TCandidate prime = ChainPrime(100, test::TestSeed());
  WriteText(box.WorkPath("with.in"), InputText(prime.Decimal));
  TRunResult run = box.Run({"certify", "with.in"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(FilesEndingWith(box.Work(), ".cr").size(), 1u);

  WriteText(box.WorkPath("without.in"), InputText(prime.Decimal));
  run = box.Run({"--no-reports", "certify", "without.in"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(FilesEndingWith(box.Work(), ".cr").size(), 1u);
  EXPECT_EQ(FilesEndingWith(box.Work(), ".out").size(), 2u);
  EXPECT_TRUE(Contains(run.Out, "Report=no report")) << run.Out;
  EXPECT_FALSE(FileExists(box.IniFile()));
}

TEST(CliCommands, SignatureFlagsChooseTheVerificationMode) {
  TSandbox box;
  const TCandidate prime = ChainPrime(150, test::TestSeed() + 1);
  WriteText(box.WorkPath("p.in"), InputText(prime.Decimal));
  ASSERT_EQ(box.Run({"certify", "p.in"}).Status, 0);
  const std::vector<std::string> outs = FilesEndingWith(box.Work(), ".out");
  ASSERT_EQ(outs.size(), 1u);

  TRunResult run = box.Run({"--full", "verify", outs.front()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Out, "Status=Valid certificate")) << run.Out;

  run = box.Run({"--signatures-only", "verify", outs.front()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Out, "Status=Valid signature")) << run.Out;
  const std::string signedText = ReadText(box.WorkPath(outs.front()));

  // A changed signature is caught in signature mode, and a full check signs
  // the file again.
  std::string changed = signedText;
  const size_t at = changed.find("\n2$=");
  ASSERT_NE(at, std::string::npos);
  changed[at + 4] = changed[at + 4] == '1' ? '2' : '1';
  WriteText(box.WorkPath(outs.front()), changed);
  run = box.Run({"--signatures-only", "verify", outs.front()});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Contains(run.Out, "NOT VALID")) << run.Out;
  run = box.Run({"--full", "verify", outs.front()});
  EXPECT_EQ(run.Status, 0) << run.Out;
}

}  // namespace
}  // namespace karvo::e2e
