#include "files/CertificationReport.h"

#include "base/Constants.h"
#include "base/Globals.h"
#include "files/FileFormats.h"

namespace karvo {

namespace {
constexpr const char* SectionHeader = "KARVO - Certification Report";
constexpr const char* SectionBacktrack = "Backtrack";
}  // namespace

int64_t DiscriminantOfCode(int32_t d) {
  const int32_t residue = d % 4;
  return (residue == 1 || residue == 2) ? -4 * int64_t{d} : -int64_t{d};
}

void TCertificationReport::Create(const std::string& reportFileName,
                                  const std::string& certificateFileName) {
  file_.Clear();
  file_.FileName = reportFileName;
  file_.WriteStrings(SectionHeader, {{"Version", Version},
                                     {"WebSite", WebAddress},
                                     {"ID", TaskID},
                                     {"Created", CurrentFileDate()},
                                     {"Certificate", certificateFileName},
                                     {"TestCount", "0"}});
  file_.WriteString(SectionBacktrack, "Count", "0");
  file_.Save();
}

void TCertificationReport::Reopen(const std::string& reportFileName) {
  file_.Load(reportFileName);
}

void TCertificationReport::AddTest(int32_t number, const TReportTest& test) {
  TXKeyValues keys = {{"Type", std::to_string(test.Type)},
                      {"Run", std::to_string(test.Run)},
                      {"Gain", std::to_string(test.Gain)}};
  if (test.Type == 3 || test.Type == 4) {
    keys.emplace_back("D", std::to_string(DiscriminantOfCode(test.DiscriminantCode)));
    keys.emplace_back("H", std::to_string(test.ClassNumber));
    keys.emplace_back("G", std::to_string(test.Genera));
  }
  file_.WriteStrings(std::to_string(number), keys);
  file_.WriteString(SectionHeader, "TestCount", std::to_string(number));
  file_.Save();
}

void TCertificationReport::RecordBacktrack(int32_t number, const BigInt& r) {
  const std::string name = std::to_string(number);
  int32_t k = 1;
  while (file_.SectionExists(name + ", backtrack #" + std::to_string(k))) {
    ++k;
  }
  const std::string renamed = name + ", backtrack #" + std::to_string(k);
  file_.RenameSection(name, renamed);
  file_.WriteString(renamed, "R$", BigToHex(r));

  const int32_t count = file_.ReadInteger(SectionBacktrack, "Count") + 1;
  file_.WriteString(SectionBacktrack, "Count", std::to_string(count));
  const std::string rejected = file_.ReadString(SectionBacktrack, "Rejected");
  file_.WriteString(SectionBacktrack, "Rejected", rejected.empty() ? name : rejected + "," + name);
  file_.WriteString(SectionHeader, "TestCount", std::to_string(number - 1));
  file_.Save();
}

}  // namespace karvo
