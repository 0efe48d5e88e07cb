// karvo.ini: defaults, clamps, the prime-table size that follows MSC, the
// exact file SaveSettings writes, and the two messages on failure.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FilesTestSupport.h"
#include "arith/PrimeTable.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Settings.h"
#include "files/SettingsFile.h"

namespace karvo {
namespace {

using test::ReadBytes;
using test::WriteBytes;

class SettingsFileTest : public testing::Test {
 protected:
  void SetUp() override {
    SettingsFileName = folder_.Path("karvo.ini");
    Settings = TSettings{};
    SetInformHandler([this](const std::string& message) { messages_.push_back(message); });
  }
  void TearDown() override {
    SetInformHandler(nullptr);
    Settings = savedSettings_;
    SettingsFileName = savedName_;
  }

  test::TempFolder folder_;
  std::vector<std::string> messages_;

 private:
  TSettings savedSettings_ = Settings;
  std::string savedName_ = SettingsFileName;
};

bool SameSettings(const TSettings& a, const TSettings& b) {
  return a.CertificationReports == b.CertificationReports &&
         a.CheckSignaturesOnly == b.CheckSignaturesOnly &&
         a.DoubleFileManagement == b.DoubleFileManagement && a.IdlePriority == b.IdlePriority &&
         a.BT1 == b.BT1 && a.BT2 == b.BT2 && a.BT3 == b.BT3 && a.BT4 == b.BT4 && a.BT5 == b.BT5 &&
         a.MRF == b.MRF && a.MSC == b.MSC && a.CPC == b.CPC && a.QAV == b.QAV && a.NM1 == b.NM1 &&
         a.NP1 == b.NP1 && a.BHB == b.BHB;
}

TEST_F(SettingsFileTest, NoFileGivesDefaultsAndSavesOnlyTheSetupSection) {
  LoadSettings();
  EXPECT_TRUE(SameSettings(Settings, TSettings{}));
  EXPECT_EQ(WantedPrimeTableSize(), 564163);
  SaveSettings();
  EXPECT_EQ(ReadBytes(SettingsFileName),
            "[Setup]\r\nCertificationReports=1\r\nCheckSignaturesOnly=1\r\n"
            "DoubleFileManagement=0\r\nIdlePriority=1\r\n\r\n");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsFileTest, UserChoicesAreReadAsFlags) {
  WriteBytes(SettingsFileName,
             "[Setup]\r\nCertificationReports=7\r\nCheckSignaturesOnly=0\r\n"
             "DoubleFileManagement=-3\r\nIdlePriority=x\r\n");
  LoadSettings();
  EXPECT_EQ(Settings.CertificationReports, 1);
  EXPECT_EQ(Settings.CheckSignaturesOnly, 0);
  EXPECT_EQ(Settings.DoubleFileManagement, 1);
  EXPECT_EQ(Settings.IdlePriority, 1);
  SaveSettings();
  EXPECT_EQ(ReadBytes(SettingsFileName),
            "[Setup]\r\nCertificationReports=1\r\nCheckSignaturesOnly=0\r\n"
            "DoubleFileManagement=1\r\nIdlePriority=1\r\n\r\n");
}

struct ClampCase {
  const char* line;
  int32_t TSettings::*field;
  int32_t value;
};

class SettingsClampTest : public SettingsFileTest, public testing::WithParamInterface<ClampCase> {};

TEST_P(SettingsClampTest, TuningValuesAreClamped) {
  const ClampCase& c = GetParam();
  WriteBytes(SettingsFileName, std::string("[Setup+]\r\n") + c.line + "\r\n");
  LoadSettings();
  EXPECT_EQ(Settings.*c.field, c.value) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsClampTest,
    testing::Values(
        ClampCase{"MSC=30", &TSettings::MSC, 26}, ClampCase{"MSC=5", &TSettings::MSC, 20},
        ClampCase{"MSC=24", &TSettings::MSC, 24}, ClampCase{"MSC=x", &TSettings::MSC, 23},
        ClampCase{"CPC=50", &TSettings::CPC, 100}, ClampCase{"CPC=900", &TSettings::CPC, 500},
        ClampCase{"CPC=250", &TSettings::CPC, 250}, ClampCase{"BT1=-1", &TSettings::BT1, 0},
        ClampCase{"BT2=7", &TSettings::BT2, 7}, ClampCase{"BT3=-9", &TSettings::BT3, 0},
        ClampCase{"BT4=0", &TSettings::BT4, 0}, ClampCase{"BT5=$100", &TSettings::BT5, 256},
        ClampCase{"MRF=-8", &TSettings::MRF, 0}, ClampCase{"MRF=3", &TSettings::MRF, 3},
        ClampCase{"NM1=0", &TSettings::NM1, 0}, ClampCase{"NP1=5", &TSettings::NP1, 1},
        ClampCase{"BHB=2", &TSettings::BHB, 1}, ClampCase{"BHB=0", &TSettings::BHB, 0}));

TEST_F(SettingsFileTest, PrimeTableSizeFollowsMsc) {
  WriteBytes(SettingsFileName, "[Setup+]\r\nMSC=30\r\n");
  LoadSettings();
  EXPECT_EQ(WantedPrimeTableSize(), 3957809);
  WriteBytes(SettingsFileName, "[Setup+]\r\nMSC=5\r\n");
  LoadSettings();
  EXPECT_EQ(WantedPrimeTableSize(), 82025);
}

TEST_F(SettingsFileTest, TuningSectionsAreReadOnlyWhenPresent) {
  Settings.BT1 = 99;
  Settings.MSC = 21;
  Settings.QAV = 1;
  WriteBytes(SettingsFileName, "[Setup]\r\nIdlePriority=0\r\n");
  LoadSettings();
  EXPECT_EQ(Settings.BT1, 99);
  EXPECT_EQ(Settings.MSC, 21);
  EXPECT_EQ(Settings.QAV, 1);
  EXPECT_EQ(Settings.IdlePriority, 0);

  WriteBytes(SettingsFileName, "[Setup+]\r\n[System]\r\n");
  LoadSettings();
  EXPECT_TRUE(SameSettings(Settings, TSettings{}));

  WriteBytes(SettingsFileName, "[system]\r\nQAV=4\r\n");
  LoadSettings();
  EXPECT_EQ(Settings.QAV, 1);
}

TEST_F(SettingsFileTest, HandAddedSectionsSurviveExceptCommentLines) {
  WriteBytes(SettingsFileName,
             "; my settings\r\n[Setup]\r\nIdlePriority=0\r\n\r\n[Setup+]\r\n; faster\r\n"
             "MSC=24\r\nBT1=7\r\n\r\n[System]\r\nQAV=1\r\n[Other]\r\nfoo=bar\r\n");
  LoadSettings();
  Settings.DoubleFileManagement = 1;
  SaveSettings();
  EXPECT_EQ(ReadBytes(SettingsFileName),
            "[Setup]\r\nIdlePriority=0\r\nCertificationReports=1\r\nCheckSignaturesOnly=1\r\n"
            "DoubleFileManagement=1\r\n\r\n[Setup+]\r\nMSC=24\r\nBT1=7\r\n\r\n"
            "[System]\r\nQAV=1\r\n\r\n[Other]\r\nfoo=bar\r\n\r\n");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsFileTest, SetupSectionIsAddedAtTheEnd) {
  WriteBytes(SettingsFileName, "[Setup+]\r\nMSC=22\r\n");
  SaveSettings();
  EXPECT_EQ(ReadBytes(SettingsFileName),
            "[Setup+]\r\nMSC=22\r\n\r\n[Setup]\r\nCertificationReports=1\r\n"
            "CheckSignaturesOnly=1\r\nDoubleFileManagement=0\r\nIdlePriority=1\r\n\r\n");
}

TEST_F(SettingsFileTest, UnreadableFileIsReportedAndChangesNothing) {
  std::filesystem::create_directory(SettingsFileName);
  Settings.MSC = 25;
  LoadSettings();
  EXPECT_EQ(messages_, (std::vector<std::string>{"Cannot read karvo.ini"}));
  EXPECT_EQ(Settings.MSC, 25);
  SaveSettings();
  EXPECT_EQ(messages_.back(), "Cannot write karvo.ini");
  EXPECT_TRUE(std::filesystem::is_directory(SettingsFileName));
}

TEST_F(SettingsFileTest, FailedWriteIsReportedAndKeepsTheFile) {
  const std::string previous = "[Setup]\r\nIdlePriority=0\r\n\r\n[Setup+]\r\nBT1=3\r\n\r\n";
  WriteBytes(SettingsFileName, previous);
  test::FailingOps ops;
  ops.WriteBudget = 12;
  {
    test::OpsInstalled installed(ops);
    SaveSettings();
  }
  EXPECT_EQ(messages_, (std::vector<std::string>{"Cannot write karvo.ini"}));
  EXPECT_EQ(ReadBytes(SettingsFileName), previous);
}

TEST_F(SettingsFileTest, SaveIgnoresDoubleFileManagement) {
  Settings.DoubleFileManagement = 1;
  SaveSettings();
  SaveSettings();
  EXPECT_FALSE(test::Exists(SettingsFileName + "old"));
  EXPECT_FALSE(test::Exists(SettingsFileName + "new"));
}

}  // namespace
}  // namespace karvo
