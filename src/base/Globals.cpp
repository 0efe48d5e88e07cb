#include "base/Globals.h"

#include <filesystem>
#include <system_error>

#include "base/Constants.h"

namespace karvo {

std::string ProgramFolder;
std::string WorkFolder;
std::string SettingsFileName;
std::string HelpFileName;
std::string TaskID;
std::string LastInternalError;
int32_t CurrentDegree = 0;
bool DegreeChanged = false;
std::atomic<int32_t> SaveRequested{0};

std::string ExecutableFolder() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return "./";
  }
  std::string folder = exe.parent_path().string();
  if (folder.empty() || folder.back() != '/') {
    folder += '/';
  }
  return folder;
}

void SetProgramFolder(const std::string& folder) {
  ProgramFolder = folder;
  if (ProgramFolder.empty() || ProgramFolder.back() != '/') {
    ProgramFolder += '/';
  }
  WorkFolder = ProgramFolder;
  SettingsFileName = ProgramFolder + SettingsFileBaseName;
  HelpFileName = ProgramFolder + HelpFileBaseName;
}

void BaseStartup() { SetProgramFolder(ExecutableFolder()); }

}  // namespace karvo
