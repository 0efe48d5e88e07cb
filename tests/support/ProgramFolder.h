#pragma once

// ProgramFolder, where the data files are looked for, set for a scope.

#include <string>

#include "base/Globals.h"

namespace karvo::test {

struct TProgramFolder {
  explicit TProgramFolder(const std::string& folder) { SetProgramFolder(folder); }
  ~TProgramFolder() { SetProgramFolder(saved); }
  TProgramFolder(const TProgramFolder&) = delete;
  TProgramFolder& operator=(const TProgramFolder&) = delete;
  std::string saved = ProgramFolder;
};

}  // namespace karvo::test
