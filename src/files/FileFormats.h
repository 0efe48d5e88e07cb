#pragma once

// Layouts shared by input files, working files and certificates: names,
// dates, the candidate of an input file and the first sections of a new
// working file.

#include <cstdint>
#include <string>

#include "arith/BigInt.h"
#include "base/Clock.h"
#include "files/TXFile.h"

namespace karvo {

inline constexpr int32_t MinCandidateBits = 17;
inline constexpr int32_t MaxCandidateBits = 131072;
inline constexpr int32_t MaxRun = 6;
inline constexpr int32_t CertificateFormat = 3;
inline constexpr int32_t WorkingFileVersion = 3009;

inline constexpr const char* SectionInputHeader = "KARVO - Input";
inline constexpr const char* SectionCertificateHeader = "KARVO - Primality Certificate";
inline constexpr const char* SectionComments = "Comments";
inline constexpr const char* SectionCandidate = "Candidate";
inline constexpr const char* SectionRunningTimes = "Running Times";
inline constexpr const char* SectionResumeState = "X";
inline constexpr const char* SectionSignature = "Signature";
inline constexpr const char* DefaultCommentText = "Write any comment here";
inline constexpr const char* StatusRunning = "Running";

// "12/05/2026 08:38:15 PM": month/day/year, 12-hour clock. The separators
// are fixed rather than taken from the locale, so every file reads alike.
std::string FormatFileDate(const TDateTimeFields& local);
std::string CurrentFileDate();

// The name part of a path, and a path with its extension (from the last
// ".", if that comes after the last "/") replaced by extension.
std::string FileNameWithoutFolder(const std::string& path);
std::string ChangeFileExtension(const std::string& path, const std::string& extension);

// Whether name is not empty and names an existing regular file.
bool IsExistingFile(const std::string& name);

// folder + "karvo-" + taskId + "-" + position in at least three upper-case
// hexadecimal digits + extension, e.g. karvo-B4906034A6F1B-00A.tmp.
std::string CertificationFileName(const std::string& folder, const std::string& taskId,
                                  int32_t position, const std::string& extension);
// folder + "karvo-" + taskId + ".tr".
std::string TaskReportFileName(const std::string& folder, const std::string& taskId);

// Writes the template of a new input file, replacing any content; its
// candidate N is the given text (empty: to be filled in).
void NewInputFile(const std::string& fileName, const std::string& candidate = "");

struct TCandidateInput {
  BigInt N;
  std::string Expression;  // empty when N was given as a number
  int32_t Run = 1;
  std::string Comments;
};

// Reads the candidate of an input file. Returns "" on success, else the
// rejection message ("Invalid expression", "Error in expression, code = 4",
// "Candidate < 0", ...).
std::string ReadCandidateInput(const TXFile& file, TCandidateInput& input);

// Writes the header, comments, running times, candidate and resume-state
// sections of a new working file, in order. initialization is the process
// time spent so far, in centiseconds.
void WriteNewWorkingFile(TXFile& file, const TCandidateInput& input,
                         const std::string& inputFileName, int64_t initialization);

}  // namespace karvo
