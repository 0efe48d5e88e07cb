#include "files/TaskReport.h"

#include <memory>

#include "base/Constants.h"
#include "base/Globals.h"
#include "files/Chrono.h"
#include "files/FileFormats.h"
#include "files/TXFile.h"

namespace karvo {

std::vector<std::string> DisplayLines;
std::vector<std::string> DisplayPaths;

namespace {

constexpr const char* SectionHeader = "KARVO - Task Report";
constexpr const char* SectionCommon = "Common";

struct TTaskReportState {
  std::unique_ptr<TXFile> File;
  TTaskKind Kind = TTaskKind::Certification;
  int32_t Selected = 0;
  int32_t Processed = 0;
  int32_t Successes = 0;
  int32_t Position = 0;
};

TTaskReportState state;

const char* SuccessKey() { return state.Kind == TTaskKind::Certification ? "Certified" : "Valid"; }

// "Candidate #3" or "Certificate #3": the file's section and outcome key.
std::string FileSectionName() {
  return std::string(state.Kind == TTaskKind::Certification ? "Candidate #" : "Certificate #") +
         std::to_string(state.Position);
}

void Begin(int32_t position, const std::string& fileName) {
  if (!state.File) {
    return;
  }
  state.Position = position;
  ++state.Processed;
  state.File->WriteString(SectionCommon, "Processed", std::to_string(state.Processed));
  state.File->WriteString(FileSectionName(), "Input", FileNameWithoutFolder(fileName));
}

// The outcome prefix for a status, or null when the status has no line.
const char* OutcomePrefix(int32_t status, bool& success) {
  success = false;
  if (state.Kind == TTaskKind::Certification) {
    switch (status) {
      case 3:
        success = true;
        return "Certified, ";
      case 1:
      case 2:
      case 4:
        return "Aborted, ";
      case 5:
        return "Failed, ";
      default:
        return nullptr;
    }
  }
  switch (status) {
    case 1:
      success = true;
      return "Valid, ";
    case 2:
      return "Aborted, ";
    case 3:
      return "NOT VALID, ";
    default:
      return nullptr;
  }
}

void End(const std::string& message, int32_t status, int64_t time) {
  if (!state.File) {
    return;
  }
  bool success = false;
  const char* prefix = OutcomePrefix(status, success);
  if (success) {
    ++state.Successes;
    state.File->WriteString(SectionCommon, SuccessKey(), std::to_string(state.Successes));
  }
  if (prefix != nullptr) {
    state.File->WriteString(SectionCommon, FileSectionName(),
                            prefix + FormatRunningTime(true, time));
  }
  state.File->WriteString(FileSectionName(), "Status", message);
}

// The file a displayed line names: the text after key and "=", for a line
// that contains the key.
bool NamedFile(const std::string& line, const std::string& key, std::string& name) {
  if (line.find(key) == std::string::npos) {
    return false;
  }
  name = line.size() > key.size() + 1 ? line.substr(key.size() + 1) : "";
  return true;
}

}  // namespace

void TaskReportOpen(int32_t selected, TTaskKind kind) {
  state = TTaskReportState{};
  state.Kind = kind;
  state.Selected = selected;
  state.File = std::make_unique<TXFile>();
  TXFile& file = *state.File;
  // A fresh report, even if a file of that name is left from another task.
  file.FileName = TaskReportFileName(WorkFolder, TaskID);
  file.WriteStrings(SectionHeader,
                    {{"Version", Version},
                     {"WebSite", WebAddress},
                     {"Task", kind == TTaskKind::Certification ? "Certification" : "Verification"},
                     {"ID", TaskID},
                     {"Created", CurrentFileDate()}});
  file.WriteStrings(SectionCommon, {{"Path", WorkFolder},
                                    {"Selected", std::to_string(selected)},
                                    {"Processed", "0"},
                                    {SuccessKey(), "0"}});
  file.Save();
}

bool TaskReportIsOpen() { return state.File != nullptr; }

void TaskReportBeginCandidate(int32_t position, const std::string& fileName) {
  Begin(position, fileName);
}

void TaskReportBeginCertificate(int32_t position, const std::string& fileName) {
  Begin(position, fileName);
}

void TaskReportSetReport(const std::string& fileName) {
  if (state.File) {
    state.File->WriteString(FileSectionName(), "Report",
                            fileName.empty() ? "no report" : FileNameWithoutFolder(fileName));
  }
}

void TaskReportSetOutput(const std::string& fileName) {
  if (state.File) {
    state.File->WriteString(FileSectionName(), "Output", FileNameWithoutFolder(fileName));
  }
}

void TaskReportEndCandidate(const std::string& message, int32_t status, int64_t time) {
  End(message, status, time);
}

void TaskReportEndCertificate(const std::string& message, int32_t status, int64_t time) {
  End(message, status, time);
}

void TaskReportToDisplay() {
  DisplayLines.clear();
  DisplayPaths.clear();
  if (!state.File) {
    return;
  }
  const TXFile& file = *state.File;
  const std::string path = file.ReadString(SectionCommon, "Path");
  for (const TXSection& section : file.Sections) {
    DisplayLines.push_back("[" + section.Name + "]");
    DisplayLines.insert(DisplayLines.end(), section.Lines.begin(), section.Lines.end());
    DisplayLines.emplace_back();
  }
  for (auto line = DisplayLines.begin(); line != DisplayLines.end(); ++line) {
    if (line->find("Path") != std::string::npos) {
      DisplayLines.erase(line);
      break;
    }
  }
  DisplayPaths.assign(DisplayLines.size(), std::string());
  for (size_t i = 1; i < DisplayLines.size(); ++i) {
    std::string name;
    const std::string& line = DisplayLines[i];
    const bool named = NamedFile(line, "Input", name) || NamedFile(line, "Output", name) ||
                       (NamedFile(line, "Report", name) && name != "no report");
    // Working files change name as they finish, so they are not offered.
    const bool workingFile = name.size() >= 4 && name.compare(name.size() - 4, 4, ".tmp") == 0;
    if (named && !name.empty() && !workingFile) {
      DisplayPaths[i] = path + name;
    }
  }
}

void TaskReportClose() {
  if (!state.File) {
    return;
  }
  // Reset first: a failed save must still leave no report open.
  std::unique_ptr<TXFile> file = std::move(state.File);
  state = TTaskReportState{};
  file->Save();
}

}  // namespace karvo
