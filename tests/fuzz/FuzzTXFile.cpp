// TXFile on arbitrary bytes: loading, every kind of key read, edits, and a
// save through the real durable path. What loads must come back unchanged
// through a save and a fresh load, and a save must write exactly the bytes
// of the sections.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "arith/BigInt.h"
#include "base/Errors.h"
#include "files/TXFile.h"

namespace {

using karvo::TXFile;
using karvo::fuzz::NoSyncOps;
using karvo::fuzz::ScratchFolder;

void Check(bool condition) {
  if (!condition) {
    __builtin_trap();
  }
}

bool SameSections(const TXFile& a, const TXFile& b) {
  if (a.Sections.size() != b.Sections.size()) {
    return false;
  }
  for (size_t i = 0; i < a.Sections.size(); ++i) {
    if (a.Sections[i].Name != b.Sections[i].Name || a.Sections[i].Lines != b.Sections[i].Lines) {
      return false;
    }
  }
  return true;
}

std::string FileBytes(const std::string& path) {
  std::string bytes;
  if (FILE* in = std::fopen(path.c_str(), "rb")) {
    char block[4096];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
      bytes.append(block, got);
    }
    std::fclose(in);
  }
  return bytes;
}

// Look-ups are linear scans, so reading every key of a file made of
// thousands of tiny sections would be quadratic; a bounded sample covers the
// same code.
void ReadKeys(const TXFile& file) {
  constexpr size_t sample = 64;
  std::vector<std::string> keys;
  for (size_t i = 0; i < file.Sections.size() && i < sample; ++i) {
    const std::string& name = file.Sections[i].Name;
    // Both go to the first section of that name, which may be an earlier one.
    file.ReadKeyNames(name, keys);
    keys.resize(std::min(keys.size(), sample));
    for (const std::string& key : keys) {
      Check(file.ValueExists(name, key));
      (void)file.ReadString(name, key);
      (void)file.ReadInteger(name, key, -1);
      (void)file.ReadInteger(name, key);
      (void)file.ReadInt64(name, key);
      karvo::BigInt x;
      try {
        file.ReadBigHex(name, key, x);
      } catch (const karvo::EKV&) {
      }
    }
  }
  (void)file.ReadComments();
}

// Edits steered by the content itself.
void Edit(TXFile& file) {
  std::vector<std::string> keys;
  const size_t count = file.Sections.size();
  for (size_t i = 0; i < count && i < 8; ++i) {
    const std::string name = file.Sections[i].Name;
    file.ReadKeyNames(name, keys);
    if (!keys.empty()) {
      file.WriteString(name, keys.front(), file.ReadString(name, keys.back()));
      file.DeleteKey(name, keys.back());
    }
    file.WriteStrings(name, {{"k", name}, {name, "v"}});
    file.RenameSection(name, name + ", backtrack #1");
  }
  // Names passed by reference into the file's own sections must be safe.
  if (!file.Sections.empty()) {
    file.AddComments(file.Sections.front().Name);
    file.EraseSection(file.Sections[file.Sections.size() / 2].Name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NoSyncOps ops;
  static const ScratchFolder folder;
  karvo::SetFileSystemOps(&ops);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  TXFile file;
  file.LoadFromBytes(bytes);
  ReadKeys(file);

  // Save through the durable path, then read the file back as the program
  // would.
  const std::string path = folder.Path() + "/file.out";
  file.SaveAs(path);
  Check(FileBytes(path) == file.SaveToBytes());
  TXFile again(path);
  Check(SameSections(file, again));
  Check(again.SaveToBytes() == file.SaveToBytes());

  Edit(again);
  ReadKeys(again);
  again.Save();
  Check(FileBytes(path) == again.SaveToBytes());
  return 0;
}
