#include "files/SettingsFile.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>

#include "arith/PrimeTable.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Settings.h"
#include "files/TXFile.h"

namespace karvo {

namespace {

int32_t AsFlag(int32_t value) { return value != 0 ? 1 : 0; }

}  // namespace

void LoadSettings() {
  try {
    const TXFile file(SettingsFileName);
    auto flag = [&file](const char* section, const char* key, int32_t dflt) {
      return AsFlag(file.ReadInteger(section, key, dflt));
    };
    auto nonNegative = [&file](const char* key, int32_t dflt) {
      return std::max(0, file.ReadInteger("Setup+", key, dflt));
    };
    Settings.CertificationReports = flag("Setup", "CertificationReports", 1);
    Settings.CheckSignaturesOnly = flag("Setup", "CheckSignaturesOnly", 1);
    Settings.DoubleFileManagement = flag("Setup", "DoubleFileManagement", 0);
    Settings.IdlePriority = flag("Setup", "IdlePriority", 1);
    if (file.SectionExists("Setup+")) {
      Settings.BT1 = nonNegative("BT1", 12);
      Settings.BT2 = nonNegative("BT2", 24);
      Settings.BT3 = nonNegative("BT3", 48);
      Settings.BT4 = nonNegative("BT4", 96);
      Settings.BT5 = nonNegative("BT5", 192);
      // The prime table takes its size from MSC (WantedPrimeTableSize).
      Settings.MSC = PrimeTableBits(file.ReadInteger("Setup+", "MSC", 23));
      Settings.MRF = nonNegative("MRF", 8);
      Settings.CPC = std::clamp(file.ReadInteger("Setup+", "CPC", 100), 100, 500);
      Settings.NM1 = flag("Setup+", "NM1", 1);
      Settings.NP1 = flag("Setup+", "NP1", 1);
      Settings.BHB = flag("Setup+", "BHB", 0);
    }
    if (file.SectionExists("System")) {
      Settings.QAV = flag("System", "QAV", 0);
    }
  } catch (const std::exception&) {
    InformUser("Cannot read karvo.ini");
  }
}

void SaveSettings() {
  try {
    TXFile file(SettingsFileName);
    file.WriteStrings("Setup",
                      {{"CertificationReports", std::to_string(Settings.CertificationReports)},
                       {"CheckSignaturesOnly", std::to_string(Settings.CheckSignaturesOnly)},
                       {"DoubleFileManagement", std::to_string(Settings.DoubleFileManagement)},
                       {"IdlePriority", std::to_string(Settings.IdlePriority)}});
    file.Save();
  } catch (const std::exception&) {
    InformUser("Cannot write karvo.ini");
  }
}

}  // namespace karvo
