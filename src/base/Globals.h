#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace karvo {

// Folders carry a trailing separator.
extern std::string ProgramFolder;
extern std::string WorkFolder;
extern std::string SettingsFileName;
extern std::string HelpFileName;

extern std::string TaskID;
extern std::string LastInternalError;

// Progress of the root finder, shown by the task driver.
extern int32_t CurrentDegree;
extern bool DegreeChanged;

// Set by the save timer, cleared by the engine and the verifier. The timer
// may live on another thread in a front end, hence atomic.
extern std::atomic<int32_t> SaveRequested;

// Derives the folders and file names from the running executable.
void BaseStartup();

// Folder of the running executable, with trailing separator.
std::string ExecutableFolder();

// Sets ProgramFolder (and the names derived from it) explicitly; the programs
// use the executable's folder, tests a temporary one.
void SetProgramFolder(const std::string& folder);

}  // namespace karvo
