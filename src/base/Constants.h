#pragma once

// Process-wide constant texts. Outcome texts are copied into files and
// reports byte for byte, so they must never be reworded.

namespace karvo {

inline constexpr const char* Version = "3.0.9";
inline constexpr const char* WindowCaption = " Karvo 3.0.9";
inline constexpr const char* DefaultStatusText = " KARVO - Primality Proving";
inline constexpr const char* WebAddress = "https://karvo.example.org";
inline constexpr const char* DatePattern = "mm/dd/yyyy";
inline constexpr const char* TimePattern = "hh:mm:ss AM/PM";
inline constexpr const char* HelpFileBaseName = "karvo.html";
inline constexpr const char* SettingsFileBaseName = "karvo.ini";
inline constexpr const char* ProgramBaseName = "karvo";

inline constexpr const char* DiscriminantTableExtensions[5] = {".xd1", ".xd2", ".xd3", ".xd4",
                                                               ".xd5"};
inline constexpr const char* ClassGroupFileExtensions[4] = {".xp1", ".xp2", ".xp3", ".xp4"};

inline constexpr const char* TextInvalidFile = "Invalid file";
inline constexpr const char* TextInvalidFileName = "Invalid file name";
inline constexpr const char* TextAborted = "Aborted";
inline constexpr const char* TextAbortedByUser = "Aborted by user";
inline constexpr const char* TextAbortedInternalError = "ABORTED DUE TO INTERNAL ERROR %s";
inline constexpr const char* TextAbortedUnknownException = "Aborted due to unknown OS exception";
inline constexpr const char* TextCandidateNegative = "Candidate < 0";
inline constexpr const char* TextCandidateTooSmall = "Candidate binary size < 17";
inline constexpr const char* TextCandidateTooLarge = "Candidate binary size > ";

inline constexpr const char* TextOperationAborted = "Operation aborted";

}  // namespace karvo
