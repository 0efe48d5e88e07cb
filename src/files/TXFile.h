#pragma once

// The sectioned text file behind every file the program reads or writes:
// input files, certificates and their working copies, reports, karvo.ini.
// The whole file lives in memory as an ordered list of named sections, each
// an ordered list of lines; callers change it by section and key and write
// it back in one piece.
//
// Look-ups of sections and keys ignore ASCII letter case; the first match
// wins, and duplicates (hand-edited files) are kept and written back.
// The key of a line is the text before its first "=", the empty string for a
// line without "="; the value is the text after that "=".

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "arith/BigInt.h"

namespace karvo {

using TXLines = std::vector<std::string>;

struct TXSection {
  std::string Name;  // text between the brackets, taken literally
  TXLines Lines;
};

using TXKeyValues = std::vector<std::pair<std::string, std::string>>;

inline constexpr const char* TextFileError2001 = "File error #2001\r\nOperation aborted";
inline constexpr const char* TextFileError2002 = "File error #2002\r\nOperation aborted";

class TXFile {
 public:
  std::string FileName;
  // A deque, so that the line list returned by AddSection stays valid while
  // further sections are appended (not across EraseSection or Clear).
  std::deque<TXSection> Sections;

  TXFile() = default;
  // Create: loads fileName when it exists, else starts empty.
  explicit TXFile(const std::string& fileName);

  // Drops all sections and sets FileName; reads the file if the name is not
  // empty and the file exists. A file that exists but cannot be read raises
  // EKV("Cannot read " + fileName).
  void Load(const std::string& fileName);
  // Replaces the sections by those of the bytes given, as Load would read
  // them from a file; FileName is left alone.
  void LoadFromBytes(std::string_view bytes);
  // The bytes that Save writes.
  std::string SaveToBytes() const;

  void Clear();
  // Appends an empty section, even when one of that name exists.
  TXLines& AddSection(std::string_view name);
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  std::string ReadString(std::string_view section, std::string_view key) const;
  // Optional blanks, optional sign, then decimal digits or "$"/"0x" and
  // hexadecimal digits, optional blanks; anything else, or a value outside
  // 32 (64) bits, gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t dflt) const;
  int32_t ReadInteger(std::string_view section, std::string_view key) const;
  int64_t ReadInt64(std::string_view section, std::string_view key) const;
  // BigFromString(x, ReadString(section, key), 16): its errors propagate.
  void ReadBigHex(std::string_view section, std::string_view key, BigInt& x) const;
  void ReadKeyNames(std::string_view section, std::vector<std::string>& list) const;
  // The lines of "Comments" joined by CR LF, without a final CR LF.
  std::string ReadComments() const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteStrings(std::string_view section, const TXKeyValues& pairs);
  // Adds a "Comments" section holding text (or "Write any comment here")
  // unless one exists.
  void AddComments(std::string_view text);
  void DeleteKey(std::string_view section, std::string_view key);
  void DeleteKeys(std::string_view section, const std::vector<std::string>& keys);
  void EraseSection(std::string_view section);
  // Does nothing when oldName is missing or newName exists.
  void RenameSection(std::string_view oldName, std::string_view newName);

  // Every save writes a sibling file (FileName + "new"), syncs it and renames
  // it over the target, so the target is never truncated in place and holds
  // either the previous or the new version whatever happens. Nothing is done
  // when the name is empty. Failures raise EKV(TextFileError2001).
  void Save() const;
  // Saves under name; FileName is unchanged.
  void SaveAs(const std::string& name) const;
  // As Save, but with Settings.DoubleFileManagement on the previous version
  // is kept as FileName + "old" (a hard link, or a copy where links are not
  // supported). Failures raise EKV(TextFileError2002).
  void SaveReplace() const;

 private:
  TXSection* FindSection(std::string_view name);
  const TXSection* FindSection(std::string_view name) const;
};

// True when a scratch file ("karvo.$", "karvo.$$", ... whichever is free)
// can be created and deleted in the current folder.
bool CanWriteCurrentFolder();

// Case-insensitive equality (ASCII letters).
bool TXSameText(std::string_view a, std::string_view b);

// The file-system calls a save makes, with POSIX conventions (-1 and errno
// on failure; descriptors are real ones). Tests replace them to make a disk
// fail halfway.
class TFileSystemOps {
 public:
  virtual ~TFileSystemOps() = default;
  virtual int Open(const std::string& path, int flags, unsigned mode);
  virtual long Write(int fd, const char* data, size_t size);
  virtual int Fsync(int fd);
  virtual int Close(int fd);
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int Link(const std::string& from, const std::string& to);
  virtual int Unlink(const std::string& path);
};

// The operations in use; the real ones unless replaced.
TFileSystemOps& FileSystemOps();
// Replaces them (null restores the real ones); the caller keeps ownership.
void SetFileSystemOps(TFileSystemOps* ops);

}  // namespace karvo
