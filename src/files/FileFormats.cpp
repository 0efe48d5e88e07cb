#include "files/FileFormats.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "arith/Expression.h"
#include "base/Constants.h"
#include "base/Globals.h"

namespace karvo {

std::string FormatFileDate(const TDateTimeFields& local) {
  const int hour12 = local.Hour % 12 == 0 ? 12 : local.Hour % 12;
  char text[64];
  std::snprintf(text, sizeof text, "%02u/%02u/%04u %02d:%02u:%02u %s", local.Month, local.Day,
                local.Year, hour12, local.Minute, local.Second, local.Hour < 12 ? "AM" : "PM");
  return text;
}

std::string CurrentFileDate() { return FormatFileDate(LocalNow()); }

std::string FileNameWithoutFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ChangeFileExtension(const std::string& path, const std::string& extension) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return path + extension;
  }
  return path.substr(0, dot) + extension;
}

bool IsExistingFile(const std::string& name) {
  std::error_code error;
  return !name.empty() && std::filesystem::is_regular_file(name, error);
}

std::string CertificationFileName(const std::string& folder, const std::string& taskId,
                                  int32_t position, const std::string& extension) {
  char number[16];
  std::snprintf(number, sizeof number, "%03X", static_cast<unsigned>(position));
  return folder + ProgramBaseName + "-" + taskId + "-" + number + extension;
}

std::string TaskReportFileName(const std::string& folder, const std::string& taskId) {
  return folder + ProgramBaseName + "-" + taskId + ".tr";
}

void NewInputFile(const std::string& fileName, const std::string& candidate) {
  TXFile file;
  file.FileName = fileName;
  file.WriteStrings(SectionInputHeader,
                    {{"Version", Version}, {"Format", "1"}, {"Created", CurrentFileDate()}});
  file.AddComments("");
  file.WriteString(SectionCandidate, "N", candidate);
  file.Save();
}

namespace {

// N$ first, then N as a plain decimal number, then N as an expression.
std::string ReadCandidateValue(const TXFile& file, TCandidateInput& input) {
  input.Expression.clear();
  if (file.ValueExists(SectionCandidate, "N$")) {
    const std::string text = file.ReadString(SectionCandidate, "N$");
    if (!BigIsNumberText(text, 16)) {
      return "Invalid expression";
    }
    BigFromString(input.N, text, 16);
    return "";
  }
  if (!file.ValueExists(SectionCandidate, "N")) {
    return "Invalid expression";
  }
  const std::string text = file.ReadString(SectionCandidate, "N");
  if (BigIsNumberText(text, 10)) {
    BigFromString(input.N, text, 10);
    return "";
  }
  const int code = EvaluateExpression(input.N, text);
  if (code != 0) {
    return "Error in expression, code = " + std::to_string(code);
  }
  input.Expression = text;
  return "";
}

}  // namespace

std::string ReadCandidateInput(const TXFile& file, TCandidateInput& input) {
  std::string message = ReadCandidateValue(file, input);
  if (!message.empty()) {
    return message;
  }
  if (BigIsNegative(input.N)) {
    return TextCandidateNegative;
  }
  const int32_t bits = BigBitSize(input.N);
  if (bits < MinCandidateBits) {
    return TextCandidateTooSmall;
  }
  if (bits > MaxCandidateBits) {
    return std::string(TextCandidateTooLarge) + std::to_string(MaxCandidateBits);
  }
  input.Run = file.ReadInteger(SectionCandidate, "Run", 1);
  if (input.Run < 1 || input.Run > MaxRun) {
    return "Run parameter should be in 1.." + std::to_string(MaxRun);
  }
  input.Comments = file.ReadComments();
  return "";
}

void WriteNewWorkingFile(TXFile& file, const TCandidateInput& input,
                         const std::string& inputFileName, int64_t initialization) {
  file.WriteStrings(SectionCertificateHeader, {{"Version", Version},
                                               {"WebSite", WebAddress},
                                               {"Format", std::to_string(CertificateFormat)},
                                               {"ID", TaskID},
                                               {"Created", CurrentFileDate()},
                                               {"TestCount", "0"},
                                               {"Status", StatusRunning}});
  file.AddComments(input.Comments);
  file.WriteStrings(SectionRunningTimes, {{"Initialization", std::to_string(initialization)},
                                          {"1stPhase", "0"},
                                          {"2ndPhase", "0"},
                                          {"Total", "0"}});
  const int32_t bits = BigBitSize(input.N);
  TXKeyValues candidate = {{"File", inputFileName}};
  if (!input.Expression.empty()) {
    candidate.emplace_back("Expression", input.Expression);
  }
  candidate.emplace_back("N$", BigToHex(input.N));
  candidate.emplace_back("HexadecimalSize", std::to_string((bits + 3) / 4));
  candidate.emplace_back("DecimalSize", std::to_string(BigDecimalSize(input.N)));
  candidate.emplace_back("BinarySize", std::to_string(bits));
  file.WriteStrings(SectionCandidate, candidate);
  file.WriteStrings(SectionResumeState, {{"ve", std::to_string(WorkingFileVersion)},
                                         {"ce", "1"},
                                         {"pe", "1"},
                                         {"tx", "0"},
                                         {"sf", "0"}});
}

}  // namespace karvo
